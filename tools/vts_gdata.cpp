// vts gdata: a document file as the library reads it, or one value of it.
#include "subcommand.h"

#include <varel/vts.h>

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "text.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "vts gdata: %s (0x%08X)\n", what, static_cast<unsigned>(hr));
    return 1;
}

int ShowDocument(const std::string& file, const std::string* path) {
    ComPtr<IGenericData> document;
    HRESULT hr = CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                  document.PutVoid());
    if (FAILED(hr)) return Fail("cannot create a GenericData document", hr);
    hr = document->LoadFromFile(BStr(Utf8ToUtf16(file)).Get());
    if (hr != S_OK) return Fail(("cannot load " + file + " (missing, unreadable or not XML)").c_str(), hr);
    if (!path) {
        BStr text;
        hr = document->ToXMLString(text.Put());
        if (FAILED(hr)) return Fail("cannot write the document", hr);
        std::printf("%s\n", Utf16ToUtf8(text.View()).c_str());
        return 0;
    }
    ComPtr<IGenericDataNode> root;
    hr = document->GetRootNode(root.Put());
    if (FAILED(hr)) return Fail("no root node", hr);
    Variant value;
    hr = root->GetChildValue(BStr(Utf8ToUtf16(*path)).Get(), &value);
    if (FAILED(hr)) return Fail(("no value at " + *path).c_str(), hr);
    Variant text;
    if (value.vt != VT_EMPTY && FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return Fail("the value has no text form", DISP_E_TYPEMISMATCH);
    std::printf("%s\n", text.vt == VT_BSTR ? Utf16ToUtf8(BstrView(text.bstrVal)).c_str() : "");
    return 0;
}

int GenericDataCommand(const std::vector<std::string>& args) {
    CoInitialize(nullptr);
    int code;
    if (args.size() == 1 && args[0] != "--get")
        code = ShowDocument(args[0], nullptr);
    else if (args.size() == 3 && args[0] == "--get")
        code = ShowDocument(args[2], &args[1]);
    else
        code = UsageError("gdata takes FILE.xml or --get PATH FILE.xml");
    CoUninitialize();
    return code;
}

} // namespace

VTS_SUBCOMMAND(gdata, "gdata", "[--get PATH] FILE.xml",
               "print a GenericData file as the library writes it, or the value at a dotted PATH", GenericDataCommand);
