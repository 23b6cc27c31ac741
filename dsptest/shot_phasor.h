// What the whole-group fault and the oscillation tests carry alike: their
// currents as magnitude/angle phasors rather than whole channels, and the
// trip logic of their inputs and outputs.
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

// The inputs of phases A, B, C and of the reclose, how long an input must
// hold, and the outputs with their switching: the same keys in both structs.
template <class Test>
void WalkTripLogic(FieldWalker& w, Test& t) {
    w.Int(OLESTR("A"), t.a);
    w.Int(OLESTR("B"), t.b);
    w.Int(OLESTR("C"), t.c);
    w.Int(OLESTR("R"), t.r);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Ints(OLESTR("Output_0"), t.output);
    w.Int(OLESTR("OutputSwitchMode"), t.outputSwitchMode);
    w.Real(OLESTR("OutputDelayTime"), t.outputDelayTime);
    w.Real(OLESTR("OutputKeepTime"), t.outputKeepTime);
}
