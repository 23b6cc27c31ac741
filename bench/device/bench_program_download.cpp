// A DSP program download of full size (two blocks of 24576 words, 96 KiB,
// in packets of 478 words, each answered) from its file, against the
// stop-and-wait floor of the same packets and answers as bare round trips
// over UDP. Recorded once on the simulated tester; then the floor's answering
// socket answers both the download and the floor. Same run, 30 interleaved
// passes; the pass with the fastest floor counts. Run inside tools/netns-run
// (make bench).
#include "bench/fastest_floor.h"
#include "bench/stop_and_wait.h"
#include "device/io_main_device.h"
#include "sim/tester_simulator.h"
#include "text.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr int kPasses = 30;
constexpr unsigned kBlockWords = 24576;

int Fail(const char* what) {
    std::fprintf(stderr, "bench_program_download: %s\n", what);
    return 1;
}

// The program file: the entry address, then each block's word count, load
// address (high half, low half) and words.
void WriteProgram(const std::filesystem::path& path) {
    std::ofstream out(path);
    char word[16];
    auto put = [&](unsigned value) {
        std::snprintf(word, sizeof word, "0x%04X, ", value & 0xFFFF);
        out << word;
    };
    put(0x2000);
    put(0x0001);
    for (unsigned block = 0; block < 2; ++block) {
        const unsigned address = 0x20000 + block * 0x10000;
        put(kBlockWords);
        put(address >> 16);
        put(address);
        for (unsigned i = 0; i < kBlockWords; ++i) {
            put(i * 2654435761u >> 16);
            if (i % 8 == 7) out << '\n';
        }
    }
    out << '\n';
}

} // namespace

int main() {
    sim::TesterSimulator bench;
    std::string error;
    if (!bench.Start(&error)) return Fail(error.c_str());
    std::random_device entropy;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vts_bench_program_" + std::to_string(entropy()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / "Big.new";
    WriteProgram(file);
    const WideString path = Utf8ToUtf16(file.string());

    CIOMainDevice device;
    int failed = device.Init(OLESTR("PC-IP:192.168.253.1;PC-PORT:3000")) == S_OK ? 0 : Fail("no socket");
    device.SetTarget(ntohl(Ipv4Endpoint(sim::kTesterAddress, 0).sin_addr.s_addr), sim::kTesterPort);
    auto download = [&] {
        const auto start = std::chrono::steady_clock::now();
        return device.SendDspAPPFile(path.c_str()) == S_OK ? bench::Milliseconds(start) : -1;
    };
    if (!failed) {
        bench.Traffic().Clear();
        if (download() < 0) failed = Fail("the download failed");
    }
    if (!failed) {
        const sim::TesterRecord record = bench.Model().Record();
        size_t bytes = 0;
        for (const sim::ProgramBlock& block : record.program) bytes += block.words.size();
        bench::StopAndWaitFloor floor(bench::RoundTripsOf(bench.Traffic().Snapshot()));
        device.SetTarget(ntohl(Ipv4Endpoint(sim::kTesterAddress, 0).sin_addr.s_addr), floor.Port());
        bench::FastestFloor best;
        for (int pass = 0; pass < kPasses; ++pass) best.Add(floor.Replay(), download());
        if (best.Failed()) {
            failed = Fail("a round trip failed");
        } else {
            std::printf("DSP program download: %zu bytes of program in %zu round trips\n", bytes,
                        floor.Trips());
            std::printf("download %.2f ms, stop-and-wait floor %.2f ms: %.2fx the floor (goal 1.3x)\n",
                        best.Measured(), best.Floor(), best.Ratio());
        }
    }
    device.Close();
    bench.Stop();
    std::filesystem::remove_all(folder);
    return failed;
}
