// vts sweep: traces a differential characteristic. For each bias current it
// runs one test point of the differential test (the first begun, the others
// switched in with VTS_SwitchTestPoint) and bisects on the differential
// current until it knows, to the resolution asked, the least differential
// current that operates the relay: the operating current at that bias.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "host_session.h"
#include "subcommand.h"
#include "text.h"
#include "tick.h"
#include "tools/document_values.h"

#include <varel/vts.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr const char* kDiffProgId = "Varel.CDTest.1";

struct SweepOptions {
    bool simulated = false;
    unsigned long long timeoutSeconds = 30; // for each test point
    // The two current channels of one phase, side 1 and side 2.
    unsigned long long sides[2] = {0, 3};
    double resolution = 0.001; // A
    std::vector<double> biases;
    std::vector<std::string> positional;
};

// A list of positive numbers separated by commas.
bool ParseNumbers(const std::string& text, std::vector<double>* numbers) {
    size_t at = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, end - at);
        char* stop = nullptr;
        const double value = std::strtod(item.c_str(), &stop);
        if (item.empty() || *stop || !std::isfinite(value) || value <= 0) return false;
        numbers->push_back(value);
        at = end + 1;
    }
    return !numbers->empty();
}

int ParseSweepOptions(const std::vector<std::string>& args, SweepOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = i + 1 < args.size();
        if (arg == "--sim") {
            options->simulated = true;
        } else if (arg == "--timeout") {
            if (!valued || !ParseNumber32(args[++i], 86400, &options->timeoutSeconds))
                return UsageError("--timeout takes seconds");
        } else if (arg == "--sides") {
            const std::string& pair = valued ? args[++i] : std::string();
            const size_t comma = pair.find(',');
            if (comma == std::string::npos || !ParseNumber32(pair.substr(0, comma), 15, &options->sides[0]) ||
                !ParseNumber32(pair.substr(comma + 1), 15, &options->sides[1]) ||
                options->sides[0] == options->sides[1])
                return UsageError("--sides takes two current channels 0-15, such as 0,3");
        } else if (arg == "--resolution") {
            std::vector<double> value;
            if (!valued || !ParseNumbers(args[++i], &value) || value.size() != 1)
                return UsageError("--resolution takes amperes above 0");
            options->resolution = value[0];
        } else {
            options->positional.push_back(arg);
        }
    }
    if (options->positional.size() != 3)
        return UsageError("sweep needs a link string, a parameter file and bias currents");
    if (!ParseNumbers(options->positional[2], &options->biases))
        return UsageError("bias currents are amperes above 0, separated by commas");
    return 0;
}

// One test point after another on the tester, each awaited to its result.
class PointRunner {
public:
    PointRunner(HostSession& session, IGenericData* document, const SweepOptions& options)
        : session_(session), document_(document), options_(options) {}

    // Whether the relay operates with these currents: side 1 carries the
    // bias plus half the differential current into the zone, side 2 the
    // bias less half of it out of the zone (at 180 degrees). The bias is
    // the mean of the two magnitudes, the differential their phasor sum.
    // False with the reason on stderr when the point cannot be run.
    bool Operates(double bias, double differential, bool* operates) {
        const double mags[2] = {bias + differential / 2, bias - differential / 2}, angles[2] = {0, 180};
        for (int side = 0; side < 2; ++side) {
            const std::string channel = "TestParams.TestIp_Fault." + std::to_string(options_.sides[side]);
            if (SetDocumentValue(document_, channel + ".Mag", VT_R4, mags[side]) != S_OK ||
                SetDocumentValue(document_, channel + ".Ang", VT_R4, angles[side]) != S_OK) {
                std::fprintf(stderr, "vts sweep: the document has no %s\n", channel.c_str());
                return false;
            }
        }
        session_.Take(0, 0);
        const HRESULT hr = begun_ ? VTS_SwitchTestPoint(document_) : VTS_BeginTest(document_);
        if (FAILED(hr)) {
            std::fprintf(stderr, "vts sweep: %s -> %s\n", begun_ ? "VTS_SwitchTestPoint" : "VTS_BeginTest",
                         HostSession::Outcome(hr).c_str());
            return false;
        }
        begun_ = true;
        bool reported = false;
        const DWORD start = GetTickCount();
        while (!reported && GetTickCount() - start < options_.timeoutSeconds * 1000)
            for (const HostNotification& n : session_.Take(1, 200))
                reported |= n.code == VTS_NOTIFY_TEST_RESULT;
        ComPtr<IGenericData> result;
        if (!reported || FAILED(VTS_GetTestResult(result.Put())) || !result) {
            std::fprintf(stderr, "vts sweep: no result within %llu s\n", options_.timeoutSeconds);
            return false;
        }
        *operates = DocumentValue(result.Get(), "TestParams.Result.TripFlag") != 0;
        return true;
    }

private:
    HostSession& session_;
    IGenericData* document_;
    const SweepOptions& options_;
    bool begun_ = false;
};

