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
    // Second-harmonic restraint: the over-current element does not pick up,
    // and drops off, while the second harmonic of any current is at or above
    // harm2RestraintPercent of that current's fundamental.
    bool harm2Restraint = true;
    float harm2RestraintPercent = 15.0f;
    // Biased differential, played by the differential test on its fault
    // state: side 1 of each phase on current channels 0 to 2, side 2 on 3
    // to 5, a through current entering by one and leaving by the other (at
    // 180 degrees). A phase operates when its differential current
    // |I1 + I2| reaches diffMinA + diffSlope x (its restraint current
    // (|I1| + |I2|) / 2 beyond diffKneeA), unless its second-harmonic
    // differential current is diffHarmRatio of the fundamental's or more,
    // or, in the gap-angle test items, a channel of it carries a gap of
    // diffGapDeg or more. Trips after diffDelayS.
    bool differential = true;
    float diffMinA = 0.5f;
    float diffSlope = 0.5f;
    float diffKneeA = 1.0f;
    float diffHarmRatio = 0.15f;
    float diffGapDeg = 65.0f;
    float diffDelayS = 0.03f;
    uint32_t diffInput = 2;
    // Synchronising device, played by the synchronisation test: once a
    // period it sends a raise or lower frequency pulse while the generator's
    // frequency is more than synFreqBandHz off the system's, and a raise or
    // lower voltage pulse while its voltage is more than synVoltBandV off;
    // within both bands it closes when the slip will bring the phases
    // together synLeadS later. The closing command is on input synInput,
    // raise and lower frequency, raise and lower voltage on the four after.
    bool synchroniser = true;
    float synFreqBandHz = 0.3f;
    float synVoltBandV = 5.0f;
    float synFreqPulseS = 0.2f;
    float synVoltPulseS = 0.3f;
    float synPulsePeriodS = 1.0f;
    float synLeadS = 0.2f;
    uint32_t synInput = 3;
    // Auto-reclose, once a test: when a simulated breaker has opened, its
    // contact closes after the dead time, for 0.1 s.
    bool reclose = true;
    float recloseDelayS = 0.5f;
    uint32_t recloseInput = 8;
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
    double maxHarm2Percent = 0;  // the largest second harmonic of a current, % of its fundamental
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
// side shows as a test that never reports. *pointByPoint (when asked) tells
// whether the program plays a test point switched in while it runs.
TestPlayer FindTestPlayer(uint16_t dspTestId, bool* pointByPoint = nullptr);

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
// The harmonic test, a two-time test: its waveform held until the selected
// inputs operate or the time limit passes (a negative one: no limit). The
// relay sees each channel's fundamental (order 1 of the base frequency) and
// the second harmonic's share of each current; other orders, DC and the
// inter-harmonics it filters out. An order counts only when selected.
std::vector<TimedReport> PlayHarmonic(const PlayInput& in);

// The timer test: pre-fault state for the pre-fault time (every fault
// trigger mode is played so), fault state until the fault time limit (fault
// end mode kTimerEndOnOperate: or until the selected inputs operate), then
// post-fault state for the test end time (test end mode kTimerEndOnRelease:
// or until the selected inputs no longer operate, at once when they do not).
// Each timer starts on the first event of its start mode (0 the fault
// begins, 1 the selected inputs operate, 2 the post-fault state begins) and
// stops on the first event of its end mode at or after that (0 the selected
// inputs operate, 1 they release, 2 the post-fault state begins); other
// modes never happen. Reports input changes (0x0206), each timer's stop
// (0x0208) and the result (0x0207), both as three start flags (1 started,
// 0 not) and three times (100 us; -1000 s for a timer not stopped).
constexpr uint32_t kTimerEndOnOperate = 1, kTimerEndOnRelease = 1;
std::vector<TimedReport> PlayTimer(const PlayInput& in);
// The channel-sequence test: each voltage and current entry (its start and
// magnitude; the superimposed harmonic the relay does not see) holds from
// its start until the next entry of its channel; the test ends
// kSequenceTailSeconds after the last entry's start. Reports input changes
// (0x0206) and the result (0x0207: 16, the rows n, the test's time, the 16
// inputs' end states, then per input n times of its successive closings,
// at most 51, -1000 s for those that did not happen; times in 100 us).
constexpr double kSequenceTailSeconds = 1;
std::vector<TimedReport> PlayChannelSequence(const PlayInput& in);
// The differential test: the pre-fault state for its time, then the fault
// state, with the harmonic currents at their order, against the
// differential element (VirtualRelay), until the selected inputs operate or
// the fault time ends. Reports the trip as an input change (0x0206) and
// the result (0x0207: trip flag, time from the fault's start in 100 us or
// -1000 s). A harmonic of an order this tester does not play (other than
// kLowestHarmonic to kHighestHarmonic) ends the test at once, not tripped.
constexpr uint32_t kLowestHarmonic = 2, kHighestHarmonic = 20;
std::vector<TimedReport> PlayDifferential(const PlayInput& in);
// The synchronisation test: the system side steady, the generator side
// moved by the synchronising device's pulses at the rates of the download
// (dVg/dt, dFg/dt while a pulse lasts). Reports each period of pulses and
// the closing as an intermediate report (0x0208: the device's outputs as
// inputs, generator voltage, frequency, its phase against the system's,
// time; x 10000), and the result (0x0207): closed flag, the system's and
// the generator's phase (0..360 degrees), the generator's frequency and
// voltage at the closing, then the first width of each pulse kind (raise
// and lower frequency, raise and lower voltage) and the pause before the
// second of that kind (0 until there is one). A device that has not closed
// within kSynchronisingSeconds ends the test unclosed, as the operator
// would stop it. The test type, the connections, the reset and the
// confirmation time are not played.
constexpr double kSynchronisingSeconds = 60;
std::vector<TimedReport> PlaySynchronising(const PlayInput& in);
// Wave playback: the frames of the wave in flash (9 voltage, then 9 current
// codes each, at the line frequency times the points per cycle of the
// download) played to their end, once; the repeat sections are not played.
// The relay sees each output's RMS over the last cycle. Reports each change
// of its inputs (0x0206) and the result (0x0207: 16 inputs, one time each:
// their end states, then when each first closed, in 100 us).
std::vector<TimedReport> PlayWave(const PlayInput& in);
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
