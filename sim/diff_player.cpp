#include "sim/player.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace sim {
namespace {

using Phasor = std::complex<double>;

// The download as this tester reads it: magnitudes and angles of the 16
// current channels in the pre-fault and fault states and of their
// harmonics; in the gap-angle items the fault angle ids carry gap angles.
struct DiffParams {
    double faultMag[16] = {}, faultAng[16] = {};
    double harmMag[16] = {}, harmAng[16] = {};
    int32_t item = 0;
    uint32_t harmOrder = 2;
    double preFaultS = 0, faultS = 0;
    TripCondition condition;
};

// A wire real when id falls in the 16 ids from first: its channel.
bool Channel(uint16_t id, uint16_t first, uint32_t* k) {
    if (id < first || id >= first + 16) return false;
    *k = id - first;
    return true;
}

DiffParams Decode(const ParamPairs& pairs) {
    DiffParams p;
    for (const auto& [tag, word] : pairs) {
        const uint16_t id = tag & 0x0FFF;
        uint32_t k;
        if (Channel(id, 0x24, &k))
            p.faultMag[k] = WireReal(word);
        else if (Channel(id, 0x34, &k))
            p.faultAng[k] = WireReal(word);
        else if (Channel(id, 0x45, &k))
            p.harmMag[k] = WireReal(word);
        else if (Channel(id, 0x55, &k))
            p.harmAng[k] = WireReal(word);
        else if (id == 0x00)
            p.item = static_cast<int32_t>(word);
        else if (id == 0x02)
            p.preFaultS = std::max(0.0, WireReal(word));
        else if (id == 0xA9)
            p.faultS = std::max(0.0, WireReal(word));
        else if (id == 0x44)
            p.harmOrder = word;
        else if (id == 0xA5)
            p.condition.all = word != 0;
        else if (id == 0xA6)
            p.condition.selected = word & 0xFFFF;
    }
    return p;
}

Phasor Polar(double mag, double degrees) { return std::polar(mag, degrees * std::numbers::pi / 180); }

// Whether the differential element trips on the fault state: any phase that
// operates and is not blocked.
bool Operates(const DiffParams& p, const VirtualRelay& relay) {
    const bool gapItems = p.item >= 2;
    for (uint32_t phase = 0; phase < 3; ++phase) {
        const uint32_t sides[2] = {phase, phase + 3};
        Phasor sum, harmSum;
        double restraint = 0, widestGap = 0;
        for (uint32_t k : sides) {
            // The gap-angle items play each current from angle 0, its
            // waveform broken by the gap.
            sum += Polar(p.faultMag[k], gapItems ? 0 : p.faultAng[k]);
            harmSum += Polar(p.harmMag[k], p.harmAng[k]);
            restraint += std::fabs(p.faultMag[k]) / 2;
            if (gapItems && p.faultMag[k] != 0) widestGap = std::max(widestGap, p.faultAng[k]);
        }
        const double differential = std::abs(sum);
        const double setting =
            relay.diffMinA +
            relay.diffSlope * std::max(0.0, restraint - static_cast<double>(relay.diffKneeA));
        if (differential < setting) continue;
        const bool harmBlocked = p.harmOrder == 2 && std::abs(harmSum) >= relay.diffHarmRatio * differential;
        const bool gapBlocked = gapItems && widestGap >= relay.diffGapDeg;
        if (!harmBlocked && !gapBlocked) return true;
    }
    return false;
}

} // namespace

std::vector<TimedReport> PlayDifferential(const PlayInput& in) {
    const DiffParams p = Decode(in.params);
    const VirtualRelay& relay = in.relay;
    std::vector<TimedReport> reports;
    // A harmonic this tester cannot play: the test does not run.
    const bool harmonics =
        std::any_of(std::begin(p.harmMag), std::end(p.harmMag), [](double m) { return m != 0; });
    if (harmonics && (p.harmOrder < kLowestHarmonic || p.harmOrder > kHighestHarmonic)) {
        reports.push_back({0, 0x0207, ResultPayload({0, kNotHappenedTicks})});
        return reports;
    }
    const double delayS = std::round(relay.diffDelayS * 1e4) / 1e4;
    const bool trips = relay.differential && Operates(p, relay) && p.condition.MetBy(1u << relay.diffInput) &&
                       delayS <= p.faultS;
    if (!trips) {
        reports.push_back({p.preFaultS + p.faultS, 0x0207, ResultPayload({0, kNotHappenedTicks})});
        return reports;
    }
    const double tripS = p.preFaultS + delayS;
    reports.push_back({tripS, 0x0206, InputState(1u << relay.diffInput)});
    reports.push_back({tripS, 0x0207, ResultPayload({1, Ticks(delayS)})});
    return reports;
}

} // namespace sim
