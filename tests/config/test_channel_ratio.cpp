// The channel ratio of each signal type, and how it reaches the calibration store.
#include "calib/varel_config.h"
#include "config/channel_ratio.h"
#include "config/varel_system_config.h"

#include <gtest/gtest.h>

TEST(ChannelRatio, EachSignalTypeHasItsRule) {
    CVarelSystemConfig config;
    SystemSettings& s = config.settings;
    s.U1[3] = 500.0f, s.U2[3] = 2.0f, s.I1[3] = 100.0f, s.I2[3] = 4.0f;
    s.U1[4] = 1.0f, s.U2[4] = 0.0f;
    s.U_Range = 65.0f, s.I_Range = 20.0f;
    const uint32_t other = 0x00020001;
    const struct {
        const char* what;
        ChannelConfigEntry entry;
        uint32_t slot, model;
        float expected;
    } cases[] = {
        {"small, voltage", {kSignalSmall, 1, 0, 0}, 3, other, 0.25f},
        {"small, current", {kSignalSmall, 0, 0, 0}, 3, other, 0.025f},
        {"small, zero denominator", {kSignalSmall, 1, 0, 0}, 4, other, 1.0f},
        {"FT3, voltage, other model", {kSignalFt3, 1, 220, 100}, 0, other, 2.0f},
        {"9-2, current, other model", {kSignal92, 0, 1000, 1}, 0, other, 2.0f},
        {"FT3, model 0x30001", {kSignalFt3, 1, 220, 100}, 0, kModelDigital, 1.0f},
        {"9-2, voltage, model 0x30001", {kSignal92, 1, 220, 100}, 0, kModelDigital, 0.22f},
        {"9-2, current, model 0x30001", {kSignal92, 0, 1200, 5}, 0, kModelDigital, 0.24f},
        {"9-2, no secondary", {kSignal92, 1, 220, 0}, 0, kModelDigital, 1.0f},
        {"amplifier", {kSignalAmplifier, 1, 220, 100}, 3, other, 1.0f},
        {"unknown type", {0x1234, 0, 1, 1}, 3, other, 1.0f},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(ChannelRatio(c.entry, c.slot, s, c.model), c.expected) << c.what;

    s.U_Range = 0.0f, s.I_Range = -1.0f;
    EXPECT_EQ(ChannelRatio({kSignal92, 1, 220, 100}, 0, s, other), 1.0f) << "no voltage range";
    EXPECT_EQ(ChannelRatio({kSignalFt3, 0, 1000, 1}, 0, s, other), 1.0f) << "no current range";
}

TEST(ChannelRatio, TheConfigurationReachesEveryChannelOfTheStore) {
    CVarelSystemConfig config;
    config.channels[2].uSignalType = kSignalSmall;
    config.settings.U1[2] = 2000.0f;
    config.channels[16 + 2] = ChannelConfigEntry{kSignalSmall, 0, 1000, 1};
    config.settings.I1[2] = 500.0f;
    CVarelConfig store(nullptr);
    ApplyChannelConfig(store, config.channels, config.settings, 0);
    EXPECT_EQ(store.Channel(0).signalType, kSignalAmplifier);
    EXPECT_EQ(store.Channel(0).scale, 1.0f);
    EXPECT_EQ(store.Channel(2).signalType, kSignalSmall);
    EXPECT_FLOAT_EQ(store.Channel(2).scale, 2.0f);
    EXPECT_FLOAT_EQ(store.Channel(18).scale, 0.5f) << "current slot 2 uses I1[2] and I2[2]";
    EXPECT_EQ(store.Channel(31).signalType, kSignalAmplifier);
}
