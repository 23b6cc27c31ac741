// How the simulated tester plays a test: each test program it knows has a
// player that takes the downloaded (tag, value) pairs and the virtual relay
// on the outputs, and tells what the tester reports and when.
#pragma once

#include "sim/sim_packet.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace sim {

// The relay on the tester's outputs, each element wired to a binary input
// that it closes when it trips.
struct VirtualRelay {
    // Definite-time over-current: picks up when any current channel reaches
    // pickupA, trips after delayS, drops off at or below dropOffRatio x
    // pickupA. Both elements compare at the tester's resolution (1/10000).
    bool enabled = true;
    float pickupA = 5.0f;
    float delayS = 0.1f;
    uint32_t input = 0;
    float dropOffRatio = 0.95f;
    // Under-voltage: picks up when any of the three phase voltages (channels
    // 0 to 2, phase-to-neutral) falls below underVoltageV, trips after
    // underVoltageDelayS, drops off at or above underVoltageV / dropOffRatio.
    bool underVoltage = true;
    float underVoltageV = 70.0f;
    float underVoltageDelayS = 0.0f;
    uint32_t underVoltageInput = 1;
};

// What the relay sees of the outputs while they stay as they are.
struct RelayInputs {
    double maxCurrentA = 0;      // the largest current magnitude of any channel
    double minPhaseVoltageV = 0; // the smallest of voltage channels 0 to 2
};

// The relay's elements over simulated time. The outputs change by Apply;
// between two changes an element that is picked up trips when its delay has
// passed and stays tripped (its input closed) until it drops off.
class RelayClock {
public:
    explicit RelayClock(const VirtualRelay& relay) : relay_(relay) {}
    // The outputs are these from now on.
    void Apply(double now, const RelayInputs& inputs);
    // The binary inputs closed at time t (not before the last Apply), bit k
    // for input k.
    uint32_t InputsAt(double t) const;
    // When the first element that is picked up trips after time now (its
    // input and the time), or false when none will while the outputs stay
    // as they are; what has tripped by now InputsAt tells.
    bool NextTrip(double now, uint32_t* input, double* at) const;

private:
    struct Element {
        double since = -1; // picked up since; -1: dropped off
    };
    const VirtualRelay relay_;
    Element overCurrent_, underVoltage_;
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

// The ramp. Set 1 is output with one quantity of one of its channels varied
// (group 0 voltage, else current; type 0 magnitude, 1 angle, 2 frequency),
// from the start towards the end in steps (ramp mode 0) or sliding at its
// rate, until the trip condition of the selected inputs holds; with a
// return mode, back towards the start until it no longer holds. Set 0 is
// output during the pre-test and, with resets, between two steps. A ramp
// that cannot run (a channel or type the tester lacks, a step or rate that
// is not positive, more than 100000 values or an hour) reports no pick-up
// at once. Reports input changes (0x0206) at pick-up and drop-off and the
// result (0x0207: trip flag, pick-up time and value, drop-off time and
// value; times in 100 us, values in 1/10000, -1000 s when not happened).
std::vector<TimedReport> PlayRamp(const ParamPairs& params, const VirtualRelay& relay);

} // namespace sim
