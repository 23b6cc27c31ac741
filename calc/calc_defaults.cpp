// The values of a blank request: the settings a host starts from.
#include "sub_calcu.h"

#include <cstring>

namespace {

constexpr float kRatedPhaseVoltage = 57.735f;

template <class S>
void Clear(S& s) {
    std::memset(&s, 0, sizeof s);
}

template <class S>
void EarthFactorDefaults(S& s) {
    s.KL_Mode = 0;
    s.KL_Mag = 0.67f;
    s.KL_Ang = 0;
    s.KL_KR = 0.67f;
    s.KL_KX = 0.67f;
}

// Us and the load current.
template <class S>
void SystemDefaults(S& s) {
    s.Us = kRatedPhaseVoltage;
    s.ILoad_Mag = 0;
    s.ILoad_Ang = 0;
}

} // namespace

void SetDefaults(VarelCalc_LoadState& s) {
    Clear(s);
    SystemDefaults(s);
}

void SetDefaults(VarelCalc_Fault& s) {
    Clear(s);
    SystemDefaults(s);
    s.FaultIf = 5;
    s.FaultZf_Mag = 1;
    s.FaultZf_Ang = 90;
    EarthFactorDefaults(s);
}

void SetDefaults(VarelCalc_GPFault& s) {
    Clear(s);
    s.Zzd_Mag = 1;
    s.Zzd_Ang = 90;
    s.m = 0.9f;
    s.FaultIf = 5;
    SystemDefaults(s);
    EarthFactorDefaults(s);
}

void SetDefaults(VarelCalc_ABCPP& s) {
    Clear(s);
}
void SetDefaults(VarelCalc_ABC120& s) {
    Clear(s);
}
void SetDefaults(VarelCalc_PQ& s) {
    Clear(s);
}

void SetDefaults(VarelCalc_Shot& s) {
    Clear(s);
    SystemDefaults(s);
    s.FaultIf = 5;
    s.FaultZf_Mag = 1;
    s.FaultZf_Ang = 90;
    s.TransFaultType = 3;
    s.TransFaultIf = 5;
    s.TransFaultZf_Mag = 1;
    s.TransFaultZf_Ang = 90;
    EarthFactorDefaults(s);
}

void SetDefaults(VarelCalc_Distance& s) {
    Clear(s);
    s.Zzd_Mag = 1;
    s.Zzd_Ang = 90;
    s.Zf_Ratio = 0.95f;
    s.FaultIf = 5;
    SystemDefaults(s);
    EarthFactorDefaults(s);
}

void SetDefaults(VarelCalc_GPDistance& s) {
    Clear(s);
    s.Zzd_Mag = 1;
    s.Zzd_Ang = 90;
    s.m = 0.9f;
    s.FaultIf = 5;
    SystemDefaults(s);
    EarthFactorDefaults(s);
}

void SetDefaults(VarelCalc_OverCurr& s) {
    Clear(s);
    s.Izd = 5;
    s.If_Ratio = 1.05f;
    s.Zf_Mag = 1;
    s.Zf_Ang = 90;
    SystemDefaults(s);
    EarthFactorDefaults(s);
}
