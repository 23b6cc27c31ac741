// The power swing test: the waveform from the host's block before the
// parameter list (pair by pair), the ways a block or its counts can be
// wrong, the swing a host computes against the two-source formula, and a
// swing on the simulated bench with and without power-swing blocking.
#include "device/message_ids.h"
#include "dsptest/osc.h"
#include "module_fixture.h"
#include "tools/swing_wave.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr const WCHAR* kOsc = OLESTR("Varel.GLZDTest.1");

class OscModule : public ModuleOnPort<CDspTest_Osc, VarelTest_Osc> {
protected:
    OscModule() : ModuleOnPort(kOsc) {}
    // A block of points frames and the document's counts for it.
    void Block(int32_t points, int32_t bytes, size_t blockBytes) {
        ASSERT_TRUE(block.Create(kOscMapping, blockBytes));
        Set("OSCWavePTCount", VT_INT, points);
        Set("OSCWaveFileSize", VT_INT, bytes);
    }
    SharedMemory block;
};

using OscBench = BenchTest;

std::pair<uint16_t, uint32_t> P(uint16_t id, uint32_t word) {
    return {static_cast<uint16_t>(0x2000 + id), word};
}

} // namespace

TEST_F(OscModule, TheWaveThenTheParameterListPairByPair) {
    Block(100, 7200, 7200);
    float* frames = reinterpret_cast<float*>(block.data());
    for (size_t i = 0; i < 1800; ++i) frames[i] = static_cast<float>(i) * 0.5f - 300.0f;
    Set("Up.1.Mag", VT_R4, 57.735);
    Set("Ip.2.Ang", VT_R4, -120);
    Set("nOscMode", VT_INT, 1);
    Set("bSimulateBreakerDelay", VT_INT, 1);
    Set("Output_0.0", VT_INT, 1);
    Set("Ikmax_Mag", VT_R4, 20);
    Set("OSCWaveBegin", VT_INT, 2000);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(port.Ids(),
              (std::vector<uint16_t>{DEVMSG_WAVE_DATA, DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS,
                                     DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_START, DEVMSG_TEST_START2}));
    EXPECT_EQ(port.wave, std::vector<float>(frames, frames + 1800))
        << "100 frames of 18 values, the block's own";
    // clang-format off
    const Pairs golden = {
        P(0, 0), P(1, 577350), P(2, 0), P(3, 0), P(4, 0), P(5, 0),
        P(6, 0), P(7, 0), P(8, 0), P(9, 0), P(10, 0), P(11, 0xFFEDB080),
        P(12, 10000), P(13, 577350), P(14, 577350), P(15, 100000), P(16, 900000), P(17, 100000),
        P(18, 900000), P(19, 1), P(20, 0), P(21, 800000), P(22, 0), P(23, 5000), P(24, 500000),
        P(25, 10), P(26, 0), P(27, 10000), P(28, 10000), P(29, 0), P(30, 0),
        P(31, 200), P(32, 200), // the breaker flag, outputs and switch mode are not sent
        P(33, 0), P(34, 0), P(35, 0), P(36, 0), P(37, 150), P(38, 0), P(39, 200), P(40, 0),
        P(41, 0), P(42, 0), P(43, 0), P(44, 200000), P(45, 0), P(46, 2000), P(47, 0), P(48, 100)};
    // clang-format on
    EXPECT_EQ(port.pairs, golden);

    // A result as the whole-group fault test's, into the 604-byte struct.
    const VarelTest_Osc image = Image({2, 1, 30000, 4000, 5000});
    EXPECT_EQ(image.result.tripNumbers, 1);
    EXPECT_FLOAT_EQ(image.result.realTestTime, 3.0f);
    EXPECT_FLOAT_EQ(image.result.binTripTime[0][1], 0.5f);
    EXPECT_EQ(image.result.binTripTime[1][0], 0.0f) << "not reported: the default 0";
}

