// The whole-group fault test: a pre-fault state, a fault and optionally a
// transferred fault, each four voltages and three currents, with control of
// the fault inception angle, a decaying current component and a simulated
// breaker that opens and recloses in answer to the relay's contacts. The
// tester reports the test time and up to five operation times per binary
// input. The power swing test reports the same way (osc.h).
#pragma once

#include "dsptest/document_module.h"
#include "dsptest/shot_phasor.h"

#include <cstdint>

constexpr uint32_t kOperations = 5; // operation times kept per binary input
constexpr uint32_t kOperationInputs = 16;

// The result fields both tests end with.
struct OperationTimes {
    float realTestTime;                               // seconds
    int32_t tripNumbers;                              // operations reported per input, 0 to 5
    float binTripTime[kOperations][kOperationInputs]; // seconds, operation-major
};
static_assert(sizeof(OperationTimes) == 328, "OperationTimes is 328 bytes");

// Under "Result": "RealTestTime", "TripNumbers" and "BinTripTime" -> "0".."4"
// -> "Bin" -> "0".."15".
void WalkOperationTimes(FieldWalker& w, OperationTimes& times);
// The tester's words: the input count (at most 16), the operation count (at
// most 5, kept as the trip count), the test time, then input by input its
// operation times.
void ConvertOperationTimes(ResultWords& words, OperationTimes& times);
struct VarelTest_Shot {
    ShotPhasor upPreFault[4];
    ShotPhasor ipPreFault[3];
    ShotPhasor upFault[4];
    ShotPhasor ipFault[3];
    ShotPhasor upTransFault[4];
    ShotPhasor ipTransFault[3];
    float fre; // Hz
    int32_t bFaultPermanent;
    int32_t bFaultTrans;
    int32_t transMode;
    float transTime; // seconds
    int32_t faultAngMode;
    float faultAng;  // degrees, above -180 up to 180 once downloaded
    float faultAng0; // degrees
    int32_t bFaultId;
    float tao; // seconds
    int32_t ptPos;
    float totalTestTime; // seconds
    int32_t bSimulateBreakerDelay;
    float breakerBreakTime; // seconds
    float breakerCloseTime; // seconds
    int32_t faultTrigMode;
    float preFaultTime; // seconds
    int32_t gpsPos;
    int32_t bAndOr;
    int32_t bBinSelect[16];
    int32_t a, b, c, r; // input assignments
    float sureTime;     // seconds
    int32_t output[16];
    int32_t outputSwitchMode;
    float outputDelayTime; // seconds
    float outputKeepTime;  // seconds
    int32_t uxMode;
    float uxMag; // V
    float uxAng; // degrees
    int32_t powerMode;
    OperationTimes result;
};
static_assert(sizeof(VarelTest_Shot) == 748, "VarelTest_Shot is 748 bytes");

void Defaults(VarelTest_Shot& test);
void Walk(FieldWalker& w, VarelTest_Shot& test);

class CDspTest_Shot final : public CStructModule<VarelTest_Shot> {
public:
    using CStructModule::CStructModule;

    HRESULT ExecuteCmd(int32_t command, VARIANT*, int32_t) override { return ModuleCommand(command); }
    // Normalises the fault inception angle in the struct, then sends.
    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
};
