// Phasor and sequence arithmetic: polar/rectangular conversion, complex
// arithmetic, the balanced load state, phase-to-phase and symmetrical
// component transforms, three-phase power.
#include "calc_numbers.h"
#include "sub_calcu.h"

#include <cmath>

void Csub_calcu::POtoXY(float mag, float ang, float* x, float* y) const {
    double rad = ang * kDegToRad;
    *x = SnapToZero(mag * std::cos(rad));
    *y = SnapToZero(mag * std::sin(rad));
}

void Csub_calcu::XYtoPO(float x, float y, float* mag, float* ang) const {
    double m = std::sqrt(double(x) * x + double(y) * y);
    double a = 0;
    // asin keeps the angle of the right half-plane; the left half-plane is
    // folded over from it, the negative real axis landing on -180.
    if (m > kZeroThreshold) a = std::asin(std::fmin(1.0, std::fmax(-1.0, y / m))) * kRadToDeg;
    if (x < 0) a = y > 0 ? 180.0 - a : -180.0 - a;
    *mag = static_cast<float>(m);
    *ang = static_cast<float>(a);
}

void Csub_calcu::Add(float mag1, float ang1, float mag2, float ang2, float* mag, float* ang) const {
    VarelCalc_Phasor sum = PolarAdd({mag1, ang1}, {mag2, ang2});
    *mag = sum.Mag;
    *ang = sum.Ang;
}

void Csub_calcu::Sub(float mag1, float ang1, float mag2, float ang2, float* mag, float* ang) const {
    VarelCalc_Phasor difference = PolarSub({mag1, ang1}, {mag2, ang2});
    *mag = difference.Mag;
    *ang = difference.Ang;
}

void Csub_calcu::Mul(float x1, float y1, float x2, float y2, float* x, float* y) const {
    *x = static_cast<float>(double(x1) * x2 - double(y1) * y2);
    *y = static_cast<float>(double(x2) * y1 + double(y2) * x1);
}

void Csub_calcu::Div(float x1, float y1, float x2, float y2, float* x, float* y) const {
    double d = double(x2) * x2 + double(y2) * y2;
    if (std::fabs(d) > kZeroThreshold) {
        *x = static_cast<float>((double(x1) * x2 + double(y1) * y2) / d);
        *y = static_cast<float>((double(x2) * y1 - double(y2) * x1) / d);
    } else {
        *x = *y = kQuotientSubstitute;
    }
}

Csub_calcu::Rect Csub_calcu::ToRect(VarelCalc_Phasor p) const {
    Rect r;
    POtoXY(p.Mag, p.Ang, &r.x, &r.y);
    return r;
}

VarelCalc_Phasor Csub_calcu::ToPolar(Rect r) const {
    VarelCalc_Phasor p;
    XYtoPO(r.x, r.y, &p.Mag, &p.Ang);
    return p;
}

Csub_calcu::Rect Csub_calcu::Times(Rect a, Rect b) const {
    Rect r;
    Mul(a.x, a.y, b.x, b.y, &r.x, &r.y);
    return r;
}

Csub_calcu::Rect Csub_calcu::Over(Rect a, Rect b) const {
    Rect r;
    Div(a.x, a.y, b.x, b.y, &r.x, &r.y);
    return r;
}

Csub_calcu::Rect Csub_calcu::Plus(Rect a, Rect b) const {
    return {static_cast<float>(double(a.x) + b.x), static_cast<float>(double(a.y) + b.y)};
}

Csub_calcu::Rect Csub_calcu::Minus(Rect a, Rect b) const {
    return {static_cast<float>(double(a.x) - b.x), static_cast<float>(double(a.y) - b.y)};
}

VarelCalc_Phasor Csub_calcu::PolarAdd(VarelCalc_Phasor a, VarelCalc_Phasor b) const {
    return ToPolar(Plus(ToRect(a), ToRect(b)));
}

VarelCalc_Phasor Csub_calcu::PolarSub(VarelCalc_Phasor a, VarelCalc_Phasor b) const {
    return ToPolar(Minus(ToRect(a), ToRect(b)));
}

void Csub_calcu::LoadState(VarelCalc_LoadState& s) const {
    for (int i = 0; i < 3; ++i) {
        s.Up[i] = {s.Us, ReduceAngle(kPhaseAngle[i])};
        float ang = s.ILoad_Mag != 0 ? FoldAngle(double(kPhaseAngle[i]) + s.ILoad_Ang) : 0.0f;
        s.Ip[i] = {s.ILoad_Mag, ReduceAngle(ang)};
    }
}

