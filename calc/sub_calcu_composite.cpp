// The calculations built on the load state and the fault state: the shot
// with an evolving fault, distance settings, and current settings whose
// over-current, negative- or zero-sequence current is a multiple of Izd.
#include "calc_numbers.h"
#include "sub_calcu.h"

#include <cstring>

template <class S>
void Csub_calcu::PreFault(S& s) const {
    VarelCalc_LoadState load = {s.Us, s.ILoad_Mag, s.ILoad_Ang, {}, {}};
    LoadState(load);
    std::memcpy(s.Up_PreFault, load.Up, sizeof load.Up);
    std::memcpy(s.Ip_PreFault, load.Ip, sizeof load.Ip);
}

template <class S>
void Csub_calcu::CopyFaultToTrans(S& s) const {
    std::memcpy(s.Up_TransFault, s.Up_Fault, sizeof s.Up_Fault);
    std::memcpy(s.Ip_TransFault, s.Ip_Fault, sizeof s.Ip_Fault);
}

namespace {

template <class S>
void CopyEarthFactor(const S& from, VarelCalc_Fault& to) {
    to.KL_Mode = from.KL_Mode;
    to.KL_Mag = from.KL_Mag;
    to.KL_Ang = from.KL_Ang;
    to.KL_KR = from.KL_KR;
    to.KL_KX = from.KL_KX;
}

void CopyFaultState(const VarelCalc_Phasor (&up)[3], const VarelCalc_Phasor (&ip)[3],
                    VarelCalc_Phasor (&toUp)[3], VarelCalc_Phasor (&toIp)[3]) {
    std::memcpy(toUp, up, sizeof up);
    std::memcpy(toIp, ip, sizeof ip);
}

} // namespace

void Csub_calcu::Shot(VarelCalc_Shot& s) {
    PreFault(s);
    VarelCalc_Fault fault;
    SetDefaults(fault);
    fault.Us = s.Us;
    fault.ILoad_Mag = s.ILoad_Mag;
    fault.ILoad_Ang = s.ILoad_Ang;
    fault.CalcuMode = s.CalcuMode;
    fault.Zs_Mag = s.Zs_Mag;
    fault.Zs_Ang = s.Zs_Ang;
    fault.Ks_Mag = s.Ks_Mag;
    fault.Ks_Ang = s.Ks_Ang;
    CopyEarthFactor(s, fault);

    fault.FaultType = s.FaultType;
    fault.FaultDirection = s.FaultDirection;
    fault.FaultUf = s.FaultUf;
    fault.FaultIf = s.FaultIf;
    fault.FaultZf_Mag = s.FaultZf_Mag;
    fault.FaultZf_Ang = s.FaultZf_Ang;
    Fault(fault);
    CopyFaultState(fault.Up, fault.Ip, s.Up_Fault, s.Ip_Fault);
    if (!s.bFaultTrans) return;

    // The evolving fault starts from the same load state.
    fault.FaultType = s.TransFaultType;
    fault.FaultDirection = s.TransFaultDirection;
    fault.FaultUf = s.TransFaultUf;
    fault.FaultIf = s.TransFaultIf;
    fault.FaultZf_Mag = s.TransFaultZf_Mag;
    fault.FaultZf_Ang = s.TransFaultZf_Ang;
    Fault(fault);
    CopyFaultState(fault.Up, fault.Ip, s.Up_TransFault, s.Ip_TransFault);
}

void Csub_calcu::Distance(VarelCalc_Distance& s) {
    PreFault(s);
    VarelCalc_Fault fault;
    SetDefaults(fault);
    fault.Us = s.Us;
    fault.ILoad_Mag = s.ILoad_Mag;
    fault.ILoad_Ang = s.ILoad_Ang;
    fault.FaultType = s.FaultType;
    fault.FaultDirection = s.FaultDirection;
    fault.FaultUf = 0;
    fault.FaultIf = s.FaultIf;
    fault.FaultZf_Mag = static_cast<float>(double(s.Zf_Ratio) * s.Zzd_Mag);
    fault.FaultZf_Ang = s.Zzd_Ang;
    fault.CalcuMode = 0;
    fault.Zs_Mag = fault.Zs_Ang = fault.Ks_Mag = fault.Ks_Ang = 0;
    CopyEarthFactor(s, fault);
    Fault(fault);
    CopyFaultState(fault.Up, fault.Ip, s.Up_Fault, s.Ip_Fault);
    CopyFaultToTrans(s);
}

void Csub_calcu::GPDistance(VarelCalc_GPDistance& s) {
    PreFault(s);
    VarelCalc_GPFault fault = {s.Zzd_Mag, s.Zzd_Ang,   s.m,         s.FaultIf, s.FaultType, s.FaultDirection,
                               s.Us,      s.ILoad_Mag, s.ILoad_Ang, s.KL_Mode, s.KL_Mag,    s.KL_Ang,
                               s.KL_KR,   s.KL_KX,     {},          {}};
    GPFault(fault);
    CopyFaultState(fault.Up, fault.Ip, s.Up_Fault, s.Ip_Fault);
    CopyFaultToTrans(s);
}

HRESULT Csub_calcu::CurrentSettingFault(VarelCalc_OverCurr& s, float faultIf) {
    PreFault(s);
    VarelCalc_Fault fault;
    SetDefaults(fault);
    fault.Us = s.Us;
    fault.ILoad_Mag = s.ILoad_Mag;
    fault.ILoad_Ang = s.ILoad_Ang;
    fault.FaultType = s.FaultType;
    fault.FaultDirection = s.FaultDirection;
    fault.FaultIf = faultIf;
    fault.FaultZf_Mag = s.Zf_Mag;
    fault.FaultZf_Ang = s.Zf_Ang;
    fault.CalcuMode = 0;
    CopyEarthFactor(s, fault);
    Fault(fault);
    CopyFaultState(fault.Up, fault.Ip, s.Up_Fault, s.Ip_Fault);
    CopyFaultToTrans(s);
    return S_OK;
}

namespace {

float Setting(const VarelCalc_OverCurr& s, double factor) {
    return static_cast<float>(factor * s.If_Ratio * s.Izd);
}

} // namespace

HRESULT Csub_calcu::OverCurr(VarelCalc_OverCurr& s) {
    return CurrentSettingFault(s, Setting(s, 1.0));
}

// The negative-sequence current of a phase-to-earth fault is a third of the
// fault current, of a phase-to-phase fault 1/√3 of it.
HRESULT Csub_calcu::NegSeqCurr(VarelCalc_NegSeqCurr& s) {
    if (s.FaultType >= 6 && s.FaultType <= 9) return E_INVALIDARG;
    if (s.FaultType >= 0 && s.FaultType <= 2) return CurrentSettingFault(s, Setting(s, 3.0));
    if (s.FaultType >= 3 && s.FaultType <= 5) return CurrentSettingFault(s, Setting(s, kSqrt3));
    PreFault(s);
    return S_OK;
}

// The zero-sequence current of a phase-to-earth fault is a third of the fault current.
HRESULT Csub_calcu::ZeroSeqCurr(VarelCalc_ZeroSeqCurr& s) {
    if (s.FaultType >= 3 && s.FaultType <= 9) return E_INVALIDARG;
    if (s.FaultType >= 0 && s.FaultType <= 2) return CurrentSettingFault(s, Setting(s, 3.0));
    PreFault(s);
    return E_INVALIDARG;
}
