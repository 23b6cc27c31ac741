// The virtual relay as the players step it: pick-up, delay, hold and
// drop-off of both elements at the tester's resolution.
#include "sim/player.h"

#include <gtest/gtest.h>

using sim::RelayClock;
using sim::RelayInputs;

TEST(RelayClock, OverCurrentPicksUpTripsAfterItsDelayAndDropsOffAtTheRatio) {
    sim::VirtualRelay relay;
    relay.underVoltage = false;
    RelayClock clock(relay);
    uint32_t input = 99;
    double at = 0;
    clock.Apply(0, {4.9999, 100});
    EXPECT_FALSE(clock.NextTrip(0, &input, &at)) << "below the pick-up";
    clock.Apply(1, {5.0, 100});
    ASSERT_TRUE(clock.NextTrip(1, &input, &at));
    EXPECT_EQ(input, 0u);
    EXPECT_DOUBLE_EQ(at, 1.1);
    EXPECT_EQ(clock.InputsAt(1.05), 0u);
    EXPECT_EQ(clock.InputsAt(1.1), 1u);
    clock.Apply(2, {4.76, 100});
    EXPECT_EQ(clock.InputsAt(2), 1u) << "held above 0.95 x 5 A";
    clock.Apply(3, {4.75, 100});
    EXPECT_EQ(clock.InputsAt(3), 0u) << "dropped off at 4.75 A";
    clock.Apply(4, {4.9, 100});
    EXPECT_EQ(clock.InputsAt(10), 0u) << "picks up again only at 5 A";
}

TEST(RelayClock, UnderVoltageOperatesBelowItsSettingOnItsOwnInput) {
    sim::VirtualRelay relay;
    relay.enabled = false;
    relay.underVoltageDelayS = 0.5f;
    RelayClock clock(relay);
    clock.Apply(0, {50, 69.9999});
    uint32_t input = 0;
    double at = 0;
    ASSERT_TRUE(clock.NextTrip(0, &input, &at));
    EXPECT_EQ(input, 1u);
    EXPECT_DOUBLE_EQ(at, 0.5);
    EXPECT_EQ(clock.InputsAt(0.5), 2u);
    clock.Apply(1, {0, 73.6841});
    EXPECT_EQ(clock.InputsAt(1), 2u) << "held below 70 V / 0.95";
    clock.Apply(2, {0, 73.6842});
    EXPECT_EQ(clock.InputsAt(2), 0u);
}
