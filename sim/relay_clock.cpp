#include "sim/player.h"

#include <cmath>
#include <limits>

namespace sim {

namespace {

// The tester compares quantities and settings at its resolution, 1/10000 of
// a volt or ampere, so 4.75 A meets a drop-off of 0.95 x 5 A exactly.
int64_t Units(double value) { return std::llround(value * 10000); }

} // namespace

void RelayClock::Apply(double now, const RelayInputs& in) {
    const int64_t current = Units(in.maxCurrentA), voltage = Units(in.minPhaseVoltageV);
    // Picked-up elements hold until the quantity meets the drop-off.
    const bool overCurrent =
        relay_.enabled && (overCurrent_.since >= 0 ? current > Units(relay_.dropOffRatio * relay_.pickupA)
                                                   : current >= Units(relay_.pickupA));
    const bool underVoltage =
        relay_.underVoltage &&
        (underVoltage_.since >= 0 ? voltage < Units(relay_.underVoltageV / relay_.dropOffRatio)
                                  : voltage < Units(relay_.underVoltageV));
    overCurrent_.since = overCurrent ? (overCurrent_.since >= 0 ? overCurrent_.since : now) : -1;
    underVoltage_.since = underVoltage ? (underVoltage_.since >= 0 ? underVoltage_.since : now) : -1;
}

uint32_t RelayClock::InputsAt(double t) const {
    uint32_t closed = 0;
    if (overCurrent_.since >= 0 && overCurrent_.since + relay_.delayS <= t) closed |= 1u << relay_.input;
    if (underVoltage_.since >= 0 && underVoltage_.since + relay_.underVoltageDelayS <= t)
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
    consider(overCurrent_, relay_.delayS, relay_.input);
    consider(underVoltage_, relay_.underVoltageDelayS, relay_.underVoltageInput);
    *at = first;
    return first != std::numeric_limits<double>::infinity();
}

} // namespace sim
