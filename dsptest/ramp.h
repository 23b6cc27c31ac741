// The ramp test: one quantity of one output channel (magnitude, angle or
// frequency) goes from a start value towards an end value, in steps or at a
// rate, until the selected binary inputs pick up, and optionally back until
// they drop off. Two whole channel sets travel: set 0 ("Up0", "Ip0") and
// set 1 ("Up", "Ip").
#pragma once

#include "dsptest/channel_set.h"

#include <cstdint>

struct VarelTest_Ramp {
    int32_t output[16]; // binary output states
    ChannelSet up;      // set 1
    ChannelSet ip;
    int32_t rampMode; // 0: stepped from varyFrom to varyTo; nonzero: from rampFrom to rampTo
    int32_t curVariGroup;
    int32_t curVariIndex;
    int32_t curVariType;
    float varyFrom;
    float varyTo;
    float stepSize;
    float stepTime; // seconds
    int32_t varyMode;
    int32_t returnMode;
    int32_t bPreTest;
    float preTestTime; // seconds
    int32_t bReset;
    int32_t resetMode;
    float resetTime; // seconds
    ChannelSet up0;  // set 0
    ChannelSet ip0;
    float rampFrom;
    float rampTo;
    float dDt; // units per second
    float timerStartValue;
    float rampFromResetTime; // seconds
    float rampToWaitTime;    // seconds
    int32_t bAndOr;
    int32_t bBinSelect[16];
    float sureTime; // seconds
    int32_t powerMode;
    // Results.
    int32_t tripFlag;
    float pickUpTime; // seconds, -1000 when it did not pick up
    float pickUpValue;
    float dropOffTime; // seconds, -1000 when it did not drop off
    float dropOffValue;
};
static_assert(sizeof(VarelTest_Ramp) == 1268, "VarelTest_Ramp is 1268 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Ramp& test);
void Walk(FieldWalker& w, VarelTest_Ramp& test);

class CDspTest_Ramp final : public CStructModule<VarelTest_Ramp, CChannelSetTest> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
    // Words 0 and 2 as they come, the others x 0.0001 as floats.
    const char* ReportFields() const override { return "ititttt"; }
    uint32_t StartOutputs(int32_t (&states)[16]) override;
};
