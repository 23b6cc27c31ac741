// One test parameter as the test modules gather them for the tester, and
// its wire form: a 16-bit tag and a 32-bit value.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>

struct TestParamItem {
    uint32_t id;   // the tester's parameter id; the low 12 bits make its tag
    VARIANT value; // integers as they are, reals times 10000, anything else as VT_UI4
};

// The item's tag (0x2000 + the id's low 12 bits) and value word: integers
// as their low 32 bits, reals as round(v x 10000) half away from zero; any
// other type is converted in place to VT_UI4. False when it cannot be.
bool EncodeTestParam(TestParamItem& item, uint16_t* tag, uint32_t* word);
