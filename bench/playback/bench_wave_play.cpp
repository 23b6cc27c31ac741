// The wave playback test's two costs, each against a floor of the same run
// (interleaved passes, the ratio of the pass with the fastest floor; run
// inside tools/netns-run: make bench):
// resampling a 10-second window of a recording at the playback rate against
// one plain copy of the same frames, and the wave's download (every 528-byte
// block answered by the simulated tester) against the stop-and-wait floor of
// the same requests and answers.
#include "bench/fastest_floor.h"
#include "bench/stop_and_wait.h"
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "playback/wave_play.h"
#include "text.h"
#include "tools/document_values.h"

#include <varel/vts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kPasses = 5;
constexpr double kPi = 3.14159265358979;
constexpr const WCHAR* kProgId = OLESTR("Varel.BXHFTest.1");
constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");
const ModuleEntry kEntry{kProgId, OLESTR("VarelTest_WavePlay"), OLESTR("WavePlay.new"), 6, true, nullptr};

// Three voltages and three currents of 50 Hz at 4000 samples/s for seconds,
// 16-bit binary.
void WriteRecording(const std::filesystem::path& cfg, double seconds) {
    const int samples = static_cast<int>(seconds * 4000) + 1;
    std::ofstream(cfg) << "bench,wave,1999\n6,6A,0D\n"
                          "1,UA,A,,V,0.01,0,0,-32767,32767,1,1,S\n2,UB,B,,V,0.01,0,0,-32767,32767,1,1,S\n"
                          "3,UC,C,,V,0.01,0,0,-32767,32767,1,1,S\n4,IA,A,,A,0.001,0,0,-32767,32767,1,1,S\n"
                          "5,IB,B,,A,0.001,0,0,-32767,32767,1,1,S\n6,IC,C,,A,0.001,0,0,-32767,32767,1,1,S\n"
                          "50\n1\n4000,"
                       << samples << "\n01/01/2020,00:00:00.000000\n01/01/2020,00:00:00.000000\nBINARY\n1\n";
    std::string bytes;
    for (int k = 0; k < samples; ++k) {
        const int32_t head[2] = {k + 1, k * 250};
        bytes.append(reinterpret_cast<const char*>(head), 8);
        for (int c = 0; c < 6; ++c) {
            const double amplitude = c < 3 ? 8165 : 7071; // 57.7 V, 5 A RMS
            const auto raw =
                static_cast<int16_t>(amplitude * std::sin(2 * kPi * 50 * k / 4000.0 - c % 3 * 2.0944));
            bytes.append(reinterpret_cast<const char*>(&raw), 2);
        }
    }
    std::ofstream(std::filesystem::path(cfg).replace_extension(".dat"), std::ios::binary) << bytes;
}

void MapOutputs(WaveOutput (&u)[16], WaveOutput (&i)[16]) {
    for (int k = 0; k < 16; ++k) {
        u[k] = {k < 9 ? k % 3 : -1, 1.0f};
        i[k] = {k < 9 ? 3 + k % 3 : -1, 1.0f};
    }
}

intptr_t IgnoreNotifications(void*, HWND, uint32_t, uintptr_t, intptr_t) { return 0; }

int Fail(const char* what) {
    std::fprintf(stderr, "bench_wave_play: %s\n", what);
    return 1;
}

} // namespace

