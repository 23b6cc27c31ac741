// Fault states: the documented cases, and physics that any correct fault
// calculation must respect.
#include "calc_test_support.h"

namespace {

using FaultTest = CalcTest;

constexpr float kUs = 57.735f;

TEST_F(FaultTest, SinglePhaseConstantCurrent) {
    auto s = RunFault(Fault(0));
    EXPECT_PHASOR(s.Up[0], 5, 0);
    EXPECT_PHASOR(s.Ip[0], 5, -90);
    EXPECT_PHASOR(s.Up[1], kUs, -120);
    EXPECT_PHASOR(s.Up[2], kUs, 120);
    for (int i : {1, 2}) {
        EXPECT_EQ(s.Ip[i].Mag, 0.0f);
        EXPECT_EQ(s.Ip[i].Ang, 0.0f);
    }
}

TEST_F(FaultTest, ReverseTurnsOnlyTheCurrents) {
    auto reverseInput = Fault(0);
    reverseInput.FaultDirection = 1;
    auto reverse = RunFault(reverseInput);
    for (int i : {1, 2}) {
        EXPECT_EQ(reverse.Ip[i].Mag, 0.0f);
        EXPECT_EQ(reverse.Ip[i].Ang, 0.0f) << "a turned zero current comes back with angle 0";
    }
    // For every type and mode: same voltages, opposite currents.
    for (int32_t type = 0; type <= 9; ++type) {
        for (int32_t mode = 0; mode <= 2; ++mode) {
            SCOPED_TRACE(testing::Message() << "type " << type << " mode " << mode);
            auto in = Fault(type, mode);
            in.FaultUf = 20;
            in.Zs_Mag = 4;
            in.Zs_Ang = 80;
            in.KL_Mag = 0.5f;
            auto f = RunFault(in);
            in.FaultDirection = 1;
            auto r = RunFault(in);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(r.Up[i].Mag, f.Up[i].Mag);
                EXPECT_EQ(r.Up[i].Ang, f.Up[i].Ang);
                EXPECT_NEAR_C(AsComplex(r.Ip[i]), -AsComplex(f.Ip[i]), 1e-4);
            }
        }
    }
}

TEST_F(FaultTest, ThreePhaseConstantVoltage) {
    auto in = Fault(9, 1);
    in.FaultUf = 10;
    in.FaultZf_Mag = 2;
    in.FaultZf_Ang = 80;
    auto s = RunFault(in);
    EXPECT_PHASOR(s.Ip[0], 5, -80);
    EXPECT_EQ(s.Ip[1].Ang, 160.0f) << "-200 comes back through the rectangular form";
    EXPECT_PHASOR(s.Ip[1], 5, 160);
    EXPECT_PHASOR(s.Ip[2], 5, 40);
    EXPECT_PHASOR(s.Up[0], 10, 0);
    EXPECT_PHASOR(s.Up[1], 10, -120);
    EXPECT_PHASOR(s.Up[2], 10, 120);
}

TEST_F(FaultTest, ConstantVoltageOverAVanishingImpedance) {
    for (int32_t type : {0, 1, 2, 3, 4, 5, 9}) {
        auto in = Fault(type, 1);
        in.FaultUf = 10;
        in.FaultZf_Mag = 0;
        auto s = RunFault(in);
        float largest = 0;
        for (auto& i : s.Ip) largest = std::max(largest, i.Mag);
        EXPECT_NEAR(largest, 10000, 0.01) << "type " << type;
    }
}

