// The voltage/current test: one set of 16 voltage and 16 current channels,
// held until the selected binary inputs operate or the time limit passes.
#pragma once

#include "dsptest/channel_set.h"

#include <cstdint>

struct VarelTest_UI {
    int32_t output[16]; // binary output states, set as the test starts
    ChannelSet up;
    ChannelSet ip;
    int32_t bAndOr; // all selected inputs, else any of them
    int32_t bBinSelect[16];
    float sureTime; // seconds
    int32_t synMode;
    int32_t gpsPos;
    int32_t powerMode;
    // Results.
    int32_t tripFlag; // 0 none, 1 the first time, 2 only the second
    float tripTime;   // seconds
    // A parameter after the results.
    float timeLimit; // seconds
};
static_assert(sizeof(VarelTest_UI) == 672, "VarelTest_UI is 672 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_UI& test);
void Walk(FieldWalker& w, VarelTest_UI& test);

class CDspTest_UI final : public CStructModule<VarelTest_UI, CChannelSetTest> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
    uint32_t StartOutputs(int32_t (&states)[16]) override;
};
