// The wave playback test: a recording of the test's own, described, played
// through a fake port frame by frame and on the simulated bench against the
// virtual relay.
#include "module_fixture.h"

#include "com/bstr.h"
#include "device/message_ids.h"
#include "playback/wave_play.h"

#include <varel/vts_errors.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace {

constexpr const WCHAR* kProgId = OLESTR("Varel.BXHFTest.1");
constexpr const WCHAR* kBenchLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");

// A recording at 1000 samples/s: channel 0 a voltage, channel 1 a current,
// one digital channel, each value sample k's of value(channel, k).
class Recording {
public:
    Recording(size_t samples, const std::function<double(size_t, size_t)>& value) {
        std::random_device entropy;
        dir_ = std::filesystem::temp_directory_path() / ("vts_wave_" + std::to_string(entropy()));
        std::filesystem::create_directories(dir_);
        std::ofstream(dir_ / "r.cfg")
            << "S,D,1999\n3,2A,1D\n1,UA,A,,V,1,0,0,-99999,99999,1,1,S\n"
               "2,IA,A,,A,1,0,0,-99999,99999,1,1,S\n1,T,,,0\n50\n1\n1000,"
            << samples << "\n01/01/2020,00:00:00.000000\n01/01/2020,00:00:00.000000\nASCII\n1\n";
        std::ofstream dat(dir_ / "r.dat");
        for (size_t k = 0; k < samples; ++k)
            dat << k + 1 << ',' << k * 1000 << ',' << value(0, k) << ',' << value(1, k) << ",0\n";
    }
    ~Recording() { std::filesystem::remove_all(dir_); }
    std::string Cfg() const { return (dir_ / "r.cfg").string(); }

private:
    std::filesystem::path dir_;
};

// Command 3 on text; the document when asked for.
HRESULT Describe(const std::function<HRESULT(int32_t, VARIANT*, int32_t)>& execute, const std::string& text,
                 ComPtr<IGenericData>* document = nullptr) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(Utf8ToUtf16(text).c_str());
    const HRESULT hr = execute(CDspTest_WavePlay::kDescribe, &v, document ? 1 : 0);
    if (document && v.vt == VT_DISPATCH)
        v.pdispVal->QueryInterface(IID_IGenericData, reinterpret_cast<void**>(document->Put()));
    VariantClear(&v);
    return hr;
}

class WavePlayModule : public ModuleOnPort<CDspTest_WavePlay, VarelTest_WavePlay> {
protected:
    WavePlayModule() : ModuleOnPort(kProgId) {}
    size_t WaveDownloads() const {
        const std::vector<uint16_t> ids = port.Ids();
        return static_cast<size_t>(std::count(ids.begin(), ids.end(), DEVMSG_WAVE_DATA));
    }
    HRESULT DescribeOnModule(const std::string& text) {
        return Describe([&](int32_t c, VARIANT* v, int32_t a) { return module.ExecuteCmd(c, v, a); }, text);
    }
};

using WavePlayBench = BenchTest;

} // namespace

