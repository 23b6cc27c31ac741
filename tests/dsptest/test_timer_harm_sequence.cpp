// The timer, harmonic and channel-sequence tests: each parameter list pair
// by pair through a fake port, the result conversions, bad input, and one
// run of each on the simulated bench.
#include "device/message_ids.h"
#include "dsptest/channel_sequence.h"
#include "dsptest/harm.h"
#include "dsptest/timer.h"
#include "little_endian.h"
#include "module_fixture.h"

#include <cstring>

namespace {

constexpr const WCHAR* kTimer = OLESTR("Varel.SJCLTest.1");
constexpr const WCHAR* kHarm = OLESTR("Varel.XBTest.1");
constexpr const WCHAR* kSequence = OLESTR("Varel.SzVove_State.1");

class TimerModule : public ModuleOnPort<CDspTest_Timer, VarelTest_Timer> {
protected:
    TimerModule() : ModuleOnPort(kTimer) {}
};
class HarmModule : public ModuleOnPort<CDspTest_Harm, VarelTest_Harm> {
protected:
    HarmModule() : ModuleOnPort(kHarm) {}
};
class SequenceModule : public ModuleOnPort<CDspTest_SzVove_State, VarelTest_SzVove_State> {
protected:
    SequenceModule() : ModuleOnPort(kSequence) {}
};

class TimedBench : public BenchTest {
protected:
    // Every notification up to and including the test result.
    std::vector<Notification> UntilResult() {
        std::vector<Notification> all;
        while (auto n = host.Next()) {
            all.push_back(*n);
            if (n->code == VTS_NOTIFY_TEST_RESULT) break;
        }
        return all;
    }
};

float FloatAt(const std::vector<uint8_t>& bytes, size_t at) {
    float value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

} // namespace

TEST_F(TimerModule, TheParameterListPairByPairAndItsCommands) {
    port.voltages = 1;
    port.currents = 1;
    Set("StatePara.0.Up.0.Mag", VT_R4, 57.735);
    Set("StatePara.1.Ip.0.Mag", VT_R4, 10);
    Set("StatePara.2.Ip.0.bDC", VT_INT, 1);
    Set("FaultTrigMode", VT_INT, 1);
    Set("PreFaultTime", VT_R4, 0.5);
    Set("bAndOr", VT_INT, 1);
    Set("bBinSelect.2", VT_INT, 1);
    Set("FaultEndMode", VT_INT, 1);
    Set("TimerStartMode.1", VT_INT, 1);
    Set("TimerEndMode.2", VT_INT, 2);
    Set("Output_0.3", VT_INT, 1);
    Set("OutputDelayTime.3", VT_R4, 0.5);
    Set("PowerMode", VT_INT, 3);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    Pairs golden = {
        // Every state: id 0 = its number, then the flat channel block.
        {0x2000, 0}, {0x2001, 577350}, {0x2011, 0}, {0x2021, 500000}, {0x2031, 0},
                     {0x2041, 0}, {0x2051, 0}, {0x2061, 500000}, {0x2071, 0},
        {0x2000, 1}, {0x2001, 0}, {0x2011, 0}, {0x2021, 500000}, {0x2031, 0},
                     {0x2041, 100000}, {0x2051, 0}, {0x2061, 500000}, {0x2071, 0},
        {0x2000, 2}, {0x2001, 0}, {0x2011, 0}, {0x2021, 500000}, {0x2031, 0},
                     {0x2041, 0}, {0x2051, 0}, {0x2061, 500000}, {0x2071, 1},
        // Trigger and 0.5 s pre-fault; and/or, mask, 0.01 s confirmation
        // before the fault end; fault end and 1 s limit, test end and 1 s.
        {0x2081, 1}, {0x2082, 5000}, {0x208D, 1}, {0x208E, 4}, {0x208F, 100},
        {0x2083, 1}, {0x2084, 10000}, {0x2085, 0}, {0x2086, 10000},
        // Timer start modes, then end modes.
        {0x20C0, 0}, {0x20C1, 1}, {0x20C2, 0}, {0x20C3, 0}, {0x20C4, 0}, {0x20C5, 2},
    };
    // clang-format on
    // Per output: state, delay, hold (0.02 s by default); output 3 is on
    // after 0.5 s.
    for (uint16_t k = 0; k < 16; ++k) {
        golden.push_back({0x2090 + k, k == 3 ? 1 : 0});
        golden.push_back({0x20A0 + k, k == 3 ? 5000 : 0});
        golden.push_back({0x20B0 + k, 200});
    }
    golden.push_back({0x20C6, 3});
    golden.push_back({0x2087, 2});
    EXPECT_EQ(port.pairs, golden);

    port.messages.clear();
    EXPECT_EQ(module.ExecuteCmd(1, nullptr, 0), S_OK);
    EXPECT_EQ(module.ExecuteCmd(2, nullptr, 0), S_OK);
    EXPECT_EQ(port.Ids(), std::vector<uint16_t>{DEVMSG_MODULE_COMMAND}) << "commands 0 and 1 only";
    EXPECT_TRUE(port.messages[0].payload.empty());
}

TEST_F(TimerModule, TheResultAndTheIntermediateReport) {
    EXPECT_EQ(DocumentValue(document.Get(), "TestParams.Result.TimerStartFlag.2"), -1) << "until a result";
    EXPECT_FLOAT_EQ(DocumentValue(document.Get(), "TestParams.Result.Timer.0"), -1000.0f);
    // Four words: the flags and timer 0; timers 1 and 2 read INT32_MIN.
    const VarelTest_Timer image = Image({1, 0, 1, 1000});
    EXPECT_EQ(image.timerStartFlag[0], 1);
    EXPECT_FLOAT_EQ(image.timer[0], 0.1f);
    EXPECT_FLOAT_EQ(image.timer[1], -214748.3648f);
    EXPECT_FLOAT_EQ(image.preFaultTime, 20.0f) << "the parameters travel too";

    // Code 4: three flags as they came, three times as floats.
    const std::vector<uint8_t> report = Convert({1, 1, 0, 2500, -10000000, 7}, VTS_NOTIFY_TEST_EVENT);
    ASSERT_EQ(report.size(), 24u);
    EXPECT_EQ(LoadLe32(report.data() + 4), 1u);
    EXPECT_FLOAT_EQ(FloatAt(report, 12), 0.25f);
    EXPECT_FLOAT_EQ(FloatAt(report, 16), -1000.0f);
    EXPECT_FLOAT_EQ(FloatAt(report, 20), 0.0007f);
}

TEST_F(HarmModule, EveryOrderOfEveryChannelPairByPair) {
    port.voltages = 1;
    port.currents = 1;
    Set("BaseFre", VT_R4, 60);
    Set("bBinSelect.0", VT_INT, 1);
    Set("PowerMode", VT_INT, 2);
    Set("TimeLimit", VT_R4, 2);
    Set("iPara.0.Harm.1.bSelect", VT_INT, 1);
    Set("iPara.0.Harm.1.Mag", VT_R4, 10);
    Set("iPara.0.Harm.1.Ang", VT_R4, -30);
    Set("uPara.0.Harm.2.Mag", VT_R4, 3); // not selected, sent all the same
    Set("iPara_InterHarm.0.bSelect", VT_INT, 1);
    Set("iPara_InterHarm.0.Fre", VT_R4, 150);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // Test-wide: base frequency, and/or, mask, 0.01 s confirmation, power
    // mode, time limit.
    Pairs golden = {{0x2001, 600000}, {0x2063, 0}, {0x2064, 1}, {0x2065, 100}, {0x2066, 2}, {0x212C, 20000}};
    // Each order: id 2 = the order, then voltage 0 and current 0: selected,
    // magnitude, angle.
    for (uint32_t h = 0; h < kHarmOrders; ++h) {
        const Pairs order = {{0x2002, h},
                             {0x2003, 0},
                             {0x2013, h == 2 ? 30000u : 0},
                             {0x2023, 0},
                             {0x2033, h == 1 ? 1u : 0},
                             {0x2043, h == 1 ? 100000u : 0},
                             {0x2053, h == 1 ? Wire(-30) : 0}};
        golden.insert(golden.end(), order.begin(), order.end());
    }
    // The inter-harmonics: selected, magnitude, angle, frequency (25 Hz by
    // default).
    const Pairs inter = {{0x2067, 0}, {0x2077, 0}, {0x2087, 0}, {0x2097, 250000},
                         {0x20A7, 1}, {0x20B7, 0}, {0x20C7, 0}, {0x20D7, 1500000}};
    golden.insert(golden.end(), inter.begin(), inter.end());
    EXPECT_EQ(port.pairs, golden);

    const VarelTest_Harm image = Image({-1, 2500});
    EXPECT_EQ(image.tripFlag, 2) << "the two-time rule";
    EXPECT_FLOAT_EQ(image.tripTime, 0.25f);
}

TEST_F(HarmModule, AnOrderOrChannelOutsideTheStructIsNotRead) {
    ComPtr<IGenericData> outside = DocumentFromXml(
        OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_Harm\">"
               "<Para id=\"uPara\"><Para id=\"16\"><Para id=\"Harm\"><Para id=\"0\">"
               "<Para id=\"Mag\" valuetype=\"float\" value=\"9\"/></Para></Para></Para>"
               "<Para id=\"0\"><Para id=\"Harm\"><Para id=\"51\">"
               "<Para id=\"Mag\" valuetype=\"float\" value=\"9\"/></Para><Para id=\"50\">"
               "<Para id=\"Mag\" valuetype=\"float\" value=\"4\"/></Para></Para></Para></Para>"
               "</Para></root>"));
    ASSERT_EQ(module.BeginTest(outside.Get()), S_OK);
    EXPECT_EQ(port.pairs.size(), 6u + 51 * (1 + 36) + 48);
    EXPECT_EQ(std::count_if(port.pairs.begin(), port.pairs.end(), [](auto p) { return p.second == 90000; }),
              0);
    EXPECT_EQ(Find(port.pairs, 0x13, 50), 40000u) << "order 50 of voltage 0 is read";
}

