#include "dsptest/shot.h"

void WalkOperationTimes(FieldWalker& w, OperationTimes& t) {
    w.Child(OLESTR("Result"), [&] {
        w.Real(OLESTR("RealTestTime"), t.realTestTime);
        w.Int(OLESTR("TripNumbers"), t.tripNumbers);
        w.Array(OLESTR("BinTripTime"), kOperations,
                [&](uint32_t j) { w.Reals(OLESTR("Bin"), t.binTripTime[j]); });
    });
}

void ConvertOperationTimes(ResultWords& words, OperationTimes& t) {
    const uint32_t inputs = words.Count(kOperationInputs);
    const uint32_t operations = words.Count(kOperations);
    t.tripNumbers = static_cast<int32_t>(operations);
    t.realTestTime = words.Time();
    words.TimesByInput(inputs, operations, t.binTripTime);
}

void Defaults(VarelTest_Shot& t) {
    t = VarelTest_Shot{};
    t.fre = 50.0f;
    t.transTime = 0.1f;
    t.faultAngMode = 1;
    t.bFaultId = 1;
    t.tao = 0.1f;
    t.totalTestTime = 5.0f;
    t.breakerBreakTime = 0.02f;
    t.breakerCloseTime = 0.02f;
    t.faultTrigMode = 1;
    t.preFaultTime = 20.0f;
    t.gpsPos = 2;
    t.sureTime = 0.01f;
    t.outputSwitchMode = 1;
    t.outputKeepTime = 0.02f;
    for (auto& operation : t.result.binTripTime)
        for (float& time : operation) time = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Shot& t) {
    WalkPhasors(w, OLESTR("TestUp_PreFault"), t.upPreFault);
    WalkPhasors(w, OLESTR("TestIp_PreFault"), t.ipPreFault);
    WalkPhasors(w, OLESTR("TestUp_Fault"), t.upFault);
    WalkPhasors(w, OLESTR("TestIp_Fault"), t.ipFault);
    WalkPhasors(w, OLESTR("TestUp_TransFault"), t.upTransFault);
    WalkPhasors(w, OLESTR("TestIp_TransFault"), t.ipTransFault);
    w.Real(OLESTR("Fre"), t.fre);
    w.Int(OLESTR("bFaultPermanent"), t.bFaultPermanent);
    w.Int(OLESTR("bFaultTrans"), t.bFaultTrans);
    w.Int(OLESTR("TransMode"), t.transMode);
    w.Real(OLESTR("TransTime"), t.transTime);
    w.Int(OLESTR("FaultAngMode"), t.faultAngMode);
    w.Real(OLESTR("FaultAng"), t.faultAng);
    w.Real(OLESTR("FaultAng_0"), t.faultAng0);
    w.Int(OLESTR("bFaultId"), t.bFaultId);
    w.Real(OLESTR("Tao"), t.tao);
    w.Int(OLESTR("PTPos"), t.ptPos);
    w.Real(OLESTR("TotalTestTime"), t.totalTestTime);
    w.Int(OLESTR("bSimulateBreakerDelay"), t.bSimulateBreakerDelay);
    w.Real(OLESTR("Breaker_BreakTime"), t.breakerBreakTime);
    w.Real(OLESTR("Breaker_CloseTime"), t.breakerCloseTime);
    w.Int(OLESTR("FaultTrigMode"), t.faultTrigMode);
    w.Real(OLESTR("PreFaultTime"), t.preFaultTime);
    w.Int(OLESTR("GPSPos"), t.gpsPos);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    WalkTripLogic(w, t);
    w.Int(OLESTR("Ux_Mode"), t.uxMode);
    w.Real(OLESTR("UxInput_Mag"), t.uxMag);
    w.Real(OLESTR("UxInput_Ang"), t.uxAng);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    WalkOperationTimes(w, t.result);
}

HRESULT CDspTest_Shot::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    VarelTest_Shot& t = test_;
    // One turn down, then one up: any angle from -540 to 540 lands above
    // -180 up to 180, and the result documents show the angle played.
    if (t.faultAng >= 180.0f) t.faultAng -= 360.0f;
    if (t.faultAng <= -180.0f) t.faultAng += 360.0f;
    AddReal(0, t.fre);
    AddUint(8, t.bFaultPermanent);
    AddUint(1, t.bFaultTrans);
    AddUint(2, t.transMode);
    AddReal(3, t.transTime);
    AddUint(4, t.faultAngMode);
    AddReal(5, t.faultAng);
    AddUint(6, t.bFaultId);
    AddReal(7, t.tao == 0.0f ? 1.0f : 1.0f / t.tao);
    AddUint(9, t.ptPos);
    AddReal(10, t.totalTestTime);
    // Without breaker simulation the tester leaves the breaker out.
    AddDouble(11, t.bSimulateBreakerDelay ? t.breakerBreakTime : 0.0);
    AddDouble(12, t.bSimulateBreakerDelay ? t.breakerCloseTime : 0.0);
    AddUint(13, t.faultTrigMode);
    AddReal(14, t.preFaultTime);
    AddUint(21, t.bAndOr);
    AddUint(22, BinSelectMask(t.bBinSelect));
    AddUint(91, t.a);
    AddUint(92, t.b);
    AddUint(93, t.c);
    AddUint(94, t.r);
    AddReal(95, t.sureTime);
    for (uint32_t k = 0; k < 16; ++k) AddUint(97 + k, t.output[k]);
    AddUint(96, t.outputSwitchMode);
    AddReal(113, t.outputDelayTime);
    AddReal(114, t.outputKeepTime);
    AddUint(88, t.uxMode);
    AddReal(89, t.uxMag);
    AddReal(90, t.uxAng);
    AddUint(115, t.powerMode);
    AddReal(116, t.faultAng0);
    // All three stages, four voltages and three currents each, whatever
    // channels the tester has.
    const ShotPhasor* stages[3][2] = {
        {t.upPreFault, t.ipPreFault}, {t.upFault, t.ipFault}, {t.upTransFault, t.ipTransFault}};
    for (uint32_t stage = 0; stage < 3; ++stage) {
        AddUint(23, stage);
        for (uint32_t k = 0; k < 4; ++k) {
            AddReal(24 + k, stages[stage][0][k].mag);
            AddReal(40 + k, stages[stage][0][k].ang);
        }
        for (uint32_t k = 0; k < 3; ++k) {
            AddReal(56 + k, stages[stage][1][k].mag);
            AddReal(72 + k, stages[stage][1][k].ang);
        }
    }
    AddUint(15, t.gpsPos);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Shot::ConvertResult(ResultWords& words) {
    ConvertOperationTimes(words, test_.result);
    return true;
}
