#include "calc_engine.h"

#include "calc_request.h"
#include "com/com_object.h"
#include "com/type_library.h"
#include "sub_calcu.h"

#include <cstring>
#include <new>
#include <type_traits>

namespace {

// Every structure method: the size check, then the calculation on a copy
// that goes back into the caller's buffer (byte for byte what was read when
// the calculation changed nothing).
template <class S, class Calculation>
HRESULT OnStructure(BYTE* data, LONG size, Calculation calculation) {
    if (size != static_cast<LONG>(sizeof(S))) return E_INVALIDARG;
    if (!data) return E_POINTER;
    S s;
    std::memcpy(&s, data, sizeof s);
    Csub_calcu calc;
    HRESULT hr = calculation(calc, s);
    std::memcpy(data, &s, sizeof s);
    return hr;
}

// A structure method over one member of Csub_calcu; members that cannot
// fail answer S_OK.
template <class S, auto Method>
HRESULT Run(BYTE* data, LONG size) {
    return OnStructure<S>(data, size, [](Csub_calcu& calc, S& s) {
        if constexpr (std::is_same_v<decltype((calc.*Method)(s)), HRESULT>) {
            return (calc.*Method)(s);
        } else {
            (calc.*Method)(s);
            return S_OK;
        }
    });
}

void Store(float value, float* out) {
    if (out) *out = value;
}

class CCalcEngine final : public ICalcEngine, public ISupportErrorInfo {
public:
    static const ComInterfaceEntry kInterfaces[];
    COM_IUNKNOWN_METHODS(CCalcEngine)

    COM_TYPELIB_DISPATCH_METHODS(ICalcEngine, IID_ICalcEngine)

    HRESULT STDMETHODCALLTYPE Calculate(IDispatch* lpGenericData) override {
        return CalculateDocument(this, lpGenericData);
    }
    HRESULT STDMETHODCALLTYPE Calculate_LoadState(BYTE* p, LONG n) override {
        return Run<VarelCalc_LoadState, &Csub_calcu::LoadState>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_Fault(BYTE* p, LONG n) override {
        return Run<VarelCalc_Fault, &Csub_calcu::Fault>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_GPFault(BYTE* p, LONG n) override {
        return Run<VarelCalc_GPFault, &Csub_calcu::GPFault>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_ABCtoPP(BYTE* p, LONG n) override {
        return Run<VarelCalc_ABCPP, &Csub_calcu::ABCtoPP>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_PPtoABC(BYTE* p, LONG n) override {
        return Run<VarelCalc_ABCPP, &Csub_calcu::PPtoABC>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_ABCto120(BYTE* p, LONG n) override {
        return Run<VarelCalc_ABC120, &Csub_calcu::ABCto120>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_120toABC(BYTE* p, LONG n) override {
        return Run<VarelCalc_ABC120, &Csub_calcu::SeqToABC>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_PQ(BYTE* p, LONG n) override {
        return Run<VarelCalc_PQ, &Csub_calcu::PQ>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Comp_Add(float Mag1, float Ang1, float Mag2, float Ang2, float* theMag,
                                       float* theAng) override {
        float mag, ang;
        Csub_calcu().Add(Mag1, Ang1, Mag2, Ang2, &mag, &ang);
        Store(mag, theMag);
        Store(ang, theAng);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Comp_Sub(float Mag1, float Ang1, float Mag2, float Ang2, float* theMag,
                                       float* theAng) override {
        float mag, ang;
        Csub_calcu().Sub(Mag1, Ang1, Mag2, Ang2, &mag, &ang);
        Store(mag, theMag);
        Store(ang, theAng);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Comp_Mul(float x1, float y1, float x2, float y2, float* theX,
                                       float* theY) override {
        float x, y;
        Csub_calcu().Mul(x1, y1, x2, y2, &x, &y);
        Store(x, theX);
        Store(y, theY);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Comp_Div(float x1, float y1, float x2, float y2, float* theX,
                                       float* theY) override {
        float x, y;
        Csub_calcu().Div(x1, y1, x2, y2, &x, &y);
        Store(x, theX);
        Store(y, theY);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Comp_POtoXY(float Mag, float Ang, float* x, float* y) override {
        float px, py;
        Csub_calcu().POtoXY(Mag, Ang, &px, &py);
        Store(px, x);
        Store(py, y);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Comp_XYtoPO(float x, float y, float* Mag, float* Ang) override {
        float mag, ang;
        Csub_calcu().XYtoPO(x, y, &mag, &ang);
        Store(mag, Mag);
        Store(ang, Ang);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Calculate_Shot(BYTE* p, LONG n) override {
        return Run<VarelCalc_Shot, &Csub_calcu::Shot>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_Distance(BYTE* p, LONG n) override {
        return Run<VarelCalc_Distance, &Csub_calcu::Distance>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_GPDistance(BYTE* p, LONG n) override {
        return Run<VarelCalc_GPDistance, &Csub_calcu::GPDistance>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_OverCurr(BYTE* p, LONG n) override {
        return Run<VarelCalc_OverCurr, &Csub_calcu::OverCurr>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_NegSeqCurr(BYTE* p, LONG n) override {
        return Run<VarelCalc_NegSeqCurr, &Csub_calcu::NegSeqCurr>(p, n);
    }
    HRESULT STDMETHODCALLTYPE Calculate_ZeroSeqCurr(BYTE* p, LONG n) override {
        return Run<VarelCalc_ZeroSeqCurr, &Csub_calcu::ZeroSeqCurr>(p, n);
    }
    // The differential and power-swing calculations have nothing behind them.
    HRESULT STDMETHODCALLTYPE Calculate_Diff(BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Calculate_Diff_Shot(BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Calculate_Diff_IrId(BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Calculate_Diff_KP(BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Calculate_Diff5(BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Calculate_Osc(BYTE*, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Calculate_Osc_Zk(BYTE*, LONG) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_ICalcEngine ? S_OK : S_FALSE;
    }

private:
    ~CCalcEngine() = default;
    ComRefCount refs_;
    ComLiveObject live_;
};

const ComInterfaceEntry CCalcEngine::kInterfaces[] = {
    COM_INTERFACE_ENTRY(CCalcEngine, ICalcEngine, IID_ICalcEngine),
    COM_INTERFACE_ENTRY(CCalcEngine, IDispatch, IID_IDispatch),
    COM_INTERFACE_ENTRY(CCalcEngine, ISupportErrorInfo, IID_ISupportErrorInfo),
    {nullptr, 0},
};

} // namespace

HRESULT CreateCalcEngine(REFIID iid, void** out) {
    auto* engine = new (std::nothrow) CCalcEngine;
    if (!engine) return E_OUTOFMEMORY;
    HRESULT hr = engine->QueryInterface(iid, out);
    engine->Release();
    return hr;
}
