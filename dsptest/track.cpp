#include "dsptest/track.h"

void Defaults(VarelTest_Track& t) {
    t = VarelTest_Track{};
    for (ChannelSet* set : {&t.up0, &t.ip0, &t.up, &t.ip}) DefaultChannels(*set);
    t.preFaultTime = 1.0f;
    t.faultTime = 300.0f;
    t.sureTime = 0.01f;
    t.tripTime = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Track& t) {
    WalkChannels(w, OLESTR("Up0"), t.up0);
    WalkChannels(w, OLESTR("Ip0"), t.ip0);
    WalkChannels(w, OLESTR("Up"), t.up);
    WalkChannels(w, OLESTR("Ip"), t.ip);
    w.Real(OLESTR("PreFaultTime"), t.preFaultTime);
    w.Real(OLESTR("FaultTime"), t.faultTime);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    WalkTripResult(w, t.tripFlag, t.tripTime);
}

HRESULT CDspTest_Track::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    // Id 1 tells which set the channel ids that follow belong to.
    AddUint(1, 0);
    AddChannels(0x02, test_.up0, test_.ip0);
    AddUint(1, 1);
    AddChannels(0x02, test_.up, test_.ip);
    AddReal(0x86, test_.preFaultTime);
    AddReal(0x87, test_.faultTime);
    AddUint(0x82, test_.bAndOr);
    AddUint(0x83, BinSelectMask(test_.bBinSelect));
    AddReal(0x84, test_.sureTime);
    AddUint(0x85, test_.powerMode);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Track::ConvertResult(ResultWords& words) {
    test_.tripFlag = words.Next();
    test_.tripTime = words.Time();
    return true;
}
