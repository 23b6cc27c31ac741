// Fault state: the three phase voltages and currents during a fault of a
// given type, direction, impedance and severity, on top of the load state.
#include "calc_numbers.h"
#include "sub_calcu.h"

#include <cmath>

namespace {

enum Severity : int32_t { kConstantCurrent = 0, kConstantVoltage = 1, kSourceImpedance = 2 };

// The two phases of the phase-to-phase and two-phase-to-earth types 3-5 and
// 6-8, and the healthy third one.
constexpr int kFirst[3] = {0, 1, 2};
constexpr int kSecond[3] = {1, 2, 0};
constexpr int kHealthy[3] = {2, 0, 1};

bool KnownFaultType(int32_t type) {
    return type >= 0 && type <= 9;
}

float Product(double a, double b) {
    return static_cast<float>(a * b);
}

} // namespace

void Csub_calcu::StartFault(float us) {
    for (int i = 0; i < 3; ++i) {
        preU_[i] = {us, kPhaseAngle[i]};
        faultU_[i] = preU_[i];
        faultI_[i] = {0.0f, 0.0f};
    }
}

// The source-impedance mode keeps the current at its limit by lowering the
// source; the healthy phases show the lowered voltage.
void Csub_calcu::ScaleSource(double mag) {
    for (int i = 0; i < 3; ++i) {
        preU_[i].Mag = static_cast<float>(mag);
        faultU_[i] = preU_[i];
    }
}

Csub_calcu::Rect Csub_calcu::EarthFactor(const VarelCalc_Fault& s, Rect zf) const {
    switch (s.KL_Mode) {
        case 1: {
            // (KR·R + j·KX·X)/Zf
            double r = zf.x, x = zf.y, z2 = r * r + x * x;
            if (std::sqrt(z2) < 0.001) return {0.0f, 0.0f};
            return {static_cast<float>((s.KL_KR * r * r + s.KL_KX * x * x) / z2),
                    static_cast<float>(r * x * (double(s.KL_KX) - s.KL_KR) / z2)};
        }
        case 2: {
            // Z0/Z1 = k gives (k - 1)/3.
            Rect k = ToRect({s.KL_Mag, s.KL_Ang});
            return {static_cast<float>((double(k.x) - 1) / 3), static_cast<float>(k.y / 3.0)};
        }
        default:
            return ToRect({s.KL_Mag, s.KL_Ang});
    }
}

// Each faulted phase voltage carries the drop of its load current over the
// fault impedance.
void Csub_calcu::AddLoadDrop(const VarelCalc_Fault& s, int phase) {
    VarelCalc_Phasor drop = {Product(s.ILoad_Mag, s.FaultZf_Mag),
                             static_cast<float>(double(kPhaseAngle[phase]) + s.ILoad_Ang + s.FaultZf_Ang)};
    faultU_[phase] = PolarAdd(faultU_[phase], drop);
}

void Csub_calcu::PhaseToEarth(const VarelCalc_Fault& s, int k, Rect zf, Rect kl) {
    // The loop impedance Zf·(1 + KL).
    Rect zl = {static_cast<float>(zf.x + (double(kl.x) * zf.x - double(kl.y) * zf.y)),
               static_cast<float>(zf.y + (double(kl.x) * zf.y + double(kl.y) * zf.x))};
    VarelCalc_Phasor loop = ToPolar(zl);
    bool vanishing = loop.Mag <= kImpedanceThreshold;
    if (s.CalcuMode == kSourceImpedance) {
        Rect zs = ToRect({s.Zs_Mag, s.Zs_Ang}), ks = ToRect({s.Ks_Mag, s.Ks_Ang});
        Rect zt = Plus(Times(zs, {static_cast<float>(1.0 + ks.x), ks.y}), zl);
        Rect ik = Over(ToRect(preU_[k]), zt);
        if (ToPolar(ik).Mag > kCurrentLimitA) {
            ScaleSource(kCurrentLimitA * ToPolar(zt).Mag);
            ik = Over(ToRect(preU_[k]), zt);
        }
        faultI_[k] = ToPolar(ik);
        faultU_[k] = ToPolar(Times(ik, zl));
    } else {
        float phi = vanishing ? s.FaultZf_Ang : loop.Ang;
        float current = s.FaultIf;
        if (s.CalcuMode == kConstantVoltage)
            current = vanishing ? kCurrentSubstitute : static_cast<float>(double(s.FaultUf) / loop.Mag);
        faultI_[k] = {current, static_cast<float>(double(kPhaseAngle[k]) - phi)};
        faultU_[k] = {Product(current, loop.Mag), kPhaseAngle[k]};
    }
    AddLoadDrop(s, k);
}

