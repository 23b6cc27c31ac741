#include "dsptest/varel_test_state.h"

namespace {

constexpr float kNotHappened = -1000.0f;

ChannelPara DefaultChannel() { return {0, 0, 50.0f, 0, 0, 10.0f, 0, 0, 1.0f, 45.0f}; }

void WalkChannel(FieldWalker& w, ChannelPara& c) {
    w.Real(OLESTR("Mag"), c.mag);
    w.Real(OLESTR("Ang"), c.ang);
    w.Real(OLESTR("Fre"), c.fre);
    w.Int(OLESTR("bDC"), c.bDC);
    w.Int(OLESTR("bDMag"), c.bDMag);
    w.Real(OLESTR("dMag_dt"), c.dMag_dt);
    w.Real(OLESTR("EndMag"), c.endMag);
    w.Int(OLESTR("bDFre"), c.bDFre);
    w.Real(OLESTR("dFre_dt"), c.dFre_dt);
    w.Real(OLESTR("EndFre"), c.endFre);
}

void WalkStateRecord(FieldWalker& w, StateParaRecord& s) {
    w.Array(OLESTR("Up"), 16, [&](uint32_t k) { WalkChannel(w, s.up[k]); });
    w.Array(OLESTR("Ip"), 16, [&](uint32_t k) { WalkChannel(w, s.ip[k]); });
    w.Ints(OLESTR("OutputState"), s.outputState);
    w.Reals(OLESTR("OutputDelayTime"), s.outputDelayTime);
    w.Int(OLESTR("EndMode"), s.endMode);
    w.Real(OLESTR("EndDelayTime"), s.endDelayTime);
    w.Real(OLESTR("MaxLastTime"), s.maxLastTime);
    w.Int(OLESTR("GPSPos"), s.gpsPos);
    w.Int(OLESTR("bAndOr"), s.bAndOr);
    w.Ints(OLESTR("bBinSelect"), s.bBinSelect);
    w.Int(OLESTR("Mag_nGroup"), s.magGroup);
    w.Int(OLESTR("Mag_nIndex"), s.magIndex);
    w.Real(OLESTR("Mag_Value"), s.magValue);
    w.Int(OLESTR("Fre_nGroup"), s.freGroup);
    w.Int(OLESTR("Fre_nIndex"), s.freIndex);
    w.Real(OLESTR("Fre_Value"), s.freValue);
}

} // namespace

VarelTest_State DefaultState() {
    VarelTest_State t{};
    t.stateNumbers = 1;
    for (StateParaRecord& s : t.statePara) {
        for (ChannelPara& c : s.up) c = DefaultChannel();
        for (ChannelPara& c : s.ip) c = DefaultChannel();
        s.endMode = 1;
        s.maxLastTime = 0.1f;
        s.gpsPos = 2;
        s.magValue = 40.0f;
        s.freValue = 49.5f;
    }
    t.repeatNumbers = 1;
    t.tao = 0.1f;
    t.sureTime = 0.01f;
    for (float& time : t.stateEnterTime) time = kNotHappened;
    for (auto& state : t.binTripTime)
        for (float& time : state) time = kNotHappened;
    return t;
}

void WalkState(FieldWalker& w, VarelTest_State& t) {
    w.Int(OLESTR("StateNumbers"), t.stateNumbers);
    w.Array(OLESTR("StatePara"), kMaxStates, [&](uint32_t i) { WalkStateRecord(w, t.statePara[i]); });
    w.Int(OLESTR("RepeatNumbers"), t.repeatNumbers);
    w.Int(OLESTR("bFaultId"), t.bFaultId);
    w.Int(OLESTR("FaultId_Mode"), t.faultIdMode);
    w.Real(OLESTR("FaultId_Id0"), t.faultIdId0);
    w.Int(OLESTR("bFaultUd"), t.bFaultUd);
    w.Int(OLESTR("FaultUd_Mode"), t.faultUdMode);
    w.Real(OLESTR("FaultUd_Ud0"), t.faultUdUd0);
    w.Real(OLESTR("Tao"), t.tao);
    w.Int(OLESTR("BinTripRef"), t.binTripRef);
    w.Int(OLESTR("PhaseMode"), t.phaseMode);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Child(OLESTR("Result"), [&] {
        w.Real(OLESTR("RealTestTime"), t.realTestTime);
        w.Reals(OLESTR("StateEnterTime"), t.stateEnterTime);
        w.Ints(OLESTR("Bin_0"), t.binEndState);
        w.Array(OLESTR("BinTripTime"), kStateTimes,
                [&](uint32_t i) { w.Reals(OLESTR("Bin"), t.binTripTime[i]); });
    });
    w.Int(OLESTR("bSyn61850"), t.bSyn61850);
}
