#include "sim/player.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <tuple>

namespace sim {
namespace {

// The relay under outputs that change from time to time: every change of
// its inputs is reported (0x0206) and kept.
class InputWatch {
public:
    explicit InputWatch(const VirtualRelay& relay) : clock_(relay) {}

    // The outputs from startS on, until endS or until done(closed inputs)
    // holds: then the time it held; else -1. A trip after endS, if only by
    // the rounding of the relay's settings, comes too late.
    template <class Done>
    double Hold(const RelayInputs& outputs, double startS, double endS, Done done) {
        clock_.Apply(startS, outputs);
        double now = startS, tripS;
        uint32_t input;
        for (;;) {
            Observe(now);
            if (done(closed_)) return now;
            if (!clock_.NextTrip(now, &input, &tripS) || tripS > endS) return -1;
            now = tripS;
        }
    }
    uint32_t Closed() const { return closed_; }

    struct Change {
        double atS;
        uint32_t closed;
    };
    std::vector<Change> changes;
    std::vector<TimedReport> reports;

private:
    void Observe(double nowS) {
        const uint32_t closed = clock_.InputsAt(nowS);
        if (closed == closed_) return;
        closed_ = closed;
        changes.push_back({nowS, closed});
        reports.push_back({nowS, 0x0206, InputState(closed)});
    }

    RelayClock clock_;
    uint32_t closed_ = 0;
};

// What the timers of the timer test can start or stop on.
enum class TimerEvent { FaultBegins, Operate, Release, PostFaultBegins, Never };

TimerEvent StartEvent(uint32_t mode) {
    constexpr TimerEvent kStarts[] = {TimerEvent::FaultBegins, TimerEvent::Operate,
                                      TimerEvent::PostFaultBegins};
    return mode < std::size(kStarts) ? kStarts[mode] : TimerEvent::Never;
}
TimerEvent EndEvent(uint32_t mode) {
    constexpr TimerEvent kEnds[] = {TimerEvent::Operate, TimerEvent::Release, TimerEvent::PostFaultBegins};
    return mode < std::size(kEnds) ? kEnds[mode] : TimerEvent::Never;
}

struct TimerDownload {
    ChannelSetLevels states[3];
    TripCondition condition;
    double preFaultS = 0, faultLimitS = 0, testEndS = 0;
    uint32_t faultEndMode = 0, testEndMode = 0;
    uint32_t startModes[3] = {}, endModes[3] = {};
};

TimerDownload DecodeTimer(const ParamPairs& pairs) {
    TimerDownload d;
    uint32_t state = 0;
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        if (id == 0x00) state = std::min<uint32_t>(word, 2);
        if (d.states[state].Take(id, word, 0x01)) continue;
        if (id >= 0xC0 && id <= 0xC2) d.startModes[id - 0xC0] = word;
        if (id >= 0xC3 && id <= 0xC5) d.endModes[id - 0xC3] = word;
        switch (id) {
        case 0x82: d.preFaultS = std::max(0.0, WireReal(word)); break;
        case 0x8D: d.condition.all = word != 0; break;
        case 0x8E: d.condition.selected = word; break;
        case 0x83: d.faultEndMode = word; break;
        case 0x84: d.faultLimitS = std::max(0.0, WireReal(word)); break;
        case 0x85: d.testEndMode = word; break;
        case 0x86: d.testEndS = std::max(0.0, WireReal(word)); break;
        }
    }
    return d;
}

// Reports in the order of their times, those of one time as they were made.
std::vector<TimedReport> InTimeOrder(std::vector<TimedReport> reports) {
    std::stable_sort(reports.begin(), reports.end(),
                     [](const TimedReport& a, const TimedReport& b) { return a.atSeconds < b.atSeconds; });
    return reports;
}

} // namespace

