#include "sim/player.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sim {
namespace {

constexpr int64_t kTicksPerSecond = 10000;            // the tester counts 100 us
constexpr int64_t kMaxTicks = 3600 * kTicksPerSecond; // the longest ramp it runs
constexpr int64_t kMaxValues = 100000;                // the most values one ramp passes through
constexpr int64_t kSlideTicks = 10;                   // a slide moves every 1 ms at the finest

// The download as this tester reads it. Values are in units of 1/10000,
// times in ticks of 100 us (both are the wire's real encoding).
struct RampParams {
    ChannelSetLevels sets[2];
    int32_t mode = 0;   // 0 stepped, else a slide at rate
    uint32_t group = 0; // 0 voltage, 1 current
    int32_t index = 0;
    int32_t type = 0; // 0 magnitude, 1 angle, 2 frequency
    int32_t from = 0, to = 0, step = 0, stepTicks = 0, rate = 0;
    bool returns = false;
    int32_t preTestTicks = 0; // 0 without a pre-test
    int32_t resetTicks = 0;   // 0 without resets
    int32_t startHoldTicks = 0, endWaitTicks = 0;
    TripCondition condition;
};

// A duration as the tester takes it: a negative one is none.
int32_t Duration(uint32_t word) { return std::max(0, static_cast<int32_t>(word)); }

RampParams Decode(const ParamPairs& pairs) {
    RampParams p;
    uint32_t set = 0;
    bool preTest = false, reset = false;
    int32_t preTestTicks = 0, resetTicks = 0;
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        const int32_t value = static_cast<int32_t>(word);
        if (p.sets[set].Take(id, word, 0x01)) continue;
        switch (id) {
        case 0x00: set = word ? 1 : 0; break;
        case 0x81: p.mode = value; break;
        case 0x82: p.group = value ? 1 : 0; break;
        case 0x83: p.index = value; break;
        case 0x84: p.type = value; break;
        case 0x85: p.from = value; break;
        case 0x86: p.to = value; break;
        case 0x87: p.step = value; break;
        case 0x88: p.stepTicks = value; break;
        case 0x8A: p.returns = word != 0; break;
        case 0x8B: preTest = word != 0; break;
        case 0x8C: preTestTicks = Duration(word); break;
        case 0x8D: reset = word != 0; break;
        case 0x8E: resetTicks = Duration(word); break;
        case 0x8F: p.rate = value; break;
        case 0x91: p.startHoldTicks = Duration(word); break;
        case 0x92: p.endWaitTicks = Duration(word); break;
        case 0x93: p.condition.all = word != 0; break;
        case 0x94: p.condition.selected = word & 0xFFFF; break;
        }
    }
    p.preTestTicks = preTest ? preTestTicks : 0;
    p.resetTicks = reset ? resetTicks : 0;
    return p;
}

// Values from start towards start + direction x span, each move num / den
// units further (rounded down), the last move ending on the end.
struct Path {
    int32_t start;
    int32_t direction;
    int64_t span;
    int64_t num, den;

    int64_t Moves() const { return (span * den + num - 1) / num; }
    int32_t At(int64_t k) const {
        return static_cast<int32_t>(start + direction * std::min(k * num / den, span));
    }
};

// How the ramp goes, or why it cannot.
struct Plan {
    bool runs = false;
    Path path{};
    int64_t moveTicks = 0; // how long each value of the path is held
};

Plan PlanOf(const RampParams& p) {
    Plan plan;
    plan.path = {p.from, p.to >= p.from ? 1 : -1, std::llabs(static_cast<int64_t>(p.to) - p.from), 1, 1};
    const bool known = p.index >= 0 && p.index < 16 && (p.sets[1].present[p.group] >> p.index & 1) &&
                       p.type >= 0 && p.type <= 2;
    if (!known) return plan;
    int64_t ticks = p.preTestTicks, values;
    if (p.mode == 0) {
        // The step is a size: the ramp goes from the start towards the end.
        if (p.step <= 0 || p.stepTicks <= 0) return plan;
        plan.path.num = p.step;
        plan.moveTicks = p.stepTicks;
        values = plan.path.Moves() + 1;
        if (values > kMaxValues) return plan;
        ticks += values * (static_cast<int64_t>(p.stepTicks) + p.resetTicks);
    } else {
        if (p.rate <= 0) return plan;
        const int64_t slide = (plan.path.span * kTicksPerSecond + p.rate - 1) / p.rate;
        plan.moveTicks = std::max(kSlideTicks, (slide + kMaxValues - 1) / kMaxValues);
        plan.path.num = p.rate * plan.moveTicks;
        plan.path.den = kTicksPerSecond;
        values = plan.path.Moves();
        ticks += p.startHoldTicks + slide + p.endWaitTicks;
    }
    plan.runs = values <= kMaxValues && ticks <= kMaxTicks;
    return plan;
}