TEST_F(SequenceModule, EntriesPerChannelAndNoConversion) {
    port.voltages = 2;
    port.currents = 1;
    Set("Up_StateNumbers.0", VT_INT, 3);
    Set("StatePara.2.Up.0.TimeStart", VT_R4, 0.5);
    Set("StatePara.2.Up.0.Harm_Mag", VT_R4, 1);
    Set("StatePara.2.Up.1.Mag", VT_R4, 7); // beyond channel 1's count: not sent
    Set("Bout_StateNumbers.15", VT_INT, 1);
    Set("StatePara.0.Bout.15.nState", VT_INT, 1);
    Set("PowerMode", VT_INT, 4);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // The counts: voltages 0 and 1, current 0, the 16 outputs.
    Pairs golden = {{0x2000, 3}, {0x2001, 0}, {0x2010, 0}};
    for (uint16_t k = 0; k < 16; ++k) golden.push_back({0x2020 + k, k == 15 ? 1 : 0});
    // Voltage 0's three entries: number, start, magnitude, angle, harmonic
    // magnitude, angle and frequency (50 Hz by default).
    for (uint32_t j = 0; j < 3; ++j) {
        const Pairs entry = {{0x2030, j},     {0x2031, j == 2 ? 5000u : 0},  {0x2041, 0},
                             {0x2051, 0},     {0x2061, j == 2 ? 10000u : 0}, {0x2071, 0},
                             {0x2081, 500000}};
        golden.insert(golden.end(), entry.begin(), entry.end());
    }
    const Pairs tail = {{0x2030, 0}, {0x2100, 0}, {0x2110, 1}, {0x2111, 4}};
    golden.insert(golden.end(), tail.begin(), tail.end());
    EXPECT_EQ(port.pairs, golden);

    // A count above the 50 entries is sent and played as 50.
    Set("Ip_StateNumbers.0", VT_INT, 60);
    port.pairs.clear();
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 0x10), 50u);
    EXPECT_EQ(port.pairs.size(), golden.size() + 50 * 7);

    std::vector<uint8_t> payload{1, 2, 3};
    EXPECT_EQ(module.OnDeviceEvent(VTS_NOTIFY_TEST_RESULT, payload), E_NOTIMPL);
    EXPECT_EQ(payload, (std::vector<uint8_t>{1, 2, 3})) << "the host gets the tester's words";
    EXPECT_EQ(VTS_InitTestParams(NewDocument().Get(), kSequence), E_INVALIDARG);
}

