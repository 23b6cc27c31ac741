// The conversion matrix of VariantChangeType, as a table.
#include <varel/vts_platform.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

#include "com/bstr.h"
#include "com/variant.h"
#include "leak_check.h"

namespace {

// f applied to the member of the value union that v.vt names (nothing for a type without one).
template <typename V, typename F>
void Visit(V& v, F f) {
    switch (v.vt) {
    case VT_I1: return f(v.cVal);
    case VT_I2: return f(v.iVal);
    case VT_I4: return f(v.lVal);
    case VT_INT: return f(v.intVal);
    case VT_I8: return f(v.llVal);
    case VT_UI1: return f(v.bVal);
    case VT_UI2: return f(v.uiVal);
    case VT_UI4: return f(v.ulVal);
    case VT_UINT: return f(v.uintVal);
    case VT_UI8: return f(v.ullVal);
    case VT_R4: return f(v.fltVal);
    case VT_R8: return f(v.dblVal);
    case VT_BOOL: return f(v.boolVal);
    default: return;
    }
}

Variant Make(VARTYPE vt, double value) {
    Variant v;
    v.vt = vt;
    Visit(v, [value](auto& m) { m = static_cast<std::remove_reference_t<decltype(m)>>(value); });
    if (vt == VT_BOOL) v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

double AsDouble(const VARIANT& v) {
    double d = NAN;
    Visit(v, [&d](auto m) { d = static_cast<double>(m); });
    return d;
}

struct NumberCase {
    VARTYPE from;
    double value;
    VARTYPE to;
    HRESULT hr;
    double expected;
};

} // namespace

TEST(VariantChangeType, NumbersRoundHalfToEvenAndCheckRanges) {
    const NumberCase cases[] = {
        {VT_R8, 2.5, VT_I4, S_OK, 2},
        {VT_R8, 3.5, VT_I4, S_OK, 4},
        {VT_R8, -2.5, VT_I4, S_OK, -2},
        {VT_R8, -3.5, VT_I4, S_OK, -4},
        {VT_R8, 0.5, VT_UI1, S_OK, 0},
        {VT_R8, 1.5, VT_UI1, S_OK, 2},
        {VT_R8, 2.4999, VT_I2, S_OK, 2},
        {VT_R8, 2.5001, VT_I2, S_OK, 3},
        {VT_R8, 127.4, VT_I1, S_OK, 127},
        {VT_R8, 127.5, VT_I1, DISP_E_OVERFLOW, 0},
        {VT_R8, -128.5, VT_I1, S_OK, -128},
        {VT_R8, -128.51, VT_I1, DISP_E_OVERFLOW, 0},
        {VT_R8, 255.49, VT_UI1, S_OK, 255},
        {VT_R8, 255.5, VT_UI1, DISP_E_OVERFLOW, 0},
        {VT_R8, -0.5, VT_UI1, S_OK, 0},
        {VT_R8, -0.51, VT_UI2, DISP_E_OVERFLOW, 0},
        {VT_R8, 32767.5, VT_I2, DISP_E_OVERFLOW, 0},
        {VT_R8, -32768.5, VT_I2, S_OK, -32768},
        {VT_R8, 2147483647.4, VT_I4, S_OK, 2147483647},
        {VT_R8, 2147483647.5, VT_I4, DISP_E_OVERFLOW, 0},
        {VT_R8, -2147483648.5, VT_INT, S_OK, -2147483648.0},
        {VT_R8, 4294967295.5, VT_UI4, DISP_E_OVERFLOW, 0},
        {VT_R8, 4294967294.5, VT_UINT, S_OK, 4294967294.0},
        {VT_R8, 9223372036854775808.0, VT_I8, DISP_E_OVERFLOW, 0},
        {VT_R8, -9223372036854775808.0, VT_I8, DISP_E_OVERFLOW, 0},
        {VT_R8, -4611686018427387904.0, VT_I8, S_OK, -4611686018427387904.0},
        {VT_R8, 4611686018427387904.0, VT_I8, DISP_E_OVERFLOW, 0},
        {VT_R8, 9223372036854775808.0, VT_UI8, S_OK, 9223372036854775808.0},
        {VT_R8, 18446744073709551616.0, VT_UI8, DISP_E_OVERFLOW, 0},
        {VT_R8, 1e39, VT_R4, DISP_E_OVERFLOW, 0},
        {VT_R8, 1.5, VT_R4, S_OK, 1.5},
        {VT_I4, 128, VT_I1, DISP_E_OVERFLOW, 0},
        {VT_I4, -129, VT_I1, DISP_E_OVERFLOW, 0},
        {VT_I4, -1, VT_UI4, S_OK, 4294967295.0},
        {VT_I2, -1, VT_UI2, S_OK, 65535},
        {VT_I2, -1, VT_UI4, DISP_E_OVERFLOW, 0},
        {VT_I4, -1, VT_UI2, DISP_E_OVERFLOW, 0},
        {VT_I4, 65535, VT_UI2, S_OK, 65535},
        {VT_UI4, 4294967295.0, VT_I4, S_OK, -1},
        {VT_UI1, 255, VT_I1, S_OK, -1},
        {VT_UI4, 4294967295.0, VT_R8, S_OK, 4294967295.0},
        {VT_BOOL, 1, VT_I4, S_OK, -1},
        {VT_BOOL, 1, VT_UI1, S_OK, 255},
        {VT_BOOL, 1, VT_UI4, S_OK, 4294967295.0},
        {VT_BOOL, 1, VT_R8, S_OK, -1},
        {VT_I4, 7, VT_BOOL, S_OK, -1},
        {VT_R8, 0.0, VT_BOOL, S_OK, 0},
        {VT_EMPTY, 0, VT_I4, S_OK, 0},
        {VT_EMPTY, 0, VT_R8, S_OK, 0},
        {VT_I1, -5, VT_I8, S_OK, -5},
        {VT_UI8, 5, VT_I1, S_OK, 5},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "vt " << c.from << " value " << c.value << " -> vt " << c.to);
        Variant source = Make(c.from, c.value), target;
        HRESULT hr = VariantChangeType(&target, &source, 0, c.to);
        EXPECT_EQ(hr, c.hr);
        if (hr == S_OK) {
            EXPECT_EQ(target.vt, c.to);
            EXPECT_EQ(AsDouble(target), c.expected);
        } else {
            EXPECT_EQ(target.vt, VT_EMPTY) << "a failed conversion leaves the target alone";
        }
    }
}

