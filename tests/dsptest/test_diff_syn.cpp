// The differential and synchronisation tests: their parameter lists pair by
// pair through a fake port, their result conversions (with the lead angle
// and time worked out from the tester's phases), and runs on the simulated
// bench against the virtual differential element and synchronising device.
#include "device/message_ids.h"
#include "dsptest/diff.h"
#include "dsptest/syn.h"
#include "little_endian.h"
#include "module_fixture.h"
#include "sim/player.h"

#include <cstring>
#include <tuple>

namespace {

constexpr const WCHAR* kDiff = OLESTR("Varel.CDTest.1");
constexpr const WCHAR* kSyn = OLESTR("Varel.ZDZTQTest.1");

class DiffModule : public ModuleOnPort<CDspTest_Diff, VarelTest_Diff> {
protected:
    DiffModule() : ModuleOnPort(kDiff) {}
};
class SynModule : public ModuleOnPort<CDspTest_Syn, VarelTest_Syn> {
protected:
    SynModule() : ModuleOnPort(kSyn) {}
};
class DiffSynBench : public BenchTest {
protected:
    // Side 1 of phase A (current channel 0) carries bias + diff / 2 into
    // the zone, side 2 (channel 3) bias - diff / 2 out of it.
    void SetPoint(double bias, double diff) {
        Set("TestIp_Fault.0.Mag", VT_R4, bias + diff / 2);
        Set("TestIp_Fault.3.Mag", VT_R4, bias - diff / 2);
        Set("TestIp_Fault.3.Ang", VT_R4, 180);
    }
    // The trip flag and time of the next test result.
    std::pair<double, double> NextTrip() {
        for (auto n = host.Next(); n; n = host.Next())
            if (n->code == VTS_NOTIFY_TEST_RESULT) {
                EXPECT_EQ(n->data.size(), sizeof(VarelTest_Diff));
                return {ResultValue("TestParams.Result.TripFlag"), ResultValue("TestParams.Result.TripTime")};
            }
        ADD_FAILURE() << "no result";
        return {-1, -1};
    }
};

float FloatAt(const std::vector<uint8_t>& bytes, size_t at) {
    float value;
    const uint32_t bits = LoadLe32(bytes.data() + at);
    std::memcpy(&value, &bits, 4);
    return value;
}

} // namespace

TEST_F(DiffModule, TheParameterListPairByPair) {
    port.voltages = 1;
    Set("TestItem", VT_INT, 1);
    Set("TestIp_PreFault.3.Mag", VT_R4, 1);
    Set("TestIp_PreFault.3.Ang", VT_R4, 180);
    Set("TestIp_Fault.0.Mag", VT_R4, 3);
    Set("TestIp_Fault.0.Ang", VT_R4, -30);
    Set("TestIp_Harm.15.Mag", VT_R4, 0.6);
    Set("TestIp_Harm.15.Ang", VT_R4, 10);
    Set("TestIp_GapAng.0", VT_R4, 70);
    Set("PreFaultTime", VT_R4, 0.5);
    Set("FaultTime", VT_R4, 0.2);
    Set("bAndOr", VT_INT, 1);
    Set("bBinSelect.2", VT_INT, 1);
    Set("Up.0.Mag", VT_R4, 57.735);
    Set("PowerMode", VT_INT, 3);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(port.Ids(),
              (std::vector<uint16_t>{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK,
                                     DEVMSG_TEST_START, DEVMSG_TEST_START2}));
    // Each block of 16 current phasors goes magnitude, angle channel by
    // channel, the channel in the id.
    Pairs golden = {{0x2000, 1}};
    const auto block = [&](uint16_t mag, uint16_t ang, uint32_t k1, double m1, double a1) {
        for (uint32_t k = 0; k < 16; ++k) {
            golden.push_back({static_cast<uint16_t>(0x2000 + mag + k), k == k1 ? Wire(m1) : 0});
            golden.push_back({static_cast<uint16_t>(0x2000 + ang + k), k == k1 ? Wire(a1) : 0});
        }
    };
    block(0x03, 0x13, 3, 1, 180);
    block(0x24, 0x34, 0, 3, -30); // item 1: the fault angles, not the gap angle
    block(0x45, 0x55, 15, 0.6, 10);
    // clang-format off
    const Pairs tail = {
        // Pre-fault and fault time, base frequency, harmonic order, and/or,
        // input mask, confirmation; the one voltage channel; power mode.
        {0x2002, 5000}, {0x20A9, 2000}, {0x2023, 500000}, {0x2044, 2}, {0x20A5, 1}, {0x20A6, 0x4}, {0x20A7, 100},
        {0x2065, 577350}, {0x2075, 0}, {0x2085, 500000}, {0x2095, 0},
        {0x20A8, 3},
    };
    // clang-format on
    golden.insert(golden.end(), tail.begin(), tail.end());
    EXPECT_EQ(port.pairs, golden);

    // Item 2 sends the gap angles under the fault angles' ids; without
    // voltage channels the power mode follows the confirmation time. A
    // harmonic order the tester may not play goes as it is.
    port.voltages = 0;
    port.pairs.clear();
    Set("TestItem", VT_INT, 2);
    Set("Harm_Num", VT_INT, 99);
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    ASSERT_EQ(port.pairs.size(), 1u + 96 + 7 + 1);
    EXPECT_EQ(Find(port.pairs, 0x34), Wire(70));
    EXPECT_EQ(Find(port.pairs, 0x44), 99u);
    EXPECT_EQ(port.pairs[port.pairs.size() - 2], (std::pair<uint16_t, uint32_t>{0x20A7, 100}));
    EXPECT_EQ(port.pairs.back(), (std::pair<uint16_t, uint32_t>{0x20A8, 3}));
}

