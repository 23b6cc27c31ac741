// Helpers for the calculation tests: an engine made through CoCreateInstance,
// phasor comparisons that report the caller's line, and structures at their
// defaults.
#pragma once

#include <varel/vts.h>

#include "calc/sub_calcu.h"
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "leak_check.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <string>

using Complex = std::complex<double>;

inline constexpr double kPi = std::numbers::pi;

// Phase angles of A, B, C in degrees.
inline constexpr float kPhaseDeg[3] = {0, -120, 120};

inline Complex AsComplex(VarelCalc_Phasor p) {
    return std::polar(double(p.Mag), p.Ang * kPi / 180);
}
inline VarelCalc_Phasor AsPhasor(Complex c) {
    return {static_cast<float>(std::abs(c)), static_cast<float>(std::arg(c) * 180 / kPi)};
}

// Same phasor: magnitudes within tol, angles within angleTol degrees (modulo
// 360; any angle when the magnitude is 0).
inline ::testing::AssertionResult SamePhasor(VarelCalc_Phasor actual, float mag, float ang, double tol = 1e-3,
                                             double angleTol = 1e-3) {
    double dAng = std::remainder(double(actual.Ang) - ang, 360.0);
    bool angleOk = mag == 0 && std::fabs(actual.Mag) <= tol ? true : std::fabs(dAng) <= angleTol;
    if (std::fabs(double(actual.Mag) - mag) <= tol && angleOk) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actual.Mag << "∠" << actual.Ang << " is not " << mag << "∠" << ang;
}
#define EXPECT_PHASOR(actual, ...) EXPECT_TRUE(SamePhasor((actual), __VA_ARGS__))

// Same complex value within tol (absolute).
inline ::testing::AssertionResult Near(Complex actual, Complex expected, double tol = 1e-3) {
    if (std::abs(actual - expected) <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not " << expected;
}
#define EXPECT_NEAR_C(actual, ...) EXPECT_TRUE(Near((actual), __VA_ARGS__))

template <class S>
S Defaults() {
    S s;
    SetDefaults(s);
    return s;
}

inline VarelCalc_Fault Fault(int32_t type, int32_t mode = 0) {
    auto s = Defaults<VarelCalc_Fault>();
    s.FaultType = type;
    s.CalcuMode = mode;
    s.KL_Mag = 0;
    return s;
}

// Each test runs in a COM apartment with one engine and must leave no
// object or string behind.
class CalcTest : public ::testing::Test {
public:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_EQ(CoCreateInstance(CLSID_CalcEngine, nullptr, CLSCTX_INPROC_SERVER, IID_ICalcEngine,
                                   engine_.PutVoid()),
                  S_OK);
    }
    void TearDown() override {
        engine_.Reset();
        leaks_.ExpectNoLeaks();
        CoUninitialize();
    }
    template <class S>
    HRESULT Call(HRESULT (STDMETHODCALLTYPE ICalcEngine::*method)(BYTE*, LONG), S& s) {
        return (engine_.Get()->*method)(reinterpret_cast<BYTE*>(&s), sizeof s);
    }
    VarelCalc_Fault RunFault(VarelCalc_Fault s) {
        EXPECT_EQ(Call(&ICalcEngine::Calculate_Fault, s), S_OK);
        return s;
    }
    ICalcEngine* engine() { return engine_.Get(); }

    ComPtr<ICalcEngine> engine_;

private:
    LeakCheck leaks_;
};