// Kirchhoff for the loop of a phase-to-earth fault: the faulted voltage over
// the faulted current is the loop Zf·(1 + KL), whatever Zf, KL and phase.
TEST_F(FaultTest, SinglePhaseVoltageOverCurrentIsTheLoopImpedance) {
    const VarelCalc_Phasor impedances[] = {{1, 90}, {2.5f, 75}, {0.3f, 10}, {12, -30}, {4, 0}};
    const VarelCalc_Phasor earthFactors[] = {{0, 0}, {0.8f, -10}};
    for (int32_t phase = 0; phase <= 2; ++phase) {
        for (auto z : impedances) {
            for (auto kl : earthFactors) {
                for (int32_t mode : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << "phase " << phase << " Zf " << z.Mag << "∠" << z.Ang
                                                    << " KL " << kl.Mag << " mode " << mode);
                    auto in = Fault(phase, mode);
                    in.FaultZf_Mag = z.Mag;
                    in.FaultZf_Ang = z.Ang;
                    in.KL_Mag = kl.Mag;
                    in.KL_Ang = kl.Ang;
                    in.FaultUf = 7;
                    auto s = RunFault(in);
                    EXPECT_NEAR_C(AsComplex(s.Up[phase]) / AsComplex(s.Ip[phase]),
                                  AsComplex(z) * (1.0 + AsComplex(kl)), 1e-4);
                    EXPECT_NEAR(mode == 1 ? s.Up[phase].Mag : s.Ip[phase].Mag, mode == 1 ? 7 : 5, 1e-4)
                        << "constant voltage holds the voltage, constant current the current";
                }
            }
        }
    }
}

TEST_F(FaultTest, EarthFactorModesAgree) {
    // KR = KX = k is the real factor k; Z0/Z1 = 1 + 3k is the factor k.
    auto base = Fault(0);
    base.FaultZf_Mag = 2;
    base.FaultZf_Ang = 60;
    base.KL_Mag = 0.6f;
    auto byFactor = RunFault(base);
    auto byParts = base;
    byParts.KL_Mode = 1;
    byParts.KL_Mag = 99;
    byParts.KL_KR = byParts.KL_KX = 0.6f;
    auto byRatio = base;
    byRatio.KL_Mode = 2;
    byRatio.KL_Mag = 2.8f;
    auto unknownMode = base;
    unknownMode.KL_Mode = 7;
    for (auto variant : {byParts, byRatio, unknownMode}) {
        auto s = RunFault(variant);
        for (int i = 0; i < 3; ++i) {
            EXPECT_PHASOR(s.Up[i], byFactor.Up[i].Mag, byFactor.Up[i].Ang, 1e-4, 1e-3);
            EXPECT_PHASOR(s.Ip[i], byFactor.Ip[i].Mag, byFactor.Ip[i].Ang, 1e-4, 1e-3);
        }
    }
    // KR and KX apart: the factor is (KR·R + j·KX·X)/Zf.
    byParts.KL_KR = 0.4f;
    byParts.KL_KX = 0.9f;
    auto s = RunFault(byParts);
    Complex zf = std::polar(2.0, 60 * kPi / 180);
    Complex kl = Complex(0.4 * zf.real(), 0.9 * zf.imag()) / zf;
    EXPECT_NEAR_C(AsComplex(s.Up[0]) / AsComplex(s.Ip[0]), zf * (1.0 + kl), 1e-4);
}

TEST_F(FaultTest, SourceImpedanceLimitLowersTheSource) {
    auto in = Fault(0, 2);
    in.Zs_Mag = 0.1f;
    in.Zs_Ang = 85;
    in.FaultZf_Mag = 0.1f;
    in.FaultZf_Ang = 85;
    auto s = RunFault(in);
    EXPECT_PHASOR(s.Ip[0], 10, -85, 1e-3);
    EXPECT_PHASOR(s.Up[0], 1, 0, 1e-4);
    EXPECT_PHASOR(s.Up[1], 2, -120, 1e-4) << "the healthy phases show the lowered source";
    EXPECT_PHASOR(s.Up[2], 2, 120, 1e-4);
}