int main() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vts_bench_wave";
    std::filesystem::create_directories(dir);
    const std::filesystem::path cfg = dir / "wave.cfg";
    WriteRecording(cfg, 10.5);
    CoInitialize(nullptr);

    // Resampling: 10 s at 200 points a cycle (10000 frames a second).
    bench::FastestFloor resample;
    size_t bytes = 0;
    {
        CDspTest_WavePlay module(kEntry);
        if (module.OpenCfgFile(Utf8ToUtf16(cfg.string())) != 0 ||
            module.ParseDatFile(Utf8ToUtf16(std::filesystem::path(cfg).replace_extension(".dat").string()),
                                0) != 0)
            return Fail("the recording cannot be read");
        WaveOutput u[16], i[16];
        MapOutputs(u, i);
        std::vector<float> plain;
        for (int pass = 0; pass < kPasses; ++pass) {
            auto start = std::chrono::steady_clock::now();
            if (module.Resample(u, i, 0.0f, 10000.0f, 10000.0f) != S_OK) return Fail("resampling failed");
            const double resampled = bench::Milliseconds(start);
            const CSampMappingFile& frames = module.PlaybackFrames();
            bytes = frames.FloatCount() * sizeof(float);
            plain.resize(frames.FloatCount());
            start = std::chrono::steady_clock::now();
            std::memcpy(plain.data(), frames.Floats(), bytes);
            resample.Add(bench::Milliseconds(start), resampled);
        }
    }
    if (resample.Failed()) return Fail("a pass took no time");

    // The download: a 2-second window, sent anew at each start.
    sim::TesterSimulator tester;
    std::string error;
    if (!tester.Start(&error)) return Fail(error.c_str());
    tester.Model().SetTimeScale(0);
    HWND window = VTS_CreateHostWindow(nullptr, IgnoreNotifications, nullptr);
    VTS_CreateServer(window);
    if (VTS_LinkDevice(kLink) != S_OK || VTS_ActiveTest(kProgId) != S_OK) return Fail("no link to the bench");
    VARIANT path;
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(Utf8ToUtf16(cfg.string()).c_str());
    const HRESULT described = VTS_Execute(CDspTest_WavePlay::kDescribe, &path, 0);
    VariantClear(&path);
    if (described != S_OK) return Fail("the recording cannot be described");
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    VTS_InitTestParams(document.Get(), kProgId);
    SetDocumentText(document.Get(), "TestParams.strCfgFileName", cfg.string());
    for (int k = 0; k < 9; ++k) {
        SetDocumentValue(document.Get(), "TestParams.uPara." + std::to_string(k) + ".ChIndex", VT_INT, k % 3);
        SetDocumentValue(document.Get(), "TestParams.iPara." + std::to_string(k) + ".ChIndex", VT_INT,
                         3 + k % 3);
    }
    int starts = 0;
    // Each start with another window end, so the wave goes again.
    auto begin = [&] {
        SetDocumentValue(document.Get(), "TestParams.Test_timeTo", VT_R4, 2000.0 + (starts++ % 2) * 0.1);
        const auto start = std::chrono::steady_clock::now();
        if (VTS_BeginTest(document.Get()) != S_OK) return -1.0;
        const double spent = bench::Milliseconds(start);
        VTS_StopTest(0);
        return spent;
    };
    tester.Traffic().Clear();
    if (begin() < 0) return Fail("BeginTest failed");
    const sim::TesterRecord record = tester.Model().Record();
    std::vector<sim::Datagram> traffic = tester.Traffic().Snapshot();
    traffic.erase(std::find_if(traffic.begin(), traffic.end(),
                               [](const sim::Datagram& d) { return d.received && d.head.msgId == 0x0203; }),
                  traffic.end());
    bench::FastestFloor download;
    size_t trips = 0;
    {
        bench::StopAndWaitFloor replay(bench::RoundTripsOf(traffic));
        trips = replay.Trips();
        for (int pass = 0; pass < kPasses; ++pass) download.Add(replay.Replay(), begin());
    }
    document.Reset();
    VTS_DestroyServer();
    VTS_DestroyHostWindow(window);
    CoUninitialize();
    tester.Stop();
    std::filesystem::remove_all(dir);
    if (download.Failed()) return Fail("a round trip failed");

    const double mb = bytes / 1e6;
    std::printf(
        "wave resampling of 10 s (%zu frames of 18 values): %.0f MB/s, a plain copy %.0f MB/s: %.2fx "
        "the copy's time\n",
        bytes / 72, mb / (resample.Measured() / 1000), mb / (resample.Floor() / 1000), resample.Ratio());
    std::printf(
        "wave start of 2 s (%zu code bytes, %zu round trips): %.1f ms, stop-and-wait floor %.1f ms: "
        "%.2fx the floor\n",
        record.wave.codes.size(), trips, download.Measured(), download.Floor(), download.Ratio());
    return 0;
}
