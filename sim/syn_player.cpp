#include "sim/player.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

// The download as this tester reads it (reals in their units).
struct SynParams {
    double vsMag = 0, vsAng = 0, vsFre = 0;
    double vgMag = 0, vgAng = 0, vgFre = 0;
    double voltRate = 0, freqRate = 0; // V/s, Hz/s
};

SynParams Decode(const ParamPairs& pairs) {
    SynParams p;
    for (const auto& [tag, word] : pairs) {
        const double value = WireReal(word);
        switch (tag & 0x0FFF) {
        case 1: p.vsMag = value; break;
        case 2: p.vsAng = value; break;
        case 3: p.vsFre = value; break;
        case 4: p.vgMag = value; break;
        case 5: p.vgAng = value; break;
        case 6: p.vgFre = value; break;
        case 7: p.freqRate = value; break;
        case 8: p.voltRate = value; break;
        }
    }
    return p;
}

// The device's pulses come at least this far apart.
constexpr double kShortestPulsePeriodS = 0.1;

// An angle in 0..360.
double Wrap(double degrees) {
    const double a = std::fmod(degrees, 360.0);
    return a < 0 ? a + 360 : a;
}

// The pulses of one kind the tester saw: the first one's width and the
// pause before the second (0 until there is one).
struct PulseKind {
    double firstStart = -1, firstWidth = 0, pause = 0;
    void Saw(double start, double width) {
        if (firstStart < 0)
            firstStart = start, firstWidth = width;
        else if (pause == 0)
            pause = start - (firstStart + firstWidth);
    }
};

// The generator side as the tester plays it, and what it has seen of the
// synchronising device.
class Generator {
public:
    Generator(const SynParams& p, const VirtualRelay& relay) : p_(p), relay_(relay) {
        voltage_ = p.vgMag;
        frequency_ = p.vgFre;
        phase_ = p.vgAng - p.vsAng;
    }

    // One period of the device from now: the pulses it sends (reported as
    // an intermediate report), the generator moving during them; false when
    // it sends none, being within both bands.
    bool Adjust(std::vector<TimedReport>& reports) {
        const double period = Period();
        const double slip = frequency_ - p_.vsFre, voltageGap = voltage_ - p_.vsMag;
        const bool adjustFrequency = std::fabs(slip) > relay_.synFreqBandHz;
        const bool adjustVoltage = std::fabs(voltageGap) > relay_.synVoltBandV;
        if (!adjustFrequency && !adjustVoltage) return false;
        uint32_t pulses = 0;
        double frequencyWidth = 0;
        double frequencySign = 0;
        if (adjustFrequency) {
            // Raise when the generator runs slow, else lower.
            const int kind = slip < 0 ? 0 : 1;
            frequencyWidth = std::min<double>(relay_.synFreqPulseS, period);
            frequencySign = slip < 0 ? 1 : -1;
            seen_[kind].Saw(now_, frequencyWidth);
            pulses |= 1u << (relay_.synInput + 1 + kind);
        }
        if (adjustVoltage) {
            const int kind = voltageGap < 0 ? 2 : 3;
            const double width = std::min<double>(relay_.synVoltPulseS, period);
            seen_[kind].Saw(now_, width);
            pulses |= 1u << (relay_.synInput + 1 + kind);
            voltage_ += (voltageGap < 0 ? 1 : -1) * p_.voltRate * width;
        }
        reports.push_back({now_, 0x0208, Report(pulses, now_)});
        // The phase runs at the slip; during a frequency pulse the slip
        // itself moves at the rate.
        const double ramp = frequencySign * p_.freqRate;
        phase_ += 360 * (slip * period + ramp * frequencyWidth * (period - frequencyWidth / 2));
        frequency_ += ramp * frequencyWidth;
        now_ += period;
        return true;
    }

    // When the device, within both bands from now on, closes: the slip
    // brings the generator's phase to the system's lead time later; false
    // when it does not by endS (no slip, or not soon enough).
    bool Closing(double endS, double* at) const {
        const double slip = frequency_ - p_.vsFre;
        if (std::fabs(slip) < 1e-9) return false;
        // The phase at which the device closes, and how far the slip still
        // has to carry the phase there.
        const double target = -360 * slip * relay_.synLeadS;
        const double travel = slip > 0 ? Wrap(target - phase_) : Wrap(phase_ - target);
        *at = now_ + travel / (360 * std::fabs(slip));
        return *at <= endS;
    }

    // The result at time t (the generator steady since now): the system's
    // and generator's phases, frequency and voltage, the pulses' widths and
    // pauses (raise and lower frequency, raise and lower voltage).
    std::vector<int32_t> Result(bool closed, double t) const {
        const double system = Wrap(p_.vsAng + 360 * std::fmod(p_.vsFre * t, 1.0));
        const double generator = Wrap(system + PhaseAt(t));
        std::vector<int32_t> words = {closed ? 1 : 0, Ticks(system), Ticks(generator), Ticks(frequency_),
                                      Ticks(voltage_)};
        for (const PulseKind& kind : seen_) words.push_back(Ticks(kind.firstWidth));
        for (const PulseKind& kind : seen_) words.push_back(Ticks(kind.pause));
        return words;
    }

    // An intermediate report at time t (not before now): the device's
    // outputs as the tester's inputs see them, the generator's voltage and
    // frequency, its phase against the system's (-180..180) and the time.
    Bytes Report(uint32_t inputs, double t) const {
        const double phase = Wrap(PhaseAt(t) + 180) - 180;
        return ResultPayload(
            {static_cast<int32_t>(inputs), Ticks(voltage_), Ticks(frequency_), Ticks(phase), Ticks(t)});
    }

    double Now() const { return now_; }

private:
    // The device's period, at least kShortestPulsePeriodS.
    double Period() const { return std::max<double>(relay_.synPulsePeriodS, kShortestPulsePeriodS); }
    // The generator's phase against the system's at time t, steady since now.
    double PhaseAt(double t) const { return phase_ + 360 * (frequency_ - p_.vsFre) * (t - now_); }

    const SynParams& p_;
    const VirtualRelay& relay_;
    double now_ = 0;
    double voltage_, frequency_;
    double phase_; // the generator's against the system's, degrees
    PulseKind seen_[4];
};

} // namespace

std::vector<TimedReport> PlaySynchronising(const PlayInput& in) {
    const SynParams p = Decode(in.params);
    const VirtualRelay& relay = in.relay;
    Generator generator(p, relay);
    std::vector<TimedReport> reports;
    double closingS = kSynchronisingSeconds;
    bool closed = false;
    if (relay.synchroniser) {
        while (generator.Now() < kSynchronisingSeconds && generator.Adjust(reports)) {
        }
        closed =
            generator.Now() < kSynchronisingSeconds && generator.Closing(kSynchronisingSeconds, &closingS);
        if (!closed) closingS = kSynchronisingSeconds;
    }
    if (closed) reports.push_back({closingS, 0x0208, generator.Report(1u << relay.synInput, closingS)});
    reports.push_back({closingS, 0x0207, ResultPayload(generator.Result(closed, closingS))});
    return reports;
}

} // namespace sim
