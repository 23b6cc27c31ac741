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

class CDspTest_Comp final : public CChannelSetTest {
public:
    explicit CDspTest_Comp(const ModuleEntry& entry) : CChannelSetTest(entry) { ResetStruct(); }

    // The channels only: a tester without channels gets an empty list, and
    // the start fails with DISP_E_BADPARAMCOUNT.
    HRESULT BuildTestParams() override;

protected:
    void ResetStruct() override;
    void WalkStruct(FieldWalker& walker) override;
    std::span<const uint8_t> StructImage() const override { return ImageOf(test_); }
    bool ConvertResult(ResultWords& words) override;

private:
    VarelTest_Comp test_;
};
