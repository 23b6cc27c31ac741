// The whole-group fault test: its parameter list pair by pair (breaker times
// as reals of double precision, the fault angle brought into range), its
// result conversion and commands, and a fault on the simulated bench with
// the breaker opening on the trip and reclosing on the relay's contact.
#include "device/message_ids.h"
#include "dsptest/shot.h"
#include "module_fixture.h"

namespace {

constexpr const WCHAR* kShot = OLESTR("Varel.ZZTest.1");

class ShotModule : public ModuleOnPort<CDspTest_Shot, VarelTest_Shot> {
protected:
    ShotModule() : ModuleOnPort(kShot) {}
};

using ShotBench = BenchTest;

std::pair<uint16_t, uint32_t> P(uint16_t id, uint32_t word) {
    return {static_cast<uint16_t>(0x2000 + id), word};
}

} // namespace

TEST_F(ShotModule, TheParameterListPairByPair) {
    Set("TestUp_PreFault.0.Mag", VT_R4, 57.735);
    Set("TestUp_PreFault.1.Ang", VT_R4, -120);
    Set("TestIp_Fault.0.Mag", VT_R4, 10);
    Set("TestIp_TransFault.2.Ang", VT_R4, -0.5);
    Set("bFaultPermanent", VT_INT, 1);
    Set("FaultAng", VT_R4, 270);
    Set("Tao", VT_R4, 0.05);
    Set("bSimulateBreakerDelay", VT_INT, 1);
    Set("Breaker_BreakTime", VT_R4, 0.05);
    Set("Breaker_CloseTime", VT_R4, 0.08);
    Set("bBinSelect.0", VT_INT, 1);
    Set("bBinSelect.2", VT_INT, 1);
    Set("R", VT_INT, 2);
    Set("Output_0.3", VT_INT, 1);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    Pairs golden = {
        P(0, 500000), P(8, 1), P(1, 0), P(2, 0), P(3, 1000), P(4, 1),
        P(5, 0xFFF24460), // 270 degrees played as -90
        P(6, 1), P(7, 200000), // 1 / 0.05 s
        P(9, 0), P(10, 50000), P(11, 500), P(12, 800), P(13, 1), P(14, 200000),
        P(21, 0), P(22, 5), P(91, 0), P(92, 0), P(93, 0), P(94, 2), P(95, 100)};
    for (uint16_t k = 0; k < 16; ++k) golden.push_back(P(97 + k, k == 3));
    golden.insert(golden.end(), {P(96, 1), P(113, 0), P(114, 200), P(88, 0), P(89, 0), P(90, 0), P(115, 0),
                                 P(116, 0),
        // Each stage: voltage k's magnitude and angle, then current k's.
        P(23, 0), P(24, 577350), P(40, 0), P(25, 0), P(41, 0xFFEDB080), P(26, 0), P(42, 0), P(27, 0), P(43, 0),
                  P(56, 0), P(72, 0), P(57, 0), P(73, 0), P(58, 0), P(74, 0),
        P(23, 1), P(24, 0), P(40, 0), P(25, 0), P(41, 0), P(26, 0), P(42, 0), P(27, 0), P(43, 0),
                  P(56, 100000), P(72, 0), P(57, 0), P(73, 0), P(58, 0), P(74, 0),
        P(23, 2), P(24, 0), P(40, 0), P(25, 0), P(41, 0), P(26, 0), P(42, 0), P(27, 0), P(43, 0),
                  P(56, 0), P(72, 0), P(57, 0), P(73, 0), P(58, 0), P(74, 0xFFFFEC78),
        P(15, 2)});
    // clang-format on
    EXPECT_EQ(port.pairs, golden);
    EXPECT_EQ(port.Ids(),
              (std::vector<uint16_t>{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK,
                                     DEVMSG_TEST_START, DEVMSG_TEST_START2}));
    IUnknown* result = nullptr;
    ASSERT_EQ(module.GetTestResult(&result), S_OK);
    ComPtr<IGenericData> saved;
    ASSERT_EQ(result->QueryInterface(IID_IGenericData, saved.PutVoid()), S_OK);
    result->Release();
    EXPECT_EQ(DocumentValue(saved.Get(), "TestParams.FaultAng"), -90.0) << "the angle played is kept";

    // Without breaker simulation both times go as 0; a time constant of 0
    // as 1; the angle is brought above -180 up to 180.
    Set("bSimulateBreakerDelay", VT_INT, 0);
    Set("Tao", VT_R4, 0);
    const std::pair<double, uint32_t> angles[] = {
        {180, 1800000}, {-180, 1800000}, {-190, 1700000}, {540, 1800000}};
    for (const auto& [angle, sent] : angles) {
        port.pairs.clear();
        Set("FaultAng", VT_R4, angle);
        ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
        EXPECT_EQ(Find(port.pairs, 5), sent) << angle;
        EXPECT_EQ(Find(port.pairs, 11), 0u);
        EXPECT_EQ(Find(port.pairs, 12), 0u);
        EXPECT_EQ(Find(port.pairs, 7), 10000u);
    }
}

