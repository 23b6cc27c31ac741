// Where oleaut32 gives no answer to agree with (a null target crashes it, and
// NaN into an integer is whatever a C cast makes of it), the stand-in answers
// plainly; so these run on Linux only.
#include <varel/vts_platform.h>

#include "com/variant.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(VariantChangeTypeStandIn, ANullTargetOrANaNIsRefused) {
    Variant source;
    source.vt = VT_I4;
    source.lVal = 1;
    EXPECT_EQ(VariantChangeType(nullptr, &source, 0, VT_I4), E_INVALIDARG);
    Variant nan, target;
    nan.vt = VT_R8;
    nan.dblVal = NAN;
    EXPECT_EQ(VariantChangeType(&target, &nan, 0, VT_I4), DISP_E_OVERFLOW);
}
