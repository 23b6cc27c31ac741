// This backend's COM runtime (com/co_runtime.cpp) finds the library's classes
// in its class table and nowhere else: there is no registry to write, so
// registering and unregistering change nothing and succeed, and there are no
// type libraries, so late-bound callers are told IDispatch is not implemented.
#include "com/registry.h"
#include "com/type_library.h"

#include "debug_output.h"

HRESULT RegistryWrite(bool, const std::vector<RegistryLine>&) { return S_OK; }
HRESULT RegistryRemoveTree(bool, const WideString&) { return S_OK; }

SystemThreadLocale::SystemThreadLocale() : saved_(0) {}
SystemThreadLocale::~SystemThreadLocale() = default;

UINT LibraryTypeInfoCount() { return 0; }

HRESULT LibraryTypeInfo(REFIID, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return NotImplemented("IDispatch", "GetTypeInfo");
}
HRESULT LibraryGetIDsOfNames(REFIID, REFIID, LPOLESTR*, UINT, DISPID*) {
    return NotImplemented("IDispatch", "GetIDsOfNames");
}
HRESULT LibraryInvoke(REFIID, void*, DISPID, REFIID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return NotImplemented("IDispatch", "Invoke");
}

HRESULT RegisterLibraryTypeLib(bool) { return S_OK; }
HRESULT UnregisterLibraryTypeLib(bool) { return S_OK; }
