// The COM runtime for the library's own classes: CoCreateInstance asks the
// library's DllGetClassObject for the class factory, as the system's would
// after finding the class in the registry.
#include "class_table.h"
#include "com_ptr.h"

#include <varel/vts.h>

namespace {
thread_local int t_comInitCount = 0;
}

HRESULT CoInitializeEx(LPVOID, DWORD) { return t_comInitCount++ == 0 ? S_OK : S_FALSE; }
HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }
void CoUninitialize(void) {
    if (t_comInitCount > 0) --t_comInitCount;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (t_comInitCount == 0) return CO_E_NOTINITIALIZED;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!FindComClass(clsid)) return REGDB_E_CLASSNOTREG;
    ComPtr<IClassFactory> factory;
    HRESULT hr = DllGetClassObject(clsid, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, riid, object);
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (!progId || !clsid) return E_INVALIDARG;
    const ComClassEntry* entry = FindComClassByProgId(progId);
    if (!entry) return CO_E_CLASSSTRING;
    *clsid = *entry->clsid;
    return S_OK;
}
