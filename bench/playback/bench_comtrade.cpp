// Parse and resample of large generated recordings (text and binary data)
// against a plain sequential pass over the same mapped file, in the same run.
// The files are made in a temporary folder and removed afterwards.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "file_mapping.h"
#include "playback/comtrade_parser.h"
#include "text.h"

namespace {

constexpr int kAnalog = 8;
constexpr int kDigital = 16;
constexpr int kRecordRate = 10000; // samples per second

std::string Cfg(const char* type, long samples) {
    std::string cfg = "Bench,Generator,1999\n" + std::to_string(kAnalog + kDigital) + "," +
                      std::to_string(kAnalog) + "A," + std::to_string(kDigital) + "D\n";
    for (int i = 0; i < kAnalog; ++i)
        cfg += std::to_string(i + 1) + (i < 4 ? ",U" : ",I") + std::to_string(i) + ",A,Bay 1," +
               (i < 4 ? "kV" : "A") + ",0.0025,0,0,-32767,32767,110,0.1,S\n";
    for (int i = 0; i < kDigital; ++i) cfg += std::to_string(i + 1) + ",B" + std::to_string(i) + ",,,0\n";
    cfg += "50\n1\n" + std::to_string(kRecordRate) + "," + std::to_string(samples) + "\n";
    cfg += "01/01/2026,00:00:00.000000\n01/01/2026,00:00:00.100000\n" + std::string(type) + "\n1\n";
    return cfg;
}

// A fault-like wave per channel: a sine of growing amplitude with noise.
int16_t Value(long n, int channel, std::mt19937& random) {
    double t = static_cast<double>(n) / kRecordRate;
    double amplitude = (n > kRecordRate ? 20000.0 : 4000.0);
    return static_cast<int16_t>(amplitude * std::sin(2 * M_PI * 50 * t - channel * 2.0944) +
                                static_cast<int>(random() % 64) - 32);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    FILE* f = std::fopen(path.string().c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Appends to the file in pieces; returns the number of samples written.
template <class Sample>
long Generate(const std::filesystem::path& path, size_t minBytes, Sample sample) {
    FILE* f = std::fopen(path.string().c_str(), "wb");
    std::string buffer;
    size_t written = 0;
    long n = 0;
    while (written < minBytes) {
        buffer.clear();
        for (int i = 0; i < 65536; ++i) sample(++n, &buffer);
        std::fwrite(buffer.data(), 1, buffer.size(), f);
        written += buffer.size();
    }
    std::fclose(f);
    return n;
}

void PutNumber(std::string* out, long value) {
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out->append(text, end);
}

// Wall and processor seconds of one call. The machine is shared: processor
// time (user and system, page faults included) shows what the code does on a
// core of its own, the wall clock what the caller waited.
struct Took {
    double wall = 1e300, cpu = 1e300;
};
template <class Call>
void Time(Took* best, Call call) {
    auto start = std::chrono::steady_clock::now();
    std::clock_t cpuStart = std::clock();
    call();
    double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best->wall = std::min(best->wall, wall);
    best->cpu = std::min(best->cpu, cpu);
}

// The floor: one pass over the mapped file that touches every byte.
uint64_t ReadFloor(const WideString& path) {
    ReadOnlyFileMapping file;
    if (!file.Open(path)) return 0;
    uint64_t sum = 0;
    const unsigned char* p = file.data();
    size_t n = file.size() / 8;
    for (size_t i = 0; i < n; ++i) {
        uint64_t word;
        std::memcpy(&word, p + 8 * i, 8);
        sum += word;
    }
    for (size_t i = n * 8; i < file.size(); ++i) sum += p[i];
    return sum;
}

void Run(const char* label, const std::filesystem::path& cfg, const std::filesystem::path& dat,
         float playbackRate, double goalMBs) {
    WideString cfgPath = Utf8ToUtf16(cfg.string()), datPath = Utf8ToUtf16(dat.string());
    double megabytes = static_cast<double>(std::filesystem::file_size(dat)) / 1e6;
    CComtradeParser parser;
    if (parser.OpenCfgFile(cfgPath) != 0) {
        std::printf("%s: the configuration could not be read\n", label);
        return;
    }
    uint64_t sink = 0;
    Took floor, parse;
    HRESULT result = 0;
    for (int round = 0; round < 5 && result == 0; ++round) {
        Time(&floor, [&] { sink += ReadFloor(datPath); });
        Time(&parse, [&] { result = parser.ParseDatFile(datPath, playbackRate); });
    }
    if (result != 0) {
        std::printf("%s: ParseDatFile failed with 0x%08X\n", label, static_cast<unsigned>(result));
        return;
    }
    std::printf("%s: %.1f MB, %zu samples -> %zu frames at %.0f/s%s\n", label, megabytes,
                parser.SamplesRead(), parser.Mapping().FloatCount() / (kAnalog + kDigital),
                static_cast<double>(playbackRate), sink == 1 ? " " : "");
    for (int cpu = 0; cpu < 2; ++cpu) {
        double floorMBs = megabytes / (cpu ? floor.cpu : floor.wall);
        double parseMBs = megabytes / (cpu ? parse.cpu : parse.wall);
        std::printf(
            "  %-9s read floor %8.1f MB/s, parse+resample %8.1f MB/s, ratio %.3f (goal %.0f MB/s: %s)\n",
            cpu ? "processor" : "wall", floorMBs, parseMBs, parseMBs / floorMBs, goalMBs,
            parseMBs >= goalMBs ? "met" : "missed");
    }
}

} // namespace

// Optional argument: "ascii" or "binary" for one of the two.
int main(int argc, char** argv) {
    std::string only = argc > 1 ? argv[1] : "";
    bool text = only.empty() || only == "ascii", binary = only.empty() || only == "binary";
    std::random_device entropy;
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vts_bench_comtrade_" + std::to_string(entropy()));
    std::filesystem::create_directories(dir);
    std::mt19937 random(1);

    // Text: sample number, time stamp in microseconds, 8 analog, 16 digital values.
    long textSamples = Generate(dir / "text.dat", text ? 200u << 20 : 0, [&](long n, std::string* out) {
        PutNumber(out, n);
        out->push_back(',');
        PutNumber(out, (n - 1) * (1000000 / kRecordRate));
        for (int c = 0; c < kAnalog; ++c) out->push_back(','), PutNumber(out, Value(n, c, random));
        for (int c = 0; c < kDigital; ++c) out->append(n > kRecordRate && c < 3 ? ",1" : ",0");
        out->append("\r\n");
    });
    WriteFile(dir / "text.cfg", Cfg("ASCII", textSamples));

    // Binary: 16-bit records of the same channels.
    long binarySamples = Generate(dir / "binary.dat", binary ? 100u << 20 : 0, [&](long n, std::string* out) {
        auto le = [&](uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        };
        le(static_cast<uint32_t>(n), 4);
        le(static_cast<uint32_t>((n - 1) * (1000000 / kRecordRate)), 4);
        for (int c = 0; c < kAnalog; ++c) le(static_cast<uint16_t>(Value(n, c, random)), 2);
        le(n > kRecordRate ? 0x0007 : 0, 2);
    });
    WriteFile(dir / "binary.cfg", Cfg("BINARY", binarySamples));

    // The whole recording at a playback rate whose frames fit the 64 MiB block.
    auto fitting = [](long samples) {
        double seconds = static_cast<double>(samples) / kRecordRate;
        double frames = static_cast<double>(CSampMappingFile::kBlockBytes / 4 / (kAnalog + kDigital)) * 0.9;
        return static_cast<float>(std::min(4000.0, std::floor(frames / seconds)));
    };
    if (text) Run("ASCII", dir / "text.cfg", dir / "text.dat", fitting(textSamples), 300.0);
    if (binary) Run("BINARY", dir / "binary.cfg", dir / "binary.dat", fitting(binarySamples), 1000.0);
    std::filesystem::remove_all(dir);
    return 0;
}