// Below the limit the source drives the loop: E = I·(Zs·(1+Ks) + Zf·(1+KL)).
TEST_F(FaultTest, SourceImpedanceObeysKirchhoff) {
    auto in = Fault(2, 2);
    in.Zs_Mag = 6;
    in.Zs_Ang = 80;
    in.Ks_Mag = 0.5f;
    in.Ks_Ang = 5;
    in.KL_Mag = 0.67f;
    in.FaultZf_Mag = 4;
    in.FaultZf_Ang = 75;
    auto s = RunFault(in);
    Complex zs = std::polar(6.0, 80 * kPi / 180), ks = std::polar(0.5, 5 * kPi / 180);
    Complex zf = std::polar(4.0, 75 * kPi / 180);
    Complex i = AsComplex(s.Ip[2]);
    EXPECT_LT(s.Ip[2].Mag, 10);
    EXPECT_NEAR_C(i * (zs * (1.0 + ks) + zf * 1.67), std::polar(double(kUs), 120 * kPi / 180), 1e-3);
    EXPECT_NEAR_C(AsComplex(s.Up[2]), i * zf * 1.67, 1e-3);
}

TEST_F(FaultTest, SourceImpedanceLimitHoldsForEveryType) {
    for (int32_t type = 0; type <= 9; ++type) {
        SCOPED_TRACE(type);
        auto in = Fault(type, 2);
        in.Zs_Mag = 0.2f;
        in.Zs_Ang = 80;
        in.FaultZf_Mag = 0.3f;
        in.FaultZf_Ang = 70;
        in.KL_Mag = 0.5f;
        auto s = RunFault(in);
        int first = type <= 2 ? type : type <= 5 ? type - 3 : type <= 8 ? type - 6 : 0;
        EXPECT_NEAR(s.Ip[first].Mag, 10, 1e-3) << "the source comes down until the current is 10 A";
        EXPECT_LT(s.Up[(first + 1) % 3].Mag, kUs);
    }
}

// A three-phase fault is balanced: no negative or zero sequence.
TEST_F(FaultTest, ThreePhaseFaultIsBalanced) {
    for (int32_t mode = 0; mode <= 2; ++mode) {
        auto in = Fault(9, mode);
        in.FaultUf = 30;
        in.Zs_Mag = 3;
        in.Zs_Ang = 85;
        in.FaultZf_Mag = 1.5f;
        in.FaultZf_Ang = 72;
        auto s = RunFault(in);
        for (auto* triple : {s.Up, s.Ip}) {
            VarelCalc_ABC120 seq = {{triple[0], triple[1], triple[2]}, {}};
            Call(&ICalcEngine::Calculate_ABCto120, seq);
            EXPECT_GT(seq.Result_Up[0].Mag, 1) << "mode " << mode;
            EXPECT_NEAR(seq.Result_Up[1].Mag, 0, 1e-4) << "mode " << mode;
            EXPECT_NEAR(seq.Result_Up[2].Mag, 0, 1e-4) << "mode " << mode;
        }
    }
}

// A phase-to-phase fault has no earth path: the two currents cancel, the
// third phase carries none, and the faulted loop is 2·Zf.
TEST_F(FaultTest, PhaseToPhaseHasNoEarthCurrent) {
    for (int32_t type = 3; type <= 5; ++type) {
        for (int32_t mode = 0; mode <= 2; ++mode) {
            SCOPED_TRACE(testing::Message() << "type " << type << " mode " << mode);
            int p = type - 3, q = (p + 1) % 3, o = (p + 2) % 3;
            auto in = Fault(type, mode);
            in.FaultUf = 12;
            in.Zs_Mag = 4;
            in.Zs_Ang = 80;
            in.FaultZf_Mag = 2;
            in.FaultZf_Ang = 65;
            auto s = RunFault(in);
            EXPECT_NEAR_C(AsComplex(s.Ip[p]) + AsComplex(s.Ip[q]), 0, 1e-4);
            EXPECT_EQ(s.Ip[o].Mag, 0.0f);
            EXPECT_PHASOR(s.Up[o], kUs, kPhaseDeg[o]);
            Complex loop = (AsComplex(s.Up[p]) - AsComplex(s.Up[q])) / AsComplex(s.Ip[p]);
            EXPECT_NEAR_C(loop, 2.0 * std::polar(2.0, 65 * kPi / 180), 1e-3);
            if (mode == 1) {
                EXPECT_NEAR(std::abs(AsComplex(s.Up[p]) - AsComplex(s.Up[q])), 12, 1e-3);
            }
            if (mode == 0) {
                EXPECT_NEAR(s.Ip[p].Mag, 5, 1e-5);
            }
            Complex sum = AsComplex(s.Up[0]) + AsComplex(s.Up[1]) + AsComplex(s.Up[2]);
            EXPECT_NEAR_C(sum, 0, 1e-3) << "no zero-sequence voltage";
        }
    }
}

