// How the simulated tester plays a test: each test program it knows has a
// player that takes the downloaded (tag, value) pairs and the virtual relay
// on the outputs, and tells what the tester reports and when.
#pragma once

#include "sim/sim_packet.h"

#include <cmath>
#include <cstdint>
#include <span>
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
    // Auto-reclose, once a test: when a simulated breaker has opened, its
    // contact closes after the dead time, for 0.1 s.
    bool reclose = true;
    float recloseDelayS = 0.5f;
    uint32_t recloseInput = 2;
    // Power-swing blocking: the over-current element sees no current unless
    // the apparent impedance of phase A moved faster than swingBlockRate
    // (ohm/s, over one cycle) while the current was at pick-up: a fault, not
    // a swing. Released so, it stays released until the current drops off.
    bool swingBlocking = true;
    float swingBlockRate = 200.0f;
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

// The tester's words: reals and times are counts of 0.0001 (times of
// 100 us); a time of what did not happen is -1000 s.
inline double WireReal(uint32_t word) { return static_cast<int32_t>(word) * 0.0001; }
inline int32_t Ticks(double seconds) { return static_cast<int32_t>(std::lround(seconds * 10000)); }
constexpr int32_t kNotHappenedTicks = -10000000;
// The 64-byte I/O state of an input change (0x0206): bit k for input k.
Bytes InputState(uint32_t closedInputs);
// A result (0x0207): the words in order.
Bytes ResultPayload(const std::vector<int32_t>& words);

// The trip condition of a download: the selected binary inputs (bit k for
// input k) operate when all of them are closed (the and/or flag), else when
// any is; with none selected, never.
struct TripCondition {
    uint32_t selected = 0;
    bool all = false;
    bool MetBy(uint32_t closed) const {
        return selected && (all ? (closed & selected) == selected : (closed & selected) != 0);
    }
};

// One channel set of the flat channel block (magnitude of voltage k at
// first + k, of current k at first + 0x40 + k; angles, frequencies and DC
// flags between them), magnitudes in the tester's units of 1/10000 V or A.
struct ChannelSetLevels {
    int32_t units[2][16] = {}; // [0] voltages, [1] currents
    uint32_t present[2] = {};  // the channels the download carried, bit k for channel k
    // Takes a pair of the block at first; false for an id outside it.
    bool Take(uint16_t id, uint32_t word, uint16_t first);
    // What the relay sees: the largest current, the smallest phase voltage
    // (channels 0 to 2).
    RelayInputs Relay() const;
};

// One message the tester sends on its own, seconds of simulated time after
// the start.
struct TimedReport {
    double atSeconds;
    uint16_t msgId;
    Bytes payload;
};

// The wave the PC downloaded (0x0106) after its last flash check (0x0002):
// output codes, two bytes each, in frames of the channels the PC sent.
struct WaveDownload {
    uint32_t announcedBytes = 0; // what the flash check asked room for
    Bytes codes;                 // as far as the blocks came, in offset order (whole frames
                                 // only: a partial frame the check counted is not sent)
    size_t Codes() const { return codes.size() / 2; }
    uint16_t Code(size_t i) const { return static_cast<uint16_t>(codes[2 * i] | codes[2 * i + 1] << 8); }
};

// How the tester turns an output code back into the value it plays: slot k
// is voltage channel k (0 to 15) or current channel k - 16, with the zero
// offset and gain (in 1/10000) of its calibration; codes carry peak values.
struct WaveScale {
    int32_t offsets[32] = {};
    uint32_t gains[32] = {};
    double Value(uint32_t slot, uint16_t code) const {
        return gains[slot] ? (code - offsets[slot]) / (gains[slot] / 10000.0) * 1.414213 : 0;
    }
};

// What a player gets: the download, the relay on the outputs, and the wave
// kept in the tester's flash with the calibration it plays it by.
struct PlayInput {
    const ParamPairs& params;
    const VirtualRelay& relay;
    const WaveDownload& wave;
    const WaveScale& scale;
};

using TestPlayer = std::vector<TimedReport> (*)(const PlayInput& in);

// A setting of the virtual relay that vts-sim takes on its command line:
// a number (not negative), or a switch that leaves an element out.
struct RelaySetting {
    const char* flag;
    float VirtualRelay::*value; // null for a switch
    bool VirtualRelay::*off;    // the element a switch leaves out
    const char* help;
};
// Every setting, in the order vts-sim --help shows them.
std::span<const RelaySetting> RelaySettings();

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
std::vector<TimedReport> PlayStateSequence(const PlayInput& in);

// The channel-set tests hold channel sets against the relay, reporting each
// change of its inputs (0x0206) when it happens and the result (0x0207) at
// the end. The selected inputs operate when all of them are closed (and/or
// flag set), else when any is; the confirmation time is not played. The
// voltage/current and adjustment results are two times: when the selected
// inputs operated, and when any input first closed, selected or not; -1 for
// what did not happen. An output held without end (the adjustment test's,
// or under a negative time limit) ends after kEndlessHoldSeconds: the reports
// are all made as the test starts, so a stop cannot cut them short, and the
// bound stands for the operator who would stop the test.
constexpr double kEndlessHoldSeconds = 10;
// Voltage/current: one set until the selected inputs operate or the time
// limit passes; the result is the two times.
std::vector<TimedReport> PlayVoltageCurrent(const PlayInput& in);
// Track: the pre-fault set for the pre-fault time (the inputs not watched),
// then the fault set until the selected inputs operate or the fault time
// ends; the result is the trip flag and the time from the fault's start.
std::vector<TimedReport> PlayTrack(const PlayInput& in);
// Adjustment: one set held for kEndlessHoldSeconds; no input is selected,
// so the first time is always -1.
std::vector<TimedReport> PlayAdjustment(const PlayInput& in);
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
std::vector<TimedReport> PlayRamp(const PlayInput& in);
// The whole-group fault: the pre-fault for its time, then the fault (the
// transferred fault after its time) until the total test time; times from
// the fault's start. With a breaker opening time (a simulated breaker), the
// selected inputs' trip opens the breaker after it: the currents go, and
// the voltages with the PT on the line side (PT position nonzero). The
// input assigned R closing closes it after its closing time, onto the
// fault when it is permanent, else onto the pre-fault. Reports each input
// change and the result: 16 inputs, the most operations of any (at most
// 5), the time played, then each input's operation times.
std::vector<TimedReport> PlayShot(const PlayInput& in);
// The power swing: the downloaded wave (its frame count must be the
// download's point count, else nothing is played and the result is empty)
// at kOscPointsPerSecond against the relay, phasors over one cycle; the
// result as the whole-group fault's, times from the wave's start.
std::vector<TimedReport> PlayOsc(const PlayInput& in);

} // namespace sim
