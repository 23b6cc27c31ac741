#include "sim/player.h"

#include <cmath>
#include <limits>

namespace sim {
namespace {

// A setting at the tester's resolution (0.0001 of its unit), so that values
// that came over the wire meet it exactly: 0.95 x 5 A is 4.75 A and a delay
// of 0.1 s is 0.1 s, not the floats next to them.
double Level(double value) { return std::round(value * 1e4) / 1e4; }

} // namespace

void RelayClock::Apply(double now, const RelayInputs& in) {
    // An element picks up at its setting and drops off at or beyond its
    // drop-off level: over-current at or below ratio x pick-up, under-voltage
    // at or above pick-up / ratio.
    const double ocPickup = Level(relay_.pickupA), ocDropOff = Level(relay_.dropOffRatio * relay_.pickupA);
    const double uvPickup = Level(relay_.underVoltageV),
                 uvDropOff = Level(relay_.underVoltageV / relay_.dropOffRatio);
    const bool restrained =
        relay_.harm2Restraint && in.maxHarm2Percent >= Level(relay_.harm2RestraintPercent);
    const bool overCurrent =
        relay_.enabled && !restrained &&
        (overCurrent_.since >= 0 ? in.maxCurrentA > ocDropOff : in.maxCurrentA >= ocPickup);
    const bool underVoltage =
        relay_.underVoltage &&
        (underVoltage_.since >= 0 ? in.minPhaseVoltageV < uvDropOff : in.minPhaseVoltageV < uvPickup);
    overCurrent_.since = overCurrent ? (overCurrent_.since >= 0 ? overCurrent_.since : now) : -1;
    underVoltage_.since = underVoltage ? (underVoltage_.since >= 0 ? underVoltage_.since : now) : -1;
}

uint32_t RelayClock::InputsAt(double t) const {
    uint32_t closed = 0;
    if (overCurrent_.since >= 0 && overCurrent_.since + Level(relay_.delayS) <= t)
        closed |= 1u << relay_.input;
    if (underVoltage_.since >= 0 && underVoltage_.since + Level(relay_.underVoltageDelayS) <= t)
        closed |= 1u << relay_.underVoltageInput;
    return closed;
}

bool RelayClock::NextTrip(double now, uint32_t* input, double* at) const {
    double first = std::numeric_limits<double>::infinity();
    const auto consider = [&](const Element& e, double delay, uint32_t wired) {
        if (e.since < 0 || e.since + delay <= now || e.since + delay >= first) return;
        first = e.since + delay;
        *input = wired;
    };
    consider(overCurrent_, Level(relay_.delayS), relay_.input);
    consider(underVoltage_, Level(relay_.underVoltageDelayS), relay_.underVoltageInput);
    *at = first;
    return first != std::numeric_limits<double>::infinity();
}

} // namespace sim