TEST_F(FaultTest, TwoPhasesToEarth) {
    for (int32_t type = 6; type <= 8; ++type) {
        SCOPED_TRACE(type);
        int p = type - 6, q = (p + 1) % 3;
        // Constant voltage: both faulted phases at FaultUf on their own angles.
        auto in = Fault(type, 1);
        in.FaultUf = 9;
        in.KL_Mag = 0.67f;
        auto s = RunFault(in);
        EXPECT_PHASOR(s.Up[p], 9, kPhaseDeg[p], 1e-3);
        EXPECT_PHASOR(s.Up[q], 9, kPhaseDeg[q], 1e-3);
        // The model: each voltage is its current over Zf plus the shared earth return over Zf·KL.
        Complex zf = std::polar(1.0, kPi / 2), kz = zf * 0.67;
        Complex ip = AsComplex(s.Ip[p]), iq = AsComplex(s.Ip[q]);
        EXPECT_NEAR_C(AsComplex(s.Up[p]), zf * ip + kz * (ip + iq), 1e-3);
        EXPECT_NEAR_C(AsComplex(s.Up[q]), zf * iq + kz * (ip + iq), 1e-3);

        // Constant current without earth factor: FaultIf in both, each voltage Zf·I.
        auto cc = RunFault(Fault(type, 0));
        EXPECT_NEAR(cc.Ip[p].Mag, 5, 1e-5);
        EXPECT_NEAR(cc.Ip[q].Mag, 5, 1e-5);
        EXPECT_NEAR_C(AsComplex(cc.Up[p]), AsComplex(cc.Ip[p]) * zf, 1e-4);
        EXPECT_EQ(cc.Ip[(p + 2) % 3].Mag, 0.0f);
    }
}

TEST_F(FaultTest, LoadCurrentFlowsEverywhereAndDropsOverZf) {
    auto in = Fault(0);
    in.ILoad_Mag = 1;
    in.ILoad_Ang = -30;
    auto s = RunFault(in);
    EXPECT_PHASOR(s.Ip[1], 1, -150) << "healthy phases carry their load";
    EXPECT_PHASOR(s.Ip[2], 1, 90);
    EXPECT_NEAR_C(AsComplex(s.Ip[0]), std::polar(5.0, -kPi / 2) + std::polar(1.0, -kPi / 6), 1e-4);
    // Ua' = 5∠0 plus the load over Zf: 1∠-30 · 1∠90.
    EXPECT_NEAR_C(AsComplex(s.Up[0]), 5.0 + std::polar(1.0, kPi / 3), 1e-4);
    EXPECT_PHASOR(s.Up[1], kUs, -120) << "no drop on a healthy phase";
}

TEST_F(FaultTest, UnknownTypeOrModeComputesNothing) {
    struct {
        int32_t type, mode;
    } cases[] = {{10, 0}, {-1, 0}, {100, 1}, {0, 3}, {9, -1}};
    for (auto c : cases) {
        auto in = Fault(c.type, c.mode);
        for (int i = 0; i < 3; ++i) in.Up[i] = in.Ip[i] = {7, 7};
        auto s = RunFault(in);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(s.Up[i].Mag, 0.0f) << c.type << "/" << c.mode;
            EXPECT_EQ(s.Ip[i].Mag, 0.0f) << c.type << "/" << c.mode;
        }
    }
}

