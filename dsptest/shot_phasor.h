// The magnitude/angle record of the tests that carry their currents as
// phasors rather than as whole channels.
#pragma once

#include "dsptest/struct_document.h"

struct ShotPhasor {
    float mag; // V or A
    float ang; // degrees
};
static_assert(sizeof(ShotPhasor) == 8, "ShotPhasor is 8 bytes");

// Under key: "0".."N-1", each "Mag" and "Ang".
template <size_t N>
void WalkPhasors(FieldWalker& w, const WCHAR* key, ShotPhasor (&phasors)[N]) {
    w.Array(key, N, [&](uint32_t k) {
        w.Real(OLESTR("Mag"), phasors[k].mag);
        w.Real(OLESTR("Ang"), phasors[k].ang);
    });
}