TEST_F(OscModule, AMissingOrShortWaveSendsNothing) {
    // No block.
    Set("OSCWavePTCount", VT_INT, 10);
    Set("OSCWaveFileSize", VT_INT, 720);
    EXPECT_EQ(module.BeginTest(document.Get()), E_INVALIDARG);
    // Counts below 1, a block smaller than the size (by a page: a Windows
    // view is whole pages), points beyond the size.
    const struct {
        int32_t points, bytes;
        size_t blockBytes;
    } bad[] = {{0, 720, 720}, {10, 0, 720}, {100, 7200, 4096}, {11, 720, 720}, {0x7FFFFFFF, 720, 720}};
    for (const auto& b : bad) {
        block.Close();
        Block(b.points, b.bytes, b.blockBytes);
        EXPECT_EQ(module.BeginTest(document.Get()), E_INVALIDARG) << b.points << " " << b.bytes;
    }
    // A document for another test type: the defaults, with no wave.
    EXPECT_EQ(module.BeginTest(DefaultsOf(OLESTR("Varel.DBHCTest.1")).Get()), E_INVALIDARG);
    EXPECT_TRUE(port.messages.empty());
    // Not attached.
    block.Close();
    Block(10, 720, 720);
    CDspTest_Osc alone(EntryOf(kOsc));
    EXPECT_EQ(alone.BeginTest(document.Get()), E_NOINTERFACE);
}

TEST_F(OscModule, AHostsBlockThroughTheFileMappingFunctions) {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 720, kOscMapping);
    ASSERT_TRUE(mapping);
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 720);
    ASSERT_TRUE(view);
    EXPECT_FALSE(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 1 << 20)) << "beyond the block";
    Set("OSCWavePTCount", VT_INT, 10);
    Set("OSCWaveFileSize", VT_INT, 720);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(port.messages[0].payload.size(), 180u);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_EQ(module.BeginTest(document.Get()), E_INVALIDARG) << "the block went with its last handle";
}

TEST(SwingWave, FollowsTheTwoSourceFormula) {
    // Equal sources, the relay at the electrical centre (Zm = Ztotal / 2):
    // |I| = 2E sin(delta / 2) / |Z|, |U| = E cos(delta / 2).
    SwingSettings s;
    s.zTotal = std::polar(10.0, std::numbers::pi / 2);
    s.zm = s.zTotal / 2.0;
    const double e = 57.735;
    for (double delta : {0.0, 60.0, 135.0, 180.0}) {
        const SwingPoint at = SwingAt(s, delta);
        const double half = delta * std::numbers::pi / 360;
        EXPECT_NEAR(std::abs(at.i), 2 * e * std::sin(half) / 10, 1e-9) << delta;
        EXPECT_NEAR(std::abs(at.u), e * std::cos(half), 1e-9) << delta;
    }
    // To and fro: the second angle at half a period, back at a whole; a
    // slip turns a quarter in a quarter period, downwards when reversed.
    EXPECT_DOUBLE_EQ(SwingAngle(s, 0.25), 80.0);
    EXPECT_NEAR(SwingAngle(s, 0.5), 0.0, 1e-12);
    s.mode = 1;
    s.reverse = true;
    EXPECT_DOUBLE_EQ(SwingAngle(s, 0.125), -90.0);

    // The waveform: 1 s pre-swing and 10 periods of 0.5 s at 2000 points a
    // second; a slip of one turn a second passes 180 degrees at 0.5 s into
    // the swing, where phase A's current peaks at sqrt(2) x 2E / |Z|.
    s.reverse = false;
    s.periodSeconds = 1;
    s.swings = 1;
    const std::vector<float> wave = SwingWave(s, 1000000);
    ASSERT_EQ(wave.size(), 4000u * kOscPointFloats);
    double peak = 0, voltagePeak = 0;
    for (size_t n = 2980; n < 3020; ++n) {
        peak = std::max(peak, std::abs(static_cast<double>(wave[n * kOscPointFloats + 9])));
        if (n >= 2995 && n < 3005)
            voltagePeak = std::max(voltagePeak, std::abs(static_cast<double>(wave[n * kOscPointFloats])));
    }
    EXPECT_NEAR(peak, std::sqrt(2.0) * 2 * e / 10, 0.01);
    EXPECT_LT(voltagePeak, 1.0) << "the electrical centre";
    EXPECT_TRUE(SwingWave(s, 3999).empty());

    // A fault 0.25 s into the swing, for 0.1 s: no voltage, source M's
    // current through Zm alone, sqrt(2) x E / |Zm| at its peak.
    s.fault = true;
    s.faultAtSeconds = 0.25;
    s.faultSeconds = 0.1;
    const std::vector<float> faulted = SwingWave(s, 1000000);
    peak = voltagePeak = 0;
    for (size_t n = 2540; n < 2580; ++n) {
        peak = std::max(peak, std::abs(static_cast<double>(faulted[n * kOscPointFloats + 9])));
        voltagePeak = std::max(voltagePeak, std::abs(static_cast<double>(faulted[n * kOscPointFloats])));
    }
    EXPECT_NEAR(peak, std::sqrt(2.0) * e / 5, 0.01);
    EXPECT_EQ(voltagePeak, 0.0);
}

