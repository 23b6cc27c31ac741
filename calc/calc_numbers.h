// The constants and angle rules every calculation shares.
#pragma once

#include <cmath>

inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kSqrt3 = 1.7320508075688772;
inline constexpr double kHalfSqrt3 = kSqrt3 / 2;
// Components, magnitudes and divisors up to this are zero.
inline constexpr double kZeroThreshold = 1e-5;
// Three line voltages whose sum is below this close into a triangle.
inline constexpr double kClosureThreshold = 1e-4;
// Impedances up to this are taken as vanishing.
inline constexpr double kImpedanceThreshold = 0.0001;
// A complex quotient over a vanishing divisor: both components.
inline constexpr float kQuotientSubstitute = 100000.0f;
// A current from a voltage over a vanishing impedance.
inline constexpr float kCurrentSubstitute = 10000.0f;
// The source-impedance mode lowers the source so that no current exceeds this.
inline constexpr double kCurrentLimitA = 10.0;
// Phase angles of A, B, C.
inline constexpr float kPhaseAngle[3] = {0.0f, -120.0f, 120.0f};

inline float SnapToZero(double component) {
    return std::fabs(component) <= kZeroThreshold ? 0.0f : static_cast<float>(component);
}

// The floating remainder by 360 (the sign of the angle kept).
inline float ReduceAngle(double degrees) {
    return static_cast<float>(std::fmod(degrees, 360.0));
}

// Reduced by 360, then into [-180, 180].
inline float FoldAngle(double degrees) {
    double a = std::fmod(degrees, 360.0);
    if (a > 180) a -= 360;
    if (a < -180) a += 360;
    return static_cast<float>(a);
}