void Csub_calcu::PhaseToPhase(const VarelCalc_Fault& s, int p, int q, Rect zf) {
    if (s.CalcuMode == kSourceImpedance) {
        Rect zsum = Plus(ToRect({s.Zs_Mag, s.Zs_Ang}), zf);
        auto current = [&] {
            Rect du = Minus(ToRect(preU_[p]), ToRect(preU_[q]));
            return Over({static_cast<float>(du.x / 2.0), static_cast<float>(du.y / 2.0)}, zsum);
        };
        Rect ip = current();
        if (ToPolar(ip).Mag > kCurrentLimitA) {
            ScaleSource(2 * kCurrentLimitA * ToPolar(zsum).Mag / kSqrt3);
            ip = current();
        }
        faultI_[p] = ToPolar(ip);
        faultI_[q] = ToPolar({-ip.x, -ip.y});
    } else {
        float delta = PolarSub(preU_[p], preU_[q]).Ang;
        float current = s.FaultIf;
        if (s.CalcuMode == kConstantVoltage)
            current = s.FaultZf_Mag <= kImpedanceThreshold
                          ? kCurrentSubstitute
                          : static_cast<float>(s.FaultUf / (2.0 * s.FaultZf_Mag));
        faultI_[p] = {current, static_cast<float>(double(delta) - s.FaultZf_Ang)};
        faultI_[q] = {current, static_cast<float>(double(delta) - s.FaultZf_Ang - 180)};
    }
    // Both phases start from the midpoint of their pre-fault voltages.
    Rect up = ToRect(preU_[p]), uq = ToRect(preU_[q]);
    Rect mid = {static_cast<float>((double(up.x) + uq.x) / 2), static_cast<float>((double(up.y) + uq.y) / 2)};
    Rect drop = Times(ToRect(faultI_[p]), zf);
    faultU_[p] = ToPolar(Plus(mid, drop));
    faultU_[q] = ToPolar(Minus(mid, drop));
    AddLoadDrop(s, p);
    AddLoadDrop(s, q);
}

void Csub_calcu::TwoPhaseToEarth(const VarelCalc_Fault& s, int p, int q, Rect zf, Rect kl) {
    const Rect kz = Times(zf, kl);
    const Rect d = {static_cast<float>(1 + 2.0 * kl.x), static_cast<float>(2.0 * kl.y)};
    Rect ip, iq;
    if (s.CalcuMode == kConstantCurrent) {
        Rect up = ToRect(preU_[p]), uq = ToRect(preU_[q]);
        Rect du = Minus(up, uq);
        float angP = ToPolar(Over(Plus(up, Times(kl, du)), d)).Ang;
        float angQ = ToPolar(Over(Minus(uq, Times(kl, du)), d)).Ang;
        ip = ToRect({s.FaultIf, static_cast<float>(double(angP) - s.FaultZf_Ang)});
        iq = ToRect({s.FaultIf, static_cast<float>(double(angQ) - s.FaultZf_Ang)});
    } else if (s.CalcuMode == kConstantVoltage) {
        Rect upf = ToRect({s.FaultUf, preU_[p].Ang}), uqf = ToRect({s.FaultUf, preU_[q].Ang});
        Rect sum = Over(Plus(upf, uqf), Times(zf, d));
        ip = Over(Minus(upf, Times(kz, sum)), zf);
        iq = Over(Minus(uqf, Times(kz, sum)), zf);
    } else {
        Rect zs = ToRect({s.Zs_Mag, s.Zs_Ang}), ks = ToRect({s.Ks_Mag, s.Ks_Ang});
        Rect dt = Plus(Times(zs, {static_cast<float>(1 + 2.0 * ks.x), static_cast<float>(2.0 * ks.y)}),
                       Times(zf, d));
        Rect k = Over(Plus(Times(zs, ks), Times(zf, kl)), Plus(zs, zf));
        auto currents = [&] {
            Rect up = ToRect(preU_[p]), uq = ToRect(preU_[q]);
            Rect du = Minus(up, uq);
            ip = Over(Plus(up, Times(k, du)), dt);
            iq = Over(Minus(uq, Times(k, du)), dt);
        };
        currents();
        if (ToPolar(ip).Mag > kCurrentLimitA) {
            VarelCalc_Phasor kp = ToPolar(k);
            VarelCalc_Phasor gain =
                PolarAdd({1.0f, 0.0f}, {Product(kSqrt3, kp.Mag), static_cast<float>(kp.Ang + 30.0)});
            ScaleSource(kCurrentLimitA * ToPolar(dt).Mag / gain.Mag);
            currents();
        }
    }
    // Each phase: its own current over Zf plus the common earth return over KZ.
    Rect earth = Times(kz, Plus(ip, iq));
    faultU_[p] = ToPolar(Plus(Times(zf, ip), earth));
    faultU_[q] = ToPolar(Plus(Times(zf, iq), earth));
    faultI_[p] = ToPolar(ip);
    faultI_[q] = ToPolar(iq);
    AddLoadDrop(s, p);
    AddLoadDrop(s, q);
}

