#include "sim/player.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

struct PlayerEntry {
    uint16_t dspTestId; // the program the PC selected (0x0200)
    TestPlayer play;
    // The program runs one test point after another until it is stopped:
    // a point switched in while it runs is played at once.
    bool pointByPoint = false;
};

// The test programs this tester plays; a new test type adds its row.
// clang-format off
constexpr PlayerEntry kPlayers[] = {
    {1, PlayVoltageCurrent},
    {2, PlayRamp},
    {3, PlayTimer},
    {4, PlayHarmonic},
    {6, PlayWave},
    {7, PlayStateSequence},
    {9, PlayDifferential, true},
    {10, PlaySynchronising},
    {5, PlayOsc},
    {7, PlayStateSequence},
    {8, PlayShot},
    {13, PlayTrack},
    {14, PlayAdjustment},
    {203, PlayChannelSequence},
};
// clang-format on

// The relay's settings on vts-sim's command line; a new element adds its rows.
constexpr RelaySetting kRelaySettings[] = {
    {"--oc-pickup", &VirtualRelay::pickupA, nullptr, "over-current pick-up on any current channel, A"},
    {"--oc-delay", &VirtualRelay::delayS, nullptr, "over-current trip delay, s"},
    {"--dropoff-ratio", &VirtualRelay::dropOffRatio, nullptr, "drop-off over pick-up of both elements"},
    {"--uv-pickup", &VirtualRelay::underVoltageV, nullptr,
     "under-voltage pick-up, phase-to-neutral on channels 0-2, V"},
    {"--uv-delay", &VirtualRelay::underVoltageDelayS, nullptr, "under-voltage trip delay, s"},
    {"--harm2-restraint", &VirtualRelay::harm2RestraintPercent, nullptr,
     "second harmonic that blocks over-current, % of a current's fundamental"},
    {"--no-oc", nullptr, &VirtualRelay::enabled, "leave the over-current element out"},
    {"--no-uv", nullptr, &VirtualRelay::underVoltage, "leave the under-voltage element out"},
    {"--no-harm2", nullptr, &VirtualRelay::harm2Restraint, "leave the second-harmonic restraint out"},
    {"--diff-min", &VirtualRelay::diffMinA, nullptr, "differential: least operating current, A"},
    {"--diff-slope", &VirtualRelay::diffSlope, nullptr, "differential: restraint slope beyond the knee"},
    {"--diff-knee", &VirtualRelay::diffKneeA, nullptr,
     "differential: restraint current where the slope starts, A"},
    {"--diff-harm2", &VirtualRelay::diffHarmRatio, nullptr,
     "differential: second harmonic over fundamental that blocks"},
    {"--diff-gap", &VirtualRelay::diffGapDeg, nullptr, "differential: gap angle that blocks, degrees"},
    {"--diff-delay", &VirtualRelay::diffDelayS, nullptr, "differential: trip delay, s"},
    {"--no-diff", nullptr, &VirtualRelay::differential, "leave the differential element (input 2) out"},
    {"--syn-fband", &VirtualRelay::synFreqBandHz, nullptr, "synchroniser: frequency band, Hz"},
    {"--syn-vband", &VirtualRelay::synVoltBandV, nullptr, "synchroniser: voltage band, V"},
    {"--syn-fpulse", &VirtualRelay::synFreqPulseS, nullptr, "synchroniser: frequency pulse width, s"},
    {"--syn-vpulse", &VirtualRelay::synVoltPulseS, nullptr, "synchroniser: voltage pulse width, s"},
    {"--syn-period", &VirtualRelay::synPulsePeriodS, nullptr, "synchroniser: pulse period, s, not below 0.1"},
    {"--syn-lead", &VirtualRelay::synLeadS, nullptr, "synchroniser: constant lead time of the closing, s"},
    {"--no-syn", nullptr, &VirtualRelay::synchroniser,
     "leave the synchronising device out (it closes by input 3; raises and lowers the frequency, "
     "then the voltage, by inputs 4 to 7)"},
    {"--reclose-delay", &VirtualRelay::recloseDelayS, nullptr,
     "auto-reclose dead time from the breaker's opening to the reclose contact (input 8), s"},
    {"--no-reclose", nullptr, &VirtualRelay::reclose, "leave the auto-reclose out"},
    {"--psb-rate", &VirtualRelay::swingBlockRate, nullptr,
     "power-swing blocking: over-current blocked unless phase A's impedance moves faster at pick-up, ohm/s"},
    {"--no-psb", nullptr, &VirtualRelay::swingBlocking, "leave the power-swing blocking out"},
};

} // namespace

std::span<const RelaySetting> RelaySettings() { return kRelaySettings; }

Bytes InputState(uint32_t closedInputs) {
    Bytes state(64);
    for (size_t b = 0; b < 4; ++b) state[b] = static_cast<uint8_t>(closedInputs >> 8 * b);
    return state;
}

Bytes ResultPayload(const std::vector<int32_t>& words) {
    Bytes payload(4 * words.size());
    for (size_t i = 0; i < words.size(); ++i)
        for (size_t b = 0; b < 4; ++b)
            payload[4 * i + b] = static_cast<uint8_t>(static_cast<uint32_t>(words[i]) >> 8 * b);
    return payload;
}

bool ChannelSetLevels::Take(uint16_t id, uint32_t word, uint16_t first) {
    if (id < first || id >= first + 0x80) return false;
    const uint32_t group = (id - first) / 0x40, quantity = (id - first) % 0x40 / 0x10,
                   k = (id - first) % 0x10;
    if (quantity == 0) {
        units[group][k] = static_cast<int32_t>(word);
        present[group] |= 1u << k;
    }
    return true;
}

RelayInputs ChannelSetLevels::Relay() const {
    const auto real = [](int32_t level) { return std::abs(static_cast<double>(level)) / 10000; };
    RelayInputs in;
    for (int32_t level : units[1]) in.maxCurrentA = std::max(in.maxCurrentA, real(level));
    in.minPhaseVoltageV = std::min({real(units[0][0]), real(units[0][1]), real(units[0][2])});
    return in;
}

TestPlayer FindTestPlayer(uint16_t dspTestId, bool* pointByPoint) {
    for (const PlayerEntry& entry : kPlayers) {
        if (entry.dspTestId != dspTestId) continue;
        if (pointByPoint) *pointByPoint = entry.pointByPoint;
        return entry.play;
    }
    if (pointByPoint) *pointByPoint = false;
    return nullptr;
}

} // namespace sim
