// vts playback: a COMTRADE recording described, downloaded and played on a
// tester (or the built-in bench), with the wave's download on a progress bar
// and the result's trip times printed.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "host_session.h"
#include "subcommand.h"
#include "text.h"
#include "tick.h"
#include "tools/document_values.h"

#include <varel/vts.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kProgId = "Varel.BXHFTest.1";
constexpr uint32_t kOutputs = 9; // of each group

struct OutputMap {
    bool current;
    uint32_t output;
    int32_t channel;
    double factor;
};

struct PlaybackOptions {
    bool simulated = false;
    bool from = false, to = false;
    double fromMs = 0, toMs = 0;
    std::vector<OutputMap> maps;
    std::vector<std::string> positional;
};

// "U0=2/100" or "I3=5": output (U or I, 0 to 8) = recording channel / divisor.
bool ParseMap(const std::string& text, OutputMap* map) {
    const size_t equals = text.find('='), slash = text.find('/');
    if (text.size() < 4 || (text[0] != 'U' && text[0] != 'I') || equals != 2 || text[1] < '0' ||
        text[1] >= char('0' + kOutputs))
        return false;
    map->current = text[0] == 'I';
    map->output = static_cast<uint32_t>(text[1] - '0');
    char* end = nullptr;
    const std::string channel = text.substr(3, slash == std::string::npos ? std::string::npos : slash - 3);
    const long index = std::strtol(channel.c_str(), &end, 10);
    if (channel.empty() || *end || index < 0 || index > 100000) return false;
    map->channel = static_cast<int32_t>(index);
    map->factor = 1.0;
    if (slash != std::string::npos) {
        map->factor = std::strtod(text.c_str() + slash + 1, &end);
        if (*end || slash + 1 == text.size()) return false;
    }
    return true;
}

bool ParseMs(const std::string& text, double* ms) {
    char* end = nullptr;
    *ms = std::strtod(text.c_str(), &end);
    return !text.empty() && !*end && std::isfinite(*ms);
}

int ParseOptions(const std::vector<std::string>& args, PlaybackOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = i + 1 < args.size();
        if (arg == "--sim") {
            options->simulated = true;
        } else if (arg == "--from" || arg == "--to") {
            double ms;
            if (!valued || !ParseMs(args[++i], &ms)) return UsageError("--from and --to take milliseconds");
            (arg == "--from" ? options->fromMs : options->toMs) = ms;
            (arg == "--from" ? options->from : options->to) = true;
        } else if (arg == "--map") {
            OutputMap map;
            if (!valued || !ParseMap(args[++i], &map))
                return UsageError("--map takes OUT=CHANNEL[/FACTOR], OUT one of U0..U8, I0..I8");
            options->maps.push_back(map);
        } else {
            options->positional.push_back(arg);
        }
    }
    if (options->positional.size() != 2)
        return UsageError("playback needs a link string and a recording (.cfg)");
    return 0;
}

// Without --map, each analog channel in volts goes to the next voltage
// output and each in amperes to the next current output, unscaled.
std::vector<OutputMap> MapByUnit(IGenericData* description) {
    std::vector<OutputMap> maps;
    uint32_t next[2] = {};
    for (int32_t c = 0;; ++c) {
        const std::string node = "A_Channels.ch" + std::to_string(c);
        if (std::isnan(DocumentValue(description, node + ".a"))) break;
        const std::string unit = DocumentText(description, node + ".uu");
        const bool volts = unit.find_first_of("Vv") != std::string::npos;
        const bool amperes = unit.find_first_of("Aa") != std::string::npos;
        if (volts == amperes) continue;
        if (next[amperes] < kOutputs) maps.push_back({amperes, next[amperes]++, c, 1.0});
    }
    return maps;
}

