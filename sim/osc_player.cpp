#include "dsptest/osc.h"
#include "sim/player.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace sim {
namespace {

using Phasor = std::complex<double>;

// The downloaded wave as the tester plays it: a frame of 18 output codes a
// point, back into values through the calibration.
class SwingWave {
public:
    SwingWave(const PlayInput& in, uint32_t pointsPerCycle)
        : wave_(in.wave), scale_(in.scale), n_(pointsPerCycle) {}

    size_t Points() const { return wave_.Codes() / kOscPointFloats; }
    // The phasor (RMS) of channel c over the cycle that ends at point i.
    Phasor At(size_t i, uint32_t c) const {
        const uint32_t slot = c < kOscPointFloats / 2 ? c : 16 + c - kOscPointFloats / 2;
        Phasor sum;
        for (uint32_t k = 0; k < n_; ++k) {
            const size_t point = i + 1 - n_ + k;
            const double x = scale_.Value(slot, wave_.Code(point * kOscPointFloats + c));
            sum += x * std::polar(1.0, -2 * std::numbers::pi * static_cast<double>(point % n_) / n_);
        }
        return sum * (std::sqrt(2.0) / n_);
    }

private:
    const WaveDownload& wave_;
    const WaveScale& scale_;
    const uint32_t n_;
};

struct Operations {
    int32_t count = 0;
    int32_t at[5] = {};
};

} // namespace

std::vector<TimedReport> PlayOsc(const PlayInput& in) {
    double fre = 50;
    int64_t points = 0;
    for (const auto& [tag, word] : in.params) {
        if ((tag & 0x0FFF) == 24) fre = WireReal(word);
        if ((tag & 0x0FFF) == 48) points = static_cast<int32_t>(word);
    }
    const uint32_t perCycle = fre > 1 && fre < kOscPointsPerSecond / 4
                                  ? static_cast<uint32_t>(std::lround(kOscPointsPerSecond / fre))
                                  : 40;
    const SwingWave wave(in, perCycle);
    // A wave of other length than the download announces is not played.
    if (points < 1 || static_cast<size_t>(points) != wave.Points())
        return {{0, 0x0207, ResultPayload({0, 0, 0})}};

    const VirtualRelay& relay = in.relay;
    RelayClock clock(relay);
    std::vector<TimedReport> reports;
    Operations operations[16];
    uint32_t closed = 0;
    bool released = false;
    // The apparent impedance of phase A one cycle back, for its rate of change.
    std::vector<Phasor> impedance(perCycle, Phasor(std::numeric_limits<double>::infinity()));
    for (size_t i = perCycle - 1; i < wave.Points(); ++i) {
        const double now = static_cast<double>(i) / kOscPointsPerSecond;
        RelayInputs seen;
        seen.minPhaseVoltageV = std::numeric_limits<double>::infinity();
        for (uint32_t p = 0; p < 3; ++p) {
            seen.minPhaseVoltageV = std::min(seen.minPhaseVoltageV, std::abs(wave.At(i, p)));
            seen.maxCurrentA = std::max(seen.maxCurrentA, std::abs(wave.At(i, 9 + p)));
        }
        // Power-swing blocking: the over-current element sees no current
        // unless phase A's impedance moved faster than the set rate (ohm/s)
        // while the current was at pick-up (a fault, not a swing); released
        // so, it stays released until the current falls to its drop-off.
        const Phasor ia = wave.At(i, 9);
        const Phasor z =
            std::abs(ia) > 1e-3 ? wave.At(i, 0) / ia : Phasor(std::numeric_limits<double>::infinity());
        Phasor& cycleBack = impedance[i % perCycle];
        const double rate = std::isfinite(std::abs(z)) && std::isfinite(std::abs(cycleBack))
                                ? std::abs(z - cycleBack) * fre
                                : std::numeric_limits<double>::infinity();
        cycleBack = z;
        if (seen.maxCurrentA >= relay.pickupA && rate >= relay.swingBlockRate) released = true;
        if (seen.maxCurrentA <= relay.dropOffRatio * relay.pickupA) released = false;
        if (relay.swingBlocking && !released) seen.maxCurrentA = 0;
        clock.Apply(now, seen);
        const uint32_t nowClosed = clock.InputsAt(now + 1e-7);
        if (nowClosed == closed) continue;
        const uint32_t rising = nowClosed & ~closed;
        closed = nowClosed;
        reports.push_back({now, 0x0206, InputState(closed)});
        for (uint32_t k = 0; k < 16; ++k)
            if ((rising >> k & 1) && operations[k].count < 5)
                operations[k].at[operations[k].count++] = Ticks(now);
    }
    const double end = static_cast<double>(wave.Points()) / kOscPointsPerSecond;
    // Input count, operation count, the time played, then input by input
    // its operation times.
    std::vector<int32_t> words{16, 0, Ticks(end)};
    for (const Operations& input : operations) words[1] = std::max(words[1], input.count);
    for (const Operations& input : operations)
        for (int32_t j = 0; j < words[1]; ++j)
            words.push_back(j < input.count ? input.at[j] : kNotHappenedTicks);
    reports.push_back({end, 0x0207, ResultPayload(words)});
    return reports;
}

} // namespace sim
