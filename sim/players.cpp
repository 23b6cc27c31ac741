#include "sim/player.h"

namespace sim {
namespace {

struct PlayerEntry {
    uint16_t dspTestId; // the program the PC selected (0x0200)
    TestPlayer play;
};

// The test programs this tester plays; a new test type adds its row.
constexpr PlayerEntry kPlayers[] = {
    {1, PlayVoltageCurrent},
    {2, PlayRamp},
    {7, PlayStateSequence},
    {13, PlayTrack},
    {14, PlayAdjustment},
};

} // namespace

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

TestPlayer FindTestPlayer(uint16_t dspTestId) {
    for (const PlayerEntry& entry : kPlayers)
        if (entry.dspTestId == dspTestId) return entry.play;
    return nullptr;
}

} // namespace sim
