#include "sim/player.h"

namespace sim {
namespace {

struct PlayerEntry {
    uint16_t dspTestId; // the program the PC selected (0x0200)
    TestPlayer play;
};

// The test programs this tester plays; a new test type adds its row.
constexpr PlayerEntry kPlayers[] = {
    {2, PlayRamp},
    {7, PlayStateSequence},
};

} // namespace

TestPlayer FindTestPlayer(uint16_t dspTestId) {
    for (const PlayerEntry& entry : kPlayers)
        if (entry.dspTestId == dspTestId) return entry.play;
    return nullptr;
}

} // namespace sim