void Csub_calcu::ThreePhase(const VarelCalc_Fault& s, Rect zf) {
    if (s.CalcuMode == kSourceImpedance) {
        Rect zsum = Plus(ToRect({s.Zs_Mag, s.Zs_Ang}), zf);
        if (ToPolar(Over(ToRect(preU_[0]), zsum)).Mag > kCurrentLimitA)
            ScaleSource(kCurrentLimitA * ToPolar(zsum).Mag);
        for (int i = 0; i < 3; ++i) {
            Rect current = Over(ToRect(preU_[i]), zsum);
            faultI_[i] = ToPolar(current);
            faultU_[i] = ToPolar(Times(current, zf));
            AddLoadDrop(s, i);
        }
        return;
    }
    float current = s.FaultIf;
    if (s.CalcuMode == kConstantVoltage)
        current = s.FaultZf_Mag <= kImpedanceThreshold
                      ? kCurrentSubstitute
                      : static_cast<float>(double(s.FaultUf) / s.FaultZf_Mag);
    for (int i = 0; i < 3; ++i) {
        faultI_[i] = {current, static_cast<float>(double(kPhaseAngle[i]) - s.FaultZf_Ang)};
        faultU_[i] = {Product(current, s.FaultZf_Mag), kPhaseAngle[i]};
        AddLoadDrop(s, i);
    }
}

void Csub_calcu::AddLoadCurrent(float loadMag, float loadAng, VarelCalc_Phasor ip[3]) const {
    for (int i = 0; i < 3; ++i) {
        VarelCalc_Phasor load = {loadMag, static_cast<float>(double(kPhaseAngle[i]) + loadAng)};
        VarelCalc_Phasor sum = PolarAdd(faultI_[i], load);
        ip[i] = {sum.Mag, ReduceAngle(sum.Ang)};
    }
}

void Csub_calcu::Fault(VarelCalc_Fault& s) {
    if (!KnownFaultType(s.FaultType) || s.CalcuMode < kConstantCurrent || s.CalcuMode > kSourceImpedance) {
        for (int i = 0; i < 3; ++i) s.Up[i] = s.Ip[i] = {0.0f, 0.0f};
        return;
    }
    StartFault(s.Us);
    Rect zf = ToRect({s.FaultZf_Mag, s.FaultZf_Ang});
    Rect kl = EarthFactor(s, zf);
    int type = s.FaultType;
    if (type <= 2)
        PhaseToEarth(s, type, zf, kl);
    else if (type <= 5)
        PhaseToPhase(s, kFirst[type - 3], kSecond[type - 3], zf);
    else if (type <= 8)
        TwoPhaseToEarth(s, kFirst[type - 6], kSecond[type - 6], zf, kl);
    else
        ThreePhase(s, zf);
    for (int i = 0; i < 3; ++i) s.Up[i] = {faultU_[i].Mag, ReduceAngle(faultU_[i].Ang)};
    // Reverse turns the currents (only: the voltages stay as computed).
    if (s.FaultDirection == 1)
        for (VarelCalc_Phasor& i : faultI_)
            i.Ang = static_cast<float>(i.Ang > 0 ? i.Ang - 180.0 : i.Ang + 180.0);
    AddLoadCurrent(s.ILoad_Mag, s.ILoad_Ang, s.Ip);
}

