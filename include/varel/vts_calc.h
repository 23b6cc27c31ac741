/* CalcEngine: power-system calculations that turn protection settings into
 * the phasors a tester outputs (load state, fault state, transforms, power,
 * complex arithmetic).
 *
 * Create an engine with CoCreateInstance(CLSID_CalcEngine, nullptr,
 * CLSCTX_INPROC_SERVER, IID_ICalcEngine, ...), by the ProgID
 * "VarelCalcEngine.CalcEngine", or take the server's own with
 * VTS_GetCalcEngine. The engine keeps nothing between calls.
 *
 * Every calculation takes a packed structure below (a BYTE* and its size in
 * bytes; a wrong size answers E_INVALIDARG and leaves the buffer alone) or
 * runs as a numbered request of a GenericData document handed to Calculate.
 * Magnitudes are in volts, amperes and ohms, angles in degrees; a phasor
 * triple is phases A, B, C. Fields are 32 bits each, little-endian, no gaps.
 *
 * Apartment threaded: use one engine from one thread at a time. */
#ifndef VAREL_VTS_CALC_H
#define VAREL_VTS_CALC_H

#include "vts_platform.h"

#ifndef VTS_GUID_API
#if defined(_WIN32)
#define VTS_GUID_API extern "C"
#else
#define VTS_GUID_API extern "C" __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
/* {6E0C3A52-41B7-4C8D-9F21-7B5E8A13D402} "VarelCalcEngine.CalcEngine(.1)" */
VTS_GUID_API const CLSID CLSID_CalcEngine;
/* {C8A7F1D3-2E64-4B09-8D5A-39F0B6E2C715} */
VTS_GUID_API const IID IID_ICalcEngine;
#else
/* Constants of the C host's own, as in vts_gdata.h: the DLL exports no data. */
static const CLSID CLSID_CalcEngine = {
    0x6E0C3A52, 0x41B7, 0x4C8D, {0x9F, 0x21, 0x7B, 0x5E, 0x8A, 0x13, 0xD4, 0x02}};
static const IID IID_ICalcEngine = {
    0xC8A7F1D3, 0x2E64, 0x4B09, {0x8D, 0x5A, 0x39, 0xF0, 0xB6, 0xE2, 0xC7, 0x15}};

/* An opaque pointer in C, as the document interfaces are. */
typedef struct ICalcEngine ICalcEngine;
#endif