void DrawBar(int percent) {
    const int filled = percent / 5;
    std::fprintf(stderr, "\rwave [%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(20 - filled), '.').c_str(), percent);
    std::fflush(stderr);
}

int Playback(const std::vector<std::string>& args) {
    PlaybackOptions options;
    if (int usage = ParseOptions(args, &options)) return usage;
    const std::string& link = options.positional[0];
    const std::string& cfg = options.positional[1];
    HostSession session;
    if (options.simulated && !session.StartSimulator()) return 1;
    if (FAILED(session.Link(link))) return 1;
    HRESULT hr = VTS_ActiveTest_A(kProgId);
    std::fprintf(stderr, "VTS_ActiveTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;

    VARIANT path;
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(Utf8ToUtf16(cfg).c_str());
    hr = VTS_Execute(3, &path, 1);
    ComPtr<IGenericData> description;
    if (path.vt == VT_DISPATCH)
        path.pdispVal->QueryInterface(IID_IGenericData, reinterpret_cast<void**>(description.Put()));
    VariantClear(&path);
    if (hr != S_OK || !description) {
        std::fprintf(stderr, "vts playback: %s cannot be read (%s)\n", cfg.c_str(),
                     HostSession::Outcome(hr).c_str());
        return 1;
    }
    const double startMs = DocumentValue(description.Get(), "mapping_memory.start_time");
    const double rate = DocumentValue(description.Get(), "mapping_memory.samp_rate");
    const double floats = DocumentValue(description.Get(), "mapping_memory.point_count");
    uint32_t width = 0;
    while (!std::isnan(DocumentValue(description.Get(), "A_Channels.ch" + std::to_string(width) + ".a")))
        ++width;
    uint32_t digital = 0;
    while (!std::isnan(DocumentValue(description.Get(), "D_Channels.ch" + std::to_string(digital) + ".y")))
        ++digital;
    const double frames = floats / std::max<uint32_t>(1, width + digital);
    const double endMs = startMs + (frames - 1) / rate * 1000.0;
    std::printf("recording: %s, %u analog and %u digital channels, %.0f samples/s, %.1f to %.1f ms\n",
                DocumentText(description.Get(), "station_name").c_str(), width, digital, rate, startMs,
                endMs);

    ComPtr<IGenericData> params;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, params.PutVoid());
    if (!params || VTS_InitTestParams_A(params.Get(), kProgId) != S_OK) return 1;
    SetDocumentText(params.Get(), "TestParams.strCfgFileName", cfg);
    SetDocumentValue(params.Get(), "TestParams.Test_timeFrom", VT_R4,
                     options.from ? options.fromMs : startMs);
    SetDocumentValue(params.Get(), "TestParams.Test_timeTo", VT_R4, options.to ? options.toMs : endMs);
    const std::vector<OutputMap> maps = options.maps.empty() ? MapByUnit(description.Get()) : options.maps;
    for (const OutputMap& m : maps) {
        const std::string node =
            std::string("TestParams.") + (m.current ? "iPara." : "uPara.") + std::to_string(m.output);
        SetDocumentValue(params.Get(), node + ".ChIndex", VT_INT, m.channel);
        SetDocumentValue(params.Get(), node + ".Factor", VT_R4, m.factor);
        std::printf("%c%u = channel %d / %g\n", m.current ? 'I' : 'U', m.output, m.channel, m.factor);
    }
    SetDocumentValue(params.Get(), "TestParams.bBinSelect.0", VT_INT, 1);

    // The download's progress arrives while the start runs: drawn here,
    // every other notification kept for after it.
    std::atomic<bool> starting{true};
    std::vector<HostNotification> kept;
    std::thread progress([&] {
        bool drawn = false;
        while (starting.load()) {
            for (HostNotification& n : session.Take(1, 50)) {
                if (n.code == VTS_NOTIFY_PROGRESS) {
                    DrawBar(n.value1);
                    drawn = true;
                } else {
                    kept.push_back(std::move(n));
                }
            }
        }
        if (drawn) std::fprintf(stderr, "\n");
    });
    hr = VTS_BeginTest(params.Get());
    starting = false;
    progress.join();
    std::fprintf(stderr, "VTS_BeginTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;

    bool ended = false;
    for (const HostNotification& n : kept) ended = ended || n.code == VTS_NOTIFY_TEST_RESULT;
    const DWORD start = GetTickCount();
    while (!ended && GetTickCount() - start < 60000)
        for (const HostNotification& n : session.Take(1, 200))
            ended = ended || n.code == VTS_NOTIFY_TEST_RESULT;
    if (!ended) {
        std::fprintf(stderr, "vts playback: no result within 60 s; stopping\n");
        VTS_StopTest(0);
        return 1;
    }
    ComPtr<IGenericData> result;
    if (FAILED(VTS_GetTestResult(result.Put())) || !result) return 1;
    bool any = false;
    for (int input = 0; input < 16; ++input) {
        const std::string at = "TestParams.Result.BinTripTime.0.Bin." + std::to_string(input);
        const double trip = DocumentValue(result.Get(), at);
        if (trip == -1000.0 || std::isnan(trip)) continue;
        std::printf("input %d: trip at %.4f s\n", input, trip);
        any = true;
    }
    if (!any) std::printf("no input tripped\n");
    return 0;
}

} // namespace

VTS_SUBCOMMAND(playback, "playback",
               "[--sim] LINKSTRING RECORDING.cfg [--from MS --to MS] [--map OUT=CHANNEL/FACTOR ...]",
               "play a COMTRADE recording on the tester and print the trip times", Playback);