struct TextCase {
    const WCHAR* text;
    VARTYPE to;
    HRESULT hr;
    double expected;
};

TEST(VariantChangeType, TextReadsWithDotWhateverTheLocale) {
    const TextCase cases[] = {
        {OLESTR("42"), VT_I4, S_OK, 42},
        {OLESTR("  -17  "), VT_I2, S_OK, -17},
        {OLESTR("+8"), VT_UI1, S_OK, 8},
        {OLESTR("2.5"), VT_I4, S_OK, 2},
        {OLESTR("3.5"), VT_I4, S_OK, 4},
        {OLESTR("1.25"), VT_R8, S_OK, 1.25},
        {OLESTR(".5"), VT_R8, S_OK, 0.5},
        {OLESTR("5."), VT_R8, S_OK, 5},
        {OLESTR("1e3"), VT_I4, S_OK, 1000},
        {OLESTR("1.5E-2"), VT_R8, S_OK, 0.015},
        {OLESTR("\t7\r\n"), VT_I4, S_OK, 7},
        {OLESTR("0.1"), VT_R4, S_OK, 0.1f},
        {OLESTR("1,5"), VT_R8, S_OK, 15},
        {OLESTR("1,234,567"), VT_I4, S_OK, 1234567},
        {OLESTR("1,234.5,6"), VT_R8, S_OK, 1234.56},
        {OLESTR(",5"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("-,5"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("1 ,5"), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {OLESTR(""), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("   "), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("12abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("1e"), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("inf"), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("nan"), VT_R8, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("-"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("1 2"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("300"), VT_UI1, DISP_E_OVERFLOW, 0},
        {OLESTR("-1"), VT_UI4, DISP_E_OVERFLOW, 0},
        {OLESTR("2147483648"), VT_I4, DISP_E_OVERFLOW, 0},
        {OLESTR("1e400"), VT_R8, DISP_E_OVERFLOW, 0},
        {OLESTR("1e-400"), VT_R8, S_OK, 0},
        {OLESTR("true"), VT_BOOL, S_OK, -1},
        {OLESTR("False"), VT_BOOL, S_OK, 0},
        {OLESTR(" False "), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
        {OLESTR("#TRUE#"), VT_BOOL, S_OK, -1},
        {OLESTR("0"), VT_BOOL, S_OK, 0},
        {OLESTR("2"), VT_BOOL, S_OK, -1},
        {OLESTR("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, 0},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "text '" << std::string(c.text, c.text + WideString(c.text).size())
                                        << "' -> vt " << c.to);
        Variant source = Variant::Text(c.text), target;
        EXPECT_EQ(VariantChangeType(&target, &source, 0, c.to), c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(AsDouble(target), c.expected);
        }
    }
}

TEST(VariantChangeType, LargeIntegersInTextAreExact) {
    Variant source = Variant::Text(OLESTR("9223372036854775807")), target;
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_I8), S_OK);
    EXPECT_EQ(target.llVal, std::numeric_limits<int64_t>::max());
    source = Variant::Text(OLESTR("-9223372036854775808"));
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_I8), S_OK);
    EXPECT_EQ(target.llVal, std::numeric_limits<int64_t>::min());
    source = Variant::Text(OLESTR("18446744073709551615"));
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_UI8), S_OK);
    EXPECT_EQ(target.ullVal, std::numeric_limits<uint64_t>::max());
    source = Variant::Text(OLESTR("9223372036854775808"));
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I8), DISP_E_OVERFLOW);
}

