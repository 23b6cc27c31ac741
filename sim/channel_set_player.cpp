#include "sim/player.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr int32_t kNone = -1; // a result time of the two-time tests for what did not happen

// The relay driven by output sets one after another, reporting each change
// of its inputs.
class HeldOutputs {
public:
    explicit HeldOutputs(const VirtualRelay& relay) : clock_(relay) {}

    // The set is output from startS until endS, or until the condition (when
    // given) is met: then the time it was met; else -1. A trip after endS,
    // if only by the rounding of the relay's settings, comes too late.
    double Hold(const RelayInputs& outputs, double startS, double endS, const TripCondition* watch) {
        clock_.Apply(startS, outputs);
        double now = startS;
        uint32_t input;
        double tripS;
        for (;;) {
            Observe(now);
            if (watch && watch->MetBy(closed_)) return now;
            if (!clock_.NextTrip(now, &input, &tripS) || tripS > endS) return -1;
            now = tripS;
        }
    }

    std::vector<TimedReport> reports;
    double firstClosingS = -1; // of any input

private:
    void Observe(double nowS) {
        const uint32_t closed = clock_.InputsAt(nowS);
        if (closed == closed_) return;
        if ((closed & ~closed_) && firstClosingS < 0) firstClosingS = nowS;
        closed_ = closed;
        reports.push_back({nowS, 0x0206, InputState(closed)});
    }

    RelayClock clock_;
    uint32_t closed_ = 0;
};

int32_t TicksOr(double seconds, int32_t none) { return seconds < 0 ? none : Ticks(seconds); }

// The end of a two-time test: the time the selected inputs operated, then
// the first closing of any input.
std::vector<TimedReport> TwoTimeResult(HeldOutputs& run, double tripS, double endS) {
    run.reports.push_back(
        {endS, 0x0207, ResultPayload({TicksOr(tripS, kNone), TicksOr(run.firstClosingS, kNone)})});
    return std::move(run.reports);
}

} // namespace

std::vector<TimedReport> PlayVoltageCurrent(const PlayInput& in) {
    const ParamPairs& pairs = in.params;
    const VirtualRelay& relay = in.relay;
    ChannelSetLevels set;
    TripCondition condition;
    double limitS = -1;
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        if (set.Take(id, word, 0x01)) continue;
        if (id == 0x81) condition.all = word != 0;
        if (id == 0x82) condition.selected = word;
        if (id == 0x8C) limitS = WireReal(word);
    }
    const double endS = limitS < 0 ? kEndlessHoldSeconds : limitS;
    HeldOutputs run(relay);
    const double tripS = run.Hold(set.Relay(), 0, endS, &condition);
    return TwoTimeResult(run, tripS, tripS < 0 ? endS : tripS);
}

std::vector<TimedReport> PlayHarmonic(const PlayInput& in) {
    // Order 1 and order 2 of each channel, as far as they are selected.
    ChannelSetLevels orders[2];
    bool selected[2][16] = {}; // [voltage, current][channel], of the order at hand
    uint32_t order = 0;
    TripCondition condition;
    double limitS = -1;
    for (const auto& [tag, word] : in.params) {
        const uint16_t id = tag & 0x0FFF;
        if (id == 0x02) order = word;
        if (id >= 0x03 && id < 0x63) {
            // Per group (voltages from 0x03, currents from 0x33): selected,
            // magnitude, angle, 16 ids each.
            const uint32_t group = (id - 0x03) / 0x30, field = (id - 0x03) % 0x30 / 0x10,
                           k = (id - 0x03) % 0x10;
            if (field == 0) selected[group][k] = word != 0;
            if (field == 1 && selected[group][k] && (order == 1 || order == 2))
                orders[order - 1].units[group][k] = static_cast<int32_t>(word);
        }
        if (id == 0x63) condition.all = word != 0;
        if (id == 0x64) condition.selected = word;
        if (id == 0x12C) limitS = WireReal(word);
    }
    RelayInputs outputs = orders[0].Relay();
    for (uint32_t k = 0; k < 16; ++k) {
        const double fundamental = std::fabs(static_cast<double>(orders[0].units[1][k])),
                     second = std::fabs(static_cast<double>(orders[1].units[1][k]));
        if (fundamental > 0)
            outputs.maxHarm2Percent = std::max(outputs.maxHarm2Percent, 100 * second / fundamental);
    }
    const double endS = limitS < 0 ? kEndlessHoldSeconds : limitS;
    HeldOutputs run(in.relay);
    const double tripS = run.Hold(outputs, 0, endS, &condition);
    return TwoTimeResult(run, tripS, tripS < 0 ? endS : tripS);
}

std::vector<TimedReport> PlayTrack(const PlayInput& in) {
    const ParamPairs& pairs = in.params;
    const VirtualRelay& relay = in.relay;
    ChannelSetLevels sets[2];
    uint32_t set = 0;
    TripCondition condition;
    double preFaultS = 0, faultS = 0; // a negative time holds for none
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        if (id == 1) set = word ? 1 : 0;
        if (sets[set].Take(id, word, 0x02)) continue;
        if (id == 0x82) condition.all = word != 0;
        if (id == 0x83) condition.selected = word;
        if (id == 0x86) preFaultS = std::max(0.0, WireReal(word));
        if (id == 0x87) faultS = std::max(0.0, WireReal(word));
    }
    HeldOutputs run(relay);
    run.Hold(sets[0].Relay(), 0, preFaultS, nullptr);
    const double tripS = run.Hold(sets[1].Relay(), preFaultS, preFaultS + faultS, &condition);
    const bool tripped = tripS >= 0;
    run.reports.push_back(
        {tripped ? tripS : preFaultS + faultS, 0x0207,
         ResultPayload({tripped ? 1 : 0, tripped ? Ticks(tripS - preFaultS) : kNotHappenedTicks})});
    return std::move(run.reports);
}

std::vector<TimedReport> PlayAdjustment(const PlayInput& in) {
    const ParamPairs& pairs = in.params;
    const VirtualRelay& relay = in.relay;
    ChannelSetLevels set;
    for (const auto& [tag, word] : pairs) set.Take(tag & 0x0FFF, word, 0x00);
    HeldOutputs run(relay);
    run.Hold(set.Relay(), 0, kEndlessHoldSeconds, nullptr);
    return TwoTimeResult(run, -1, kEndlessHoldSeconds);
}

} // namespace sim