/* Request codes of Calculate (the value of each request node). */
#ifdef __cplusplus
enum VarelCalc_Code : int32_t {
#else
enum VarelCalc_Code { /* int in C: 32 bits on every Windows target */
#endif
    VARELCALC_LOADSTATE = 0,
    VARELCALC_FAULT = 1,
    VARELCALC_GPFAULT = 2,
    VARELCALC_ABCTOPP = 3,
    VARELCALC_PPTOABC = 4,
    VARELCALC_ABCTO120 = 5,
    VARELCALC_120TOABC = 6,
    VARELCALC_PQ = 7,
    VARELCALC_SHOT = 100,
    VARELCALC_DISTANCE = 101,
    VARELCALC_GPDISTANCE = 102,
    VARELCALC_OVERCURR = 103,
    VARELCALC_NEGSEQCURR = 104,
    VARELCALC_ZEROSEQCURR = 105,
    VARELCALC_DIFF = 120,
    VARELCALC_DIFF_KP = 121,
    VARELCALC_DIFF_SHOT = 122,
    VARELCALC_DIFF_IRID = 123,
    VARELCALC_DIFF5 = 130,
    VARELCALC_OSC = 140,
    VARELCALC_OSC_ZK = 141
};

#ifndef __cplusplus
/* C names the types without "struct" or "enum", as C++ does. */
typedef enum VarelCalc_Code VarelCalc_Code;
typedef struct VarelCalc_Phasor VarelCalc_Phasor;
typedef struct VarelCalc_LoadState VarelCalc_LoadState;
typedef struct VarelCalc_Fault VarelCalc_Fault;
typedef struct VarelCalc_GPFault VarelCalc_GPFault;
typedef struct VarelCalc_ABCPP VarelCalc_ABCPP;
typedef struct VarelCalc_ABC120 VarelCalc_ABC120;
typedef struct VarelCalc_PQ VarelCalc_PQ;
typedef struct VarelCalc_Shot VarelCalc_Shot;
typedef struct VarelCalc_Distance VarelCalc_Distance;
typedef struct VarelCalc_GPDistance VarelCalc_GPDistance;
typedef struct VarelCalc_OverCurr VarelCalc_OverCurr;
#endif

/* FaultType: 0-2 phase A/B/C to earth, 3-5 AB/BC/CA, 6-8 AB/BC/CA to earth, 9 three-phase.
 * FaultDirection: 0 forward, 1 reverse.
 * CalcuMode: 0 constant current (FaultIf), 1 constant voltage (FaultUf),
 *            2 constant source impedance (Zs, Ks).
 * KL_Mode: 0 earth factor KL_Mag/KL_Ang; 1 from KL_KR/KL_KX; 2 KL_Mag/KL_Ang are Z0/Z1. */

struct VarelCalc_Phasor {
    float Mag;
    float Ang;
};

struct VarelCalc_LoadState {
    float Us, ILoad_Mag, ILoad_Ang; /* in */
    VarelCalc_Phasor Up[3], Ip[3];  /* out */
};

struct VarelCalc_Fault {
    float Us, ILoad_Mag, ILoad_Ang;
    int32_t FaultType, FaultDirection;
    float FaultUf, FaultIf, FaultZf_Mag, FaultZf_Ang;
    int32_t CalcuMode;
    float Zs_Mag, Zs_Ang, Ks_Mag, Ks_Ang;
    int32_t KL_Mode;
    float KL_Mag, KL_Ang, KL_KR, KL_KX;
    VarelCalc_Phasor Up[3], Ip[3]; /* out: the fault state */
};

/* Power-frequency variation fault over a setting impedance. */
struct VarelCalc_GPFault {
    float Zzd_Mag, Zzd_Ang, m, FaultIf;
    int32_t FaultType, FaultDirection;
    float Us, ILoad_Mag, ILoad_Ang;
    int32_t KL_Mode;
    float KL_Mag, KL_Ang, KL_KR, KL_KX;
    VarelCalc_Phasor Up[3], Ip[3]; /* out */
};

/* ABCtoPP: Up = A, B, C in, Result_Up = AB, BC, CA out; PPtoABC the other way.
 * In documents the output is the triple Result.Up. */
struct VarelCalc_ABCPP {
    VarelCalc_Phasor Up[3];
    VarelCalc_Phasor Result_Up[3];
};

/* ABCto120: Up = A, B, C in, Result_Up = positive, negative, 3 x zero out;
 * 120toABC the other way. */
struct VarelCalc_ABC120 {
    VarelCalc_Phasor Up[3];
    VarelCalc_Phasor Result_Up[3];
};

/* CalcuMode 0: from phase voltages; 1: from the line voltages UAB, UCB (two-wattmeter). */
struct VarelCalc_PQ {
    int32_t CalcuMode;
    VarelCalc_Phasor Up[3], Ip[3];
    float P, Q, COS; /* out */
};

/* Pre-fault, fault and (when bFaultTrans) evolving-fault states. */
struct VarelCalc_Shot {
    float Us, ILoad_Mag, ILoad_Ang;
    int32_t FaultType, FaultDirection;
    float FaultUf, FaultIf, FaultZf_Mag, FaultZf_Ang;
    int32_t bFaultTrans, TransFaultType, TransFaultDirection;
    float TransFaultUf, TransFaultIf, TransFaultZf_Mag, TransFaultZf_Ang;
    int32_t CalcuMode;
    float Zs_Mag, Zs_Ang, Ks_Mag, Ks_Ang;
    int32_t KL_Mode;
    float KL_Mag, KL_Ang, KL_KR, KL_KX;
    VarelCalc_Phasor Up_PreFault[3], Ip_PreFault[3]; /* out */
    VarelCalc_Phasor Up_Fault[3], Ip_Fault[3];
    VarelCalc_Phasor Up_TransFault[3], Ip_TransFault[3];
};

/* A fault at Zf_Ratio times the setting impedance. */
struct VarelCalc_Distance {
    float Zzd_Mag, Zzd_Ang, Zf_Ratio, FaultIf;
    int32_t FaultType, FaultDirection;
    float Us, ILoad_Mag, ILoad_Ang;
    int32_t KL_Mode;
    float KL_Mag, KL_Ang, KL_KR, KL_KX;
    VarelCalc_Phasor Up_PreFault[3], Ip_PreFault[3]; /* out */
    VarelCalc_Phasor Up_Fault[3], Ip_Fault[3];
    VarelCalc_Phasor Up_TransFault[3], Ip_TransFault[3];
};

/* The power-frequency variation fault at multiple m of the setting. */
struct VarelCalc_GPDistance {
    float Zzd_Mag, Zzd_Ang, m, FaultIf;
    int32_t FaultType, FaultDirection;
    float Us, ILoad_Mag, ILoad_Ang;
    int32_t KL_Mode;
    float KL_Mag, KL_Ang, KL_KR, KL_KX;
    VarelCalc_Phasor Up_PreFault[3], Ip_PreFault[3]; /* out */
    VarelCalc_Phasor Up_Fault[3], Ip_Fault[3];
    VarelCalc_Phasor Up_TransFault[3], Ip_TransFault[3];
};

/* A fault whose over-current, negative- or zero-sequence current is If_Ratio x Izd. */
struct VarelCalc_OverCurr {
    float Izd, If_Ratio, Zf_Mag, Zf_Ang;
    int32_t FaultType, FaultDirection;
    float Us, ILoad_Mag, ILoad_Ang;
    int32_t KL_Mode;
    float KL_Mag, KL_Ang, KL_KR, KL_KX;
    VarelCalc_Phasor Up_PreFault[3], Ip_PreFault[3]; /* out */
    VarelCalc_Phasor Up_Fault[3], Ip_Fault[3];
    VarelCalc_Phasor Up_TransFault[3], Ip_TransFault[3];
};
typedef VarelCalc_OverCurr VarelCalc_NegSeqCurr;
typedef VarelCalc_OverCurr VarelCalc_ZeroSeqCurr;

static_assert(sizeof(VarelCalc_Phasor) == 8, "phasor layout");
static_assert(sizeof(VarelCalc_LoadState) == 60, "VarelCalc_LoadState layout");
static_assert(sizeof(VarelCalc_Fault) == 124, "VarelCalc_Fault layout");
static_assert(sizeof(VarelCalc_GPFault) == 104, "VarelCalc_GPFault layout");
static_assert(sizeof(VarelCalc_ABCPP) == 48, "VarelCalc_ABCPP layout");
static_assert(sizeof(VarelCalc_ABC120) == 48, "VarelCalc_ABC120 layout");
static_assert(sizeof(VarelCalc_PQ) == 64, "VarelCalc_PQ layout");
static_assert(sizeof(VarelCalc_Shot) == 248, "VarelCalc_Shot layout");
static_assert(sizeof(VarelCalc_Distance) == 200, "VarelCalc_Distance layout");
static_assert(sizeof(VarelCalc_GPDistance) == 200, "VarelCalc_GPDistance layout");
static_assert(sizeof(VarelCalc_OverCurr) == 200, "VarelCalc_OverCurr layout");

#ifdef __cplusplus
/* The engine. Structure methods: E_INVALIDARG for a size that is not the
 * structure's (buffer untouched), E_POINTER for a null buffer, else S_OK
 * unless noted. */
struct ICalcEngine : IDispatch {
    /* Runs every request under the document's root (children in name order):
     * a child whose value is a request code gets its structure read (missing
     * fields take their defaults), calculated and written back, results under
     * its child "Result", whose value becomes "1" or "0".
     * E_POINTER: null or not a GenericData document. */
    virtual HRESULT STDMETHODCALLTYPE Calculate(IDispatch* lpGenericData) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_LoadState(BYTE* pData, LONG nSize) = 0;
    /* Output zeros for a FaultType outside 0-9 or a CalcuMode outside 0-2. */
    virtual HRESULT STDMETHODCALLTYPE Calculate_Fault(BYTE* pData, LONG nSize) = 0;
    /* Output zeros for a FaultType outside 0-9. */
    virtual HRESULT STDMETHODCALLTYPE Calculate_GPFault(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_ABCtoPP(BYTE* pData, LONG nSize) = 0;
    /* E_INVALIDARG also when AB + BC + CA is not zero (below 1e-4). */
    virtual HRESULT STDMETHODCALLTYPE Calculate_PPtoABC(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_ABCto120(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_120toABC(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_PQ(BYTE* pData, LONG nSize) = 0;
    /* Polar sum and difference; always S_OK. */
    virtual HRESULT STDMETHODCALLTYPE Comp_Add(float Mag1, float Ang1, float Mag2, float Ang2, float* theMag,
                                               float* theAng) = 0;
    virtual HRESULT STDMETHODCALLTYPE Comp_Sub(float Mag1, float Ang1, float Mag2, float Ang2, float* theMag,
                                               float* theAng) = 0;
    /* Rectangular product and quotient; a divisor of squared magnitude up to
     * 1e-5 gives 100000, 100000. Always S_OK. */
    virtual HRESULT STDMETHODCALLTYPE Comp_Mul(float x1, float y1, float x2, float y2, float* theX,
                                               float* theY) = 0;
    virtual HRESULT STDMETHODCALLTYPE Comp_Div(float x1, float y1, float x2, float y2, float* theX,
                                               float* theY) = 0;
    /* Components of magnitude up to 1e-5 become 0; angles in [-180, 180). Always S_OK. */
    virtual HRESULT STDMETHODCALLTYPE Comp_POtoXY(float Mag, float Ang, float* x, float* y) = 0;
    virtual HRESULT STDMETHODCALLTYPE Comp_XYtoPO(float x, float y, float* Mag, float* Ang) = 0;
    /* Unless bFaultTrans, the TransFault triples stay as passed. */
    virtual HRESULT STDMETHODCALLTYPE Calculate_Shot(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Distance(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_GPDistance(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_OverCurr(BYTE* pData, LONG nSize) = 0;
    /* E_INVALIDARG for FaultType 6-9 (untouched); other types beyond 0-5 get
     * the pre-fault triples only, S_OK. */
    virtual HRESULT STDMETHODCALLTYPE Calculate_NegSeqCurr(BYTE* pData, LONG nSize) = 0;
    /* E_INVALIDARG for FaultType 3-9 (untouched) and for types beyond 0-9
     * (after writing the pre-fault triples). */
    virtual HRESULT STDMETHODCALLTYPE Calculate_ZeroSeqCurr(BYTE* pData, LONG nSize) = 0;
    /* The differential and power-swing calculations: S_OK for any buffer and
     * size, nothing changed. */
    virtual HRESULT STDMETHODCALLTYPE Calculate_Diff(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Diff_Shot(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Diff_IrId(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Diff_KP(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Diff5(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Osc(BYTE* pData, LONG nSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE Calculate_Osc_Zk(BYTE* pData, LONG nSize) = 0;
};
#endif /* __cplusplus */

#endif
