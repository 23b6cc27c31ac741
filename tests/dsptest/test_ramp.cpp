// The ramp: its parameter list pair by pair through a fake port, its result
// and report conversion, its binary outputs, and a ramp on the simulated
// bench up to the relay's pick-up and back to its drop-off.
#include "device/message_ids.h"
#include "dsptest/ramp.h"
#include "little_endian.h"
#include "module_fixture.h"

#include <cmath>
#include <cstring>

namespace {

constexpr const WCHAR* kRamp = OLESTR("Varel.DBHCTest.1");

class RampModule : public ModuleOnPort<CDspTest_Ramp, VarelTest_Ramp> {
protected:
    RampModule() : ModuleOnPort(kRamp) {}
};

using RampBench = BenchTest;

float FloatAt(const std::vector<uint8_t>& bytes, size_t at) {
    float value;
    const uint32_t bits = LoadLe32(bytes.data() + at);
    std::memcpy(&value, &bits, 4);
    return value;
}

} // namespace

TEST_F(RampModule, TheParameterListPairByPair) {
    port.voltages = 2;
    port.currents = 1;
    Set("Up0.0.Mag", VT_R4, 57.735);
    Set("Up.1.Ang", VT_R4, -120);
    Set("Ip.0.Mag", VT_R4, 4);
    Set("Ip.0.bDC", VT_INT, 1);
    Set("CurVari_nGroup", VT_INT, 1);
    Set("VaryFrom", VT_R4, 4);
    Set("VaryTo", VT_R4, 6);
    Set("StepSize", VT_R4, 0.1);
    Set("StepTime", VT_R4, 0.5);
    Set("bReset", VT_INT, 1);
    Set("ResetMode", VT_INT, 2);
    Set("PreTestTime", VT_R4, 0.00006);
    Set("TimerStartValue", VT_R4, 0.00004);
    Set("bBinSelect.0", VT_INT, 1);
    Set("bBinSelect.15", VT_INT, 1);
    Set("SureTime", VT_R4, -0.00006);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    const Pairs golden = {
        // Set 0, then set 1: per voltage channel magnitude, angle,
        // frequency and DC flag, the channel number in the id; then the
        // current channel from 0x41.
        {0x2000, 0}, {0x2001, 577350}, {0x2011, 0}, {0x2021, 500000}, {0x2031, 0},
        {0x2002, 0}, {0x2012, 0}, {0x2022, 500000}, {0x2032, 0},
        {0x2041, 0}, {0x2051, 0}, {0x2061, 500000}, {0x2071, 0},
        {0x2000, 1}, {0x2001, 0}, {0x2011, 0}, {0x2021, 500000}, {0x2031, 0},
        {0x2002, 0}, {0x2012, 0xFFEDB080}, {0x2022, 500000}, {0x2032, 0},
        {0x2041, 40000}, {0x2051, 0}, {0x2061, 500000}, {0x2071, 1},
        // Ramp mode 0 sends the stepped start and end; reset mode 2 is sent
        // as 3; the input mask 0x8001; reals rounded half away from zero.
        {0x2081, 0}, {0x2082, 1}, {0x2083, 0}, {0x2084, 0}, {0x2085, 40000}, {0x2086, 60000},
        {0x2087, 1000}, {0x2088, 5000}, {0x2089, 0}, {0x208A, 1}, {0x208B, 0}, {0x208C, 1},
        {0x208D, 3}, {0x208E, 10000}, {0x208F, 10000}, {0x2090, 0}, {0x2091, 10000}, {0x2092, 10000},
        {0x2093, 0}, {0x2094, 0x8001}, {0x2095, 0xFFFFFFFF}, {0x2096, 0},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);

    // Ramp mode 1 sends the ramp's start and end under the same ids; reset
    // off sends 0 whatever its mode.
    port.pairs.clear();
    Set("RampMode", VT_INT, 1);
    Set("RampFrom", VT_R4, 2.5);
    Set("RampTo", VT_R4, -1.25);
    Set("bReset", VT_INT, 0);
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 0x85), Wire(2.5));
    EXPECT_EQ(Find(port.pairs, 0x86), Wire(-1.25));
    EXPECT_EQ(Find(port.pairs, 0x8D), 0u);
}

TEST_F(RampModule, TheResultAndTheIntermediateReport) {
    VarelTest_Ramp image = Image({1, 51000, 50000, 71000, 47500});
    EXPECT_EQ(image.tripFlag, 1);
    EXPECT_FLOAT_EQ(image.pickUpTime, 5.1f);
    EXPECT_FLOAT_EQ(image.pickUpValue, 5.0f);
    EXPECT_FLOAT_EQ(image.dropOffTime, 7.1f);
    EXPECT_FLOAT_EQ(image.dropOffValue, 4.75f);
    EXPECT_EQ(image.returnMode, 1) << "the parameters travel too";
    // Three words: the drop-off fields are INT32_MIN x 0.0001.
    image = Image({0, -10000000, 0});
    EXPECT_EQ(image.pickUpTime, -1000.0f);
    EXPECT_FLOAT_EQ(image.dropOffTime, -214748.3648f);
    EXPECT_FLOAT_EQ(image.dropOffValue, -214748.3648f);

    // Code 4: seven fields, 1 and 3 to 6 scaled to floats, 0 and 2 as they came.
    const std::vector<uint8_t> report = Convert({7, 25000, 0x8001, 45000, -1, 0, 3}, VTS_NOTIFY_TEST_EVENT);
    ASSERT_EQ(report.size(), 28u);
    EXPECT_EQ(LoadLe32(report.data()), 7u);
    EXPECT_FLOAT_EQ(FloatAt(report, 4), 2.5f);
    EXPECT_EQ(LoadLe32(report.data() + 8), 0x8001u);
    EXPECT_FLOAT_EQ(FloatAt(report, 12), 4.5f);
    EXPECT_FLOAT_EQ(FloatAt(report, 24), 0.0003f);
    EXPECT_EQ(Convert({1, 2}, VTS_NOTIFY_IO_STATE).size(), 8u) << "other codes stay as they came";
}