TEST_F(ShotModule, ResultsCommandsAndBadResults) {
    // 20 inputs and 7 operations read as 16 and 5, input by input.
    std::vector<int32_t> words{20, 7, 12345};
    for (int32_t k = 0; k < 16; ++k)
        for (int32_t j = 0; j < 5; ++j) words.push_back(1000 * k + j + 1);
    VarelTest_Shot image = Image(words);
    EXPECT_EQ(image.result.tripNumbers, 5);
    EXPECT_FLOAT_EQ(image.result.realTestTime, 1.2345f);
    EXPECT_FLOAT_EQ(image.result.binTripTime[0][0], 0.0001f);
    EXPECT_FLOAT_EQ(image.result.binTripTime[4][0], 0.0005f);
    EXPECT_FLOAT_EQ(image.result.binTripTime[1][15], 1.5002f);
    EXPECT_EQ(image.fre, 50.0f) << "the parameters travel too";
    // A short result: two operations of input 0, then words that are missing.
    image = Image({1, 2, 500, 1000});
    EXPECT_EQ(image.result.tripNumbers, 2);
    EXPECT_FLOAT_EQ(image.result.binTripTime[0][0], 0.1f);
    EXPECT_FLOAT_EQ(image.result.binTripTime[1][0], -214748.3648f);
    EXPECT_FLOAT_EQ(image.result.binTripTime[0][1], 0.1001f) << "inputs beyond the count keep their times";

    ASSERT_EQ(module.ExecuteCmd(1, nullptr, 0), S_OK);
    ASSERT_EQ(module.ExecuteCmd(2, nullptr, 0), S_OK);
    EXPECT_EQ(port.Ids(), std::vector<uint16_t>{DEVMSG_MODULE_COMMAND});
    EXPECT_TRUE(port.messages[0].payload.empty());
}

TEST_F(ShotBench, TheBreakerOpensOnTheTripAndReclosesOnTheRelaysContact) {
    // Over-current 5 A, 0.1 s on input 0; reclose after 0.5 s on input 8.
    sim::VirtualRelay relay;
    relay.underVoltage = false;
    relay.recloseDelayS = 0.5f;
    bench.Model().SetRelay(relay);
    Link(kShot);
    Set("TestUp_PreFault.0.Mag", VT_R4, 57.735);
    Set("TestIp_PreFault.0.Mag", VT_R4, 1);
    Set("TestIp_Fault.0.Mag", VT_R4, 10);
    Set("bFaultPermanent", VT_INT, 1);
    Set("PreFaultTime", VT_R4, 0.2);
    Set("TotalTestTime", VT_R4, 1.5);
    Set("bSimulateBreakerDelay", VT_INT, 1);
    Set("Breaker_BreakTime", VT_R4, 0.05);
    Set("Breaker_CloseTime", VT_R4, 0.08);
    Set("bBinSelect.0", VT_INT, 1);
    Set("R", VT_INT, 8);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    std::optional<Notification> n;
    while ((n = host.Next()) && n->code != VTS_NOTIFY_TEST_RESULT) {
    }
    ASSERT_TRUE(n);
    EXPECT_EQ(n->data.size(), 748u);
    // Trip at 0.1 s, open at 0.15 s, reclose contact 0.5 s later, closed
    // 0.08 s after that onto the fault, which trips again 0.1 s on; one
    // reclose only.
    EXPECT_EQ(ResultValue("TestParams.Result.TripNumbers"), 2.0);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.RealTestTime"), 1.5f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.BinTripTime.0.Bin.0"), 0.1f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.BinTripTime.0.Bin.8"), 0.65f);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.BinTripTime.1.Bin.0"), 0.83f);
    EXPECT_EQ(ResultValue("TestParams.Result.BinTripTime.1.Bin.8"), -1000.0);
    EXPECT_EQ(ResultValue("TestParams.Result.BinTripTime.0.Bin.1"), -1000.0);

    // A fault that is not permanent is gone when the breaker closes.
    Set("bFaultPermanent", VT_INT, 0);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    while ((n = host.Next()) && n->code != VTS_NOTIFY_TEST_RESULT) {
    }
    ASSERT_TRUE(n);
    EXPECT_EQ(ResultValue("TestParams.Result.TripNumbers"), 1.0);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.BinTripTime.0.Bin.8"), 0.65f);
}