TEST_F(TimedBench, ATimerMeasuresFromFaultInceptionToTrip) {
    Link(kTimer);
    // 0.2 s pre-fault at 0 A, then 10 A until input 0 operates. Timer 0
    // (fault begins to operate) and timer 1 (operate to the post-fault
    // state) run; timer 2 has a start mode that never happens.
    Set("PreFaultTime", VT_R4, 0.2);
    Set("StatePara.1.Ip.0.Mag", VT_R4, 10);
    Set("bBinSelect.0", VT_INT, 1);
    Set("FaultEndMode", VT_INT, 1);
    Set("TimerStartMode.1", VT_INT, 1);
    Set("TimerEndMode.1", VT_INT, 2);
    Set("TimerStartMode.2", VT_INT, 9);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const auto notifications = UntilResult();
    ASSERT_FALSE(notifications.empty());
    std::vector<uint8_t> lastReport;
    for (const auto& n : notifications)
        if (n.code == VTS_NOTIFY_TEST_EVENT) lastReport = n.data;
    ASSERT_EQ(lastReport.size(), 24u) << "a timer's stop, as a record";
    EXPECT_FLOAT_EQ(FloatAt(lastReport, 12), 0.1f);
    const auto& result = notifications.back();
    ASSERT_EQ(result.code, 3u);
    EXPECT_EQ(result.data.size(), sizeof(VarelTest_Timer));
    EXPECT_EQ(ResultValue("TestParams.Result.TimerStartFlag.0"), 1);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.Timer.0"), 0.1f) << "the over-current delay";
    EXPECT_EQ(ResultValue("TestParams.Result.TimerStartFlag.1"), 1);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.Timer.1"), 0.0f) << "the fault ends as input 0 operates";
    EXPECT_EQ(ResultValue("TestParams.Result.TimerStartFlag.2"), 0);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.Timer.2"), -1000.0f);
}

