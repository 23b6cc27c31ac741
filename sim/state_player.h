// The simulated tester playing a downloaded state sequence on a simulated
// clock, with a virtual relay on its outputs: a definite-time over-current
// element whose trip closes one binary input.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace sim {

struct VirtualRelay {
    bool enabled = true;
    float pickupA = 5.0f; // on any current channel
    float delayS = 0.1f;  // above the pick-up this long, then it trips
    uint32_t input = 0;   // the binary input it closes
};

struct StateRun {
    std::vector<int32_t> resultWords; // the 0x0207 payload, times in 100 us
    bool tripped = false;
    double tripTime = 0;  // seconds from the start
    double totalTime = 0; // seconds
};

// End modes as this tester plays them: 2 ends a state when its selected
// binary inputs close (all of them with the and/or flag set, else any) or
// at its maximum duration; every other mode at its maximum duration.
constexpr int32_t kEndOnBinaryInput = 2;

// Plays the (tag, value) pairs of a state sequence download.
StateRun PlayStateSequence(const std::vector<std::pair<uint16_t, uint32_t>>& pairs,
                           const VirtualRelay& relay);

} // namespace sim
