// Phasor arithmetic, load state, transforms and power, through the engine.
#include "calc_test_support.h"

namespace {

using PhasorTest = CalcTest;

using Unary = HRESULT (STDMETHODCALLTYPE ICalcEngine::*)(float, float, float*, float*);
using Binary = HRESULT (STDMETHODCALLTYPE ICalcEngine::*)(float, float, float, float, float*, float*);

// Each row: the method, its inputs and the two outputs. The negative real axis is -180
// exactly; below 1e-5 an angle is 0 and a component is zero.
TEST_F(PhasorTest, ConversionsAndArithmetic) {
    const auto xy = &ICalcEngine::Comp_XYtoPO, po = &ICalcEngine::Comp_POtoXY;
    const struct {
        Unary method;
        float in1, in2, out1, out2;
    } unary[] = {{xy, -1, 0, 1, -180}, {xy, 0, 0, 0, 0},           {xy, 0, -2, 2, -90},
                 {xy, 0, 3, 3, 90},    {xy, 1, 0, 1, 0},           {xy, 1, 1, 1.41421f, 45},
                 {xy, -1, 1, 1.41421f, 135}, {xy, -1, -1, 1.41421f, -135}, {xy, 1, -1, 1.41421f, -45},
                 {xy, -3, 4, 5, 126.8699f},  {xy, 5e-6f, 0, 5e-6f, 0},       {po, 1, 90, 0, 1},
                 {po, 2, 180, -2, 0},        {po, 1e-5f, 30, 0, 0},          {po, 2e-5f, 0, 2e-5f, 0}};
    for (const auto& c : unary) {
        const bool polar = c.method == xy;
        SCOPED_TRACE(testing::Message() << (polar ? "XYtoPO " : "POtoXY ") << c.in1 << ", " << c.in2);
        float out1 = -1, out2 = -1;
        EXPECT_EQ((engine()->*c.method)(c.in1, c.in2, &out1, &out2), S_OK);
        EXPECT_NEAR(out1, c.out1, polar ? 1e-5 : 0);
        EXPECT_NEAR(out2, c.out2, polar ? 1e-3 : 0);
        if (c.out2 == -180) {
            EXPECT_EQ(out2, -180.0f);
        }
    }
    const auto add = &ICalcEngine::Comp_Add, sub = &ICalcEngine::Comp_Sub;
    const auto mul = &ICalcEngine::Comp_Mul, div = &ICalcEngine::Comp_Div;
    const struct {
        const char* what;
        Binary method;
        float in[4], out1, out2;
        double tol;
    } binary[] = {{"add to nothing", add, {1, 0, 1, 180}, 0, 0, 0},
                  {"add", add, {3, 0, 4, 90}, 5, 53.1301f, 1e-3},
                  {"the line voltage AB", sub, {1, 0, 1, -120}, std::sqrt(3.0f), 30, 1e-3},
                  {"subtract itself", sub, {2, 45, 2, 45}, 0, 0, 0},
                  {"multiply", mul, {1, 2, 3, 4}, -5, 10, 0},
                  {"divide", div, {-5, 10, 3, 4}, 1, 2, 1e-6},
                  {"divide by 0", div, {1, 0, 0, 0}, 100000, 100000, 0},
                  {"divide by a vanishing divisor", div, {1, 0, 0.001f, 0.001f}, 100000, 100000, 0},
                  {"divide by a vanishing real", div, {1, 0, 0.003f, 0}, 100000, 100000, 0},
                  {"a squared magnitude above 1e-5 divides", div, {1, 0, 0.004f, 0}, 250, 0, 1e-3}};
    for (const auto& c : binary) {
        SCOPED_TRACE(c.what);
        float out1 = -1, out2 = -1;
        EXPECT_EQ((engine()->*c.method)(c.in[0], c.in[1], c.in[2], c.in[3], &out1, &out2), S_OK);
        EXPECT_NEAR(out1, c.out1, c.tol);
        EXPECT_NEAR(out2, c.out2, c.tol);
    }
}

TEST_F(PhasorTest, ConversionsInvertEachOther) {
    for (float ang = -179.5f; ang < 180; ang += 7.25f) {
        float x, y, mag, back;
        engine()->Comp_POtoXY(3.5f, ang, &x, &y);
        engine()->Comp_XYtoPO(x, y, &mag, &back);
        EXPECT_NEAR(mag, 3.5f, 1e-5) << ang;
        EXPECT_NEAR(back, ang, 2e-3) << ang;
    }
}

TEST_F(PhasorTest, NullOutputsAreSkipped) {
    float mag;
    EXPECT_EQ(engine()->Comp_Add(1, 0, 1, 0, &mag, nullptr), S_OK);
    EXPECT_EQ(mag, 2.0f);
    EXPECT_EQ(engine()->Comp_Div(1, 0, 0, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(engine()->Comp_XYtoPO(1, 0, nullptr, nullptr), S_OK);
}

TEST_F(PhasorTest, LoadState) {
    VarelCalc_LoadState s = {57.735f, 1, -30, {}, {}};
    ASSERT_EQ(Call(&ICalcEngine::Calculate_LoadState, s), S_OK);
    EXPECT_PHASOR(s.Up[0], 57.735f, 0);
    EXPECT_PHASOR(s.Up[1], 57.735f, -120);
    EXPECT_PHASOR(s.Up[2], 57.735f, 120);
    EXPECT_PHASOR(s.Ip[0], 1, -30);
    EXPECT_PHASOR(s.Ip[1], 1, -150);
    EXPECT_PHASOR(s.Ip[2], 1, 90);

    s = {57.735f, 1, 200, {}, {}};
    Call(&ICalcEngine::Calculate_LoadState, s);
    EXPECT_EQ(s.Ip[0].Ang, -160.0f) << "folded into [-180, 180]";
    EXPECT_EQ(s.Ip[1].Ang, 80.0f);
    EXPECT_EQ(s.Ip[2].Ang, -40.0f);

    s = {100, 0, 45, {}, {}};
    Call(&ICalcEngine::Calculate_LoadState, s);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.Ip[i].Mag, 0.0f);
        EXPECT_EQ(s.Ip[i].Ang, 0.0f) << "no load current has angle 0";
    }
}

VarelCalc_ABC120 Sequence(VarelCalc_Phasor a, VarelCalc_Phasor b, VarelCalc_Phasor c) {
    return {{a, b, c}, {}};
}

TEST_F(PhasorTest, SymmetricalComponentsOfKnownSets) {
    auto s = Sequence({1, 0}, {1, -120}, {1, 120});
    ASSERT_EQ(Call(&ICalcEngine::Calculate_ABCto120, s), S_OK);
    EXPECT_PHASOR(s.Result_Up[0], 1, 0, 1e-5);
    EXPECT_PHASOR(s.Result_Up[1], 0, 0, 1e-5);
    EXPECT_PHASOR(s.Result_Up[2], 0, 0, 1e-5);

    s = Sequence({1, 0}, {1, 0}, {1, 0});
    Call(&ICalcEngine::Calculate_ABCto120, s);
    EXPECT_PHASOR(s.Result_Up[0], 0, 0, 1e-5);
    EXPECT_PHASOR(s.Result_Up[1], 0, 0, 1e-5);
    EXPECT_PHASOR(s.Result_Up[2], 3, 0, 1e-5) << "the zero entry is three times I0";

    s = Sequence({2, 10}, {2, 130}, {2, -110}); // A, C, B order: negative sequence
    Call(&ICalcEngine::Calculate_ABCto120, s);
    EXPECT_PHASOR(s.Result_Up[0], 0, 0, 1e-5);
    EXPECT_PHASOR(s.Result_Up[1], 2, 10, 1e-5);
}

TEST_F(PhasorTest, SequenceTransformsInvertEachOther) {
    const VarelCalc_Phasor sets[][3] = {
        {{57.7f, 0}, {30, -100}, {12, 170}},
        {{5, -90}, {0, 0}, {0, 0}},
        {{1, 45}, {1, 45}, {2, -135}},
        {{100, 179}, {0.5f, -179}, {80, 3}},
    };
    for (const auto& set : sets) {
        auto forward = Sequence(set[0], set[1], set[2]);
        Call(&ICalcEngine::Calculate_ABCto120, forward);
        auto back = Sequence(forward.Result_Up[0], forward.Result_Up[1], forward.Result_Up[2]);
        ASSERT_EQ(Call(&ICalcEngine::Calculate_120toABC, back), S_OK);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR_C(AsComplex(back.Result_Up[i]), AsComplex(set[i]), 1e-4 * (1 + set[i].Mag));
    }
}

TEST_F(PhasorTest, LineVoltagesOfABalancedSetAndBack) {
    VarelCalc_ABCPP s = {{{57.735f, 0}, {57.735f, -120}, {57.735f, 120}}, {}};
    ASSERT_EQ(Call(&ICalcEngine::Calculate_ABCtoPP, s), S_OK);
    EXPECT_PHASOR(s.Result_Up[0], 100, 30, 1e-3);
    EXPECT_PHASOR(s.Result_Up[1], 100, -90, 1e-3);
    EXPECT_PHASOR(s.Result_Up[2], 100, 150, 1e-3);
    VarelCalc_ABCPP back = {{s.Result_Up[0], s.Result_Up[1], s.Result_Up[2]}, {}};
    ASSERT_EQ(Call(&ICalcEngine::Calculate_PPtoABC, back), S_OK);
    EXPECT_PHASOR(back.Result_Up[0], 57.735f, 0, 1e-3);
    EXPECT_PHASOR(back.Result_Up[1], 57.735f, -120, 1e-3);
    EXPECT_PHASOR(back.Result_Up[2], 57.735f, 120, 1e-3);
}

TEST_F(PhasorTest, LineVoltagesThatDoNotCloseAreRefused) {
    VarelCalc_ABCPP s = {{{1, 0}, {1, 0}, {1, 0}}, {{7, 7}, {7, 7}, {7, 7}}};
    VarelCalc_ABCPP before = s;
    EXPECT_EQ(Call(&ICalcEngine::Calculate_PPtoABC, s), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    // A triangle that misses by a little more than 1e-4 is refused too.
    s = {{{1, 0}, {1, -120}, {1.0002f, 120}}, {}};
    EXPECT_EQ(Call(&ICalcEngine::Calculate_PPtoABC, s), E_INVALIDARG);
}

VarelCalc_PQ Power(int32_t mode, float u, float lag) {
    VarelCalc_PQ s = {};
    s.CalcuMode = mode;
    for (int i = 0; i < 3; ++i) {
        s.Up[i] = {u, kPhaseDeg[i]};
        s.Ip[i] = {1, kPhaseDeg[i] - lag};
    }
    return s;
}

// Mode 0 sums the phases; mode 1 sees only two line voltages and two currents,
// and must still give the three-phase system's power for any power factor.
TEST_F(PhasorTest, LineVoltagePowersMatchThePhasePowers) {
    for (float lag : {0.0f, 30.0f, -45.0f, 90.0f, 150.0f}) {
        SCOPED_TRACE(lag);
        auto phase = Power(0, 57.735f, lag), line = Power(1, 57.735f, lag);
        ASSERT_EQ(Call(&ICalcEngine::Calculate_PQ, phase), S_OK);
        ASSERT_EQ(Call(&ICalcEngine::Calculate_PQ, line), S_OK);
        double p = 3 * 57.735 * std::cos(lag * kPi / 180), q = 3 * 57.735 * std::sin(lag * kPi / 180);
        EXPECT_NEAR(phase.P, p, 1e-3);
        EXPECT_NEAR(phase.Q, q, 1e-3);
        EXPECT_NEAR(line.P, p, 1e-3);
        EXPECT_NEAR(line.Q, q, 1e-3);
        EXPECT_NEAR(phase.COS, std::cos(lag * kPi / 180), 1e-5);
        EXPECT_NEAR(line.COS, std::cos(lag * kPi / 180), 1e-5);
    }
    auto other = Power(2, 57.735f, 0);
    Call(&ICalcEngine::Calculate_PQ, other);
    EXPECT_EQ(other.P, 0.0f);
    EXPECT_EQ(other.Q, 0.0f);
    EXPECT_EQ(other.COS, 0.0f) << "no power, no power factor";
}

} // namespace