TEST_F(DiffModule, TheResult) {
    VarelTest_Diff image = Image({1, 350});
    EXPECT_EQ(image.tripFlag, 1);
    EXPECT_FLOAT_EQ(image.tripTime, 0.035f);
    EXPECT_EQ(image.harmNum, 2) << "the parameters travel too";
    image = Image({0});
    EXPECT_EQ(image.tripFlag, 0);
    EXPECT_FLOAT_EQ(image.tripTime, -214748.3648f) << "a missing word reads as -2147483648";
}

TEST_F(SynModule, TheParameterListPairByPair) {
    Set("TestType", VT_INT, 2);
    Set("Vs_Mag", VT_R4, 57.735);
    Set("Vs_Ang", VT_R4, -30);
    Set("Vg_Ang", VT_R4, 0.00006);
    Set("Vs_AngShift", VT_R4, 30);
    Set("Vs_LinkMode", VT_INT, 1);
    Set("Vg_LinkMode", VT_INT, 3);
    Set("dVg_dt", VT_R4, 2.5);
    Set("dFg_dt", VT_R4, 0.25);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    const Pairs golden = {
        {0x2000, 2}, {0x2001, 577350}, {0x2002, Wire(-30)}, {0x2003, 500000},
        {0x2004, 900000}, {0x2005, 1}, {0x2006, 499000},
        // Reset time before the confirmation time, the connections, then
        // the voltage rate before the frequency rate; no angle shift.
        {0x200B, 20000}, {0x200A, 100}, {0x200C, 1}, {0x200D, 3}, {0x2008, 25000}, {0x2007, 2500},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);
}

TEST_F(SynModule, TheLeadAngleTimeAndPulsesFromTheTestersReport) {
    // Generator 0.2 Hz fast, 10 degrees ahead: 350 degrees to go, 4.861 s.
    // Words: flag, system and generator phase, frequency, voltage, four
    // widths, four pauses.
    VarelTest_Syn image = Image({1, 0, 100000, 502000, 950000, 0, 2000, 3000, 0, 5000, 8000, 0, 0});
    EXPECT_EQ(image.tripFlag, 1);
    EXPECT_NEAR(image.aheadAng, 350, 1e-3);
    EXPECT_NEAR(image.aheadTime, 350.0 / 72, 1e-4);
    EXPECT_FLOAT_EQ(image.closingVgFre, 50.2f);
    EXPECT_FLOAT_EQ(image.closingVgMag, 95.0f);
    // The first kind with a width and a pause: lower frequency, 0.2 s every
    // 1.0 s; raise voltage has no pause, lower voltage no width.
    EXPECT_FLOAT_EQ(image.adjustFreWidth, 0.2f);
    EXPECT_FLOAT_EQ(image.adjustFreCycle, 1.0f);
    EXPECT_EQ(image.adjustVWidth, -1000.0f);
    EXPECT_EQ(image.adjustVCycle, -1000.0f);

    // Generator 0.2 Hz slow, 10 degrees behind the system's phase once
    // that is shifted by 20 degrees: 350 degrees to go.
    Set("Vs_AngShift", VT_R4, 20);
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    image = Image({1, 0, 100000, 498000, 950000});
    EXPECT_NEAR(image.aheadAng, 350, 1e-3) << "10 - (20 + 0) = -10: 350 to go";
    EXPECT_NEAR(image.aheadTime, 350.0 / 72, 1e-4);

    // No slip: no lead time, not a division by zero. A short report: the
    // missing words read as -2147483648, and nothing is taken for a pulse.
    image = Image({1, 0, 0, 500000});
    EXPECT_EQ(image.aheadTime, -1000.0f);
    EXPECT_FLOAT_EQ(image.closingVgMag, -214748.3648f);
    EXPECT_EQ(image.adjustFreWidth, -1000.0f);
    EXPECT_EQ(image.adjustVCycle, -1000.0f);

    // An intermediate report: a 20-byte record, the state word as it came.
    const std::vector<uint8_t> report =
        Convert({0x30, 905000, 499500, -1800000, 12000}, VTS_NOTIFY_TEST_EVENT);
    ASSERT_EQ(report.size(), 20u);
    EXPECT_EQ(LoadLe32(report.data()), 0x30u);
    EXPECT_FLOAT_EQ(FloatAt(report, 4), 90.5f);
    EXPECT_FLOAT_EQ(FloatAt(report, 12), -180.0f);
    EXPECT_FLOAT_EQ(FloatAt(report, 16), 1.2f);
}

