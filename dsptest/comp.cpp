#include "dsptest/comp.h"

void Defaults(VarelTest_Comp& t) {
    t = VarelTest_Comp{};
    DefaultChannels(t.up);
    DefaultChannels(t.ip);
    t.tripTime = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Comp& t) {
    WalkChannels(w, OLESTR("Up"), t.up);
    WalkChannels(w, OLESTR("Ip"), t.ip);
    WalkTripResult(w, t.tripFlag, t.tripTime);
}

HRESULT CDspTest_Comp::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    AddChannels(0x00, test_.up, test_.ip);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Comp::ConvertResult(ResultWords& words) {
    TakeTripTimes(words, test_.tripFlag, test_.tripTime);
    return true;
}
