#include "dsptest/channel_set.h"

void DefaultChannels(ChannelSet& channels) {
    for (RampChannel& c : channels) c = RampChannel{0, 0.0f, 0.0f, 50.0f};
}

void WalkChannels(FieldWalker& w, const WCHAR* key, ChannelSet& channels) {
    w.Array(key, 16, [&](uint32_t k) {
        RampChannel& c = channels[k];
        w.Int(OLESTR("bDC"), c.bDC);
        w.Real(OLESTR("Mag"), c.mag);
        w.Real(OLESTR("Ang"), c.ang);
        w.Real(OLESTR("Fre"), c.fre);
    });
}

void WalkTripResult(FieldWalker& w, int32_t& tripFlag, float& tripTime) {
    w.Child(OLESTR("Result"), [&] {
        w.Int(OLESTR("TripFlag"), tripFlag);
        w.Real(OLESTR("TripTime"), tripTime);
    });
}

void CChannelSetTest::AddChannels(uint32_t first, const ChannelSet& voltages, const ChannelSet& currents) {
    const auto add = [&](uint32_t base, uint32_t count, const ChannelSet& set) {
        for (uint32_t k = 0; k < count; ++k) {
            AddReal(base + k, set[k].mag);
            AddReal(base + 0x10 + k, set[k].ang);
            AddReal(base + 0x20 + k, set[k].fre);
            AddUint(base + 0x30 + k, static_cast<uint32_t>(set[k].bDC));
        }
    };
    add(first, VoltageChannels(), voltages);
    add(first + 0x40, CurrentChannels(), currents);
}