void Csub_calcu::GPFault(VarelCalc_GPFault& s) {
    if (!KnownFaultType(s.FaultType)) {
        for (int i = 0; i < 3; ++i) s.Up[i] = s.Ip[i] = {0.0f, 0.0f};
        return;
    }
    // The earth factor as a real magnitude K.
    double k;
    if (s.KL_Mode == 1) {
        Rect zzd = ToRect({s.Zzd_Mag, s.Zzd_Ang});
        k = s.Zzd_Mag < 0.001
                ? 0.0
                : std::sqrt(s.KL_KR * double(zzd.x) * zzd.x + s.KL_KX * double(zzd.y) * zzd.y) / s.Zzd_Mag;
    } else if (s.KL_Mode == 2) {
        Rect ratio = ToRect({s.KL_Mag, s.KL_Ang});
        k = ToPolar({static_cast<float>(ratio.x - 1.0), ratio.y}).Mag / 3.0;
    } else {
        k = s.KL_Mag;
    }
    StartFault(s.Us);
    const bool forward = s.FaultDirection == 0;
    const double margin = (1 - 1.05 * s.m) * s.Us;  // the part of Us the setting multiple leaves
    auto current = [&](double ang) {
        return VarelCalc_Phasor{s.FaultIf, static_cast<float>(s.FaultDirection == 1 ? ang + 180 : ang)};
    };
    auto earthFault = [&](int phase) {
        double mag = forward ? (1 + k) * s.FaultIf * s.Zzd_Mag + margin : 0.0;
        faultU_[phase] = {static_cast<float>(mag), kPhaseAngle[phase]};
        faultI_[phase] = current(double(kPhaseAngle[phase]) - s.Zzd_Ang);
    };
    int type = s.FaultType;
    if (type <= 2) {
        earthFault(type);
    } else if (type <= 5) {
        int p = kFirst[type - 3], q = kSecond[type - 3], o = kHealthy[type - 3];
        double line = forward ? 2.0 * s.FaultIf * s.Zzd_Mag + margin * kSqrt3 : 0.0;
        float lineAng = static_cast<float>(double(kPhaseAngle[o]) - 90);
        Rect upq = ToRect({static_cast<float>(line), lineAng}), uo = ToRect(preU_[o]);
        Rect a = Minus(upq, uo), b = Minus({-upq.x, -upq.y}, uo);
        faultU_[p] = ToPolar({static_cast<float>(a.x / 2.0), static_cast<float>(a.y / 2.0)});
        faultU_[q] = ToPolar({static_cast<float>(b.x / 2.0), static_cast<float>(b.y / 2.0)});
        faultI_[p] = current(double(lineAng) - s.Zzd_Ang);
        faultI_[q] = current(double(lineAng) - s.Zzd_Ang - 180);
    } else if (type <= 8) {
        earthFault(kFirst[type - 6]);
        earthFault(kSecond[type - 6]);
    } else {
        for (int i = 0; i < 3; ++i) {
            double mag = forward ? double(s.FaultIf) * s.Zzd_Mag + margin : 0.0;
            faultU_[i] = {static_cast<float>(mag), kPhaseAngle[i]};
            faultI_[i] = current(double(kPhaseAngle[i]) - s.Zzd_Ang);
        }
    }
    for (int i = 0; i < 3; ++i) s.Up[i] = faultU_[i];
    AddLoadCurrent(s.ILoad_Mag, s.ILoad_Ang, s.Ip);
}
