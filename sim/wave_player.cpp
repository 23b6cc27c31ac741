#include "sim/player.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr uint32_t kInputs = 16;
constexpr uint32_t kOutputs = 9;               // of each group, in every frame
constexpr uint32_t kFrameCodes = 2 * kOutputs; // voltages, then currents
constexpr uint32_t kMaxPointsPerCycle = 10000, kDefaultPointsPerCycle = 200;
constexpr double kDefaultRate = 5000;

// The calibration slot of a frame's code c: voltage channel c, or current
// channel c - 9 (slot 16 on).
uint32_t Slot(uint32_t c) { return c < kOutputs ? c : 16 + c - kOutputs; }

} // namespace

std::vector<TimedReport> PlayWave(const PlayInput& in) {
    double lf = 50;
    int32_t pointsWord = 0;
    uint32_t frames = 0;
    for (const auto& [tag, word] : in.params) {
        switch (tag & 0x0FFF) {
        case 8: lf = WireReal(word); break;
        case 9: pointsWord = static_cast<int16_t>(word); break;
        case 11: frames = word; break;
        }
    }
    // The playback rate as the PC computed it from this tester's word.
    int64_t points = pointsWord;
    if (pointsWord < 0 && lf > 0) points = static_cast<int64_t>(std::abs(pointsWord) / lf);
    if (points <= 0 || points > kMaxPointsPerCycle) points = kDefaultPointsPerCycle;
    double rate = lf * static_cast<double>(points);
    if (!(rate > 0.001)) rate = kDefaultRate;
    // Only what the flash holds plays.
    frames = static_cast<uint32_t>(std::min<size_t>(frames, in.wave.Codes() / kFrameCodes));

    // The relay measures each output's RMS over the last cycle (the frames
    // of the first cycle count as far as they go).
    const uint32_t window = static_cast<uint32_t>(std::max<int64_t>(1, points));
    std::vector<double> squares(static_cast<size_t>(window) * kFrameCodes, 0.0);
    double sums[kFrameCodes] = {};
    RelayClock clock(in.relay);
    std::vector<int32_t> trips(kInputs, kNotHappenedTicks);
    std::vector<TimedReport> reports;
    uint32_t closed = 0;
    for (uint32_t f = 0; f < frames; ++f) {
        const double t = f / rate;
        double* slot = &squares[static_cast<size_t>(f % window) * kFrameCodes];
        for (uint32_t c = 0; c < kFrameCodes; ++c) {
            const double value =
                in.scale.Value(Slot(c), in.wave.Code(static_cast<size_t>(f) * kFrameCodes + c));
            sums[c] += value * value - slot[c];
            slot[c] = value * value;
        }
        const double n = std::min<uint32_t>(f + 1, window);
        const auto rms = [&](uint32_t c) { return std::sqrt(std::max(0.0, sums[c]) / n); };
        RelayInputs seen;
        for (uint32_t c = kOutputs; c < kFrameCodes; ++c)
            seen.maxCurrentA = std::max(seen.maxCurrentA, rms(c));
        seen.minPhaseVoltageV = std::min({rms(0), rms(1), rms(2)});
        clock.Apply(t, seen);
        const uint32_t now = clock.InputsAt(t);
        if (now == closed) continue;
        for (uint32_t k = 0; k < kInputs; ++k)
            if ((now & ~closed) >> k & 1 && trips[k] == kNotHappenedTicks) trips[k] = Ticks(t);
        closed = now;
        reports.push_back({t, 0x0206, InputState(closed)});
    }
    std::vector<int32_t> words = {static_cast<int32_t>(kInputs), 1};
    for (uint32_t k = 0; k < kInputs; ++k) words.push_back(closed >> k & 1);
    words.insert(words.end(), trips.begin(), trips.end());
    reports.push_back({frames / rate, 0x0207, ResultPayload(words)});
    return reports;
}

} // namespace sim
