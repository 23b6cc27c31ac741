// Csub_calcu: the mathematics of the calculation engine. Values in and out
// are single precision; each step computes in double and stores a float.
// Phasors are (magnitude, degrees); a rectangular component of magnitude up
// to 1e-5 is taken as 0.
#pragma once

#include <varel/vts_calc.h>

class Csub_calcu {
public:
    // Phasor and sequence arithmetic.
    void POtoXY(float mag, float ang, float* x, float* y) const;
    // The angle comes from asin and lies in [-180, 180).
    void XYtoPO(float x, float y, float* mag, float* ang) const;
    void Add(float mag1, float ang1, float mag2, float ang2, float* mag, float* ang) const;
    void Sub(float mag1, float ang1, float mag2, float ang2, float* mag, float* ang) const;
    void Mul(float x1, float y1, float x2, float y2, float* x, float* y) const;
    // 100000, 100000 for a divisor of squared magnitude up to 1e-5.
    void Div(float x1, float y1, float x2, float y2, float* x, float* y) const;
    void LoadState(VarelCalc_LoadState& s) const;
    void ABCtoPP(VarelCalc_ABCPP& s) const;
    // E_INVALIDARG, s untouched, when the three line voltages do not close.
    HRESULT PPtoABC(VarelCalc_ABCPP& s) const;
    void ABCto120(VarelCalc_ABC120& s) const;
    void SeqToABC(VarelCalc_ABC120& s) const;
    void PQ(VarelCalc_PQ& s) const;

    // Fault state. A FaultType outside 0-9 (or a CalcuMode outside 0-2 for
    // Fault) computes no fault: the output triples are all 0.
    void Fault(VarelCalc_Fault& s);
    void GPFault(VarelCalc_GPFault& s);
    void Shot(VarelCalc_Shot& s);
    void Distance(VarelCalc_Distance& s);
    void GPDistance(VarelCalc_GPDistance& s);

    // A fault whose protected current is If_Ratio times Izd; E_INVALIDARG
    // for the fault types each does not allow.
    HRESULT OverCurr(VarelCalc_OverCurr& s);
    HRESULT NegSeqCurr(VarelCalc_NegSeqCurr& s);
    HRESULT ZeroSeqCurr(VarelCalc_ZeroSeqCurr& s);

private:
    struct Rect {
        float x, y;
    };
    Rect ToRect(VarelCalc_Phasor p) const;
    VarelCalc_Phasor ToPolar(Rect r) const;
    Rect Times(Rect a, Rect b) const;
    Rect Over(Rect a, Rect b) const;
    Rect Plus(Rect a, Rect b) const;
    Rect Minus(Rect a, Rect b) const;
    VarelCalc_Phasor PolarAdd(VarelCalc_Phasor a, VarelCalc_Phasor b) const;
    VarelCalc_Phasor PolarSub(VarelCalc_Phasor a, VarelCalc_Phasor b) const;

    void StartFault(float us);
    void ScaleSource(double mag);
    Rect EarthFactor(const VarelCalc_Fault& s, Rect zf) const;
    void PhaseToEarth(const VarelCalc_Fault& s, int k, Rect zf, Rect kl);
    void PhaseToPhase(const VarelCalc_Fault& s, int p, int q, Rect zf);
    void TwoPhaseToEarth(const VarelCalc_Fault& s, int p, int q, Rect zf, Rect kl);
    void ThreePhase(const VarelCalc_Fault& s, Rect zf);
    void AddLoadDrop(const VarelCalc_Fault& s, int phase);
    void AddLoadCurrent(float loadMag, float loadAng, VarelCalc_Phasor ip[3]) const;
    template <class S>
    void PreFault(S& s) const;
    template <class S>
    void CopyFaultToTrans(S& s) const;
    HRESULT CurrentSettingFault(VarelCalc_OverCurr& s, float faultIf);

    // The pre-fault voltages, the fault voltages and the fault currents.
    VarelCalc_Phasor preU_[3] = {};
    VarelCalc_Phasor faultU_[3] = {};
    VarelCalc_Phasor faultI_[3] = {};
};

// Each structure at the values a blank request carries.
void SetDefaults(VarelCalc_LoadState& s);
void SetDefaults(VarelCalc_Fault& s);
void SetDefaults(VarelCalc_GPFault& s);
void SetDefaults(VarelCalc_ABCPP& s);
void SetDefaults(VarelCalc_ABC120& s);
void SetDefaults(VarelCalc_PQ& s);
void SetDefaults(VarelCalc_Shot& s);
void SetDefaults(VarelCalc_Distance& s);
void SetDefaults(VarelCalc_GPDistance& s);
void SetDefaults(VarelCalc_OverCurr& s);