TEST_F(RampModule, OutputsFromTheOlderKeyGoOutBetweenTheStartsOnly) {
    ComPtr<IGenericData> older =
        DocumentFromXml(OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_Ramp\">"
                               "<Para id=\"m_Output_0\"><Para id=\"0\" valuetype=\"int\" value=\"1\"/>"
                               "<Para id=\"3\" valuetype=\"int\" value=\"65537\"/></Para></Para></root>"));
    ASSERT_EQ(module.BeginTest(older.Get()), S_OK);
    EXPECT_EQ(port.Ids(),
              (std::vector<uint16_t>{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK,
                                     DEVMSG_TEST_START, DEVMSG_BOUT, DEVMSG_TEST_START2}));
    std::vector<uint8_t> words(32);
    words[0] = 1;
    words[6] = 1;
    EXPECT_EQ(port.messages[4].payload, words) << "the low 16 bits of each of the 16 outputs";

    IUnknown* result = nullptr;
    ASSERT_EQ(module.GetTestResult(&result), S_OK);
    ComPtr<IGenericData> saved;
    ASSERT_EQ(result->QueryInterface(IID_IGenericData, saved.PutVoid()), S_OK);
    result->Release();
    EXPECT_EQ(DocumentValue(saved.Get(), "TestParams.Output_0.3"), 65537.0);
    EXPECT_TRUE(std::isnan(DocumentValue(saved.Get(), "TestParams.m_Output_0.0")))
        << "written under the new key";
    EXPECT_EQ(DocumentValue(saved.Get(), "TestParams.Result.DropOffTime"), -1000.0);

    port.messages.clear();
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(port.Ids(),
              (std::vector<uint16_t>{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK}));
}

TEST_F(RampBench, ACurrentRampPicksUpAndDropsOff) {
    // Phase A current from 4 A up in 0.1 A steps of 0.5 s against the
    // over-current element (5 A, 0.1 s, drop-off 0.95) on input 0.
    Link(kRamp, 4, 3);
    Set("CurVari_nGroup", VT_INT, 1);
    Set("VaryFrom", VT_R4, 4);
    Set("VaryTo", VT_R4, 6);
    Set("StepSize", VT_R4, 0.1);
    Set("StepTime", VT_R4, 0.5);
    Set("bBinSelect.0", VT_INT, 1);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const sim::TesterRecord record = bench.Model().Record();
    EXPECT_EQ(record.params.size(), 80u) << "4 + 3 channels: 2 x 29 + 22 items";
    EXPECT_EQ(record.paramMessages, 1u) << "80 pairs fill one message";
    EXPECT_TRUE(record.programComplete) << "Ramp.new downloaded";
    EXPECT_EQ(record.programEntry, 0x00014000u);

    auto pickUp = host.Next(), dropOff = host.Next(), result = host.Next();
    ASSERT_TRUE(pickUp && dropOff && result);
    EXPECT_EQ(pickUp->code, 2u);
    EXPECT_EQ(pickUp->data[0] & 1, 1);
    EXPECT_EQ(dropOff->code, 2u);
    EXPECT_EQ(dropOff->data[0] & 1, 0);
    ASSERT_EQ(result->code, 3u);
    EXPECT_EQ(result->data.size(), sizeof(VarelTest_Ramp));
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 1.0);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.PickUpValue"), 5.0f) << "4 A + 10 x 0.1 A";
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.PickUpTime"), 5.1f) << "10 steps and the relay's 0.1 s";
    // Back in the same steps from the trip: 4.9 and 4.8 A hold the element,
    // 4.7 A is the first step at or below 0.95 x 5 A.
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.DropOffValue"), 4.7f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.DropOffTime"), 6.1f);

    // An intermediate report while a ramp runs reaches the host as its record.
    const int32_t words[] = {7, 25000, 2, 50000, -1, 0, 3};
    sim::Bytes report(sizeof words);
    std::memcpy(report.data(), words, sizeof words);
    bench.Tester().Push(0x0208, report);
    auto event = host.Next();
    ASSERT_TRUE(event && event->code == 4u);
    ASSERT_EQ(event->data.size(), 28u);
    float pickUpValue;
    std::memcpy(&pickUpValue, event->data.data() + 12, 4);
    EXPECT_FLOAT_EQ(pickUpValue, 5.0f);

    // A ramp without a step does not run: no pick-up, at once.
    Set("StepSize", VT_R4, 0);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    result = host.Next(1000);
    ASSERT_TRUE(result && result->code == 3u);
    EXPECT_EQ(ResultValue("TestParams.Result.TripFlag"), 0.0);
    EXPECT_EQ(ResultValue("TestParams.Result.PickUpTime"), -1000.0);
}
