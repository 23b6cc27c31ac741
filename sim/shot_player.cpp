#include "sim/player.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr int64_t kTicksPerSecond = 10000;            // the tester counts 100 us
constexpr int64_t kMaxTicks = 3600 * kTicksPerSecond; // the longest test it plays
constexpr double kReclosePulseS = 0.1;                // how long the relay's reclose contact stays closed

// One stage of four voltages and three currents, magnitudes in 1/10000.
struct Stage {
    int32_t u[4] = {}, i[3] = {};
    RelayInputs Relay() const {
        RelayInputs in;
        for (int32_t level : i) in.maxCurrentA = std::max(in.maxCurrentA, std::abs(level) / 1e4);
        in.minPhaseVoltageV = std::min({std::abs(u[0]) / 1e4, std::abs(u[1]) / 1e4, std::abs(u[2]) / 1e4});
        return in;
    }
};

struct ShotParams {
    Stage stages[3]; // pre-fault, fault, transferred fault
    bool permanent = false, transfers = false;
    int64_t transTicks = 0, totalTicks = 0, preFaultTicks = 0;
    int64_t openTicks = 0, closeTicks = 0; // 0 opening time: no breaker
    bool busSidePt = true;                 // PT position 0: the voltages stay when the breaker opens
    uint32_t recloseInput = 0;             // assignment R
    TripCondition condition;
};

int64_t Duration(uint32_t word) { return std::max(0, static_cast<int32_t>(word)); }

ShotParams Decode(const ParamPairs& pairs) {
    ShotParams p;
    uint32_t stage = 0;
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        const int32_t level = static_cast<int32_t>(word);
        if (id >= 24 && id < 28) p.stages[stage].u[id - 24] = level;
        if (id >= 56 && id < 59) p.stages[stage].i[id - 56] = level;
        switch (id) {
        case 1: p.transfers = word != 0; break;
        case 3: p.transTicks = Duration(word); break;
        case 8: p.permanent = word != 0; break;
        case 9: p.busSidePt = word == 0; break;
        case 10: p.totalTicks = Duration(word); break;
        case 11: p.openTicks = Duration(word); break;
        case 12: p.closeTicks = Duration(word); break;
        case 14: p.preFaultTicks = Duration(word); break;
        case 21: p.condition.all = word != 0; break;
        case 22: p.condition.selected = word & 0xFFFF; break;
        case 23: stage = std::min<uint32_t>(word, 2); break;
        case 94: p.recloseInput = word; break;
        }
    }
    p.preFaultTicks = std::min(p.preFaultTicks, kMaxTicks);
    p.totalTicks = std::min(p.totalTicks, kMaxTicks - p.preFaultTicks);
    return p;
}

// The tester's outputs, tick by tick, against the relay and the breaker it
// simulates.
class ShotRun {
public:
    ShotRun(const VirtualRelay& relay, const ShotParams& p) : relay_(relay), clock_(relay), p_(p) {}

    std::vector<TimedReport> Play() {
        const int64_t end = p_.preFaultTicks + p_.totalTicks;
        for (int64_t tick = 0; tick <= end; ++tick) Step(tick);
        // Input count, operation count, the time played from the fault's
        // start, then input by input its operation times.
        std::vector<int32_t> words{16, 0, static_cast<int32_t>(p_.totalTicks)};
        for (const auto& input : operations_) words[1] = std::max<int32_t>(words[1], input.count);
        words[1] = std::min<int32_t>(words[1], 5);
        for (const auto& input : operations_)
            for (int32_t j = 0; j < words[1]; ++j)
                words.push_back(j < input.count ? input.at[j] : kNotHappenedTicks);
        reports_.push_back({Seconds(end), 0x0207, ResultPayload(words)});
        return std::move(reports_);
    }

private:
    static double Seconds(int64_t tick) { return static_cast<double>(tick) / kTicksPerSecond; }

    // What the tester outputs at tick: the pre-fault, then the fault (or the
    // transferred fault after its time); an open breaker takes the currents
    // away, and the voltages too with the PT on the line side. Reclosed on a
    // fault that is not permanent, the line is healthy again: the pre-fault.
    RelayInputs Outputs(int64_t tick) const {
        if (tick < p_.preFaultTicks) return p_.stages[0].Relay();
        const int64_t intoFault = tick - p_.preFaultTicks;
        const bool transferred = p_.transfers && intoFault >= p_.transTicks;
        Stage stage = p_.stages[transferred ? 2 : 1];
        if (reclosed_ && !p_.permanent) stage = p_.stages[0];
        if (!breakerClosed_) {
            stage = p_.busSidePt ? p_.stages[0] : Stage{};
            std::fill(std::begin(stage.i), std::end(stage.i), 0);
        }
        return stage.Relay();
    }

    void Step(int64_t tick) {
        const double now = Seconds(tick);
        if (tick == openAt_) {
            breakerClosed_ = false;
            // The relay's auto-reclose sees the breaker open and closes its
            // contact after its dead time, once.
            if (relay_.reclose && !reclosed_) recloseFrom_ = tick + Ticks(relay_.recloseDelayS);
        }
        if (tick == closeAt_) {
            breakerClosed_ = true;
            reclosed_ = true;
        }
        const RelayInputs in = Outputs(tick);
        if (tick == 0 || in.maxCurrentA != applied_.maxCurrentA ||
            in.minPhaseVoltageV != applied_.minPhaseVoltageV) {
            clock_.Apply(now, in);
            applied_ = in;
        }
        // Sampled within the tick: what closes at this tick is closed.
        uint32_t closed = clock_.InputsAt(now + 0.5 / kTicksPerSecond);
        if (recloseFrom_ >= 0 && tick >= recloseFrom_ && tick < recloseFrom_ + Ticks(kReclosePulseS))
            closed |= 1u << relay_.recloseInput;
        if (closed != closed_) {
            const uint32_t rising = closed & ~closed_;
            closed_ = closed;
            reports_.push_back({now, 0x0206, InputState(closed)});
            if (tick >= p_.preFaultTicks)
                for (uint32_t k = 0; k < 16; ++k)
                    if (rising >> k & 1) operations_[k].Add(static_cast<int32_t>(tick - p_.preFaultTicks));
        }
        if (tick < p_.preFaultTicks || p_.openTicks == 0) return;
        // The simulated breaker: a trip of the selected inputs opens it
        // after its opening time, the reclose input closes it after its
        // closing time.
        if (breakerClosed_ && openAt_ < tick && p_.condition.MetBy(closed)) openAt_ = tick + p_.openTicks;
        if (!breakerClosed_ && closeAt_ < tick && p_.recloseInput < 16 && (closed >> p_.recloseInput & 1))
            closeAt_ = tick + p_.closeTicks;
    }

    struct Operations {
        int32_t count = 0;
        int32_t at[5] = {};
        void Add(int32_t tick) {
            if (count < 5) at[count] = tick;
            ++count;
        }
    };

    const VirtualRelay& relay_;
    RelayClock clock_;
    const ShotParams& p_;
    RelayInputs applied_;
    uint32_t closed_ = 0;
    bool breakerClosed_ = true, reclosed_ = false;
    int64_t openAt_ = -1, closeAt_ = -1, recloseFrom_ = -1;
    Operations operations_[16];
    std::vector<TimedReport> reports_;
};

} // namespace

std::vector<TimedReport> PlayShot(const PlayInput& in) {
    const ShotParams p = Decode(in.params);
    return ShotRun(in.relay, p).Play();
}

} // namespace sim
