// The COM module: the class table, one class factory per class, the lock
// count behind DllCanUnloadNow, and the registration of the classes and of
// the type library.
#include <varel/vts.h>

#include "com/class_table.h"
#include "com/com_object.h"
#include "com/registry.h"
#include "com/type_library.h"
#include "module_path.h"
#include "calc/calc_engine.h"
#include "gdata/named_data.h"

#include <cstdio>
#include <new>
#include <vector>

// Each class of the library adds its line here.
const ComClassEntry kComClassTable[] = {
    {&CLSID_GenericData, OLESTR("VarelData.GenericData.1"), OLESTR("VarelData.GenericData"),
     OLESTR("GenericData Class"), CreateGenericData},
    {&CLSID_CalcEngine, OLESTR("VarelCalcEngine.CalcEngine.1"), OLESTR("VarelCalcEngine.CalcEngine"),
     OLESTR("CalcEngine Class"), CreateCalcEngine},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

namespace {

// {E753674A-13B5-4E74-BE15-85E69B3BE5B7}: the module's application id.
constexpr GUID kAppId = {0xE753674A, 0x13B5, 0x4E74, {0xBE, 0x15, 0x85, 0xE6, 0x9B, 0x3B, 0xE5, 0xB7}};
// {4D3E6B2A-B81F-43EE-9B00-9B9E97A2721B}: VarelTSSLib, as api/VarelTSS.idl declares it.
constexpr GUID kTypeLibId = {0x4D3E6B2A, 0xB81F, 0x43EE, {0x9B, 0x00, 0x9B, 0x9E, 0x97, 0xA2, 0x72, 0x1B}};

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(const ComClassEntry& entry) : entry_(entry) {}
    static const ComInterfaceEntry kInterfaces[];
    COM_IUNKNOWN_METHODS(CClassFactory)

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return entry_.createInstance(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ComModuleLock();
        else
            ComModuleUnlock();
        return S_OK;
    }

private:
    ~CClassFactory() = default;
    const ComClassEntry& entry_;
    ComRefCount refs_;
    ComLiveObject live_;
};

const ComInterfaceEntry CClassFactory::kInterfaces[] = {
    COM_INTERFACE_ENTRY(CClassFactory, IClassFactory, IID_IClassFactory),
    {nullptr, 0},
};

// "{0D5B2936-9236-47D3-AE89-AA7DF0301B2A}", as the registry spells ids.
WideString GuidText(REFGUID id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                  id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
    return Utf8ToUtf16(text);
}

WideString ClassKey(const ComClassEntry& entry) { return OLESTR("CLSID\\") + GuidText(*entry.clsid); }

// The registration script of a class, under the classes root: "%MODULE%"
// stands for the library's full path, "%APPID%" for the application id.
std::vector<RegistryLine> ClassScript(const ComClassEntry& entry) {
    const WideString clsid = GuidText(*entry.clsid);
    const WideString progId = entry.progId;
    const WideString currentProgId = entry.versionIndependentProgId;
    const WideString description = entry.description;
    const WideString key = ClassKey(entry);
    return {
        {progId, {}, description, true},
        {progId + OLESTR("\\CLSID"), {}, clsid, true},
        {currentProgId, {}, description, true},
        {currentProgId + OLESTR("\\CLSID"), {}, clsid, true},
        {currentProgId + OLESTR("\\CurVer"), {}, progId, true},
        {key, {}, description, true},
        {key, OLESTR("AppID"), OLESTR("%APPID%"), true},
        {key + OLESTR("\\ProgID"), {}, progId, true},
        {key + OLESTR("\\VersionIndependentProgID"), {}, currentProgId, true},
        {key + OLESTR("\\Programmable"), {}, {}, false},
        {key + OLESTR("\\InprocServer32"), {}, OLESTR("%MODULE%"), true},
        {key + OLESTR("\\InprocServer32"), OLESTR("ThreadingModel"), OLESTR("Apartment"), true},
        {key + OLESTR("\\TypeLib"), {}, GuidText(kTypeLibId), true},
    };
}

void Replace(WideString& text, WideStringView placeholder, const WideString& by) {
    for (size_t at = text.find(placeholder); at != WideString::npos;
         at = text.find(placeholder, at + by.size()))
        text.replace(at, placeholder.size(), by);
}

bool EqualsIgnoringCase(const WCHAR* text, const char* ascii) {
    if (!text) return false;
    for (; *ascii; ++text, ++ascii) {
        WCHAR c = *text >= 'A' && *text <= 'Z' ? static_cast<WCHAR>(*text - 'A' + 'a') : *text;
        if (c != static_cast<WCHAR>(*ascii)) return false;
    }
    return *text == 0;
}

class CVarelTSSModule {
public:
    HRESULT CanUnloadNow() const { return ComModuleLockCount() == 0 ? S_OK : S_FALSE; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        const ComClassEntry* entry = FindComClass(clsid);
        if (!entry) return CLASS_E_CLASSNOTAVAILABLE;
        auto* factory = new (std::nothrow) CClassFactory(*entry);
        if (!factory) return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(iid, out);
        factory->Release();
        return hr;
    }

    // The module's own script holds no keys, so the classes and the type
    // library are all there is to write. Each class key is replaced whole.
    HRESULT RegisterServer() const {
        SystemThreadLocale locale;
        const WideString module = LibraryFilePath();
        const WideString appId = GuidText(kAppId);
        for (const ComClassEntry* entry = kComClassTable; entry->clsid; ++entry) {
            std::vector<RegistryLine> script = ClassScript(*entry);
            for (RegistryLine& line : script) {
                Replace(line.value, OLESTR("%MODULE%"), module);
                Replace(line.value, OLESTR("%APPID%"), appId);
            }
            HRESULT hr = RegistryRemoveTree(perUser_, ClassKey(*entry));
            if (SUCCEEDED(hr)) hr = RegistryWrite(perUser_, script);
            if (FAILED(hr)) return hr;
        }
        return RegisterLibraryTypeLib(perUser_);
    }

    // Removes what registration wrote (what is not there counts as removed);
    // the first failure is returned. The CLSID root itself stays.
    HRESULT UnregisterServer() const {
        SystemThreadLocale locale;
        HRESULT first = S_OK;
        auto keep = [&first](HRESULT hr) {
            if (FAILED(hr) && SUCCEEDED(first)) first = hr;
        };
        for (const ComClassEntry* entry = kComClassTable; entry->clsid; ++entry) {
            keep(RegistryRemoveTree(perUser_, entry->progId));
            keep(RegistryRemoveTree(perUser_, entry->versionIndependentProgId));
            keep(RegistryRemoveTree(perUser_, ClassKey(*entry)));
        }
        keep(UnregisterLibraryTypeLib(perUser_));
        return first;
    }

    // "user" (in any case) registers for the current user alone, for this
    // call: a later DllRegisterServer goes to the machine's classes again.
    HRESULT Install(BOOL install, const WCHAR* commandLine) {
        perUser_ = EqualsIgnoringCase(commandLine, "user");
        HRESULT hr = install ? RegisterServer() : UnregisterServer();
        if (install && FAILED(hr)) UnregisterServer();
        perUser_ = false;
        return hr;
    }

private:
    bool perUser_ = false;
};

CVarelTSSModule g_module;

} // namespace

VTS_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow(void) { return g_module.CanUnloadNow(); }

VTS_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return g_module.GetClassObject(clsid, iid, out);
}

VTS_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer(void) { return g_module.RegisterServer(); }
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer(void) { return g_module.UnregisterServer(); }
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllInstall(BOOL install, const WCHAR* commandLine) {
    return g_module.Install(install, commandLine);
}
