// The differential test: 16 current phasors for a pre-fault and a fault
// state, a harmonic current per channel at one order (for harmonic
// restraint), and for the gap-angle test items a gap angle per channel in
// place of the fault angle; the voltages are steady channels. The tester
// reports whether and when the selected binary inputs operated.
#pragma once

#include "dsptest/channel_set.h"
#include "dsptest/shot_phasor.h"

#include <cstdint>

struct VarelTest_Diff {
    int32_t testItem; // 0 and 1 send the fault angles, 2 and above the gap angles
    ShotPhasor preFault[16];
    ShotPhasor fault[16];
    ShotPhasor harm[16];
    float gapAng[16];   // degrees
    float preFaultTime; // seconds
    float faultTime;    // seconds
    float baseFre;      // Hz
    int32_t harmNum;    // order of the harmonic currents
    int32_t bAndOr;     // all selected inputs, else any of them
    int32_t bBinSelect[16];
    float sureTime; // seconds
    ChannelSet up;
    int32_t powerMode;
    // Results.
    int32_t tripFlag;
    float tripTime; // seconds
};
static_assert(sizeof(VarelTest_Diff) == 808, "VarelTest_Diff is 808 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Diff& test);
void Walk(FieldWalker& w, VarelTest_Diff& test);

class CDspTest_Diff final : public CStructModule<VarelTest_Diff> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
};
