// The composite calculations and the current-setting calculations.
#include "calc_test_support.h"

namespace {

using CompositeTest = CalcTest;

constexpr VarelCalc_Phasor kSentinel = {7, 7};

template <class S>
void FillOutputs(S& s) {
    for (int i = 0; i < 3; ++i)
        s.Up_PreFault[i] = s.Ip_PreFault[i] = s.Up_Fault[i] = s.Ip_Fault[i] = s.Up_TransFault[i] =
            s.Ip_TransFault[i] = kSentinel;
}

bool SameTriple(const VarelCalc_Phasor (&a)[3], const VarelCalc_Phasor (&b)[3]) {
    return std::memcmp(a, b, sizeof a) == 0;
}

bool IsSentinel(const VarelCalc_Phasor (&a)[3]) {
    for (auto p : a)
        if (p.Mag != kSentinel.Mag || p.Ang != kSentinel.Ang) return false;
    return true;
}

template <class S>
void ExpectLoadState(CalcTest& test, const S& s) {
    VarelCalc_LoadState load = {s.Us, s.ILoad_Mag, s.ILoad_Ang, {}, {}};
    test.Call(&ICalcEngine::Calculate_LoadState, load);
    EXPECT_TRUE(SameTriple(s.Up_PreFault, load.Up));
    EXPECT_TRUE(SameTriple(s.Ip_PreFault, load.Ip));
}

TEST_F(CompositeTest, ShotWithoutEvolvingFaultKeepsItsTransientTriples) {
    auto s = Defaults<VarelCalc_Shot>();
    s.ILoad_Mag = 0.5f;
    s.ILoad_Ang = -20;
    FillOutputs(s);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_Shot, s), S_OK);
    ExpectLoadState(*this, s);
    EXPECT_TRUE(IsSentinel(s.Up_TransFault));
    EXPECT_TRUE(IsSentinel(s.Ip_TransFault));
    auto f = Defaults<VarelCalc_Fault>();
    f.ILoad_Mag = 0.5f;
    f.ILoad_Ang = -20;
    f = RunFault(f);
    EXPECT_TRUE(SameTriple(s.Up_Fault, f.Up));
    EXPECT_TRUE(SameTriple(s.Ip_Fault, f.Ip));
}

TEST_F(CompositeTest, ShotEvolvingFaultUsesTheSecondFaultFields) {
    auto s = Defaults<VarelCalc_Shot>();
    s.bFaultTrans = 1;
    s.TransFaultType = 6;
    s.TransFaultDirection = 1;
    s.TransFaultIf = 8;
    s.TransFaultZf_Mag = 2;
    s.TransFaultZf_Ang = 70;
    s.CalcuMode = 0;
    FillOutputs(s);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_Shot, s), S_OK);
    auto f = Defaults<VarelCalc_Fault>();
    f.FaultType = 6;
    f.FaultDirection = 1;
    f.FaultIf = 8;
    f.FaultZf_Mag = 2;
    f.FaultZf_Ang = 70;
    f = RunFault(f);
    EXPECT_TRUE(SameTriple(s.Up_TransFault, f.Up));
    EXPECT_TRUE(SameTriple(s.Ip_TransFault, f.Ip));
    EXPECT_FALSE(SameTriple(s.Up_Fault, f.Up));
}

TEST_F(CompositeTest, DistanceFaultsAtTheRatioOfTheSetting) {
    auto s = Defaults<VarelCalc_Distance>();
    s.Zzd_Mag = 4;
    s.Zzd_Ang = 75;
    s.FaultType = 5;
    s.ILoad_Mag = 1;
    FillOutputs(s);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_Distance, s), S_OK);
    ExpectLoadState(*this, s);
    auto f = Defaults<VarelCalc_Fault>();
    f.FaultType = 5;
    f.ILoad_Mag = 1;
    f.FaultZf_Mag = 0.95f * 4;
    f.FaultZf_Ang = 75;
    f = RunFault(f);
    EXPECT_TRUE(SameTriple(s.Up_Fault, f.Up));
    EXPECT_TRUE(SameTriple(s.Ip_Fault, f.Ip));
    EXPECT_TRUE(SameTriple(s.Up_TransFault, s.Up_Fault));
    EXPECT_TRUE(SameTriple(s.Ip_TransFault, s.Ip_Fault));
    // What a distance relay measures on the C-A loop, load included: the fault impedance.
    Complex loop = (AsComplex(s.Up_Fault[2]) - AsComplex(s.Up_Fault[0])) /
                   (AsComplex(s.Ip_Fault[2]) - AsComplex(s.Ip_Fault[0]));
    EXPECT_NEAR_C(loop, std::polar(3.8, 75 * kPi / 180), 1e-3);
}

TEST_F(CompositeTest, GPDistanceIsThePowerFrequencyVariationFault) {
    auto s = Defaults<VarelCalc_GPDistance>();
    s.FaultType = 2;
    s.m = 1.1f;
    FillOutputs(s);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_GPDistance, s), S_OK);
    ExpectLoadState(*this, s);
    auto g = Defaults<VarelCalc_GPFault>();
    g.FaultType = 2;
    g.m = 1.1f;
    Call(&ICalcEngine::Calculate_GPFault, g);
    EXPECT_TRUE(SameTriple(s.Up_Fault, g.Up));
    EXPECT_TRUE(SameTriple(s.Ip_Fault, g.Ip));
    EXPECT_TRUE(SameTriple(s.Up_TransFault, g.Up));
}

