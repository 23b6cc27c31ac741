// vts calc: runs the requests of a calculation document and prints the
// document with its results, or prints the blank request of a code.
#include "subcommand.h"

#include <varel/vts.h>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& what, HRESULT hr) {
    std::fprintf(stderr, "vts calc: %s (0x%08X)\n", what.c_str(), static_cast<unsigned>(hr));
    return 1;
}

int Print(IGenericData* document) {
    BStr text;
    HRESULT hr = document->ToXMLString(text.Put());
    if (FAILED(hr)) return Fail("cannot write the document", hr);
    std::printf("%s\n", Utf16ToUtf8(text.View()).c_str());
    return 0;
}

int RunRequests(IGenericData* document, const std::string& file) {
    HRESULT hr = document->LoadFromFile(BStr(Utf8ToUtf16(file)).Get());
    if (hr != S_OK) return Fail("cannot load " + file + " (missing, unreadable or not XML)", hr);
    ComPtr<ICalcEngine> engine;
    hr = CoCreateInstance(CLSID_CalcEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ICalcEngine, engine.PutVoid());
    if (FAILED(hr)) return Fail("cannot create the calculation engine", hr);
    hr = engine->Calculate(document);
    if (FAILED(hr)) return Fail("the calculation failed", hr);
    return Print(document);
}

int PrintBlankRequest(IGenericData* document, const std::string& codeText) {
    unsigned long long code;
    if (!ParseNumber32(codeText, 0x7FFFFFFF, &code)) return UsageError("calc --init takes a request code");
    VTS_InitCalcParams(document, static_cast<int32_t>(code));
    ComPtr<IGenericDataNode> root, request;
    if (FAILED(document->GetRootNode(root.Put())) ||
        root->GetChild(BStr(OLESTR("CalcParams")).Get(), request.Put()) != S_OK)
        return Fail("no blank request for code " + codeText + " (0-7, 100-105)", E_INVALIDARG);
    return Print(document);
}

int CalcCommand(const std::vector<std::string>& args) {
    CoInitialize(nullptr);
    int code;
    {
        ComPtr<IGenericData> document;
        HRESULT hr = CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                      document.PutVoid());
        if (FAILED(hr))
            code = Fail("cannot create a GenericData document", hr);
        else if (args.size() == 1 && args[0] != "--init")
            code = RunRequests(document.Get(), args[0]);
        else if (args.size() == 2 && args[0] == "--init")
            code = PrintBlankRequest(document.Get(), args[1]);
        else
            code = UsageError("calc takes REQUEST.xml or --init CODE");
    }
    CoUninitialize();
    return code;
}

} // namespace

VTS_SUBCOMMAND(calc, "calc", "REQUEST.xml | --init CODE",
               "run the calculation requests of a document and print it with the results, or print the blank "
               "request of a code",
               CalcCommand);
