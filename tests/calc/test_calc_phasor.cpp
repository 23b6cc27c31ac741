// Phasor arithmetic, load state, transforms and power, through the engine.
#include "calc_test_support.h"

namespace {

using PhasorTest = CalcTest;

TEST_F(PhasorTest, RectangularToPolarQuadrants) {
    struct Case {
        float x, y, mag, ang;
    } cases[] = {
        {-1, 0, 1, -180},       {0, 0, 0, 0},          {0, -2, 2, -90},        {0, 3, 3, 90},
        {1, 0, 1, 0},           {1, 1, 1.41421f, 45},  {-1, 1, 1.41421f, 135}, {-1, -1, 1.41421f, -135},
        {1, -1, 1.41421f, -45}, {-3, 4, 5, 126.8699f}, {5e-6f, 0, 5e-6f, 0},  // below the threshold the angle
                                                                              // is 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        float mag = -1, ang = -1;
        EXPECT_EQ(engine()->Comp_XYtoPO(c.x, c.y, &mag, &ang), S_OK);
        EXPECT_NEAR(mag, c.mag, 1e-5);
        EXPECT_NEAR(ang, c.ang, 1e-3);
    }
    float mag, ang;
    engine()->Comp_XYtoPO(-1, 0, &mag, &ang);
    EXPECT_EQ(ang, -180.0f) << "the negative real axis is -180, exactly";
}

TEST_F(PhasorTest, PolarToRectangularSnapsTinyComponents) {
    float x = -1, y = -1;
    EXPECT_EQ(engine()->Comp_POtoXY(1, 90, &x, &y), S_OK);
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 1.0f);
    engine()->Comp_POtoXY(2, 180, &x, &y);
    EXPECT_EQ(x, -2.0f);
    EXPECT_EQ(y, 0.0f);
    engine()->Comp_POtoXY(1e-5f, 30, &x, &y);
    EXPECT_EQ(x, 0.0f) << "a component up to 1e-5 is zero";
    EXPECT_EQ(y, 0.0f);
    engine()->Comp_POtoXY(2e-5f, 0, &x, &y);
    EXPECT_EQ(x, 2e-5f) << "above the threshold it stays";
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

TEST_F(PhasorTest, AddAndSubtract) {
    float mag = -1, ang = -1;
    EXPECT_EQ(engine()->Comp_Add(1, 0, 1, 180, &mag, &ang), S_OK);
    EXPECT_EQ(mag, 0.0f);
    EXPECT_EQ(ang, 0.0f);
    engine()->Comp_Add(3, 0, 4, 90, &mag, &ang);
    EXPECT_PHASOR(VarelCalc_Phasor({mag, ang}), 5, 53.1301f);
    engine()->Comp_Sub(1, 0, 1, -120, &mag, &ang);
    EXPECT_PHASOR(VarelCalc_Phasor({mag, ang}), std::sqrt(3.0f), 30) << "the line voltage AB";
    engine()->Comp_Sub(2, 45, 2, 45, &mag, &ang);
    EXPECT_EQ(mag, 0.0f);
}

TEST_F(PhasorTest, MultiplyAndDivide) {
    float x, y;
    EXPECT_EQ(engine()->Comp_Mul(1, 2, 3, 4, &x, &y), S_OK);
    EXPECT_EQ(x, -5.0f);
    EXPECT_EQ(y, 10.0f);
    EXPECT_EQ(engine()->Comp_Div(-5, 10, 3, 4, &x, &y), S_OK);
    EXPECT_NEAR(x, 1, 1e-6);
    EXPECT_NEAR(y, 2, 1e-6);
    struct {
        float x2, y2;
    } vanishing[] = {{0, 0}, {0.001f, 0.001f}, {0.003f, 0}};
    for (auto d : vanishing) {
        EXPECT_EQ(engine()->Comp_Div(1, 0, d.x2, d.y2, &x, &y), S_OK);
        EXPECT_EQ(x, 100000.0f) << d.x2;
        EXPECT_EQ(y, 100000.0f) << d.x2;
    }
    engine()->Comp_Div(1, 0, 0.004f, 0, &x, &y);
    EXPECT_NEAR(x, 250, 1e-3) << "a divisor of squared magnitude above 1e-5 divides";
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

    s = Sequence({2, 10}, {2, 130}, {2, -110});  // A, C, B order: negative sequence
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

TEST_F(PhasorTest, PhasePowers) {
    VarelCalc_PQ s = {};
    for (int i = 0; i < 3; ++i) {
        s.Up[i] = {1, 0};
        s.Ip[i] = {1, -90};
    }
    ASSERT_EQ(Call(&ICalcEngine::Calculate_PQ, s), S_OK);
    EXPECT_NEAR(s.P, 0, 1e-5);
    EXPECT_NEAR(s.Q, 3, 1e-5);
    EXPECT_NEAR(s.COS, 0, 1e-5);
}

// Mode 1 sees only two line voltages and two currents, and must still give
// the three-phase system's power for any power factor.
TEST_F(PhasorTest, LineVoltagePowersMatchThePhasePowers) {
    for (float lag : {0.0f, 30.0f, -45.0f, 90.0f, 150.0f}) {
        SCOPED_TRACE(lag);
        auto phase = Power(0, 57.735f, lag), line = Power(1, 57.735f, lag);
        Call(&ICalcEngine::Calculate_PQ, phase);
        ASSERT_EQ(Call(&ICalcEngine::Calculate_PQ, line), S_OK);
        double p = 3 * 57.735 * std::cos(lag * kPi / 180), q = 3 * 57.735 * std::sin(lag * kPi / 180);
        EXPECT_NEAR(phase.P, p, 1e-3);
        EXPECT_NEAR(phase.Q, q, 1e-3);
        EXPECT_NEAR(line.P, p, 1e-3);
        EXPECT_NEAR(line.Q, q, 1e-3);
        EXPECT_NEAR(line.COS, std::cos(lag * kPi / 180), 1e-5);
    }
    auto other = Power(2, 57.735f, 0);
    Call(&ICalcEngine::Calculate_PQ, other);
    EXPECT_EQ(other.P, 0.0f);
    EXPECT_EQ(other.Q, 0.0f);
    EXPECT_EQ(other.COS, 0.0f) << "no power, no power factor";
}

} // namespace