std::vector<TimedReport> PlayTimer(const PlayInput& in) {
    const TimerDownload d = DecodeTimer(in.params);
    const TripCondition& condition = d.condition;
    const auto operated = [&](uint32_t closed) { return condition.MetBy(closed); };
    const auto never = [](uint32_t) { return false; };
    InputWatch run(in.relay);
    run.Hold(d.states[0].Relay(), 0, d.preFaultS, never);
    const double faultS = d.preFaultS;
    double postFaultS = faultS + d.faultLimitS;
    if (d.faultEndMode == kTimerEndOnOperate) {
        const double at = run.Hold(d.states[1].Relay(), faultS, postFaultS, operated);
        if (at >= 0) postFaultS = at;
    } else {
        run.Hold(d.states[1].Relay(), faultS, postFaultS, never);
    }
    double endS = postFaultS + d.testEndS;
    if (d.testEndMode == kTimerEndOnRelease) {
        const double at = run.Hold(d.states[2].Relay(), postFaultS, endS,
                                   [&](uint32_t closed) { return !operated(closed); });
        if (at >= 0) endS = at;
    } else {
        run.Hold(d.states[2].Relay(), postFaultS, endS, never);
    }

    // Every event with its time, in order.
    std::vector<std::pair<double, TimerEvent>> events = {{faultS, TimerEvent::FaultBegins}};
    bool wasMet = false;
    for (const InputWatch::Change& change : run.changes) {
        const bool met = operated(change.closed);
        if (met != wasMet) events.push_back({change.atS, met ? TimerEvent::Operate : TimerEvent::Release});
        wasMet = met;
    }
    events.push_back({postFaultS, TimerEvent::PostFaultBegins});
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto firstAtOrAfter = [&](TimerEvent event, double fromS) {
        for (const auto& [atS, e] : events)
            if (e == event && atS >= fromS) return atS;
        return -1.0;
    };

    // A timer stops on the first of its end events at or after its start;
    // each stop is reported (0x0208) with what the timers hold by then.
    double startS[3], stopS[3];
    for (uint32_t n = 0; n < 3; ++n) {
        startS[n] = firstAtOrAfter(StartEvent(d.startModes[n]), 0);
        stopS[n] = startS[n] < 0 ? -1 : firstAtOrAfter(EndEvent(d.endModes[n]), startS[n]);
    }
    const auto words = [&](double byS) {
        std::vector<int32_t> w(6);
        for (uint32_t n = 0; n < 3; ++n) {
            w[n] = startS[n] >= 0 && startS[n] <= byS ? 1 : 0;
            w[3 + n] = stopS[n] >= 0 && stopS[n] <= byS ? Ticks(stopS[n] - startS[n]) : kNotHappenedTicks;
        }
        return w;
    };
    std::vector<TimedReport> reports = std::move(run.reports);
    for (uint32_t n = 0; n < 3; ++n)
        if (stopS[n] >= 0) reports.push_back({stopS[n], 0x0208, ResultPayload(words(stopS[n]))});
    reports.push_back({endS, 0x0207, ResultPayload(words(endS))});
    return InTimeOrder(std::move(reports));
}

std::vector<TimedReport> PlayChannelSequence(const PlayInput& in) {
    // Each channel entry's start and magnitude, by (group, channel, entry).
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, std::pair<double, int32_t>> entries;
    uint32_t entry = 0;
    for (const auto& [tag, word] : in.params) {
        const uint16_t id = tag & 0x0FFF;
        if (id == 0x30) entry = word;
        for (uint32_t group = 0; group < 2; ++group) {
            const uint16_t first = group ? 0x91 : 0x31;
            if (id >= first && id < first + 0x20) {
                auto& e = entries[{group, (id - first) % 0x10, entry}];
                if (id < first + 0x10)
                    e.first = WireReal(word);
                else
                    e.second = static_cast<int32_t>(word);
            }
        }
    }
    // The outputs change at every entry's start; an entry holds until the
    // next entry of its channel starts.
    std::vector<double> changes = {0};
    for (const auto& [key, e] : entries) changes.push_back(std::max(0.0, e.first));
    std::sort(changes.begin(), changes.end());
    changes.erase(std::unique(changes.begin(), changes.end()), changes.end());
    const double endS = changes.back() + kSequenceTailSeconds;
    InputWatch run(in.relay);
    for (size_t i = 0; i < changes.size(); ++i) {
        ChannelSetLevels levels;
        // Entries in order of their number: a later one that starts no later
        // takes over.
        for (const auto& [key, e] : entries) {
            if (std::max(0.0, e.first) <= changes[i])
                levels.units[std::get<0>(key)][std::get<1>(key)] = e.second;
        }
        run.Hold(levels.Relay(), changes[i], i + 1 < changes.size() ? changes[i + 1] : endS,
                 [](uint32_t) { return false; });
    }

    // The result: 16 inputs, the rows of closing times, the test's time,
    // the inputs' end states, then per input the times it closed (row i
    // the i-th closing), -1000 s for closings that did not happen.
    constexpr uint32_t kInputs = 16, kMaxRows = 51;
    std::vector<int32_t> closings[kInputs];
    uint32_t before = 0;
    for (const InputWatch::Change& change : run.changes) {
        for (uint32_t k = 0; k < kInputs; ++k)
            if ((change.closed & ~before) >> k & 1 && closings[k].size() < kMaxRows)
                closings[k].push_back(Ticks(change.atS));
        before = change.closed;
    }
    uint32_t rows = 1;
    for (const auto& times : closings) rows = std::max(rows, static_cast<uint32_t>(times.size()));
    std::vector<int32_t> words = {static_cast<int32_t>(kInputs), static_cast<int32_t>(rows), Ticks(endS)};
    for (uint32_t k = 0; k < kInputs; ++k) words.push_back(run.Closed() >> k & 1);
    for (auto& times : closings) {
        times.resize(rows, kNotHappenedTicks);
        words.insert(words.end(), times.begin(), times.end());
    }
    std::vector<TimedReport> reports = std::move(run.reports);
    reports.push_back({endS, 0x0207, ResultPayload(words)});
    return reports;
}

} // namespace sim
