#include "device/param_item.h"

#include <cmath>

namespace {

// A real on the wire: times 10000, rounded half away from zero, as a signed
// 32-bit word (values beyond any integer are held at the int64 limits first).
uint32_t WireReal(double value) {
    const double scaled = value * 10000.0;
    const double rounded = value >= 0 ? std::trunc(scaled + 0.5) : std::trunc(scaled - 0.5);
    if (!(rounded > -9.2e18 && rounded < 9.2e18)) return rounded > 0 ? 0xFFFFFFFFu : 0;
    return static_cast<uint32_t>(static_cast<int64_t>(rounded));
}

} // namespace

bool EncodeTestParam(TestParamItem& item, uint16_t* tag, uint32_t* word) {
    VARIANT& value = item.value;
    switch (value.vt) {
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT: *word = value.ulVal; break;
    case VT_I8:
    case VT_UI8: *word = static_cast<uint32_t>(value.ullVal); break;
    case VT_R4: *word = WireReal(value.fltVal); break;
    case VT_R8: *word = WireReal(value.dblVal); break;
    default:
        if (FAILED(VariantChangeType(&value, &value, 0, VT_UI4))) return false;
        *word = value.ulVal;
    }
    *tag = static_cast<uint16_t>(0x2000 + (item.id & 0xFFF));
    return true;
}
