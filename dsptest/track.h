// The track test: a pre-fault channel set for the pre-fault time, then a
// fault channel set until the selected binary inputs operate or the fault
// time ends; the host moves the fault set from point to point to trace a
// characteristic.
#pragma once

#include "dsptest/channel_set.h"

#include <cstdint>

struct VarelTest_Track {
    ChannelSet up0; // pre-fault
    ChannelSet ip0;
    ChannelSet up; // fault
    ChannelSet ip;
    float preFaultTime; // seconds
    float faultTime;    // seconds
    int32_t bAndOr;     // all selected inputs, else any of them
    int32_t bBinSelect[16];
    float sureTime; // seconds
    int32_t powerMode;
    // Results.
    int32_t tripFlag;
    float tripTime; // seconds from the fault's start
};
static_assert(sizeof(VarelTest_Track) == 1116, "VarelTest_Track is 1116 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Track& test);
void Walk(FieldWalker& w, VarelTest_Track& test);

class CDspTest_Track final : public CStructModule<VarelTest_Track, CChannelSetTest> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
};