TEST_F(DiffSynBench, TheDifferentialElementTripsRestrainsAndBlocks) {
    // Element: 0.5 A, then slope 0.5 beyond 1 A of bias; 2nd harmonic 15 %;
    // 30 ms; input 2.
    Link(kDiff, 4, 6);
    Set("PreFaultTime", VT_R4, 0.1);
    Set("FaultTime", VT_R4, 0.2);
    Set("bBinSelect.2", VT_INT, 1);
    // An internal fault at 3 A of bias: the setting is 1.5 A.
    SetPoint(3, 1.6);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_TRUE(bench.Model().Record().programComplete) << "Diff.new downloaded";
    auto [flag, time] = NextTrip();
    EXPECT_EQ(flag, 1);
    EXPECT_FLOAT_EQ(time, 0.03f);
    // Points switched in while the test runs: restrained, then blocked by
    // a second harmonic of 20 %.
    SetPoint(3, 1.4);
    ASSERT_EQ(VTS_SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(NextTrip(), (std::pair<double, double>{0, -1000}));
    SetPoint(3, 2);
    Set("TestIp_Harm.0.Mag", VT_R4, 0.4);
    ASSERT_EQ(VTS_SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(NextTrip().first, 0);
    // A harmonic order this tester does not play: no trip, at once.
    Set("TestIp_Harm.0.Mag", VT_R4, 0.1);
    Set("Harm_Num", VT_INT, 0);
    ASSERT_EQ(VTS_SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(NextTrip().first, 0);
    Set("Harm_Num", VT_INT, 2);
    ASSERT_EQ(VTS_SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(NextTrip().first, 1) << "10 % of second harmonic does not block";

    // A result of the test's own making reaches the host as the whole struct.
    bench.Tester().Push(0x0207, sim::ResultPayload({1, 350}));
    std::tie(flag, time) = NextTrip();
    EXPECT_EQ(flag, 1);
    EXPECT_FLOAT_EQ(time, 0.035f);
}

TEST_F(DiffSynBench, TheSynchronisingDeviceAdjustsAndClosesAtItsLeadTime) {
    // Device: bands 0.3 Hz and 5 V, pulses of 0.2 s (frequency) and 0.3 s
    // (voltage) every 1 s, lead time 0.2 s. The generator starts 0.6 Hz
    // and 10 V low, moving 1 Hz/s and 5 V/s while a pulse lasts.
    Link(kSyn);
    Set("Vg_Fre", VT_R4, 49.4);
    Set("dFg_dt", VT_R4, 1);
    Set("dVg_dt", VT_R4, 5);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    size_t reports = 0;
    std::optional<Notification> n;
    while ((n = host.Next()) && n->code != VTS_NOTIFY_TEST_RESULT) {
        ASSERT_EQ(n->code, VTS_NOTIFY_TEST_EVENT);
        EXPECT_EQ(n->data.size(), 20u);
        ++reports;
    }
    ASSERT_TRUE(n) << "no result";
    EXPECT_EQ(n->data.size(), sizeof(VarelTest_Syn));
    EXPECT_EQ(reports, 5u) << "four periods of pulses, then the closing";
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 1);
    EXPECT_NEAR(ResultValue("TestParams.Result.AheadTime"), 0.2, 1e-3);
    EXPECT_NEAR(ResultValue("TestParams.Result.AheadAng"), 360 * 0.2 * 0.2, 0.01);
    EXPECT_NEAR(ResultValue("TestParams.Result.Vg_Fre"), 49.8, 1e-4);
    EXPECT_NEAR(ResultValue("TestParams.Result.Vg_Mag"), 96, 1e-4);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.AdjustFre_Width"), 0.2f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.AdjustFre_Cycle"), 1.0f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.AdjustV_Width"), 0.3f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.AdjustV_Cycle"), 1.0f);

    // A report of the test's own making: 0.2 Hz fast, 10 degrees ahead.
    bench.Tester().Push(0x0207, sim::ResultPayload({1, 0, 100000, 502000, 950000}));
    n = host.Next();
    ASSERT_TRUE(n && n->code == VTS_NOTIFY_TEST_RESULT);
    EXPECT_NEAR(ResultValue("TestParams.Result.AheadAng"), 350, 1e-3);
    EXPECT_NEAR(ResultValue("TestParams.Result.AheadTime"), 350.0 / 72, 1e-4);
    EXPECT_EQ(ResultValue("TestParams.Result.AdjustV_Width"), -1000) << "missing words: no pulses";
}
