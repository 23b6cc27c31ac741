// The voltage/current, track and adjustment tests: each parameter list pair
// by pair through a fake port, the result conversions, and one run of each
// on the simulated bench.
#include "device/message_ids.h"
#include "dsptest/comp.h"
#include "dsptest/track.h"
#include "dsptest/ui.h"
#include "module_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr const WCHAR* kUI = OLESTR("Varel.UITest.1");
constexpr const WCHAR* kTrack = OLESTR("Varel.FSXTXTest.1");
constexpr const WCHAR* kComp = OLESTR("Varel.AdjTest.1");

using Ids = std::vector<uint16_t>;
const Ids kStart = {DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_START,
                    DEVMSG_TEST_START2};
const Ids kSwitch = {DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK};

class UIModule : public ModuleOnPort<CDspTest_UI, VarelTest_UI> {
protected:
    UIModule() : ModuleOnPort(kUI) {}
};
class TrackModule : public ModuleOnPort<CDspTest_Track, VarelTest_Track> {
protected:
    TrackModule() : ModuleOnPort(kTrack) {}
};
class CompModule : public ModuleOnPort<CDspTest_Comp, VarelTest_Comp> {
protected:
    CompModule() : ModuleOnPort(kComp) {}
};

using ChannelSetBench = BenchTest;

} // namespace

TEST_F(UIModule, TheParameterListPairByPairAndTheOutputsBetweenTheStarts) {
    port.voltages = 2;
    port.currents = 1;
    Set("Up.1.Mag", VT_R4, 57.735);
    Set("Up.1.Ang", VT_R4, -120);
    Set("Ip.0.Mag", VT_R4, 1.5);
    Set("Ip.0.bDC", VT_INT, 1);
    Set("bAndOr", VT_INT, 1);
    Set("bBinSelect.0", VT_INT, 1);
    Set("bBinSelect.15", VT_INT, 1);
    Set("SynMode", VT_INT, 3);
    Set("PowerMode", VT_INT, 4);
    Set("TimeLimit", VT_R4, 2.5);
    Set("Output_0.2", VT_INT, 1);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    const Pairs golden = {
        // Each channel: magnitude, angle, frequency, DC flag.
        {0x2001, 0}, {0x2011, 0}, {0x2021, 500000}, {0x2031, 0},
        {0x2002, 577350}, {0x2012, Wire(-120)}, {0x2022, 500000}, {0x2032, 0},
        {0x2041, 15000}, {0x2051, 0}, {0x2061, 500000}, {0x2071, 1},
        // And/or, the input mask, 0.01 s confirmation, synchronisation, GPS
        // option 2, power mode, time limit; no outputs.
        {0x2081, 1}, {0x2082, 0x8001}, {0x2083, 100}, {0x2084, 3}, {0x2085, 2}, {0x208B, 4}, {0x208C, 25000},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);
    EXPECT_EQ(port.Ids(), (Ids{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK,
                               DEVMSG_TEST_START, DEVMSG_BOUT, DEVMSG_TEST_START2}));
    std::vector<uint8_t> outputs(32);
    outputs[4] = 1;
    EXPECT_EQ(port.messages[4].payload, outputs);

    // 4 + 3 channels: 28 channel items and 7 more; a switch sends no outputs.
    port.voltages = 4;
    port.currents = 3;
    port.pairs.clear();
    port.messages.clear();
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(port.pairs.size(), 35u);
    EXPECT_EQ(port.Ids(), kSwitch);
}

