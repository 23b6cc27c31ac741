#include "dsptest/channel_sequence.h"

namespace {

void WalkChannelEntry(FieldWalker& w, SeqChannelEntry& e) {
    w.Real(OLESTR("TimeStart"), e.timeStart);
    w.Real(OLESTR("Mag"), e.mag);
    w.Real(OLESTR("Ang"), e.ang);
    w.Real(OLESTR("Harm_Mag"), e.harmMag);
    w.Real(OLESTR("Harm_Ang"), e.harmAng);
    w.Real(OLESTR("Harm_Fre"), e.harmFre);
}

} // namespace

void Defaults(VarelTest_SzVove_State& t) {
    t = VarelTest_SzVove_State{};
    for (SeqEntryRecord& r : t.entries) {
        for (SeqChannelEntry& e : r.up) e.harmFre = 50.0f;
        for (SeqChannelEntry& e : r.ip) e.harmFre = 50.0f;
    }
    for (auto& row : t.binTripTime)
        for (float& time : row) time = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_SzVove_State& t) {
    w.Array(OLESTR("StatePara"), kSeqEntries, [&](uint32_t j) {
        SeqEntryRecord& r = t.entries[j];
        w.Array(OLESTR("Up"), 16, [&](uint32_t k) { WalkChannelEntry(w, r.up[k]); });
        w.Array(OLESTR("Ip"), 16, [&](uint32_t k) { WalkChannelEntry(w, r.ip[k]); });
        w.Array(OLESTR("Bout"), 16, [&](uint32_t k) {
            w.Real(OLESTR("TimeStart"), r.bout[k].timeStart);
            w.Int(OLESTR("nState"), r.bout[k].state);
        });
    });
    w.Ints(OLESTR("Up_StateNumbers"), t.upEntries);
    w.Ints(OLESTR("Ip_StateNumbers"), t.ipEntries);
    w.Ints(OLESTR("Bout_StateNumbers"), t.boutEntries);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Child(OLESTR("Result"), [&] {
        w.Real(OLESTR("RealTestTime"), t.realTestTime);
        w.Ints(OLESTR("Bin_0"), t.binEndState);
        w.Array(OLESTR("BinTripTime"), kSeqTripRows,
                [&](uint32_t i) { w.Reals(OLESTR("Bin"), t.binTripTime[i]); });
    });
}

HRESULT CDspTest_SzVove_State::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_SzVove_State& t = test_;
    const uint32_t voltages = VoltageChannels(), currents = CurrentChannels();
    // A count above the 50 entries is played as 50, a negative one as none;
    // the tester is told the count it is sent.
    uint32_t up[16], ip[16], bout[16];
    for (uint32_t k = 0; k < 16; ++k) {
        up[k] = ClampCount(t.upEntries[k], kSeqEntries);
        ip[k] = ClampCount(t.ipEntries[k], kSeqEntries);
        bout[k] = ClampCount(t.boutEntries[k], kSeqEntries);
    }
    for (uint32_t k = 0; k < voltages; ++k) AddUint(0x00 + k, up[k]);
    for (uint32_t k = 0; k < currents; ++k) AddUint(0x10 + k, ip[k]);
    for (uint32_t k = 0; k < 16; ++k) AddUint(0x20 + k, bout[k]);
    const auto addChannel = [&](uint32_t first, uint32_t k, uint32_t j, const SeqChannelEntry& e) {
        AddUint(0x30, j);
        AddReal(first + k, e.timeStart);
        AddReal(first + 0x10 + k, e.mag);
        AddReal(first + 0x20 + k, e.ang);
        AddReal(first + 0x30 + k, e.harmMag);
        AddReal(first + 0x40 + k, e.harmAng);
        AddReal(first + 0x50 + k, e.harmFre);
    };
    for (uint32_t k = 0; k < voltages; ++k)
        for (uint32_t j = 0; j < up[k]; ++j) addChannel(0x31, k, j, t.entries[j].up[k]);
    for (uint32_t k = 0; k < currents; ++k)
        for (uint32_t j = 0; j < ip[k]; ++j) addChannel(0x91, k, j, t.entries[j].ip[k]);
    for (uint32_t k = 0; k < 16; ++k)
        for (uint32_t j = 0; j < bout[k]; ++j) {
            AddUint(0x30, j);
            AddReal(0xF1 + k, t.entries[j].bout[k].timeStart);
            AddUint(0x101 + k, static_cast<uint32_t>(t.entries[j].bout[k].state));
        }
    AddUint(0x111, t.powerMode);
    lock.unlock();
    return SendTestParamList();
}