TEST(VariantChangeType, RealsWriteFifteenOrSevenSignificantDigits) {
    LeakCheck leaks;
    {
        struct Case {
            Variant value;
            const WCHAR* text;
        };
        const Case cases[] = {
            {Make(VT_R8, 0.1), OLESTR("0.1")},
            {Make(VT_R8, 1.0 / 3), OLESTR("0.333333333333333")},
            {Make(VT_R8, 123456789012345.6), OLESTR("123456789012346")},
            {Make(VT_R4, 0.1), OLESTR("0.1")},
            {Make(VT_R4, 57.735), OLESTR("57.735")},
            {Make(VT_R4, 1.0 / 3), OLESTR("0.3333333")},
            {Make(VT_R4, 16777216), OLESTR("1.677722E+07")},
            {Make(VT_R8, 1e20), OLESTR("1E+20")},
            {Make(VT_R8, 1e-5), OLESTR("1E-05")},
            {Make(VT_R8, -2.5), OLESTR("-2.5")},
            {Make(VT_R8, -0.0), OLESTR("0")},
            {Make(VT_I4, -2147483648.0), OLESTR("-2147483648")},
            {Make(VT_UI4, 4294967295.0), OLESTR("4294967295")},
            {Make(VT_I1, -7), OLESTR("-7")},
            {Make(VT_BOOL, 1), OLESTR("-1")},
            {Make(VT_BOOL, 0), OLESTR("0")},
            {Variant(), OLESTR("")},
        };
        for (const Case& c : cases) {
            Variant text;
            ASSERT_EQ(VariantChangeType(&text, &c.value, 0, VT_BSTR), S_OK);
            ASSERT_EQ(text.vt, VT_BSTR);
            EXPECT_EQ(WideString(text.bstrVal, SysStringLen(text.bstrVal)), c.text);
            Variant back;
            if (c.value.vt == VT_R8 || c.value.vt == VT_R4) {
                ASSERT_EQ(VariantChangeType(&back, &text, 0, c.value.vt), S_OK);
                const double v = AsDouble(c.value), digits = c.value.vt == VT_R8 ? 1e-14 : 1e-6;
                EXPECT_NEAR(AsDouble(back), v, digits * std::max(1.0, std::fabs(v))) << "reads back";
            }
        }
    }
    {
        Variant alpha, yes = Make(VT_BOOL, 1);
        ASSERT_EQ(VariantChangeType(&alpha, &yes, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
        EXPECT_EQ(WideString(alpha.bstrVal), OLESTR("True"));
    }
    leaks.ExpectNoLeaks();
}

TEST(VariantChangeType, BadTypesAndInterfaces) {
    Variant source = Make(VT_I4, 1), target;
    EXPECT_EQ(VariantChangeType(&target, &source, 0, 0x7F), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I4 | VT_ARRAY), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_I4 | VT_BYREF), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&target, &source, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    Variant empty;
    EXPECT_EQ(VariantChangeType(&target, &empty, 0, VT_UNKNOWN), DISP_E_TYPEMISMATCH);
    Variant nothing;
    nothing.vt = VT_UNKNOWN;
    EXPECT_EQ(VariantChangeType(&target, &nothing, 0, VT_I4), DISP_E_TYPEMISMATCH);
    ASSERT_EQ(VariantChangeType(&target, &nothing, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(target.vt, VT_UNKNOWN);
    EXPECT_EQ(target.punkVal, nullptr);
    // Any value can be made null; null and errors become nothing else.
    ASSERT_EQ(VariantChangeType(&target, &source, 0, VT_NULL), S_OK);
    EXPECT_EQ(target.vt, VT_NULL);
    EXPECT_EQ(VariantChangeType(&source, &target, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, InPlaceConversionFreesTheOldText) {
    LeakCheck leaks;
    {
        Variant v = Variant::Text(OLESTR(" 12.5 "));
        ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_R8), S_OK);
        EXPECT_EQ(v.vt, VT_R8);
        EXPECT_EQ(v.dblVal, 12.5);
        Variant copy(v);
        ASSERT_EQ(VariantChangeType(&copy, &copy, 0, VT_BSTR), S_OK);
        Variant again(copy); // deep copy of the text
        EXPECT_NE(again.bstrVal, copy.bstrVal);
    }
    leaks.ExpectNoLeaks();
}
