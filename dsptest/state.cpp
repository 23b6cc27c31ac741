#include "dsptest/state.h"

#include <varel/vts.h>

namespace {

constexpr int32_t kMagnitudeEnd = 4; // the end mode whose trigger is a magnitude

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

void Defaults(VarelTest_State& t) {
    t = VarelTest_State{};
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
}

void Walk(FieldWalker& w, VarelTest_State& t) {
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

HRESULT CDspTest_State::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    // A count above the 50 records is played as 50.
    const uint32_t states = ClampCount(test_.stateNumbers, kMaxStates);
    AddUint(0, states);
    AddUint(42, test_.repeatNumbers);
    AddUint(43, test_.bFaultId);
    AddUint(44, test_.faultIdMode);
    AddReal(45, test_.faultIdId0);
    AddUint(46, test_.bFaultUd);
    AddUint(47, test_.faultUdMode);
    AddReal(48, test_.faultUdUd0);
    AddReal(49, test_.tao == 0 ? 1.0f : 1.0f / test_.tao);
    AddUint(50, test_.binTripRef);
    AddReal(51, test_.sureTime);
    AddUint(52, test_.powerMode);
    AddUint(53, test_.phaseMode);
    AddUint(54, test_.bSyn61850);
    for (uint32_t s = 0; s < states; ++s) AddState(s, test_.statePara[s]);
    lock.unlock();
    return SendTestParamList();
}

void CDspTest_State::AddState(uint32_t index, const StateParaRecord& state) {
    AddUint(1, index);
    for (uint32_t k = 0; k < 8; ++k) AddUint(13 + k, state.outputState[k]);
    for (uint32_t k = 0; k < 8; ++k) AddReal(21 + k, state.outputDelayTime[k]);
    AddUint(29, state.endMode);
    AddReal(30, state.endDelayTime);
    AddReal(31, state.maxLastTime);
    AddUint(32, state.bAndOr);
    AddUint(33, BinSelectMask(state.bBinSelect));
    const bool magnitude = state.endMode == kMagnitudeEnd;
    const int32_t group = magnitude ? state.magGroup : state.freGroup;
    const int32_t channel = magnitude ? state.magIndex : state.freIndex;
    AddUint(34, channel + (group ? 16 : 0));
    AddReal(35, magnitude ? state.magValue : state.freValue);
    for (uint32_t k = 0; k < VoltageChannels(); ++k) AddChannel(k, state.up[k], true);
    for (uint32_t k = 0; k < CurrentChannels(); ++k) AddChannel(16 + k, state.ip[k], false);
    AddUint(36, state.gpsPos);
}

void CDspTest_State::AddChannel(uint32_t number, const ChannelPara& c, bool voltage) {
    AddUint(2, number);
    AddReal(3, c.mag);
    AddReal(4, c.ang);
    AddReal(5, c.fre);
    AddUint(6, c.bDC);
    // Current channels ramp too, but their ramp flags are not sent.
    if (voltage) AddUint(7, c.bDMag);
    AddReal(8, c.bDMag ? c.dMag_dt : 0.0f);
    AddReal(9, c.endMag);
    if (voltage) AddUint(10, c.bDFre);
    AddReal(11, c.bDFre ? c.dFre_dt : 0.0f);
    AddReal(12, c.endFre);
}

bool CDspTest_State::ConvertResult(ResultWords& words) {
    const uint32_t inputs = words.Count(kBinaryInputs);
    const uint32_t entries = words.Count(kStateTimes);
    test_.realTestTime = words.Time();
    for (uint32_t i = 0; i < entries; ++i) test_.stateEnterTime[i] = words.Time();
    for (uint32_t k = 0; k < inputs; ++k) test_.binEndState[k] = words.Next();
    words.TimesByInput(inputs, entries, test_.binTripTime);
    return true;
}