TEST_F(UIModule, OutputsOfOlderDocumentsAndTheResult) {
    ComPtr<IGenericData> older =
        DocumentFromXml(OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_UI\">"
                               "<Para id=\"m_Output_0\"><Para id=\"1\" valuetype=\"int\" value=\"1\"/></Para>"
                               "<Para id=\"TimeLimit\" valuetype=\"float\" value=\"2.5\"/></Para></root>"));
    ASSERT_EQ(module.BeginTest(older.Get()), S_OK);
    ASSERT_EQ(port.messages.size(), 6u);
    EXPECT_EQ(port.messages[4].payload[2], 1) << "output 1 read from \"m_Output_0\"";
    ComPtr<IGenericData> saved;
    ASSERT_EQ(module.GetTestResult(reinterpret_cast<IUnknown**>(saved.Put())), S_OK);
    EXPECT_EQ(DocumentValue(saved.Get(), "TestParams.Output_0.1"), 1.0) << "written as \"Output_0\"";
    EXPECT_TRUE(std::isnan(DocumentValue(saved.Get(), "TestParams.m_Output_0.1")));

    // The two-time rule (its cases are the result words' own); the time
    // limit stands after the results, the last 4 bytes of the image.
    const std::vector<uint8_t> payload = Convert({1000});
    float tail[3];
    std::memcpy(tail, payload.data() + payload.size() - sizeof tail, sizeof tail);
    EXPECT_FLOAT_EQ(tail[1], 0.1f) << "trip time";
    EXPECT_FLOAT_EQ(tail[2], 2.5f) << "time limit";
    EXPECT_FLOAT_EQ(DocumentValue(document.Get(), "TestParams.TimeLimit"), -1000.0f) << "its default";
}

TEST_F(TrackModule, TheParameterListPairByPair) {
    port.voltages = 1;
    port.currents = 1;
    Set("Up0.0.Mag", VT_R4, 57.735);
    Set("Ip0.0.Mag", VT_R4, 1);
    Set("Up.0.Mag", VT_R4, 30);
    Set("Ip.0.Mag", VT_R4, 10);
    Set("Ip.0.Ang", VT_R4, -80);
    Set("PreFaultTime", VT_R4, 0.2);
    Set("bBinSelect.1", VT_INT, 1);
    Set("PowerMode", VT_INT, 1);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    const Pairs golden = {
        // Id 1 = 0, the pre-fault set: voltage 0, current 0.
        {0x2001, 0},
        {0x2002, 577350}, {0x2012, 0}, {0x2022, 500000}, {0x2032, 0},
        {0x2042, 10000}, {0x2052, 0}, {0x2062, 500000}, {0x2072, 0},
        // Id 1 = 1, the fault set.
        {0x2001, 1},
        {0x2002, 300000}, {0x2012, 0}, {0x2022, 500000}, {0x2032, 0},
        {0x2042, 100000}, {0x2052, Wire(-80)}, {0x2062, 500000}, {0x2072, 0},
        // Pre-fault 0.2 s, the default 300 s fault, and/or, the mask, 0.01 s
        // confirmation, power mode.
        {0x2086, 2000}, {0x2087, 3000000}, {0x2082, 0}, {0x2083, 2}, {0x2084, 100}, {0x2085, 1},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);
    EXPECT_EQ(port.Ids(), kStart);

    port.voltages = 3;
    port.currents = 3;
    port.pairs.clear();
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(port.pairs.size(), 56u) << "2 x (1 + 24) + 6";
}

TEST_F(TrackModule, TheResultIsAFlagAndATime) {
    VarelTest_Track image = Image({1, 1234});
    EXPECT_EQ(image.tripFlag, 1);
    EXPECT_FLOAT_EQ(image.tripTime, 0.1234f);
    EXPECT_FLOAT_EQ(image.preFaultTime, 1.0f) << "the parameters travel too";
    image = Image({7});
    EXPECT_EQ(image.tripFlag, 7) << "the flag as it came";
    EXPECT_FLOAT_EQ(image.tripTime, -214748.3648f);
}

