// The engine as a COM class: ids, interfaces, size checks, the methods that
// calculate nothing.
#include "calc_test_support.h"

#include <vector>

namespace {

using EngineTest = CalcTest;

TEST_F(EngineTest, BothProgIdsNameTheClass) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(OLESTR("VarelCalcEngine.CalcEngine"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_CalcEngine);
    ASSERT_EQ(CLSIDFromProgID(OLESTR("VarelCalcEngine.CalcEngine.1"), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_CalcEngine);
}

TEST_F(EngineTest, InterfacesAndErrorInfo) {
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(engine_.As(IID_IDispatch, &dispatch), S_OK);
    ComPtr<ISupportErrorInfo> errorInfo;
    ASSERT_EQ(engine_.As(IID_ISupportErrorInfo, &errorInfo), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_ICalcEngine), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(engine_.As(IID_IUnknown, &a), S_OK);
    ASSERT_EQ(errorInfo.As(IID_IUnknown, &b), S_OK);
    EXPECT_EQ(a.Get(), b.Get()) << "one identity";
    ComPtr<IGenericData> none;
    EXPECT_EQ(engine_.As(IID_IGenericData, &none), E_NOINTERFACE);
}

TEST_F(EngineTest, EngineCountsAsALiveObject) {
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    engine_.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

using StructureMethod = HRESULT (STDMETHODCALLTYPE ICalcEngine::*)(BYTE*, LONG);

TEST_F(EngineTest, EveryStructureMethodChecksItsSize) {
    struct Case {
        const char* name;
        StructureMethod method;
        LONG size;
    } cases[] = {
        {"LoadState", &ICalcEngine::Calculate_LoadState, 60},
        {"Fault", &ICalcEngine::Calculate_Fault, 124},
        {"GPFault", &ICalcEngine::Calculate_GPFault, 104},
        {"ABCtoPP", &ICalcEngine::Calculate_ABCtoPP, 48},
        {"PPtoABC", &ICalcEngine::Calculate_PPtoABC, 48},
        {"ABCto120", &ICalcEngine::Calculate_ABCto120, 48},
        {"120toABC", &ICalcEngine::Calculate_120toABC, 48},
        {"PQ", &ICalcEngine::Calculate_PQ, 64},
        {"Shot", &ICalcEngine::Calculate_Shot, 248},
        {"Distance", &ICalcEngine::Calculate_Distance, 200},
        {"GPDistance", &ICalcEngine::Calculate_GPDistance, 200},
        {"OverCurr", &ICalcEngine::Calculate_OverCurr, 200},
        {"NegSeqCurr", &ICalcEngine::Calculate_NegSeqCurr, 200},
        {"ZeroSeqCurr", &ICalcEngine::Calculate_ZeroSeqCurr, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> buffer(c.size + 8, 0xA5);
        const std::vector<BYTE> before = buffer;
        for (LONG wrong : {c.size - 4, c.size + 4, c.size - 1, LONG(0), LONG(-1)}) {
            EXPECT_EQ((engine()->*c.method)(buffer.data(), wrong), E_INVALIDARG) << wrong;
            EXPECT_EQ(buffer, before) << "untouched for size " << wrong;
        }
        EXPECT_EQ((engine()->*c.method)(nullptr, c.size), E_POINTER);
        // The right size, on a buffer that is not 4-aligned.
        std::vector<BYTE> zeros(c.size + 1, 0);
        HRESULT hr = (engine()->*c.method)(zeros.data() + 1, c.size);
        EXPECT_TRUE(hr == S_OK || hr == E_INVALIDARG)
            << hr;  // all-zero PPtoABC input closes; ZeroSeqCurr type 0 runs
    }
    VarelCalc_LoadState load = {};
    EXPECT_EQ(engine()->Calculate_LoadState(reinterpret_cast<BYTE*>(&load), 64), E_INVALIDARG);
}

TEST_F(EngineTest, DifferentialAndSwingMethodsDoNothing) {
    StructureMethod methods[] = {&ICalcEngine::Calculate_Diff,      &ICalcEngine::Calculate_Diff_Shot,
                                 &ICalcEngine::Calculate_Diff_IrId, &ICalcEngine::Calculate_Diff_KP,
                                 &ICalcEngine::Calculate_Diff5,     &ICalcEngine::Calculate_Osc,
                                 &ICalcEngine::Calculate_Osc_Zk};
    std::vector<BYTE> buffer(300, 0x3C);
    const std::vector<BYTE> before = buffer;
    for (StructureMethod method : methods) {
        for (LONG size : {LONG(0), LONG(1), LONG(60), LONG(208), LONG(300)})
            EXPECT_EQ((engine()->*method)(buffer.data(), size), S_OK);
        EXPECT_EQ((engine()->*method)(nullptr, 5), S_OK);
    }
    EXPECT_EQ(buffer, before);
}

} // namespace
