// VariantInit, VariantClear and VariantCopy for the types the library uses.
#include "variant_types.h"

#include <varel/vts_platform.h>

bool IsSupportedVarType(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_I2: case VT_I4: case VT_R4: case VT_R8:
    case VT_BSTR: case VT_DISPATCH: case VT_UNKNOWN: case VT_BOOL: case VT_UI1: case VT_UI2:
    case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: case VT_ERROR:
        return true;
    default:
        return false;
    }
}

void VariantInit(VARIANT* value) {
    if (!value) return;
    value->vt = VT_EMPTY;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
    value->llVal = 0;
}

HRESULT VariantClear(VARIANT* value) {
    if (!value) return E_INVALIDARG;
    if (!IsSupportedVarType(value->vt) && !(value->vt & VT_BYREF)) return DISP_E_BADVARTYPE;
    switch (value->vt) {
    case VT_BSTR: SysFreeString(value->bstrVal); break;
    case VT_DISPATCH: if (value->pdispVal) value->pdispVal->Release(); break;
    case VT_UNKNOWN: if (value->punkVal) value->punkVal->Release(); break;
    default: break; // by-reference values are not owned
    }
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source) {
    if (!target || !source) return E_INVALIDARG;
    if (target == source) return S_OK;
    if (!IsSupportedVarType(source->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<const char*>(source->bstrVal),
                                             SysStringByteLen(source->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN) && source->punkVal) {
        source->punkVal->AddRef();
    }
    HRESULT hr = VariantClear(target);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *target = copy;
    return S_OK;
}
