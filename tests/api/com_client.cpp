// Another program as a client of the registered library: it does not link
// the DLL; the system finds it by ProgID in the registry and loads it.
//   com_client registered    both classes made by ProgID and used
//   com_client unregistered  neither ProgID is known any more
#include <varel/vts_calc.h>
#include <varel/vts_gdata.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s  %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

using CanUnloadNow = HRESULT(STDMETHODCALLTYPE*)();

HRESULT LoadedCanUnloadNow() {
    HMODULE dll = GetModuleHandleW(L"VarelTSS.dll");
    auto function = dll ? reinterpret_cast<CanUnloadNow>(GetProcAddress(dll, "DllCanUnloadNow")) : nullptr;
    return function ? function() : E_FAIL;
}

void UseDocument() {
    CLSID clsid{};
    Check(CLSIDFromProgID(L"VarelData.GenericData", &clsid) == S_OK && IsEqualGUID(clsid, CLSID_GenericData),
          "the ProgID names the document class");
    IGenericData* document = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                  reinterpret_cast<void**>(&document));
    Check(hr == S_OK, "a document is made");
    if (FAILED(hr)) return;
    Check(LoadedCanUnloadNow() == S_FALSE, "the library stays while the document lives");
    BSTR xml = SysAllocString(L"<Root><Para id=\"Zone1\" value=\"0.85\"/></Root>");
    Check(document->Load(xml) == S_OK, "the document loads");
    SysFreeString(xml);
    IGenericDataNode* root = nullptr;
    if (document->GetRootNode(&root) == S_OK) {
        BSTR path = SysAllocString(L"Zone1");
        VARIANT value;
        VariantInit(&value);
        Check(root->GetChildValue(path, &value) == S_OK && value.vt == VT_BSTR &&
                  std::wcscmp(value.bstrVal, L"0.85") == 0,
              "its value reads back");
        VariantClear(&value);
        SysFreeString(path);
        root->Release();
    }
    document->Release();
    Check(LoadedCanUnloadNow() == S_OK, "the library may go once the document is released");
}

void UseEngine() {
    CLSID clsid{};
    Check(CLSIDFromProgID(L"VarelCalcEngine.CalcEngine.1", &clsid) == S_OK &&
              IsEqualGUID(clsid, CLSID_CalcEngine),
          "the ProgID names the engine class");
    ICalcEngine* engine = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ICalcEngine,
                                  reinterpret_cast<void**>(&engine));
    Check(hr == S_OK, "an engine is made");
    if (FAILED(hr)) return;
    // Phase B to earth at 5 A through 1 ohm at 90 degrees, no earth factor.
    VarelCalc_Fault fault{};
    fault.Us = 57.735f;
    fault.FaultType = 1;
    fault.FaultIf = 5;
    fault.FaultZf_Mag = 1;
    fault.FaultZf_Ang = 90;
    Check(engine->Calculate_Fault(reinterpret_cast<BYTE*>(&fault), sizeof fault) == S_OK &&
              std::fabs(fault.Ip[1].Mag - 5) < 1e-3f && std::fabs(fault.Ip[0].Mag) < 1e-3f &&
              std::fabs(fault.Up[1].Mag - 5) < 1e-3f && std::fabs(fault.Up[0].Mag - 57.735f) < 1e-3f,
          "the fault phasors are calculated");
    Check(engine->Calculate_Fault(reinterpret_cast<BYTE*>(&fault), sizeof fault + 4) == E_INVALIDARG,
          "a wrong structure size is refused");
    engine->Release();
}

void Unregistered() {
    CLSID clsid{};
    Check(FAILED(CLSIDFromProgID(L"VarelData.GenericData", &clsid)), "the document ProgID is gone");
    Check(FAILED(CLSIDFromProgID(L"VarelCalcEngine.CalcEngine", &clsid)), "the engine ProgID is gone");
    IUnknown* object = nullptr;
    Check(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                           reinterpret_cast<void**>(&object)) == REGDB_E_CLASSNOTREG,
          "the class id is not registered");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    CoInitialize(nullptr);
    if (std::strcmp(argv[1], "registered") == 0) {
        UseDocument();
        UseEngine();
    } else {
        Unregistered();
    }
    CoUninitialize();
    return g_failures == 0 ? 0 : 1;
}
