#include "sim/player.h"

#include <algorithm>

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
    double Hold(const ChannelSetLevels& set, double startS, double endS, const TripCondition* watch) {
        clock_.Apply(startS, set.Relay());
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
    const double tripS = run.Hold(set, 0, endS, &condition);
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
    run.Hold(sets[0], 0, preFaultS, nullptr);
    const double tripS = run.Hold(sets[1], preFaultS, preFaultS + faultS, &condition);
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
    run.Hold(set, 0, kEndlessHoldSeconds, nullptr);
    return TwoTimeResult(run, -1, kEndlessHoldSeconds);
}

} // namespace sim