// Voltage 10 k V and current k A at sample k; played at 2000 samples/s (the
// tester's word -2000 at 50 Hz), two frames a recorded interval.
TEST_F(WavePlayModule, ResamplesTheWindowAndSendsTheParametersPairByPair) {
    Recording recording(21, [](size_t channel, size_t k) { return channel == 0 ? 10.0 * k : 1.0 * k; });
    ASSERT_EQ(DescribeOnModule(recording.Cfg()), S_OK);
    port.sampRate = -2000;
    SetDocumentText(document.Get(), "TestParams.strCfgFileName", recording.Cfg());
    Set("Test_timeTo", VT_R4, 10);
    Set("uPara.0.ChIndex", VT_INT, 0);
    Set("uPara.0.Factor", VT_R4, 2);
    Set("uPara.1.ChIndex", VT_INT, 5); // no such channel: plays 0
    Set("iPara.0.ChIndex", VT_INT, 1);
    Set("iPara.0.Factor", VT_R4, 0); // a current divisor of 0 plays unscaled
    Set("SectionRepeat.0.bSelect", VT_INT, 1);
    Set("SectionRepeat.0.TimeFrom", VT_R4, 2);
    Set("SectionRepeat.0.TimeLength", VT_R4, 5);
    Set("SectionRepeat.0.RepeatNumbers", VT_INT, 3);
    Set("bBinSelect.1", VT_INT, 1);
    Set("Output_0.3", VT_INT, 1);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);

    ASSERT_EQ(port.wave.size(), 21u * 18u) << "0 to 10 ms at 2000 samples/s";
    for (size_t f = 0; f < 21; ++f) {
        SCOPED_TRACE(f);
        EXPECT_FLOAT_EQ(port.wave[18 * f], 2.5f * f) << "10 k V over 2";
        EXPECT_EQ(port.wave[18 * f + 1], 0.0f);
        EXPECT_FLOAT_EQ(port.wave[18 * f + 9], 0.5f * f);
    }
    // clang-format off
    const Pairs golden = {
        {0x2000, 0}, {0x2001, Wire(1.0)}, {0x2008, Wire(50)}, {0x2009, 0xFFFFF830}, {0x200B, 21},
        {0x2016, 1},
        {0x2017, 1}, {0x2018, 4}, {0x2019, 13}, {0x201A, 3},                 // 2 ms for 5 ms
        {0x201B, 0}, {0x201C, 0}, {0x201D, 0xFFFFFFFF}, {0x201E, 1},         // empty: ends before it starts
        {0x2014, 0}, {0x2015, 0x0002}, {0x2035, 0}, {0x201F, Wire(0.01)},
        {0x2021, 0}, {0x2022, 0}, {0x2023, 0}, {0x2024, 1}, {0x2025, 0}, {0x2026, 0}, {0x2027, 0}, {0x2028, 0},
        {0x2029, 0}, {0x202A, 0}, {0x202B, 0}, {0x202C, 0}, {0x202D, 0}, {0x202E, 0}, {0x202F, 0}, {0x2030, 0},
        {0x2020, 1}, {0x2031, Wire(0.02)}, {0x2032, Wire(0.02)}, {0x2033, 0}, {0x2034, Wire(0.02)},
        {0x2013, 0}, {0x2002, 2},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);
    EXPECT_EQ(port.Ids(), (std::vector<uint16_t>{0x0106, 0x020F, 0x0204, 0x020F, 0x0201, 0x0202}));

    // The same recording, window and map: no wave again; a new link: again.
    Set("PreFaultTime", VT_R4, 2);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(WaveDownloads(), 1u);
    std::vector<uint8_t> linked(104);
    EXPECT_EQ(module.OnDeviceEvent(VTS_NOTIFY_LINKED, linked), E_NOTIMPL);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(WaveDownloads(), 2u);
}

TEST_F(WavePlayModule, BadWindowsAndDivisorsLeaveTheWaveToBeSentAgain) {
    Recording recording(21, [](size_t, size_t k) { return 1.0 * k; });
    EXPECT_EQ(DescribeOnModule(recording.Cfg() + ".missing"), CComtradeParser::kCfgNotOpened);
    ASSERT_EQ(DescribeOnModule(recording.Cfg() + ";1000"), S_OK);
    SetDocumentText(document.Get(), "TestParams.strCfgFileName", recording.Cfg());
    Set("uPara.0.ChIndex", VT_INT, 0);
    struct Case {
        float from, to, voltageFactor;
        HRESULT result;
    } cases[] = {
        {5, 2, 1, E_INVALIDARG},         // ends before it starts
        {-5, 2, 1, E_INVALIDARG},        // starts before the recording
        {0, 100, 1, E_INVALIDARG},       // ends far beyond it
        {0, 30, 1, VTS_E_INTERPOLATION}, // the recording ends inside the window
        {0, 10, 0, E_FAIL},              // a voltage divisor of 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        Set("Test_timeFrom", VT_R4, c.from);
        Set("Test_timeTo", VT_R4, c.to);
        Set("uPara.8.Factor", VT_R4, c.voltageFactor);
        EXPECT_EQ(module.BeginTest(document.Get()), c.result);
        EXPECT_EQ(WaveDownloads(), 0u);
    }
    // Put right, the same values start with their wave.
    Set("uPara.8.Factor", VT_R4, 1);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(WaveDownloads(), 1u);
    port.failing = DEVMSG_WAVE_DATA;
    Set("Test_timeTo", VT_R4, 5);
    EXPECT_EQ(module.BeginTest(document.Get()), E_FAIL);
    port.failing = 0;
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(WaveDownloads(), 3u) << "a failed download is tried again";
}

TEST_F(WavePlayModule, TheResultIsEachInputsTripTimes) {
    // 2 inputs, 2 times each: end states, then input 0's times, input 1's.
    const VarelTest_WavePlay image = Image({2, 2, 1, 0, 1000, 2500, -1, 3000});
    EXPECT_EQ(image.binEndState[0], 1);
    EXPECT_EQ(image.binEndState[1], 0);
    EXPECT_FLOAT_EQ(image.binTripTime[0][0], 0.1f);
    EXPECT_FLOAT_EQ(image.binTripTime[1][0], 0.25f);
    EXPECT_FLOAT_EQ(image.binTripTime[0][1], -0.0001f);
    EXPECT_FLOAT_EQ(image.binTripTime[1][1], 0.3f);
    EXPECT_EQ(image.binTripTime[2][0], kNotHappened);
    // Counts beyond the struct are clamped, the words read in their order.
    EXPECT_EQ(Image({40, 30}).binEndState[15], INT32_MIN);
}