TEST_F(OscBench, ASwingTripsTheRelayUnlessBlocked) {
    // Over-current 5 A, 0.1 s on input 0, no blocking; the default swing,
    // 0 to 80 degrees and back in 0.5 s, twice, after 0.2 s pre-swing.
    sim::VirtualRelay relay;
    relay.underVoltage = false;
    relay.swingBlocking = false;
    bench.Model().SetRelay(relay);
    Link(kOsc);
    Set("PreOscTime", VT_R4, 0.2);
    Set("nOscNumbers", VT_INT, 2);
    SharedMemory block;
    ASSERT_EQ(PrepareSwingWave(document.Get(), block), S_OK);
    EXPECT_EQ(DocumentValue(document.Get(), "TestParams.OSCWavePTCount"), 2400.0);
    EXPECT_EQ(DocumentValue(document.Get(), "TestParams.OSCWaveBegin"), 400.0);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().wave.Codes(), 2400u * 18) << "every frame downloaded";
    std::optional<Notification> n;
    while ((n = host.Next()) && n->code != VTS_NOTIFY_TEST_RESULT) {
    }
    ASSERT_TRUE(n);
    EXPECT_EQ(n->data.size(), 604u);
    // With Zm = Ztotal the current is 2E sin(delta / 2) / |Z|: 5 A at
    // delta = 2 asin(5 x 10 / 2E), reached at t = Ts / 2pi x acos(1 - delta / 40).
    const double delta = 2 * std::asin(5 * 10 / (2 * 57.735)) * 180 / std::numbers::pi;
    const double reach = 0.5 / (2 * std::numbers::pi) * std::acos(1 - delta / 40);
    EXPECT_EQ(ResultValue("TestParams.Result.TripNumbers"), 2.0);
    EXPECT_NEAR(ResultValue("TestParams.Result.BinTripTime.0.Bin.0"), 0.2 + reach + 0.1, 0.02);
    EXPECT_NEAR(ResultValue("TestParams.Result.BinTripTime.1.Bin.0"), 0.7 + reach + 0.1, 0.02);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.RealTestTime"), 1.2f);

    // Blocking at 200 ohm/s holds the over-current element through the swing.
    relay.swingBlocking = true;
    relay.swingBlockRate = 200;
    bench.Model().SetRelay(relay);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    while ((n = host.Next()) && n->code != VTS_NOTIFY_TEST_RESULT) {
    }
    ASSERT_TRUE(n);
    EXPECT_EQ(ResultValue("TestParams.Result.TripNumbers"), 0.0);

    // A fault 0.3 s into the swing (5.77 A through Zm) moves the impedance
    // at once: blocking lets the element trip 0.1 s on.
    Set("bFault", VT_INT, 1);
    Set("FaultTrigTime", VT_R4, 0.3);
    Set("FaultKeepTime_Max", VT_R4, 0.3);
    ASSERT_EQ(PrepareSwingWave(document.Get(), block), S_OK);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    while ((n = host.Next()) && n->code != VTS_NOTIFY_TEST_RESULT) {
    }
    ASSERT_TRUE(n);
    EXPECT_EQ(ResultValue("TestParams.Result.TripNumbers"), 1.0);
    EXPECT_NEAR(ResultValue("TestParams.Result.BinTripTime.0.Bin.0"), 0.2 + 0.3 + 0.1, 0.02);
}
