#include "sim/player.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr uint32_t kInputs = 16, kMaxEntries = 51;

struct StateRun {
    std::vector<int32_t> resultWords; // the 0x0207 payload, times in 100 us
    bool tripped = false;
    double tripTime = 0; // seconds from the start
};

struct PlayState {
    int32_t endMode = 1;
    double maxLast = 0.1;
    TripCondition condition;
    double current = 0; // the largest current magnitude
};

std::vector<PlayState> Decode(const ParamPairs& pairs, uint32_t* repeats) {
    std::vector<PlayState> states;
    uint32_t channel = 0;
    *repeats = 1;
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        if (id == 42) *repeats = std::max<uint32_t>(1, word);
        if (id == 1) states.emplace_back();
        if (states.empty()) continue;
        PlayState& state = states.back();
        switch (id) {
        case 2: channel = word; break;
        case 3:
            if (channel >= 16) state.current = std::max(state.current, std::fabs(WireReal(word)));
            break;
        case 29: state.endMode = static_cast<int32_t>(word); break;
        case 31: state.maxLast = WireReal(word); break;
        case 32: state.condition.all = word != 0; break;
        case 33: state.condition.selected = word; break;
        }
    }
    return states;
}

} // namespace

std::vector<TimedReport> PlayStateSequence(const PlayInput& in) {
    const ParamPairs& pairs = in.params;
    const VirtualRelay& relay = in.relay;
    uint32_t repeats = 1;
    const std::vector<PlayState> states = Decode(pairs, &repeats);
    StateRun run;
    std::vector<int32_t> enter;
    std::vector<std::vector<int32_t>> trips(kInputs);
    const uint32_t relayBit = 1u << relay.input;
    double now = 0;
    double above = -1; // since when the current is above the pick-up; -1: below
    for (uint32_t pass = 0; pass < repeats; ++pass) {
        for (const PlayState& state : states) {
            if (enter.size() < kMaxEntries) enter.push_back(Ticks(now));
            int32_t tripWord = kNotHappenedTicks;
            double end = now + state.maxLast;
            const bool pickedUp = relay.enabled && state.current >= relay.pickupA;
            if (!pickedUp)
                above = -1;
            else if (above < 0)
                above = now;
            if (pickedUp && !run.tripped && above + relay.delayS <= end) {
                run.tripped = true;
                run.tripTime = std::max(now, above + relay.delayS);
                tripWord = Ticks(run.tripTime);
                // The relay's input is the only one that closes.
                if (state.endMode == kEndOnBinaryInput && state.condition.MetBy(relayBit)) end = run.tripTime;
            }
            for (uint32_t k = 0; k < kInputs; ++k)
                trips[k].push_back(k == relay.input ? tripWord : kNotHappenedTicks);
            now = end;
        }
    }
    const uint32_t entries = static_cast<uint32_t>(enter.size());
    run.resultWords = {static_cast<int32_t>(kInputs), static_cast<int32_t>(entries), Ticks(now)};
    run.resultWords.insert(run.resultWords.end(), enter.begin(), enter.end());
    for (uint32_t k = 0; k < kInputs; ++k) run.resultWords.push_back(k == relay.input && run.tripped ? 1 : 0);
    for (uint32_t k = 0; k < kInputs; ++k)
        run.resultWords.insert(run.resultWords.end(), trips[k].begin(), trips[k].begin() + entries);
    std::vector<TimedReport> reports;
    if (run.tripped) reports.push_back({run.tripTime, 0x0206, InputState(1u << relay.input)});
    reports.push_back({now, 0x0207, ResultPayload(run.resultWords)});
    return reports;
}

} // namespace sim
