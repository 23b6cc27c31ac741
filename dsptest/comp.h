// The adjustment test: one set of 16 voltage and 16 current channels output
// for checking the calibration, with no other parameter.
#pragma once

#include "dsptest/channel_set.h"

#include <cstdint>

struct VarelTest_Comp {
    ChannelSet up;
    ChannelSet ip;
    // Results.
    int32_t tripFlag; // 0 none, 1 the first time, 2 only the second
    float tripTime;   // seconds
};
static_assert(sizeof(VarelTest_Comp) == 520, "VarelTest_Comp is 520 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Comp& test);
void Walk(FieldWalker& w, VarelTest_Comp& test);

class CDspTest_Comp final : public CStructModule<VarelTest_Comp, CChannelSetTest> {
public:
    using CStructModule::CStructModule;

    // The channels only: a tester without channels gets an empty list, and
    // the start fails with DISP_E_BADPARAMCOUNT.
    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
};
