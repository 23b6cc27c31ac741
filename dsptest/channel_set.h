// The channel record that the ramp, track, voltage/current and adjustment
// tests share, and their flat id space: a channel's number is part of its
// parameter ids.
#pragma once

#include "dsptest/document_module.h"

#include <cstdint>

struct RampChannel {
    int32_t bDC; // DC output
    float mag;   // V or A
    float ang;   // degrees
    float fre;   // Hz
};
static_assert(sizeof(RampChannel) == 16, "RampChannel is 16 bytes");

using ChannelSet = RampChannel[16];

// Every channel 0 V or A, 0 degrees, 50 Hz, AC.
void DefaultChannels(ChannelSet& channels);
// Under key: "0".."15", each "bDC", "Mag", "Ang", "Fre".
void WalkChannels(FieldWalker& w, const WCHAR* key, ChannelSet& channels);
// Under "Result": "TripFlag" and "TripTime" (seconds).
void WalkTripResult(FieldWalker& w, int32_t& tripFlag, float& tripTime);

class CChannelSetTest : public CDspDocumentTest {
protected:
    using CDspDocumentTest::CDspDocumentTest;
    // For each voltage channel k the tester has: magnitude (id first + k),
    // angle (+ 0x10), frequency (+ 0x20), DC flag (+ 0x30); then each
    // current channel k from first + 0x40.
    void AddChannels(uint32_t first, const ChannelSet& voltages, const ChannelSet& currents);
};
