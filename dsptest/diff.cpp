#include "dsptest/diff.h"

void Defaults(VarelTest_Diff& t) {
    t = VarelTest_Diff{};
    t.preFaultTime = 1.0f;
    t.faultTime = 1.0f;
    t.baseFre = 50.0f;
    t.harmNum = 2;
    t.sureTime = 0.01f;
    DefaultChannels(t.up);
    t.tripTime = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Diff& t) {
    w.Int(OLESTR("TestItem"), t.testItem);
    WalkPhasors(w, OLESTR("TestIp_PreFault"), t.preFault);
    WalkPhasors(w, OLESTR("TestIp_Fault"), t.fault);
    WalkPhasors(w, OLESTR("TestIp_Harm"), t.harm);
    w.Reals(OLESTR("TestIp_GapAng"), t.gapAng);
    w.Real(OLESTR("PreFaultTime"), t.preFaultTime);
    w.Real(OLESTR("FaultTime"), t.faultTime);
    w.Real(OLESTR("BaseFre"), t.baseFre);
    w.Int(OLESTR("Harm_Num"), t.harmNum);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    w.Real(OLESTR("SureTime"), t.sureTime);
    WalkChannels(w, OLESTR("Up"), t.up);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    WalkTripResult(w, t.tripFlag, t.tripTime);
}

HRESULT CDspTest_Diff::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_Diff& t = test_;
    AddUint(0x00, t.testItem);
    // Every current channel, magnitude and angle pair by pair.
    for (uint32_t k = 0; k < 16; ++k) {
        AddReal(0x03 + k, t.preFault[k].mag);
        AddReal(0x13 + k, t.preFault[k].ang);
    }
    // The gap-angle items send the gap angles where the fault angles go.
    const bool gapAngles = t.testItem >= 2;
    for (uint32_t k = 0; k < 16; ++k) {
        AddReal(0x24 + k, t.fault[k].mag);
        AddReal(0x34 + k, gapAngles ? t.gapAng[k] : t.fault[k].ang);
    }
    for (uint32_t k = 0; k < 16; ++k) {
        AddReal(0x45 + k, t.harm[k].mag);
        AddReal(0x55 + k, t.harm[k].ang);
    }
    AddReal(0x02, t.preFaultTime);
    AddReal(0xA9, t.faultTime);
    AddReal(0x23, t.baseFre);
    AddUint(0x44, t.harmNum);
    AddUint(0xA5, t.bAndOr);
    AddUint(0xA6, BinSelectMask(t.bBinSelect));
    AddReal(0xA7, t.sureTime);
    // The voltages the tester has, each channel in turn.
    for (uint32_t k = 0, count = VoltageChannels(); k < count; ++k) {
        AddReal(0x65 + k, t.up[k].mag);
        AddReal(0x75 + k, t.up[k].ang);
        AddReal(0x85 + k, t.up[k].fre);
        AddUint(0x95 + k, static_cast<uint32_t>(t.up[k].bDC));
    }
    AddUint(0xA8, t.powerMode);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Diff::ConvertResult(ResultWords& words) {
    test_.tripFlag = words.Next();
    test_.tripTime = words.Time();
    return true;
}
