#include "dsptest/harm.h"

namespace {

void WalkOrders(FieldWalker& w, const WCHAR* key, HarmComponent (&channels)[16][kHarmOrders]) {
    w.Array(key, 16, [&](uint32_t k) {
        w.Array(OLESTR("Harm"), kHarmOrders, [&](uint32_t h) {
            HarmComponent& c = channels[k][h];
            w.Int(OLESTR("bSelect"), c.bSelect);
            w.Real(OLESTR("Mag"), c.mag);
            w.Real(OLESTR("Ang"), c.ang);
        });
    });
}

void WalkInterHarmonics(FieldWalker& w, const WCHAR* key, InterHarmComponent (&channels)[16]) {
    w.Array(key, 16, [&](uint32_t k) {
        InterHarmComponent& c = channels[k];
        w.Int(OLESTR("bSelect"), c.bSelect);
        w.Real(OLESTR("Mag"), c.mag);
        w.Real(OLESTR("Ang"), c.ang);
        w.Real(OLESTR("Fre"), c.fre);
    });
}

} // namespace

void Defaults(VarelTest_Harm& t) {
    t = VarelTest_Harm{};
    t.baseFre = 50.0f;
    t.sureTime = 0.01f;
    t.tripTime = kNotHappened;
    for (InterHarmComponent& c : t.uInterHarm) c.fre = 25.0f;
    for (InterHarmComponent& c : t.iInterHarm) c.fre = 25.0f;
    t.timeLimit = -1000.0f;
}

void Walk(FieldWalker& w, VarelTest_Harm& t) {
    WalkOrders(w, OLESTR("uPara"), t.uHarm);
    WalkOrders(w, OLESTR("iPara"), t.iHarm);
    w.Real(OLESTR("BaseFre"), t.baseFre);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Child(OLESTR("Result"), [&] {
        w.Int(OLESTR("TripFlag"), t.tripFlag);
        w.Real(OLESTR("TripTime"), t.tripTime);
    });
    WalkInterHarmonics(w, OLESTR("uPara_InterHarm"), t.uInterHarm);
    WalkInterHarmonics(w, OLESTR("iPara_InterHarm"), t.iInterHarm);
    w.Real(OLESTR("TimeLimit"), t.timeLimit);
}

HRESULT CDspTest_Harm::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_Harm& t = test_;
    const uint32_t voltages = VoltageChannels(), currents = CurrentChannels();
    AddReal(0x01, t.baseFre);
    AddUint(0x63, t.bAndOr);
    AddUint(0x64, BinSelectMask(t.bBinSelect));
    AddReal(0x65, t.sureTime);
    AddUint(0x66, t.powerMode);
    AddReal(0x12C, t.timeLimit);
    // Every order of every channel, selected or not: the tester keeps what
    // it was sent last.
    for (uint32_t h = 0; h < kHarmOrders; ++h) {
        AddUint(0x02, h);
        for (uint32_t k = 0; k < voltages; ++k) {
            AddUint(0x03 + k, static_cast<uint32_t>(t.uHarm[k][h].bSelect));
            AddReal(0x13 + k, t.uHarm[k][h].mag);
            AddReal(0x23 + k, t.uHarm[k][h].ang);
        }
        for (uint32_t k = 0; k < currents; ++k) {
            AddUint(0x33 + k, static_cast<uint32_t>(t.iHarm[k][h].bSelect));
            AddReal(0x43 + k, t.iHarm[k][h].mag);
            AddReal(0x53 + k, t.iHarm[k][h].ang);
        }
    }
    const auto addInter = [&](uint32_t first, uint32_t count, const InterHarmComponent(&set)[16]) {
        for (uint32_t k = 0; k < count; ++k) {
            AddUint(first + k, static_cast<uint32_t>(set[k].bSelect));
            AddReal(first + 0x10 + k, set[k].mag);
            AddReal(first + 0x20 + k, set[k].ang);
            AddReal(first + 0x30 + k, set[k].fre);
        }
    };
    addInter(0x67, voltages, t.uInterHarm);
    addInter(0xA7, currents, t.iInterHarm);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_Harm::ConvertResult(ResultWords& words) {
    TakeTripTimes(words, test_.tripFlag, test_.tripTime);
    return true;
}
