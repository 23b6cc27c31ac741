#include "dsptest/timer.h"

void Defaults(VarelTest_Timer& t) {
    t = VarelTest_Timer{};
    for (TimerState& s : t.states) {
        DefaultChannels(s.up);
        DefaultChannels(s.ip);
    }
    t.preFaultTime = 20.0f;
    t.gpsPos = 2;
    t.sureTime = 0.01f;
    t.faultTimeLimit = 1.0f;
    t.testEndTime = 1.0f;
    for (float& hold : t.outputKeepTime) hold = 0.02f;
    for (int32_t& flag : t.timerStartFlag) flag = -1;
    for (float& time : t.timer) time = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Timer& t) {
    w.Array(OLESTR("StatePara"), kTimerStates, [&](uint32_t s) {
        WalkChannels(w, OLESTR("Up"), t.states[s].up);
        WalkChannels(w, OLESTR("Ip"), t.states[s].ip);
    });
    w.Int(OLESTR("FaultTrigMode"), t.faultTrigMode);
    w.Real(OLESTR("PreFaultTime"), t.preFaultTime);
    w.Int(OLESTR("GPSPos"), t.gpsPos);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("FaultEndMode"), t.faultEndMode);
    w.Real(OLESTR("FaultTimeLimit"), t.faultTimeLimit);
    w.Int(OLESTR("TestEndMode"), t.testEndMode);
    w.Real(OLESTR("TestEndTime"), t.testEndTime);
    w.Ints(OLESTR("TimerStartMode"), t.timerStartMode);
    w.Ints(OLESTR("TimerEndMode"), t.timerEndMode);
    w.Ints(OLESTR("Output_0"), t.output);
    w.Reals(OLESTR("OutputDelayTime"), t.outputDelayTime);
    w.Reals(OLESTR("OutputKeepTime"), t.outputKeepTime);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Child(OLESTR("Result"), [&] {
        w.Ints(OLESTR("TimerStartFlag"), t.timerStartFlag);
        w.Reals(OLESTR("Timer"), t.timer);
    });
}

HRESULT CDspTest_Timer::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_Timer& t = test_;
    // Every state goes out, whatever the modes select.
    for (uint32_t s = 0; s < kTimerStates; ++s) {
        AddUint(0x00, s);
        AddChannels(0x01, t.states[s].up, t.states[s].ip);
    }
    AddUint(0x81, t.faultTrigMode);
    AddReal(0x82, t.preFaultTime);
    AddUint(0x8D, t.bAndOr);
    AddUint(0x8E, BinSelectMask(t.bBinSelect));
    AddReal(0x8F, t.sureTime);
    AddUint(0x83, t.faultEndMode);
    AddReal(0x84, t.faultTimeLimit);
    AddUint(0x85, t.testEndMode);
    AddReal(0x86, t.testEndTime);
    for (uint32_t n = 0; n < kTimers; ++n) AddUint(0xC0 + n, t.timerStartMode[n]);
    for (uint32_t n = 0; n < kTimers; ++n) AddUint(0xC3 + n, t.timerEndMode[n]);
    for (uint32_t k = 0; k < 16; ++k) {
        AddUint(0x90 + k, t.output[k]);
        AddReal(0xA0 + k, t.outputDelayTime[k]);
        AddReal(0xB0 + k, t.outputKeepTime[k]);
    }
    AddUint(0xC6, t.powerMode);
    AddUint(0x87, t.gpsPos);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Timer::ConvertResult(ResultWords& words) {
    for (int32_t& flag : test_.timerStartFlag) flag = words.Next();
    for (float& time : test_.timer) time = words.Time();
    return true;
}
