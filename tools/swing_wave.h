// The power swing waveform a host computes for the swing test: two sources,
// M at the swing angle and N at 0 degrees, across the system impedance, seen
// at the relay behind source M's impedance. It goes into the block the
// test's module downloads from, and its size and point count into the
// document.
#pragma once

#include "file_mapping.h"

#include <varel/vts_gdata.h>

#include <complex>
#include <vector>

struct SwingSettings {
    std::complex<double> preU[3], preI[3]; // the pre-swing phasors (RMS)
    double preSeconds = 1;
    double em = 57.735, en = 57.735;               // V
    std::complex<double> zTotal{0, 10}, zm{0, 10}; // ohm
    int mode = 0; // 0: to and fro between the angles; else a slip of whole turns
    double fromDeg = 0, toDeg = 80;
    bool reverse = false; // a slip turns the angle down instead of up
    double periodSeconds = 0.5;
    double fre = 50;
    int swings = 10;
    // A three-phase fault at the relay during the swing: the voltages gone,
    // source M's current through Zm alone.
    bool fault = false;
    double faultAtSeconds = 1; // from the swing's start
    double faultSeconds = 1;
};

// From "TestParams" of a power swing document; false when a value is
// missing or cannot be played (a period, frequency or impedance not above
// 0, a negative time or count, a fault without source M's impedance).
bool SwingSettingsOf(IGenericData* document, SwingSettings* settings);

// The angle of source M seconds into the swing: mode 0 goes from the first
// angle to the second and back once a period, as 1 - cos; a slip turns
// 360 degrees a period from the first angle.
double SwingAngle(const SwingSettings& s, double seconds);

// Phase A at the relay at swing angle deltaDeg: I = (Em/delta - En) /
// Ztotal, U = Em/delta - I x Zm.
struct SwingPoint {
    std::complex<double> u, i;
};
SwingPoint SwingAt(const SwingSettings& s, double deltaDeg);

// The points, kOscPointFloats floats each (peak instantaneous values): the
// pre-swing phasors, then the swing for its number of periods (with the
// fault for its time), phases B and C 120 degrees behind and ahead of A.
// Empty when it would pass maxPoints.
std::vector<float> SwingWave(const SwingSettings& s, size_t maxPoints);

// The whole step of a host: the waveform of the document's settings into
// the block (kept open by block), the document's point count, size and
// start points set. S_OK, E_INVALIDARG for settings that cannot be played,
// E_OUTOFMEMORY when the block cannot be made.
HRESULT PrepareSwingWave(IGenericData* document, SharedMemory& block);
