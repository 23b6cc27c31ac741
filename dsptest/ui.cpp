#include "dsptest/ui.h"

#include <algorithm>

void Defaults(VarelTest_UI& t) {
    t = VarelTest_UI{};
    DefaultChannels(t.up);
    DefaultChannels(t.ip);
    t.sureTime = 0.01f;
    t.gpsPos = 2;
    t.tripTime = kNotHappened;
    t.timeLimit = -1000.0f;
}

void Walk(FieldWalker& w, VarelTest_UI& t) {
    w.Ints(OLESTR("Output_0"), OLESTR("m_Output_0"), t.output);
    WalkChannels(w, OLESTR("Up"), t.up);
    WalkChannels(w, OLESTR("Ip"), t.ip);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("SynMode"), t.synMode);
    w.Int(OLESTR("GPSPos"), t.gpsPos);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    WalkTripResult(w, t.tripFlag, t.tripTime);
    w.Real(OLESTR("TimeLimit"), t.timeLimit);
}

HRESULT CDspTest_UI::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    AddChannels(0x01, test_.up, test_.ip);
    AddUint(0x81, test_.bAndOr);
    AddUint(0x82, BinSelectMask(test_.bBinSelect));
    AddReal(0x83, test_.sureTime);
    AddUint(0x84, test_.synMode);
    AddUint(0x85, test_.gpsPos);
    AddUint(0x8B, test_.powerMode);
    AddReal(0x8C, test_.timeLimit);
    lock.unlock();
    return SendTestParamList();
}

// The outputs are not in the list: the tester takes them as the test starts.
uint32_t CDspTest_UI::StartOutputs(int32_t (&states)[16]) {
    std::copy(std::begin(test_.output), std::end(test_.output), states);
    return 16;
}

bool CDspTest_UI::ConvertResult(ResultWords& words) {
    TakeTripTimes(words, test_.tripFlag, test_.tripTime);
    return true;
}