TEST_F(CompModule, OnlyTheChannelsAndWithoutChannelsNoStart) {
    port.voltages = 1;
    port.currents = 2;
    Set("Up.0.Mag", VT_R4, 57.735);
    Set("Up.0.bDC", VT_INT, 1);
    Set("Ip.1.Mag", VT_R4, 5);
    Set("Ip.1.Fre", VT_R4, 60);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    const Pairs golden = {
        // Voltage 0, then currents 0 and 1.
        {0x2000, 577350}, {0x2010, 0}, {0x2020, 500000}, {0x2030, 1},
        {0x2040, 0}, {0x2050, 0}, {0x2060, 500000}, {0x2070, 0},
        {0x2041, 50000}, {0x2051, 0}, {0x2061, 600000}, {0x2071, 0},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);
    EXPECT_EQ(port.Ids(), kStart);

    port.voltages = 0;
    port.currents = 0;
    port.messages.clear();
    EXPECT_EQ(module.BeginTest(document.Get()), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(port.Ids(), (Ids{DEVMSG_DOWNLOAD_LOCK, DEVMSG_DOWNLOAD_LOCK}))
        << "the closing lock still goes out";
    EXPECT_EQ(port.messages[1].payload, std::vector<uint8_t>{0});

    const VarelTest_Comp image = Image({-1, 2500});
    EXPECT_EQ(image.tripFlag, 2) << "the two-time rule";
    EXPECT_FLOAT_EQ(image.tripTime, 0.25f);
}

TEST_F(ChannelSetBench, VoltageCurrentHoldsUntilTheSelectedInputTrips) {
    Link(kUI);
    // 10 A on current 0 and input 0 selected, no time limit. The voltages
    // stay 0: the under-voltage element closes input 1 at once.
    Set("Ip.0.Mag", VT_R4, 10);
    Set("bBinSelect.0", VT_INT, 1);
    Set("Output_0.3", VT_INT, 1);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().outputs[3], 1);
    auto underVoltage = host.Next(), overCurrent = host.Next(), result = host.Next();
    ASSERT_TRUE(underVoltage && overCurrent && result);
    EXPECT_EQ(underVoltage->code, 2u);
    EXPECT_EQ(underVoltage->data[0], 2);
    EXPECT_EQ(overCurrent->data[0], 3);
    ASSERT_EQ(result->code, 3u);
    EXPECT_EQ(result->data.size(), sizeof(VarelTest_UI));
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 1);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.TripTime"), 0.1f) << "the over-current delay";
}

TEST_F(ChannelSetBench, TrackTimesTheTripFromTheFaultsStart) {
    Link(kTrack);
    // Pre-fault 1 A for 0.2 s, fault 10 A; input 0 selected. The
    // under-voltage trip in the pre-fault is reported but not watched.
    Set("Ip0.0.Mag", VT_R4, 1);
    Set("PreFaultTime", VT_R4, 0.2);
    Set("Ip.0.Mag", VT_R4, 10);
    Set("bBinSelect.0", VT_INT, 1);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    auto underVoltage = host.Next(), overCurrent = host.Next(), result = host.Next();
    ASSERT_TRUE(underVoltage && overCurrent && result);
    EXPECT_EQ(underVoltage->data[0], 2);
    EXPECT_EQ(overCurrent->data[0], 3);
    ASSERT_EQ(result->code, 3u);
    EXPECT_EQ(result->data.size(), sizeof(VarelTest_Track));
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 1);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.TripTime"), 0.1f);
}

TEST_F(ChannelSetBench, AdjustmentHoldsItsChannelsAndReports) {
    Link(kComp);
    // Voltages above the under-voltage element's 70 V, 10 A on current 0:
    // the over-current element closes input 0 after 0.1 s; no input is
    // selected, so that is the second time.
    for (const char* phase : {"Up.0.Mag", "Up.1.Mag", "Up.2.Mag"}) Set(phase, VT_R4, 100);
    Set("Ip.0.Mag", VT_R4, 10);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    auto overCurrent = host.Next(), result = host.Next();
    ASSERT_TRUE(overCurrent && result);
    EXPECT_EQ(overCurrent->code, 2u);
    EXPECT_EQ(overCurrent->data[0], 1);
    ASSERT_EQ(result->code, 3u) << "after the hold";
    EXPECT_EQ(result->data.size(), sizeof(VarelTest_Comp));
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 2);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.TripTime"), 0.1f);
}