TEST_F(TimedBench, TheSecondHarmonicRestrainsTheOverCurrentElement) {
    Link(kHarm, 16, 16);
    // 100 V on the phases keeps the under-voltage element quiet; 10 A
    // fundamental on current 0, input 0 selected, 0.5 s at most.
    for (const char* phase : {"uPara.0", "uPara.1", "uPara.2"}) {
        Set(std::string(phase) + ".Harm.1.bSelect", VT_INT, 1);
        Set(std::string(phase) + ".Harm.1.Mag", VT_R4, 100);
    }
    Set("iPara.0.Harm.1.bSelect", VT_INT, 1);
    Set("iPara.0.Harm.1.Mag", VT_R4, 10);
    Set("bBinSelect.0", VT_INT, 1);
    Set("TimeLimit", VT_R4, 0.5);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const sim::TesterRecord record = bench.Model().Record();
    EXPECT_EQ(record.params.size(), 5081u);
    EXPECT_EQ(record.paramMessages, 64u);
    auto notifications = UntilResult();
    ASSERT_EQ(notifications.size(), 2u) << "input 0 closes, then the result";
    EXPECT_EQ(notifications[1].data.size(), sizeof(VarelTest_Harm));
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 1);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.TripTime"), 0.1f);
    ASSERT_EQ(VTS_StopTest(0), S_OK);

    // A second harmonic of 15 % of the fundamental blocks the element.
    Set("iPara.0.Harm.2.bSelect", VT_INT, 1);
    Set("iPara.0.Harm.2.Mag", VT_R4, 1.5);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    notifications = UntilResult();
    ASSERT_EQ(notifications.size(), 1u) << "no input closes";
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 0);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.TripTime"), -1000.0f);
}

TEST_F(TimedBench, AChannelSequencePlaysEachEntryFromItsStart) {
    Link(kSequence);
    // Current 0: 0 A from the start, 10 A from 0.2 s. The voltages stay 0,
    // so the under-voltage element closes input 1 at once.
    Set("Ip_StateNumbers.0", VT_INT, 2);
    Set("StatePara.1.Ip.0.TimeStart", VT_R4, 0.2);
    Set("StatePara.1.Ip.0.Mag", VT_R4, 10);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const auto notifications = UntilResult();
    ASSERT_EQ(notifications.size(), 3u);
    // As the tester sent it: 16 inputs, one row, the test's time, the end
    // states, then each input's closing.
    const std::vector<uint8_t>& words = notifications[2].data;
    ASSERT_EQ(words.size(), 4u * (3 + 16 + 16));
    const auto word = [&](size_t i) { return static_cast<int32_t>(LoadLe32(words.data() + 4 * i)); };
    EXPECT_EQ(word(0), 16);
    EXPECT_EQ(word(1), 1);
    EXPECT_EQ(word(2), 12000) << "1 s after the last entry's start";
    EXPECT_EQ(word(3), 1);
    EXPECT_EQ(word(4), 1);
    EXPECT_EQ(word(19), 3000) << "input 0: 0.1 s after 10 A began";
    EXPECT_EQ(word(20), 0) << "input 1 at once";
    EXPECT_EQ(word(21), -10000000);
}
