// vts params, vts run: a test type's default document, and one test run
// from a parameter file to the result document, as XML, JSON or CSV.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "host_session.h"
#include "subcommand.h"
#include "text.h"
#include "tick.h"
#include "tools/document_formats.h"
#include "tools/document_values.h"
#include "tools/swing_wave.h"

#include <varel/vts.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

ComPtr<IGenericData> NewDocument() {
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    return document;
}

void Print(IGenericData* document) {
    BStr text;
    if (SUCCEEDED(document->ToXMLString(text.Put()))) std::printf("%s\n", Utf16ToUtf8(text.View()).c_str());
}

int Params(const std::vector<std::string>& args) {
    if (args.size() != 1) return UsageError("params needs a ProgID");
    CoInitialize(nullptr);
    ComPtr<IGenericData> document = NewDocument();
    HRESULT hr = VTS_InitTestParams_A(document.Get(), args[0].c_str());
    if (hr == S_OK)
        Print(document.Get());
    else
        std::fprintf(stderr, "vts params: %s\n", HostSession::Outcome(hr).c_str());
    document.Reset();
    CoUninitialize();
    return hr == S_OK ? 0 : 1;
}

// The options of vts run, anywhere among its arguments.
struct RunOptions {
    bool simulated = false;
    unsigned long long timeoutSeconds = 30;
    DocumentFormat format = DocumentFormat::Xml;
    std::string out; // empty: standard output
    std::vector<std::string> positional;
};

int ParseRunOptions(const std::vector<std::string>& args, RunOptions* options) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = i + 1 < args.size();
        if (arg == "--sim") {
            options->simulated = true;
        } else if (arg == "--timeout") {
            if (!valued || !ParseNumber32(args[++i], 86400, &options->timeoutSeconds))
                return UsageError("--timeout takes seconds");
        } else if (arg == "--format") {
            if (!valued || !ParseDocumentFormat(args[++i], &options->format))
                return UsageError("--format takes xml, json or csv");
        } else if (arg == "--out") {
            if (!valued || args[++i].empty()) return UsageError("--out takes a file name");
            options->out = args[i];
        } else {
            options->positional.push_back(arg);
        }
    }
    if (options->positional.size() != 3)
        return UsageError("run needs a link string, a ProgID and a parameter file");
    return 0;
}

bool WriteResult(const std::string& text, const std::string& out) {
    if (out.empty()) return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    FILE* file = std::fopen(out.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// The run's progress goes to stderr, so that standard output carries the
// result document alone and feeds other tools.
int Run(const std::vector<std::string>& args) {
    RunOptions options;
    if (int usage = ParseRunOptions(args, &options)) return usage;
    const std::string& link = options.positional[0];
    const std::string& progId = options.positional[1];
    const std::string& paramsFile = options.positional[2];
    HostSession session;
    if (options.simulated && !session.StartSimulator()) return 1;
    ComPtr<IGenericData> document = NewDocument();
    HRESULT hr = document->LoadFromFile(BStr(Utf8ToUtf16(paramsFile)).Get());
    if (hr != S_OK) {
        std::fprintf(stderr, "vts run: cannot read %s (missing, unreadable or not XML)\n",
                     paramsFile.c_str());
        return 1;
    }
    hr = VTS_LinkDevice_A(link.c_str());
    std::fprintf(stderr, "VTS_LinkDevice -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;
    hr = VTS_ActiveTest_A(progId.c_str());
    std::fprintf(stderr, "VTS_ActiveTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;
    // The power swing test plays a waveform the host computes from the
    // document and leaves in shared memory, open until the test has begun.
    SharedMemory swingWave;
    if (progId == "Varel.GLZDTest.1") {
        hr = PrepareSwingWave(document.Get(), swingWave);
        std::fprintf(stderr, "swing waveform: %s, %.0f points\n", HostSession::Outcome(hr).c_str(),
                     DocumentValue(document.Get(), "TestParams.OSCWavePTCount"));
        if (FAILED(hr)) return 1;
    }
    hr = VTS_BeginTest(document.Get());
    std::fprintf(stderr, "VTS_BeginTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;
    // The tester ends the test by itself and reports it with its result.
    bool ended = false;
    const DWORD start = GetTickCount();
    while (!ended && GetTickCount() - start < options.timeoutSeconds * 1000) {
        for (const HostNotification& n : session.Take(1, 200)) {
            std::fprintf(stderr, "notification %u: values %d %d, %zu data bytes\n", n.code, n.value1,
                         n.value2, n.data.size());
            ended = ended || n.code == VTS_NOTIFY_TEST_RESULT;
        }
    }
    if (!ended) {
        std::fprintf(stderr, "vts run: no result within %llu s; stopping\n", options.timeoutSeconds);
        VTS_StopTest(0);
        return 1;
    }
    ComPtr<IGenericData> result;
    hr = VTS_GetTestResult(result.Put());
    if (FAILED(hr) || !result) {
        std::fprintf(stderr, "vts run: VTS_GetTestResult -> %s\n", HostSession::Outcome(hr).c_str());
        return 1;
    }
    std::string text;
    if (!FormatDocument(result.Get(), options.format, &text)) {
        std::fprintf(stderr, "vts run: the result document cannot be read\n");
        return 1;
    }
    if (!WriteResult(text, options.out)) {
        std::fprintf(stderr, "vts run: cannot write %s\n",
                     options.out.empty() ? "the result" : options.out.c_str());
        return 1;
    }
    return 0;
}

} // namespace

VTS_SUBCOMMAND(params, "params", "PROGID", "print the default parameter document of a test type", Params);
VTS_SUBCOMMAND(run, "run",
               "[--sim] LINKSTRING PROGID PARAMS.xml [--timeout S] [--format xml|json|csv] [--out FILE]",
               "run one test and print the result document (progress on stderr)", Run);
