// ole32 first; the library's own classes from its class table when the
// system does not know them (the library has not been registered).
#include "com/class_table.h"
#include "com/com_ptr.h"
#include "com/live_strings.h"

#include <varel/vts.h>

namespace {
bool NotRegistered(HRESULT hr) { return hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE; }
} // namespace

HRESULT VtsCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, LPVOID* object) {
    HRESULT hr = CoCreateInstance(clsid, outer, context, riid, object);
    if (!NotRegistered(hr) || !FindComClass(clsid)) return hr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<IClassFactory> factory;
    hr = DllGetClassObject(clsid, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, riid, object);
}

HRESULT VtsCLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    HRESULT hr = CLSIDFromProgID(progId, clsid);
    if (SUCCEEDED(hr) || !progId || !clsid) return hr;
    const ComClassEntry* entry = FindComClassByProgId(progId);
    if (!entry) return hr;
    *clsid = *entry->clsid;
    return S_OK;
}

// oleaut32 allocates (and caches) the strings; they cannot be counted.
int64_t LiveBstrCount() { return -1; }