using CurrentSettingTest = CalcTest;

VarelCalc_OverCurr Setting(int32_t type, float izd = 5, float ratio = 1.05f) {
    auto s = Defaults<VarelCalc_OverCurr>();
    s.FaultType = type;
    s.Izd = izd;
    s.If_Ratio = ratio;
    FillOutputs(s);
    return s;
}

TEST_F(CurrentSettingTest, OverCurrentDefaults) {
    auto s = Setting(0);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_OverCurr, s), S_OK);
    EXPECT_PHASOR(s.Ip_Fault[0], 5.25f, -90, 1e-4);
    EXPECT_PHASOR(s.Up_Fault[0], 5.25f * 1.67f, 0, 1e-4);
    EXPECT_TRUE(SameTriple(s.Up_TransFault, s.Up_Fault));
    EXPECT_TRUE(SameTriple(s.Ip_TransFault, s.Ip_Fault));
    ExpectLoadState(*this, s);
    for (int32_t type : {3, 6, 9}) {
        auto other = Setting(type);
        EXPECT_EQ(Call(&ICalcEngine::Calculate_OverCurr, other), S_OK) << "any type";
        EXPECT_NEAR(other.Ip_Fault[0].Mag, 5.25f, 1e-4);
    }
}

// The sequence component the protection measures comes out at If_Ratio·Izd.
TEST_F(CurrentSettingTest, ProtectedSequenceCurrentEqualsTheMultipleOfTheSetting) {
    struct Case {
        HRESULT (STDMETHODCALLTYPE ICalcEngine::*method)(BYTE*, LONG);
        int sequence;  // 1 negative, 2 zero entry (3·I0)
        int32_t type;
    } cases[] = {
        {&ICalcEngine::Calculate_NegSeqCurr, 1, 0},  {&ICalcEngine::Calculate_NegSeqCurr, 1, 2},
        {&ICalcEngine::Calculate_NegSeqCurr, 1, 3},  {&ICalcEngine::Calculate_NegSeqCurr, 1, 5},
        {&ICalcEngine::Calculate_ZeroSeqCurr, 2, 0}, {&ICalcEngine::Calculate_ZeroSeqCurr, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " sequence " << c.sequence);
        auto s = Setting(c.type, 2, 1.2f);
        ASSERT_EQ(Call(c.method, s), S_OK);
        VarelCalc_ABC120 seq = {{s.Ip_Fault[0], s.Ip_Fault[1], s.Ip_Fault[2]}, {}};
        Call(&ICalcEngine::Calculate_ABCto120, seq);
        double measured = c.sequence == 2 ? seq.Result_Up[2].Mag / 3 : seq.Result_Up[1].Mag;
        EXPECT_NEAR(measured, 2.4, 1e-4);
    }
}

TEST_F(CurrentSettingTest, NegativeSequencePhaseToPhase) {
    auto s = Setting(3, 1, 1);
    ASSERT_EQ(Call(&ICalcEngine::Calculate_NegSeqCurr, s), S_OK);
    EXPECT_NEAR(s.Ip_Fault[0].Mag, std::sqrt(3.0), 1e-5);
    EXPECT_NEAR(s.Ip_Fault[1].Mag, std::sqrt(3.0), 1e-5);
    EXPECT_NEAR_C(AsComplex(s.Ip_Fault[0]) + AsComplex(s.Ip_Fault[1]), 0, 1e-5);
}

TEST_F(CurrentSettingTest, RefusedFaultTypes) {
    struct Case {
        HRESULT (STDMETHODCALLTYPE ICalcEngine::*method)(BYTE*, LONG);
        int32_t type;
        HRESULT expected;
        bool preFaultWritten;
    } cases[] = {
        {&ICalcEngine::Calculate_NegSeqCurr, 6, E_INVALIDARG, false},
        {&ICalcEngine::Calculate_NegSeqCurr, 7, E_INVALIDARG, false},
        {&ICalcEngine::Calculate_NegSeqCurr, 9, E_INVALIDARG, false},
        {&ICalcEngine::Calculate_NegSeqCurr, 10, S_OK, true},
        {&ICalcEngine::Calculate_NegSeqCurr, -1, S_OK, true},
        {&ICalcEngine::Calculate_ZeroSeqCurr, 3, E_INVALIDARG, false},
        {&ICalcEngine::Calculate_ZeroSeqCurr, 4, E_INVALIDARG, false},
        {&ICalcEngine::Calculate_ZeroSeqCurr, 9, E_INVALIDARG, false},
        {&ICalcEngine::Calculate_ZeroSeqCurr, 12, E_INVALIDARG, true},
        {&ICalcEngine::Calculate_ZeroSeqCurr, -3, E_INVALIDARG, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto s = Setting(c.type);
        auto before = s;
        EXPECT_EQ(Call(c.method, s), c.expected);
        EXPECT_TRUE(IsSentinel(s.Up_Fault));
        EXPECT_TRUE(IsSentinel(s.Ip_TransFault));
        if (c.preFaultWritten)
            ExpectLoadState(*this, s);
        else
            EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);
    }
}

} // namespace