VarelCalc_GPFault GPFault(int32_t type, int32_t direction = 0) {
    auto s = Defaults<VarelCalc_GPFault>();
    s.FaultType = type;
    s.FaultDirection = direction;
    return s;
}

TEST_F(FaultTest, PowerFrequencyVariationSinglePhase) {
    auto s = GPFault(0);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_GPFault, s), S_OK);
    EXPECT_PHASOR(s.Up[0], 1.67f * 5 + (1 - 0.945f) * kUs, 0, 1e-3);
    EXPECT_NEAR(s.Up[0].Mag, 11.53, 0.01);
    EXPECT_PHASOR(s.Ip[0], 5, -90);
    EXPECT_PHASOR(s.Up[1], kUs, -120);

    s = GPFault(0, 1);
    Call(&ICalcEngine::Calculate_GPFault, s);
    EXPECT_EQ(s.Up[0].Mag, 0.0f) << "reverse: the faulted voltage collapses";
    EXPECT_PHASOR(s.Ip[0], 5, 90);
}

TEST_F(FaultTest, PowerFrequencyVariationOtherTypes) {
    const double margin = (1 - 1.05 * 0.9) * kUs;
    auto s = GPFault(9);
    Call(&ICalcEngine::Calculate_GPFault, s);
    for (int i = 0; i < 3; ++i) {
        EXPECT_PHASOR(s.Up[i], 5 + margin, kPhaseDeg[i], 1e-3);
        EXPECT_PHASOR(s.Ip[i], 5, kPhaseDeg[i] - 90);
    }
    s = GPFault(4); // B-C, A healthy
    Call(&ICalcEngine::Calculate_GPFault, s);
    Complex ub = AsComplex(s.Up[1]), uc = AsComplex(s.Up[2]);
    EXPECT_NEAR_C(ub - uc, std::polar(10 + margin * std::sqrt(3.0), -kPi / 2), 1e-3)
        << "line voltage at θA - 90";
    EXPECT_NEAR_C(ub + uc, -double(kUs), 1e-3) << "the healthy phase stays where it was";
    EXPECT_NEAR_C(AsComplex(s.Ip[1]) + AsComplex(s.Ip[2]), 0, 1e-4);
    EXPECT_PHASOR(s.Ip[1], 5, -180);
    s = GPFault(7, 1);
    Call(&ICalcEngine::Calculate_GPFault, s);
    EXPECT_EQ(s.Up[1].Mag, 0.0f);
    EXPECT_EQ(s.Up[2].Mag, 0.0f);
    EXPECT_PHASOR(s.Ip[1], 5, -30);
    EXPECT_PHASOR(s.Ip[2], 5, 210);
}

TEST_F(FaultTest, PowerFrequencyVariationEarthFactorModes) {
    auto s = GPFault(0);
    s.KL_Mode = 1; // Zzd = j1: K = √KX
    s.KL_KX = 0.64f;
    Call(&ICalcEngine::Calculate_GPFault, s);
    const double margin = (1 - 1.05 * 0.9) * kUs;
    EXPECT_NEAR(s.Up[0].Mag, 1.8 * 5 + margin, 1e-3);
    s = GPFault(0);
    s.KL_Mode = 2; // Z0/Z1 = 1∠90: K = |j - 1|/3
    s.KL_Mag = 1;
    s.KL_Ang = 90;
    Call(&ICalcEngine::Calculate_GPFault, s);
    EXPECT_NEAR(s.Up[0].Mag, (1 + std::sqrt(2.0) / 3) * 5 + margin, 1e-3);
}

} // namespace