// The outputs against the relay on the tester's clock.
class RampRun {
public:
    RampRun(const VirtualRelay& relay, const RampParams& p) : clock_(relay), p_(p) {}

    int64_t Now() const { return now_; }
    double Seconds() const { return static_cast<double>(now_) / kTicksPerSecond; }
    // The inputs as the tester samples them, within its tick: an input
    // that closes at this tick is closed.
    uint32_t Inputs() const { return clock_.InputsAt(Probe()); }
    // The selected inputs as the trip condition reads them: all of them
    // with the and/or flag, else any.
    bool Condition() const { return p_.condition.MetBy(Inputs()); }

    // Set 0 for ticks, the inputs not watched.
    void Rest(int64_t ticks) {
        Apply(p_.sets[0]);
        now_ += ticks;
    }
    // Set 1 with the varied quantity at value from now on.
    void Output(int32_t value) {
        ChannelSetLevels levels = p_.sets[1];
        if (p_.type == 0) levels.units[p_.group][p_.index] = value;
        Apply(levels);
    }
    // Lets ticks pass; true, with the clock at that moment, when the trip
    // condition holds meanwhile.
    bool WatchPickUp(int64_t ticks) {
        const int64_t end = now_ + ticks;
        uint32_t input;
        double at;
        while (!Condition()) {
            if (!clock_.NextTrip(Probe(), &input, &at) || std::llround(at * kTicksPerSecond) > end) {
                now_ = end;
                return false;
            }
            now_ = std::llround(at * kTicksPerSecond);
        }
        return true;
    }
    void Pass(int64_t ticks) { now_ += ticks; }

private:
    double Probe() const { return (static_cast<double>(now_) + 0.5) / kTicksPerSecond; }
    void Apply(const ChannelSetLevels& levels) { clock_.Apply(Seconds(), levels.Relay()); }

    RelayClock clock_;
    const RampParams& p_;
    int64_t now_ = 0;
};

} // namespace

std::vector<TimedReport> PlayRamp(const PlayInput& in) {
    const ParamPairs& pairs = in.params;
    const VirtualRelay& relay = in.relay;
    const RampParams p = Decode(pairs);
    const Plan plan = PlanOf(p);
    RampRun run(relay, p);
    std::vector<TimedReport> reports;
    bool pickedUp = false;
    int32_t value = p.from;
    const Path& path = plan.path;
    if (plan.runs) {
        run.Rest(p.preTestTicks);
        // Stepped: set 0 between two steps when the download asks for
        // resets. Sliding: the start held, then a move every tick, the end
        // held.
        const bool stepped = p.mode == 0;
        const int64_t moves = path.Moves();
        for (int64_t k = 0; k <= moves && !pickedUp; ++k) {
            if (stepped && k && p.resetTicks) run.Rest(p.resetTicks);
            const int64_t hold =
                stepped ? plan.moveTicks
                        : (k ? 0 : p.startHoldTicks) + (k < moves ? plan.moveTicks : p.endWaitTicks);
            value = path.At(k);
            run.Output(value);
            pickedUp = run.WatchPickUp(hold);
        }
    }
    // Trip flag, pick-up time and value, drop-off time and value.
    std::vector<int32_t> words{0, kNotHappenedTicks, 0, kNotHappenedTicks, 0};
    if (pickedUp) {
        words[0] = 1;
        words[1] = static_cast<int32_t>(run.Now());
        words[2] = value;
        reports.push_back({run.Seconds(), 0x0206, InputState(run.Inputs())});
    }
    if (pickedUp && p.returns) {
        // Back towards the start, without resets, in the same steps or sliding
        // at the same rate, until the trip condition no longer holds; not
        // beyond the start.
        Path back{value, -path.direction, std::llabs(static_cast<int64_t>(value) - p.from), path.num,
                  path.den};
        const int64_t moves = back.Moves();
        bool droppedOff = false;
        for (int64_t k = 1; k <= moves && !droppedOff; ++k) {
            value = back.At(k);
            run.Output(value);
            droppedOff = !run.Condition();
            if (!droppedOff) run.Pass(plan.moveTicks);
        }
        if (droppedOff) {
            words[3] = static_cast<int32_t>(run.Now());
            words[4] = value;
            reports.push_back({run.Seconds(), 0x0206, InputState(run.Inputs())});
        }
    }
    reports.push_back({run.Seconds(), 0x0207, ResultPayload(words)});
    return reports;
}

} // namespace sim