TEST_F(WavePlayModule, CommandFourCopiesTheRecordingsFilesUnderTheirNames) {
    const auto copied = [&](const WCHAR* cfg) {
        port.messages.clear();
        VARIANT path;
        path.vt = VT_BSTR;
        path.bstrVal = SysAllocString(cfg);
        const HRESULT hr = module.ExecuteCmd(CDspTest_WavePlay::kTransfer, &path, 0);
        VariantClear(&path);
        std::vector<std::string> names;
        for (const FakePort::Message& m : port.messages)
            names.emplace_back(m.payload.begin(), m.payload.end());
        return hr == S_OK ? names : std::vector<std::string>{"failed"};
    };
    EXPECT_EQ(copied(OLESTR("/data/rec/Fault.CFG")), (std::vector<std::string>{"Fault.CFG", "Fault.DAT"}));
    EXPECT_EQ(copied(OLESTR("C:\\rec\\fault.cfg")), (std::vector<std::string>{"fault.cfg", "fault.dat"}));
    EXPECT_EQ(copied(OLESTR("/data/rec/whole.cff")), (std::vector<std::string>{"whole.cff"})) << "one file";
    VARIANT number;
    number.vt = VT_I4;
    number.lVal = 4;
    EXPECT_EQ(module.ExecuteCmd(CDspTest_WavePlay::kTransfer, &number, 0), E_INVALIDARG);
}

// A recorded fault: 1 A for 200 ms, then 10 A (RMS, 50 Hz) on the current
// channel; the relay's 5 A element trips 0.1 s after the fault's first
// cycle passes 5 A.
TEST_F(WavePlayBench, ARecordedFaultTripsTheRelayWhenTheRecordingSays) {
    constexpr double kPi = 3.14159265358979;
    Recording recording(500, [&](size_t channel, size_t k) {
        const double amplitude = channel == 0 ? 57.7 : (k < 200 ? 1.0 : 10.0);
        return amplitude * std::sqrt(2.0) * std::sin(2 * kPi * 50 * k / 1000.0);
    });
    Link(kProgId);
    ComPtr<IGenericData> description;
    ASSERT_EQ(Describe(VTS_Execute, recording.Cfg(), &description), S_OK);
    ASSERT_TRUE(description);
    EXPECT_NEAR(DocumentValue(description.Get(), "A_Channels.ch1.point_max"), 14.142, 0.01);
    EXPECT_EQ(DocumentValue(description.Get(), "mapping_memory.point_count"), 500 * 3);
    SetDocumentText(document.Get(), "TestParams.strCfgFileName", recording.Cfg());
    Set("Test_timeTo", VT_R4, 450);
    for (int k = 0; k < 3; ++k) {
        Set("uPara." + std::to_string(k) + ".ChIndex", VT_INT, 0);
        Set("iPara." + std::to_string(k) + ".ChIndex", VT_INT, 1);
    }
    Set("bBinSelect.0", VT_INT, 1);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);

    // 200 points a cycle at 50 Hz: 10000 frames a second, 0 to 450 ms both included.
    const sim::TesterRecord record = bench.Model().Record();
    ASSERT_EQ(record.wave.Codes(), 4501u * 18u);
    EXPECT_EQ(record.wave.Code(9), 32767) << "0 A at the start: the neutral zero drift";
    EXPECT_EQ(Find(record.params, 11), 4501u);
    std::optional<Notification> result;
    while ((result = host.Next(5000)) && result->code != 3u) {
    }
    ASSERT_TRUE(result);
    EXPECT_EQ(result->data.size(), sizeof(VarelTest_WavePlay));
    const double trip = ResultValue("TestParams.Result.BinTripTime.0.Bin.0");
    EXPECT_GT(trip, 0.2 + 0.1) << "after the fault and the delay";
    EXPECT_LT(trip, 0.2 + 0.1 + 0.02) << "within its first cycle";

    // Unchanged, no wave goes again; a new link sends it again.
    const uint32_t checks = bench.Model().Record().flashChecks;
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().flashChecks, checks);
    ASSERT_EQ(VTS_LinkDevice(kBenchLink), S_OK);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().flashChecks, checks + 1);

    // A flash too small: the start fails and the next one tries again.
    bench.Model().SetFlashBytes(1000);
    Set("Test_timeTo", VT_R4, 400);
    EXPECT_NE(VTS_BeginTest(document.Get()), S_OK);
    bench.Model().SetFlashBytes(64u << 20);
    EXPECT_EQ(VTS_BeginTest(document.Get()), S_OK);
    // A value beyond the output's range: refused, tried again when put right.
    Set("iPara.0.Factor", VT_R4, 0.0001);
    EXPECT_EQ(VTS_BeginTest(document.Get()), VTS_E_RANGE);
    Set("iPara.0.Factor", VT_R4, 1);
    const uint32_t before = bench.Model().Record().flashChecks;
    EXPECT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().flashChecks, before + 1);
}