// The least operating differential current at one bias, by bisection
// between none and twice the bias (side 2 then carries nothing); false when
// a point cannot be run. *found is false when even twice the bias does not
// operate the relay.
bool Bisect(PointRunner& runner, double bias, double resolution, bool* found, double* operating) {
    double low = 0, high = 2 * bias;
    bool operates = false;
    if (!runner.Operates(bias, high, &operates)) return false;
    *found = operates;
    while (operates && high - low > resolution) {
        const double middle = (low + high) / 2;
        bool trips = false;
        if (!runner.Operates(bias, middle, &trips)) return false;
        (trips ? high : low) = middle;
    }
    *operating = high;
    return true;
}

int Sweep(const std::vector<std::string>& args) {
    SweepOptions options;
    if (int usage = ParseSweepOptions(args, &options)) return usage;
    HostSession session;
    if (options.simulated && !session.StartSimulator()) return 1;
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    const std::string& paramsFile = options.positional[1];
    if (!document || document->LoadFromFile(BStr(Utf8ToUtf16(paramsFile)).Get()) != S_OK) {
        std::fprintf(stderr, "vts sweep: cannot read %s (missing, unreadable or not XML)\n",
                     paramsFile.c_str());
        return 1;
    }
    HRESULT hr = VTS_LinkDevice_A(options.positional[0].c_str());
    std::fprintf(stderr, "VTS_LinkDevice -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;
    hr = VTS_ActiveTest_A(kDiffProgId);
    std::fprintf(stderr, "VTS_ActiveTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;

    // One line a bias: the operating current, and the slope from the
    // bias before, as the characteristic is drawn.
    std::printf("bias_A\toperate_A\tslope\n");
    PointRunner runner(session, document.Get(), options);
    bool before = false, operatedOnce = false;
    double lastBias = 0, lastOperating = 0;
    int code = 0;
    for (double bias : options.biases) {
        bool found = false;
        double operating = 0;
        if (!Bisect(runner, bias, options.resolution, &found, &operating)) {
            code = 1;
            break;
        }
        if (!found) {
            std::printf("%.4f\tnone up to %.4f\t-\n", bias, 2 * bias);
            before = false;
            continue;
        }
        if (before && bias != lastBias)
            std::printf("%.4f\t%.4f\t%.4f\n", bias, operating,
                        (operating - lastOperating) / (bias - lastBias));
        else
            std::printf("%.4f\t%.4f\t-\n", bias, operating);
        before = operatedOnce = true;
        lastBias = bias;
        lastOperating = operating;
    }
    VTS_StopTest(0);
    if (code == 0 && !operatedOnce)
        std::fprintf(stderr,
                     "vts sweep: no point operated the relay; are its inputs selected (bBinSelect)?\n");
    return code;
}

} // namespace

VTS_SUBCOMMAND(
    sweep, "sweep",
    "[--sim] LINKSTRING PARAMS.xml BIAS_A[,BIAS_A...] [--sides 0,3] [--resolution A] [--timeout S]",
    "trace a differential characteristic: the operating current at each bias, by bisection", Sweep);
