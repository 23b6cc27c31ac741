// VariantChangeType with OLE Automation's rules: one matrix, switched on the
// target, each cell a small helper. Reals become integers by rounding half to
// even (2.5 → 2, 3.5 → 4); text is read and written with "." as the decimal
// point and "," as the thousands separator whatever the locale. Where the
// system's rules are surprising they are kept, since hosts meet them there
// too: an integer changing sign at the same width keeps its bits (-1 as VT_I4
// is 4294967295 as VT_UI4), VARIANT_TRUE is all ones in any integer, reals
// into 64-bit integers must lie in [-2^62, 2^62), and reals are written with
// 15 (VT_R8) or 7 (VT_R4) significant digits.
#include "variant_types.h"

#include <varel/vts_platform.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "text.h"

namespace {

// A value on its way between two types. An integer of a known width keeps
// its bits when it goes to the other-signed integer of that width.
struct Number {
    enum Kind { Signed, Unsigned, Real } kind;
    int64_t i = 0;
    uint64_t u = 0;
    double d = 0;
    int byteWidth = 0; // 0 for text and reals, kAnyWidth for VT_BOOL
};
constexpr int kAnyWidth = -1;

Number FromSigned(int64_t v, int width = 0) { return {Number::Signed, v, 0, 0, width}; }
Number FromUnsigned(uint64_t v, int width = 0) { return {Number::Unsigned, 0, v, 0, width}; }
Number FromReal(double v) { return {Number::Real, 0, 0, v, 0}; }

double RoundHalfEven(double x) {
    double f = std::floor(x);
    double diff = x - f;
    if (diff > 0.5) return f + 1;
    if (diff < 0.5) return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

bool EqualsIgnoreCase(WideStringView a, WideStringView b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        WCHAR x = a[i] >= OLESTR('A') && a[i] <= OLESTR('Z') ? a[i] + 32 : a[i];
        WCHAR y = b[i] >= OLESTR('A') && b[i] <= OLESTR('Z') ? b[i] + 32 : b[i];
        if (x != y) return false;
    }
    return true;
}

bool IsBlank(WCHAR c) { return c == OLESTR(' ') || c == OLESTR('\t') || c == OLESTR('\r') || c == OLESTR('\n'); }

WideStringView TrimBlanks(WideStringView s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsDigit(WCHAR c) { return c >= OLESTR('0') && c <= OLESTR('9'); }

// [sign] digits [. digits] [e [sign] digits], surrounding blanks allowed; a
// thousands separator is skipped after a digit or the point ("1,234.5"),
// in the exponent too.
HRESULT ParseNumber(BSTR text, Number* out) {
    WideStringView s = TrimBlanks(BstrView(text));
    std::string ascii;
    bool negative = false;
    size_t pos = 0;
    if (pos < s.size() && (s[pos] == OLESTR('+') || s[pos] == OLESTR('-'))) negative = s[pos++] == OLESTR('-');
    // Digits onto ascii, counted; a separator only right after a digit, the
    // point or another separator.
    auto readDigits = [&](size_t* count) {
        for (; pos < s.size(); ++pos) {
            const bool separator = s[pos] == OLESTR(',') && pos > 0 &&
                                   (IsDigit(s[pos - 1]) || s[pos - 1] == OLESTR('.') || s[pos - 1] == OLESTR(','));
            if (IsDigit(s[pos]))
                ascii += char(s[pos]), ++*count;
            else if (!separator)
                break;
        }
    };
    size_t digits = 0;
    bool integral = true;
    readDigits(&digits);
    if (pos < s.size() && s[pos] == OLESTR('.')) {
        integral = false;
        ascii += s[pos++];
        readDigits(&digits);
    }
    if (digits == 0) return DISP_E_TYPEMISMATCH;
    if (pos < s.size() && (s[pos] == OLESTR('e') || s[pos] == OLESTR('E'))) {
        integral = false;
        ascii += 'e';
        ++pos;
        if (pos < s.size() && (s[pos] == OLESTR('+') || s[pos] == OLESTR('-'))) ascii += char(s[pos++]);
        size_t expDigits = 0;
        readDigits(&expDigits);
        if (expDigits == 0) return DISP_E_TYPEMISMATCH;
    }
    if (pos != s.size()) return DISP_E_TYPEMISMATCH;

    const char* first = ascii.data();
    const char* last = first + ascii.size();
    if (integral) {
        uint64_t magnitude = 0;
        auto [end, ec] = std::from_chars(first, last, magnitude);
        if (ec == std::errc() && end == last) {
            if (!negative) {
                *out = FromUnsigned(magnitude);
            } else if (magnitude <= uint64_t(1) << 63) {
                *out = FromSigned(static_cast<int64_t>(0 - magnitude));
            } else {
                *out = FromReal(-static_cast<double>(magnitude));
            }
            return S_OK;
        }
    }
    double value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        // from_chars reports tiny values as out of range too: those are 0.
        bool tiny = ascii.find("e-") != std::string::npos;
        if (!tiny) return DISP_E_OVERFLOW;
        value = 0;
    } else if (ec != std::errc() || end != last) {
        return DISP_E_TYPEMISMATCH;
    }
    *out = FromReal(negative ? -value : value);
    return S_OK;
}

// Integer targets: the range check comes before rounding, with the half-unit
// margins that rounding half to even allows ([-128.5, 127.5) for VT_I1).
template <class T>
HRESULT ToInteger(const Number& n, T* out) {
    using L = std::numeric_limits<T>;
    if (n.kind != Number::Real && (n.byteWidth == int(sizeof(T)) || n.byteWidth == kAnyWidth)) {
        *out = static_cast<T>(n.kind == Number::Signed ? static_cast<uint64_t>(n.i) : n.u);
        return S_OK;
    }
    switch (n.kind) {
    case Number::Signed:
        if (n.i < static_cast<int64_t>(L::min()) ||
            (n.i > 0 && static_cast<uint64_t>(n.i) > static_cast<uint64_t>(L::max())))
            return DISP_E_OVERFLOW;
        *out = static_cast<T>(n.i);
        return S_OK;
    case Number::Unsigned:
        if (n.u > static_cast<uint64_t>(L::max())) return DISP_E_OVERFLOW;
        *out = static_cast<T>(n.u);
        return S_OK;
    case Number::Real: {
        double lower, upper; // overflow outside [lower, upper)
        if constexpr (sizeof(T) == 8) {
            lower = L::is_signed ? -4611686018427387904.0 : -0.5;
            upper = L::is_signed ? 4611686018427387904.0 : 18446744073709551616.0;
        } else {
            lower = static_cast<double>(L::min()) - 0.5;
            upper = static_cast<double>(L::max()) + 0.5;
        }
        if (std::isnan(n.d) || n.d < lower || n.d >= upper) return DISP_E_OVERFLOW;
        double r = RoundHalfEven(n.d);
        if (sizeof(T) == 8 && r >= upper) return DISP_E_OVERFLOW;
        *out = static_cast<T>(r == 0 ? 0 : r); // -0.4 rounds to 0, not to a negative zero
        return S_OK;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

double ToDouble(const Number& n) {
    switch (n.kind) {
    case Number::Signed: return static_cast<double>(n.i);
    case Number::Unsigned: return static_cast<double>(n.u);
    default: return n.d;
    }
}

HRESULT ToFloat(const Number& n, FLOAT* out) {
    double d = ToDouble(n);
    if (d > std::numeric_limits<float>::max() || d < -std::numeric_limits<float>::max())
        return DISP_E_OVERFLOW;
    *out = static_cast<float>(d);
    return S_OK;
}

// 15 significant digits for VT_R8 and 7 for VT_R4, trailing zeros dropped,
// the exponent as OLE writes it ("1E+20", "1E-05").
template <class T>
std::string RealText(T value) {
    char buffer[64];
    constexpr int digits = sizeof(T) == 8 ? 15 : 7;
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    for (char& c : text)
        if (c == 'e') c = 'E';
    if (text == "-0") text = "0";
    return text;
}

// The source value as a Number; interface sources are handled by the caller.
HRESULT SourceNumber(const VARIANT& v, Number* out) {
    switch (v.vt) {
    case VT_EMPTY: *out = FromSigned(0); return S_OK;
    case VT_I1: *out = FromSigned(v.cVal, 1); return S_OK;
    case VT_I2: *out = FromSigned(v.iVal, 2); return S_OK;
    case VT_I4: *out = FromSigned(v.lVal, 4); return S_OK;
    case VT_INT: *out = FromSigned(v.intVal, 4); return S_OK;
    case VT_I8: *out = FromSigned(v.llVal, 8); return S_OK;
    case VT_UI1: *out = FromUnsigned(v.bVal, 1); return S_OK;
    case VT_UI2: *out = FromUnsigned(v.uiVal, 2); return S_OK;
    case VT_UI4: *out = FromUnsigned(v.ulVal, 4); return S_OK;
    case VT_UINT: *out = FromUnsigned(v.uintVal, 4); return S_OK;
    case VT_UI8: *out = FromUnsigned(v.ullVal, 8); return S_OK;
    case VT_R4: *out = FromReal(v.fltVal); return S_OK;
    case VT_R8: *out = FromReal(v.dblVal); return S_OK;
    case VT_BOOL: *out = FromSigned(v.boolVal ? -1 : 0, kAnyWidth); return S_OK;
    case VT_BSTR: return ParseNumber(v.bstrVal, out);
    default: return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToText(const VARIANT& v, USHORT flags, BSTR* out) {
    std::string text;
    switch (v.vt) {
    case VT_EMPTY: break;
    case VT_BOOL:
        if (flags & VARIANT_ALPHABOOL)
            text = v.boolVal ? "True" : "False";
        else
            text = v.boolVal ? "-1" : "0";
        break;
    case VT_R4: text = RealText(v.fltVal); break;
    case VT_R8: text = RealText(v.dblVal); break;
    default: {
        Number n;
        HRESULT hr = SourceNumber(v, &n);
        if (FAILED(hr)) return hr;
        text = n.kind == Number::Signed ? std::to_string(n.i) : std::to_string(n.u);
    }
    }
    WideString wide(text.begin(), text.end());
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ToBool(const VARIANT& v, VARIANT_BOOL* out) {
    if (v.vt == VT_BSTR) {
        WideStringView s = BstrView(v.bstrVal); // the words stand alone, without blanks
        if (EqualsIgnoreCase(s, OLESTR("true")) || EqualsIgnoreCase(s, OLESTR("#TRUE#"))) return *out = VARIANT_TRUE, S_OK;
        if (EqualsIgnoreCase(s, OLESTR("false")) || EqualsIgnoreCase(s, OLESTR("#FALSE#"))) return *out = VARIANT_FALSE, S_OK;
    }
    Number n;
    HRESULT hr = SourceNumber(v, &n);
    if (FAILED(hr)) return hr;
    bool nonzero = n.kind == Number::Signed ? n.i != 0 : n.kind == Number::Unsigned ? n.u != 0 : n.d != 0;
    *out = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ToInterface(const VARIANT& v, VARTYPE target, IUnknown** out) {
    if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (!v.punkVal) return *out = nullptr, S_OK;
    if (v.vt == target || target == VT_UNKNOWN) {
        v.punkVal->AddRef();
        *out = v.punkVal;
        return S_OK;
    }
    void* dispatch = nullptr;
    if (FAILED(v.punkVal->QueryInterface(IID_IDispatch, &dispatch))) return DISP_E_TYPEMISMATCH;
    *out = static_cast<IDispatch*>(dispatch);
    return S_OK;
}

// An object's value is its default property.
HRESULT ValueProperty(const VARIANT& v, USHORT flags, VARIANT* value) {
    if (v.vt != VT_DISPATCH || !v.pdispVal || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = v.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value,
                                    nullptr, nullptr);
    if (FAILED(hr) || value->vt == VT_DISPATCH || value->vt == VT_UNKNOWN) {
        VariantClear(value);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT Convert(const VARIANT& source, USHORT flags, VARTYPE type, VARIANT* result) {
    VariantInit(result);
    if (type == VT_NULL) return result->vt = VT_NULL, S_OK; // any value can be made null
    if (source.vt == VT_NULL || source.vt == VT_ERROR || type == VT_ERROR) {
        if (source.vt != type) return DISP_E_TYPEMISMATCH;
        return VariantCopy(result, &source);
    }
    if (type == VT_EMPTY) return S_OK; // any value can be dropped
    if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        HRESULT hr = ToInterface(source, type, &result->punkVal);
        if (SUCCEEDED(hr)) result->vt = type;
        return hr;
    }
    if (source.vt == VT_DISPATCH) {
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = ValueProperty(source, flags, &value);
        if (SUCCEEDED(hr)) hr = Convert(value, flags, type, result);
        VariantClear(&value);
        return hr;
    }
    if (source.vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (type == VT_BSTR) {
        if (source.vt == VT_BSTR) return VariantCopy(result, &source);
        HRESULT hr = ToText(source, flags, &result->bstrVal);
        if (SUCCEEDED(hr)) result->vt = VT_BSTR;
        return hr;
    }
    if (type == VT_BOOL) {
        HRESULT hr = ToBool(source, &result->boolVal);
        if (SUCCEEDED(hr)) result->vt = VT_BOOL;
        return hr;
    }
    Number n;
    HRESULT hr = SourceNumber(source, &n);
    if (FAILED(hr)) return hr;
    switch (type) {
    case VT_I1: hr = ToInteger(n, &result->cVal); break;
    case VT_I2: hr = ToInteger(n, &result->iVal); break;
    case VT_I4: hr = ToInteger(n, &result->lVal); break;
    case VT_INT: hr = ToInteger(n, &result->intVal); break;
    case VT_I8: hr = ToInteger(n, &result->llVal); break;
    case VT_UI1: hr = ToInteger(n, &result->bVal); break;
    case VT_UI2: hr = ToInteger(n, &result->uiVal); break;
    case VT_UI4: hr = ToInteger(n, &result->ulVal); break;
    case VT_UINT: hr = ToInteger(n, &result->uintVal); break;
    case VT_UI8: hr = ToInteger(n, &result->ullVal); break;
    case VT_R4: hr = ToFloat(n, &result->fltVal); break;
    case VT_R8: result->dblVal = ToDouble(n); break;
    default: return DISP_E_BADVARTYPE;
    }
    if (SUCCEEDED(hr)) result->vt = type;
    return hr;
}

} // namespace

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags, VARTYPE type) {
    if (!target || !source) return E_INVALIDARG;
    if (!IsSupportedVarType(source->vt)) return DISP_E_BADVARTYPE;
    if (type & (VT_ARRAY | VT_BYREF)) return DISP_E_TYPEMISMATCH; // nothing converts into those
    if (!IsSupportedVarType(type)) return DISP_E_BADVARTYPE;
    VARIANT result;
    HRESULT hr = Convert(*source, flags, type, &result);
    if (FAILED(hr)) return hr; // the target is left as it was
    hr = VariantClear(target); // target may be the source itself
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *target = result;
    return S_OK;
}
