// IDispatch of the document classes. Late-bound callers need the type
// library, which has not landed: they are told so (E_NOTIMPL), early-bound
// callers use the vtable.
#pragma once

#include <varel/vts_platform.h>

HRESULT NoTypeInfo(const char* method);

#define GDATA_IDISPATCH_METHODS                                                                    \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                             \
        if (!count) return E_INVALIDARG;                                                           \
        *count = 0;                                                                                \
        return S_OK;                                                                               \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {                 \
        if (info) *info = nullptr;                                                                 \
        return NoTypeInfo("GetTypeInfo");                                                          \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {     \
        return NoTypeInfo("GetIDsOfNames");                                                        \
    }                                                                                              \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, \
                                     UINT*) override {                                             \
        return NoTypeInfo("Invoke");                                                               \
    }
