// An owning VARIANT: cleared on destruction, deep-copied on copy.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <string_view>

class Variant : public VARIANT {
public:
    Variant() { VariantInit(this); }
    Variant(const Variant& other) : Variant() { VariantCopy(this, &other); }
    explicit Variant(const VARIANT& other) : Variant() { VariantCopy(this, &other); }
    ~Variant() { VariantClear(this); }
    Variant& operator=(const Variant& other) {
        if (this != &other) VariantCopy(this, &other);
        return *this;
    }

    static Variant I4(LONG value) {
        Variant v;
        v.vt = VT_I4;
        v.lVal = value;
        return v;
    }
    static Variant R8(DOUBLE value) {
        Variant v;
        v.vt = VT_R8;
        v.dblVal = value;
        return v;
    }
    // E_OUTOFMEMORY leaves it VT_EMPTY.
    static Variant Text(WideStringView text) {
        Variant v;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (v.bstrVal) v.vt = VT_BSTR;
        return v;
    }
    void Clear() { VariantClear(this); }
};
