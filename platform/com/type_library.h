// The library's type library: IDispatch of its dual interfaces for
// late-bound callers (script hosts), and its registration. The type library
// is resource 1 of the library file, or the ".tlb" file beside it.
#pragma once

#include <varel/vts_platform.h>

// The type information of interface iid, as GetTypeInfo hands it out.
HRESULT LibraryTypeInfo(REFIID iid, ITypeInfo** out);
// GetIDsOfNames and Invoke of an object whose interface iid sits at instance,
// by the type library's description of it: arguments are converted by the
// system's rules (DISP_E_TYPEMISMATCH with argError, DISP_E_BADPARAMCOUNT, ...).
HRESULT LibraryGetIDsOfNames(REFIID iid, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT LibraryInvoke(REFIID iid, void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError);
// 1 where the system has type libraries, else 0.
UINT LibraryTypeInfoCount();

// Registers (or unregisters) the type library under the machine's or the
// current user's classes root. A library path of 260 characters or more
// gives 0x8007007A (ERROR_INSUFFICIENT_BUFFER).
HRESULT RegisterLibraryTypeLib(bool perUser);
HRESULT UnregisterLibraryTypeLib(bool perUser);

// IDispatch of a class, served from the type library for interface iid.
// Put inside the body of the class, which derives from Interface.
#define COM_TYPELIB_DISPATCH_METHODS(Interface, iid)                                                         \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                                       \
        if (!count) return E_INVALIDARG;                                                                     \
        *count = LibraryTypeInfoCount();                                                                     \
        return S_OK;                                                                                         \
    }                                                                                                        \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {                     \
        if (!info) return E_POINTER;                                                                         \
        *info = nullptr;                                                                                     \
        if (index != 0) return DISP_E_BADINDEX;                                                              \
        return LibraryTypeInfo(iid, info);                                                                   \
    }                                                                                                        \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids)     \
        override {                                                                                           \
        return LibraryGetIDsOfNames(iid, riid, names, count, ids);                                           \
    }                                                                                                        \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,           \
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override {       \
        return LibraryInvoke(iid, static_cast<Interface*>(this), id, riid, flags, params, result, exception, \
                             argError);                                                                      \
    }
