#include "dsptest/ramp.h"

#include <cstring>

void Defaults(VarelTest_Ramp& t) {
    t = VarelTest_Ramp{};
    DefaultChannels(t.up);
    DefaultChannels(t.ip);
    DefaultChannels(t.up0);
    DefaultChannels(t.ip0);
    t.varyFrom = 50.0f;
    t.varyTo = 40.0f;
    t.stepSize = 1.0f;
    t.stepTime = 1.0f;
    t.returnMode = 1;
    t.preTestTime = 10.0f;
    t.resetTime = 1.0f;
    t.rampFrom = 50.0f;
    t.rampTo = 40.0f;
    t.dDt = 1.0f;
    t.timerStartValue = 49.0f;
    t.rampFromResetTime = 1.0f;
    t.rampToWaitTime = 1.0f;
    t.sureTime = 0.01f;
    t.pickUpTime = kNotHappened;
    t.dropOffTime = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Ramp& t) {
    w.Ints(OLESTR("Output_0"), OLESTR("m_Output_0"), t.output);
    WalkChannels(w, OLESTR("Up"), t.up);
    WalkChannels(w, OLESTR("Ip"), t.ip);
    w.Int(OLESTR("RampMode"), t.rampMode);
    w.Int(OLESTR("CurVari_nGroup"), t.curVariGroup);
    w.Int(OLESTR("CurVari_nIndex"), t.curVariIndex);
    w.Int(OLESTR("CurVari_nType"), t.curVariType);
    w.Real(OLESTR("VaryFrom"), t.varyFrom);
    w.Real(OLESTR("VaryTo"), t.varyTo);
    w.Real(OLESTR("StepSize"), t.stepSize);
    w.Real(OLESTR("StepTime"), t.stepTime);
    w.Int(OLESTR("VaryMode"), t.varyMode);
    w.Int(OLESTR("ReturnMode"), t.returnMode);
    w.Int(OLESTR("bPreTest"), t.bPreTest);
    w.Real(OLESTR("PreTestTime"), t.preTestTime);
    w.Int(OLESTR("bReset"), t.bReset);
    w.Int(OLESTR("ResetMode"), t.resetMode);
    w.Real(OLESTR("ResetTime"), t.resetTime);
    WalkChannels(w, OLESTR("Up0"), t.up0);
    WalkChannels(w, OLESTR("Ip0"), t.ip0);
    w.Real(OLESTR("RampFrom"), t.rampFrom);
    w.Real(OLESTR("RampTo"), t.rampTo);
    w.Real(OLESTR("d_dt"), t.dDt);
    w.Real(OLESTR("TimerStartValue"), t.timerStartValue);
    w.Real(OLESTR("RampFrom_ResetTime"), t.rampFromResetTime);
    w.Real(OLESTR("RampTo_WaitTime"), t.rampToWaitTime);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Child(OLESTR("Result"), [&] {
        w.Int(OLESTR("TripFlag"), t.tripFlag);
        w.Real(OLESTR("PickUpTime"), t.pickUpTime);
        w.Real(OLESTR("PickUpValue"), t.pickUpValue);
        w.Real(OLESTR("DropOffTime"), t.dropOffTime);
        w.Real(OLESTR("DropOffValue"), t.dropOffValue);
    });
}

HRESULT CDspTest_Ramp::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_Ramp& t = test_;
    AddUint(0x00, 0);
    AddChannels(0x01, t.up0, t.ip0);
    AddUint(0x00, 1);
    AddChannels(0x01, t.up, t.ip);
    const bool continuous = t.rampMode != 0;
    AddUint(0x81, t.rampMode);
    AddUint(0x82, t.curVariGroup);
    AddUint(0x83, t.curVariIndex);
    AddUint(0x84, t.curVariType);
    AddReal(0x85, continuous ? t.rampFrom : t.varyFrom);
    AddReal(0x86, continuous ? t.rampTo : t.varyTo);
    AddReal(0x87, t.stepSize);
    AddReal(0x88, t.stepTime);
    AddUint(0x89, t.varyMode);
    AddUint(0x8A, t.returnMode);
    AddUint(0x8B, t.bPreTest);
    AddReal(0x8C, t.preTestTime);
    AddUint(0x8D, t.bReset ? t.resetMode + 1 : 0);
    AddReal(0x8E, t.resetTime);
    AddReal(0x8F, t.dDt);
    AddReal(0x90, t.timerStartValue);
    AddReal(0x91, t.rampFromResetTime);
    AddReal(0x92, t.rampToWaitTime);
    AddUint(0x93, t.bAndOr);
    AddUint(0x94, BinSelectMask(t.bBinSelect));
    AddReal(0x95, t.sureTime);
    AddUint(0x96, t.powerMode);
    lock.unlock();
    return SendTestParamList();
}

uint32_t CDspTest_Ramp::StartOutputs(int32_t (&states)[16]) {
    std::memcpy(states, test_.output, sizeof test_.output);
    return 16;
}

bool CDspTest_Ramp::ConvertResult(ResultWords& words) {
    // Values travel in the same units of 1/10000 as times.
    test_.tripFlag = words.Next();
    test_.pickUpTime = words.Time();
    test_.pickUpValue = words.Time();
    test_.dropOffTime = words.Time();
    test_.dropOffValue = words.Time();
    return true;
}
