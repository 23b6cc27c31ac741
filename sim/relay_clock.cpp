#include "sim/player.h"

#include <cmath>
#include <limits>

namespace sim {

void RelayClock::Apply(double now, const RelayInputs& in) {
    // Picked-up elements hold until the quantity passes the drop-off side.
    const bool overCurrent =
        relay_.enabled && (overCurrent_.since >= 0 ? in.maxCurrentA >= relay_.dropOffRatio * relay_.pickupA
                                                   : in.maxCurrentA >= relay_.pickupA);
    const bool underVoltage =
        relay_.underVoltage &&
        (underVoltage_.since >= 0 ? in.minPhaseVoltageV < relay_.underVoltageV / relay_.dropOffRatio
                                  : in.minPhaseVoltageV < relay_.underVoltageV);
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