void Csub_calcu::ABCtoPP(VarelCalc_ABCPP& s) const {
    for (int i = 0; i < 3; ++i) s.Result_Up[i] = PolarSub(s.Up[i], s.Up[(i + 1) % 3]);
}

HRESULT Csub_calcu::PPtoABC(VarelCalc_ABCPP& s) const {
    const VarelCalc_Phasor &ab = s.Up[0], &bc = s.Up[1], &ca = s.Up[2];
    VarelCalc_Phasor closure = PolarAdd(PolarAdd(ab, bc), ca);
    if (!(closure.Mag < kClosureThreshold)) return E_INVALIDARG;
    VarelCalc_Phasor b = PolarSub(bc, ab);
    b.Mag = static_cast<float>(b.Mag / 3.0);
    VarelCalc_Phasor a = PolarAdd(b, ab);
    VarelCalc_Phasor c = PolarSub(b, bc);
    s.Result_Up[0] = a;
    s.Result_Up[1] = b;
    s.Result_Up[2] = c;
    return S_OK;
}

void Csub_calcu::ABCto120(VarelCalc_ABC120& s) const {
    Rect a = ToRect(s.Up[0]), b = ToRect(s.Up[1]), c = ToRect(s.Up[2]);
    const double k = kHalfSqrt3;
    double common = a.x - 0.5 * b.x - 0.5 * c.x, commonY = a.y - 0.5 * b.y - 0.5 * c.y;
    Rect positive = {static_cast<float>((common - k * b.y + k * c.y) / 3),
                     static_cast<float>((commonY + k * b.x - k * c.x) / 3)};
    Rect negative = {static_cast<float>((common + k * b.y - k * c.y) / 3),
                     static_cast<float>((commonY - k * b.x + k * c.x) / 3)};
    Rect residual = {static_cast<float>(double(a.x) + b.x + c.x),
                     static_cast<float>(double(a.y) + b.y + c.y)};
    s.Result_Up[0] = ToPolar(positive);
    s.Result_Up[1] = ToPolar(negative);
    s.Result_Up[2] = ToPolar(residual);
}

void Csub_calcu::SeqToABC(VarelCalc_ABC120& s) const {
    const VarelCalc_Phasor &p1 = s.Up[0], &p2 = s.Up[1];
    VarelCalc_Phasor zero = {static_cast<float>(s.Up[2].Mag / 3.0), s.Up[2].Ang};
    auto turned = [](VarelCalc_Phasor p, double by) {
        return VarelCalc_Phasor{p.Mag, static_cast<float>(p.Ang + by)};
    };
    s.Result_Up[0] = PolarAdd(PolarAdd(p1, p2), zero);
    s.Result_Up[1] = PolarAdd(PolarAdd(turned(p1, -120), turned(p2, 120)), zero);
    s.Result_Up[2] = PolarAdd(PolarAdd(turned(p1, 120), turned(p2, -120)), zero);
}

namespace {

// |U|·|I|·cos and sin of the angle between them, summed into p and q.
void AddPower(VarelCalc_Phasor u, VarelCalc_Phasor i, double* p, double* q) {
    double phi = (double(u.Ang) - i.Ang) * kDegToRad;
    *p += double(u.Mag) * i.Mag * std::cos(phi);
    *q += double(u.Mag) * i.Mag * std::sin(phi);
}

} // namespace

void Csub_calcu::PQ(VarelCalc_PQ& s) const {
    double p = 0, q = 0;
    if (s.CalcuMode == 0) {
        for (int i = 0; i < 3; ++i) AddPower(s.Up[i], s.Ip[i], &p, &q);
    } else if (s.CalcuMode == 1) {
        // Two wattmeters: UAB with IA and UCB with IC measure the whole
        // three-wire system, reactive power included.
        AddPower(PolarSub(s.Up[0], s.Up[1]), s.Ip[0], &p, &q);
        AddPower(PolarSub(s.Up[2], s.Up[1]), s.Ip[2], &p, &q);
    }
    s.P = static_cast<float>(p);
    s.Q = static_cast<float>(q);
    double apparent = std::sqrt(double(s.P) * s.P + double(s.Q) * s.Q);
    s.COS = apparent > kZeroThreshold ? static_cast<float>(s.P / apparent) : 0.0f;
}
