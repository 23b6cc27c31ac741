// The timer test: three output states (pre-fault, fault, post-fault) and
// three independent timers, each started and stopped by a selectable event.
// The tester reports, per timer, whether it started and what it measured.
#pragma once

#include "dsptest/channel_set.h"

#include <cstdint>

struct TimerState {
    ChannelSet up;
    ChannelSet ip;
};
static_assert(sizeof(TimerState) == 512, "TimerState is 512 bytes");

constexpr uint32_t kTimerStates = 3;
constexpr uint32_t kTimers = 3;

struct VarelTest_Timer {
    TimerState states[kTimerStates]; // pre-fault, fault, post-fault
    int32_t faultTrigMode;
    float preFaultTime; // seconds
    int32_t gpsPos;
    int32_t bAndOr;
    int32_t bBinSelect[16];
    float sureTime; // seconds
    int32_t faultEndMode;
    float faultTimeLimit; // seconds
    int32_t testEndMode;
    float testEndTime; // seconds
    int32_t timerStartMode[kTimers];
    int32_t timerEndMode[kTimers];
    int32_t output[16];        // binary output states
    float outputDelayTime[16]; // seconds
    float outputKeepTime[16];  // seconds
    int32_t powerMode;
    // Results.
    int32_t timerStartFlag[kTimers]; // -1 until the first result
    float timer[kTimers];            // seconds, -1000 until the first result
};
static_assert(sizeof(VarelTest_Timer) == 1880, "VarelTest_Timer is 1880 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Timer& test);
void Walk(FieldWalker& w, VarelTest_Timer& test);

class CDspTest_Timer final : public CStructModule<VarelTest_Timer, CChannelSetTest> {
public:
    using CStructModule::CStructModule;

    HRESULT ExecuteCmd(int32_t command, VARIANT*, int32_t) override { return ModuleCommand(command); }
    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
    // The three start flags as they come, then the three timers in seconds.
    const char* ReportFields() const override { return "iiittt"; }
};
