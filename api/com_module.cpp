// The COM module: the class table, one class factory per class, the lock
// count behind DllCanUnloadNow.
#include <varel/vts.h>

#include "com/class_table.h"
#include "com/com_object.h"
#include "debug_output.h"
#include "calc/calc_engine.h"
#include "gdata/named_data.h"

#include <new>

// Each class of the library adds its line here.
const ComClassEntry kComClassTable[] = {
    {&CLSID_GenericData, OLESTR("VarelData.GenericData.1"), OLESTR("VarelData.GenericData"),
     OLESTR("GenericData Class"), CreateGenericData},
    {&CLSID_CalcEngine, OLESTR("VarelCalcEngine.CalcEngine.1"), OLESTR("VarelCalcEngine.CalcEngine"),
     OLESTR("CalcEngine Class"), CreateCalcEngine},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

namespace {

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

} // namespace

VTS_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow(void) {
    return ComModuleLockCount() == 0 ? S_OK : S_FALSE;
}

VTS_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
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

VTS_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer(void) {
    return NotImplemented("VarelTSS", "DllRegisterServer");
}
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer(void) {
    return NotImplemented("VarelTSS", "DllUnregisterServer");
}
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllInstall(BOOL, const WCHAR*) {
    return NotImplemented("VarelTSS", "DllInstall");
}
