// The power swing test: two sources swing against each other across the
// system impedance. The host computes the waveform and leaves it in the
// named block kOscMapping; BeginTest downloads it to the tester before the
// parameters. The tester reports like the whole-group fault test.
#pragma once

#include "dsptest/shot.h"

#include <cstdint>

// The host's block: "OSCWavePTCount" points of kOscPointFloats floats, the
// instantaneous values (peak scale) of voltage outputs 0 to 8, then of
// current outputs 0 to 8; "OSCWaveFileSize" bytes at least.
constexpr const WCHAR* kOscMapping = OLESTR("VAREL_OSC_TEST_MAPPING");
constexpr uint32_t kOscPointFloats = 18;
// The rate the tester's swing program plays the points at.
constexpr uint32_t kOscPointsPerSecond = 2000;

struct VarelTest_Osc {
    ShotPhasor up[3];
    ShotPhasor ip[3];
    float preOscTime; // seconds
    float em;         // V
    float en;         // V
    float zTotalMag;  // ohm
    float zTotalAng;  // degrees
    float zmMag;      // ohm
    float zmAng;      // degrees
    int32_t oscMode;
    float oscAngFrom; // degrees
    float oscAngTo;   // degrees
    int32_t rotateDirection;
    float oscTs; // seconds, one swing
    float fre;   // Hz
    int32_t oscNumbers;
    int32_t bFault;
    float faultTrigTime;    // seconds
    float faultKeepTimeMax; // seconds
    int32_t fileDownloadFlag;
    int32_t ptPos;
    int32_t reserved; // 0, in no document
    int32_t bSimulateBreakerDelay;
    float breakerBreakTime; // seconds
    float breakerCloseTime; // seconds
    int32_t a, b, c, r;     // input assignments
    float sureTime;         // seconds
    int32_t output[16];
    int32_t outputSwitchMode;
    float outputDelayTime; // seconds
    float outputKeepTime;  // seconds
    int32_t powerMode;
    float ukMin, ukMax, ikMin, ikMax;
    int32_t preOscWaveBegin; // point index
    int32_t oscWaveBegin;
    int32_t oscFaultWaveBegin;
    int32_t oscWavePTCount;
    int32_t oscWaveFileSize; // bytes
    OperationTimes result;
};
static_assert(sizeof(VarelTest_Osc) == 604, "VarelTest_Osc is 604 bytes");

void Defaults(VarelTest_Osc& test);
void Walk(FieldWalker& w, VarelTest_Osc& test);

class CDspTest_Osc final : public CStructModule<VarelTest_Osc> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
    // The host's waveform from its block through the wave download.
    HRESULT BeforeDownload() override;
};
