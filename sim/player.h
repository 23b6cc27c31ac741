// How the simulated tester plays a test: each test program it knows has a
// player that takes the downloaded (tag, value) pairs and the virtual relay
// on the outputs, and tells what the tester reports and when.
#pragma once

#include "sim/sim_packet.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace sim {

// The relay on the tester's outputs: a definite-time over-current element
// whose trip closes one binary input.
struct VirtualRelay {
    bool enabled = true;
    float pickupA = 5.0f; // on any current channel
    float delayS = 0.1f;  // above the pick-up this long, then it trips
    uint32_t input = 0;   // the binary input it closes
};

using ParamPairs = std::vector<std::pair<uint16_t, uint32_t>>;

// One message the tester sends on its own, seconds of simulated time after
// the start.
struct TimedReport {
    double atSeconds;
    uint16_t msgId;
    Bytes payload;
};

using TestPlayer = std::vector<TimedReport> (*)(const ParamPairs& params, const VirtualRelay& relay);

// The player of a test program by its DspTestId, or null for a program the
// bench only records. The ids are the tester's own: a wrong one on the PC's
// side shows as a test that never reports.
TestPlayer FindTestPlayer(uint16_t dspTestId);

// The state sequence. End modes as this tester plays them: 2 ends a state
// when its selected binary inputs close (all of them with the and/or flag
// set, else any) or at its maximum duration; every other mode at its
// maximum duration. Reports the relay's trip as an input change (0x0206)
// and the result (0x0207, times in 100 us) at the end.
constexpr int32_t kEndOnBinaryInput = 2;
std::vector<TimedReport> PlayStateSequence(const ParamPairs& params, const VirtualRelay& relay);

} // namespace sim
