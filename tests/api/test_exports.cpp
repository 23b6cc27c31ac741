#include <varel/vts.h>

#include "text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "leak_check.h"

TEST(Exports, ArgumentChecksComeFirst) {
    uint16_t states[2] = {1, 0};
    EXPECT_EQ(VTS_TransBoutState(nullptr, 3), E_INVALIDARG);
    EXPECT_EQ(VTS_TransBoutState(states, 0), E_INVALIDARG);
    EXPECT_EQ(VTS_TransBoutState_Ex(states, -1), E_INVALIDARG);
    EXPECT_EQ(VTS_GetTestServer(), E_NOINTERFACE);
    EXPECT_EQ(VTS_GetDeviceInfo(OLESTR("LINK"), nullptr), E_INVALIDARG);
}

TEST(Exports, ComtradeDescriptionNeedsAPathAndAnOutput) {
    IGenericData* document = reinterpret_cast<IGenericData*>(1);
    EXPECT_EQ(VTS_DescribeComtrade(OLESTR("r.cfg"), 0.0f, nullptr), E_POINTER);
    EXPECT_EQ(VTS_DescribeComtrade(nullptr, 0.0f, &document), E_INVALIDARG);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(VTS_DescribeComtrade(OLESTR("no such folder/r.cfg"), 0.0f, &document), 1) << "not opened";
    EXPECT_EQ(document, nullptr);
}

TEST(Exports, DeviceInformationBeforeAnyLink) {
    LeakCheck leaks;
    EXPECT_EQ(VTS_GetDAAM(), 20.0f);
    const BaseDeviceInfo* info = VTS_GetBaseDeviceInfo();
    EXPECT_EQ(info->model, 0u);
    EXPECT_EQ(info->capability, 1u);
    EXPECT_EQ(info->voltageChannels, 16u);
    EXPECT_EQ(info->value84, 300.0f);
    EXPECT_EQ(info->value92, 57.735f);
    EXPECT_EQ(info->value100, 50.0f);
    VARIANT rate;
    VariantInit(&rate);
    ASSERT_EQ(VTS_GetDeviceInfo(OLESTR("DEVBASEINFO.TestSampRate"), &rate), S_OK);
    EXPECT_EQ(rate.vt, VT_I2);
    EXPECT_EQ(rate.iVal, 200);
    ASSERT_EQ(VTS_GetDeviceInfo_A("DEVBASEINFO.TestSampRate", &rate), S_OK);
    EXPECT_EQ(rate.iVal, 200);
    EXPECT_EQ(VTS_GetDeviceInfo(OLESTR("devbaseinfo.testsamprate"), &rate), E_NOTIMPL) << "names compare exactly";
    EXPECT_EQ(VTS_GetDeviceInfo(nullptr, &rate), E_NOTIMPL);
    leaks.ExpectNoLeaks();
}

TEST(FaultMessages, WideTextIsTruncatedAndTerminated) {
    WCHAR buffer[10];
    std::memset(buffer, 0x55, sizeof buffer);
    VTS_GetFaultMsg_Com_W(static_cast<HRESULT>(0x80004005), buffer, 10);
    EXPECT_EQ(WideString(buffer), OLESTR("执行失败，错误码:"));
    WCHAR whole[64];
    VTS_GetFaultMsg_Com(static_cast<HRESULT>(0x80004005), whole, 64);
    EXPECT_EQ(WideString(whole), OLESTR("执行失败，错误码: 0先80004005"));
    WCHAR one[1] = {OLESTR('x')};
    VTS_GetFaultMsg_W(0x10000, 1, 0, one, 1);
    EXPECT_EQ(one[0], 0);
}

TEST(FaultMessages, NarrowTextIsUtf8CutAtACharacter) {
    char buffer[8];
    VTS_GetFaultMsg_Com_A(static_cast<HRESULT>(0xA0190100), buffer, 8); // "执行正确。": 3 bytes a character
    EXPECT_STREQ(buffer, "执行");
    char whole[64];
    VTS_GetFaultMsg_A(0x20000, 1u << 6, 0, whole, 64);
    EXPECT_STREQ(whole, "告警：机器掉电;\n");
}

TEST(NarrowArguments, ResourceNumbersNameLibraryStrings) {
    // 100 is the library's one string resource; the text is no ProgID, so nothing is activated.
    EXPECT_EQ(VTS_ActiveTest_A(reinterpret_cast<const char*>(100)), E_INVALIDARG);
}
