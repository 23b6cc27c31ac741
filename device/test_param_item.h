// One test parameter as the test modules gather them for the tester.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>

struct TestParamItem {
    uint32_t id;   // the tester's parameter id; the low 12 bits make its tag
    VARIANT value; // integers as they are, reals times 10000, anything else as VT_UI4
};
