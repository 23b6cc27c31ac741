// vts params, vts run: a test type's default document, and one test run
// from a parameter file to the result document.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "host_session.h"
#include "subcommand.h"
#include "text.h"
#include "tick.h"

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
    if (hr == S_OK) Print(document.Get());
    else std::fprintf(stderr, "vts params: %s\n", HostSession::Outcome(hr).c_str());
    document.Reset();
    CoUninitialize();
    return hr == S_OK ? 0 : 1;
}

int Run(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    bool simulated = TakeSimFlag(args);
    unsigned long long timeoutSeconds = 30;
    if (args.size() == 5 && args[3] == "--timeout") {
        if (!ParseNumber32(args[4], 86400, &timeoutSeconds)) return UsageError("--timeout takes seconds");
        args.resize(3);
    }
    if (args.size() != 3) return UsageError("run needs a link string, a ProgID and a parameter file");
    HostSession session;
    if (simulated && !session.StartSimulator()) return 1;
    ComPtr<IGenericData> document = NewDocument();
    HRESULT hr = document->LoadFromFile(BStr(Utf8ToUtf16(args[2])).Get());
    if (hr != S_OK) {
        std::fprintf(stderr, "vts run: cannot read %s (missing, unreadable or not XML)\n", args[2].c_str());
        return 1;
    }
    if (FAILED(session.Link(args[0]))) return 1;
    hr = VTS_ActiveTest_A(args[1].c_str());
    std::printf("VTS_ActiveTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;
    hr = VTS_BeginTest(document.Get());
    std::printf("VTS_BeginTest -> %s\n", HostSession::Outcome(hr).c_str());
    if (FAILED(hr)) return 1;
    // The tester ends the test by itself and reports it with its result.
    bool ended = false;
    const DWORD start = GetTickCount();
    while (!ended && GetTickCount() - start < timeoutSeconds * 1000) {
        for (const HostNotification& n : session.Take(1, 200)) {
            std::printf("notification %u: values %d %d, %zu data bytes\n", n.code, n.value1, n.value2,
                        n.data.size());
            ended = ended || n.code == VTS_NOTIFY_TEST_RESULT;
        }
    }
    if (!ended) {
        std::fprintf(stderr, "vts run: no result within %llu s; stopping\n", timeoutSeconds);
        VTS_StopTest(0);
        return 1;
    }
    IGenericData* result = nullptr;
    hr = VTS_GetTestResult(&result);
    if (FAILED(hr) || !result) {
        std::fprintf(stderr, "vts run: VTS_GetTestResult -> %s\n", HostSession::Outcome(hr).c_str());
        return 1;
    }
    Print(result);
    result->Release();
    return 0;
}

} // namespace

VTS_SUBCOMMAND(params, "params", "PROGID", "print the default parameter document of a test type", Params);
VTS_SUBCOMMAND(run, "run", "[--sim] LINKSTRING PROGID PARAMS.xml [--timeout S]",
               "run one test and print the result document", Run);
