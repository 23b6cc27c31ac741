// The state sequence: its parameter list pair by pair through a fake port,
// its result conversion, and whole tests on the simulated bench.
#include "com/bstr.h"
#include "device/message_ids.h"
#include "dsptest/state.h"
#include "module_fixture.h"

#include <message_boxes.h>
#include <private_network.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const WCHAR* kState = OLESTR("Varel.ZTXLTest.1");

class StateModule : public ModuleOnPort<CDspTest_State, VarelTest_State> {
protected:
    StateModule() : ModuleOnPort(kState) {}
};

using StateSequence = BenchTest;

} // namespace

TEST_F(StateModule, TheParameterListPairByPair) {
    port.voltages = 1;
    port.currents = 1;
    Set("RepeatNumbers", VT_INT, 2);
    Set("FaultId_Id0", VT_R4, 1.5);
    Set("Tao", VT_R4, 0.04);
    Set("SureTime", VT_R4, -0.00006);
    Set("StatePara.0.Up.0.Mag", VT_R4, 57.735);
    Set("StatePara.0.Up.0.Ang", VT_R4, -120);
    Set("StatePara.0.Up.0.bDMag", VT_INT, 1);
    Set("StatePara.0.Up.0.dMag_dt", VT_R4, 2.5);
    Set("StatePara.0.Ip.0.Mag", VT_R4, 0.00004);
    Set("StatePara.0.Ip.0.dFre_dt", VT_R4, 7); // ramp off: its rate is sent as 0
    Set("StatePara.0.OutputState.1", VT_INT, 1);
    Set("StatePara.0.OutputDelayTime.7", VT_R4, 0.25);
    Set("StatePara.0.EndMode", VT_INT, 4);
    Set("StatePara.0.Mag_nGroup", VT_INT, 1);
    Set("StatePara.0.Mag_nIndex", VT_INT, 2);
    Set("StatePara.0.Mag_Value", VT_R4, 12.5);
    Set("StatePara.0.bBinSelect.0", VT_INT, 1);
    Set("StatePara.0.bBinSelect.15", VT_INT, 1);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    // clang-format off
    const Pairs golden = {
        // Test-wide: states, repeats, the fault switches, 1 / Tao, the trip
        // reference, the confirmation time (-0.00006 s rounds away from zero).
        {0x2000, 1}, {0x202A, 2}, {0x202B, 0}, {0x202C, 0}, {0x202D, 15000}, {0x202E, 0}, {0x202F, 0},
        {0x2030, 0}, {0x2031, 250000}, {0x2032, 0}, {0x2033, 0xFFFFFFFF}, {0x2034, 0}, {0x2035, 0},
        {0x2036, 0},
        // State 0: outputs and their delays, the end mode and times, the
        // input mask 0x8001, the trigger's channel (current 2 is 18) and value.
        {0x2001, 0}, {0x200D, 0}, {0x200E, 1}, {0x200F, 0}, {0x2010, 0}, {0x2011, 0}, {0x2012, 0},
        {0x2013, 0}, {0x2014, 0}, {0x2015, 0}, {0x2016, 0}, {0x2017, 0}, {0x2018, 0}, {0x2019, 0},
        {0x201A, 0}, {0x201B, 0}, {0x201C, 2500}, {0x201D, 4}, {0x201E, 0}, {0x201F, 1000}, {0x2020, 0},
        {0x2021, 0x8001}, {0x2022, 18}, {0x2023, 125000},
        // Voltage channel 0, ramp flags included; current channel 16 without
        // them, its rate 0 while its ramp is off; then the GPS option.
        {0x2002, 0}, {0x2003, 577350}, {0x2004, 0xFFEDB080}, {0x2005, 500000}, {0x2006, 0}, {0x2007, 1},
        {0x2008, 25000}, {0x2009, 0}, {0x200A, 0}, {0x200B, 0}, {0x200C, 450000},
        {0x2002, 16}, {0x2003, 0}, {0x2004, 0}, {0x2005, 500000}, {0x2006, 0}, {0x2008, 0}, {0x2009, 0},
        {0x200B, 0}, {0x200C, 450000}, {0x2024, 2},
    };
    // clang-format on
    EXPECT_EQ(port.pairs, golden);

    // Other end modes take the frequency trigger's channel and value; a
    // time constant of 0 sends 1.0.
    port.pairs.clear();
    Set("Tao", VT_R4, 0);
    Set("StatePara.0.EndMode", VT_INT, 3);
    Set("StatePara.0.Fre_nIndex", VT_INT, 1);
    Set("StatePara.0.Fre_Value", VT_R4, 49);
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 34), 1u) << "voltage channel 1";
    EXPECT_EQ(Find(port.pairs, 35), Wire(49));
    EXPECT_EQ(Find(port.pairs, 49), 10000u);
}

TEST_F(StateModule, TheDefaultsDocumentHoldsEveryElementOfEveryArray) {
    EXPECT_EQ(DocumentValue(document.Get(), "TestParams.StatePara.49.Ip.15.Fre"), 50.0);
    EXPECT_EQ(DocumentValue(document.Get(), "TestParams.StatePara.7.MaxLastTime"), 0.1f);
    EXPECT_EQ(DocumentValue(document.Get(), "TestParams.Result.BinTripTime.50.Bin.15"), -1000.0);
    ComPtr<IGenericDataNode> root;
    ASSERT_EQ(document->GetRootNode(root.Put()), S_OK);
    const struct {
        const WCHAR* path;
        VARTYPE type;
    } typed[] = {{OLESTR("TestParams"), VT_BSTR},
                 {OLESTR("TestParams.StatePara.0.EndMode"), VT_INT},
                 {OLESTR("TestParams.StatePara.0.Up.0.Mag"), VT_R4}};
    for (const auto& t : typed) {
        BStr path(t.path);
        VARIANT v;
        VariantInit(&v);
        ASSERT_EQ(root->GetChildValue(path.Get(), &v), S_OK);
        EXPECT_EQ(v.vt, t.type);
        if (v.vt == VT_BSTR) {
            EXPECT_EQ(BstrView(v.bstrVal), WideStringView(EntryOf(kState).structName));
        }
        VariantClear(&v);
    }
}

TEST_F(StateModule, CountsOutOfRangeAndShortResults) {
    const auto states = [this] {
        return std::count_if(port.pairs.begin(), port.pairs.end(), [](auto& p) { return p.first == 0x2001; });
    };
    Set("StateNumbers", VT_INT, 60);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 0), 50u) << "more than the 50 records are played as 50";
    EXPECT_EQ(states(), 50);
    port.pairs.clear();
    Set("StateNumbers", VT_INT, -3);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 0), 0u);
    EXPECT_EQ(states(), 0);

    // 2 inputs, 3 state entries: the total, the entries, the inputs' end
    // states, then each input's trip time per entry.
    VarelTest_State image = Image({2, 3, 12345, 0, 5000, 9000, 1, 0, 100, 200, 300, 400, 500, 600});
    EXPECT_FLOAT_EQ(image.realTestTime, 1.2345f);
    EXPECT_FLOAT_EQ(image.stateEnterTime[2], 0.9f);
    EXPECT_EQ(image.stateEnterTime[3], -1000.0f);
    EXPECT_EQ(image.binEndState[0], 1);
    EXPECT_FLOAT_EQ(image.binTripTime[2][0], 0.03f);
    EXPECT_FLOAT_EQ(image.binTripTime[0][1], 0.04f);
    EXPECT_EQ(image.binTripTime[0][2], -1000.0f);
    EXPECT_EQ(image.stateNumbers, -3) << "the parameters travel too";
    // Counts that promise more words than came: the missing times are
    // INT32_MIN x 0.0001 s; counts beyond the arrays are clamped.
    image = Image({1, 2, 100});
    EXPECT_FLOAT_EQ(image.stateEnterTime[0], -214748.3648f);
    EXPECT_EQ(image.binEndState[0], INT32_MIN);
    image = Image({99, 99});
    EXPECT_FLOAT_EQ(image.binTripTime[50][15], -214748.3648f);
    std::vector<uint8_t> event{1, 2, 3};
    EXPECT_EQ(module.OnDeviceEvent(VTS_NOTIFY_TEST_EVENT, event), E_NOTIMPL);
    EXPECT_EQ(event.size(), 3u) << "only the result is converted";
}

TEST_F(StateSequence, ATestFromDocumentToResult) {
    Link(kState);
    const sim::TesterRecord linked = bench.Model().Record();
    EXPECT_EQ(linked.selectedProgram, EntryOf(kState).dspTestId);
    EXPECT_TRUE(linked.programComplete) << "State.new downloaded from Hex/NSeries";
    EXPECT_EQ(linked.programEntry, 0x00012000u);

    // Pre-fault 1 A for 0.2 s; fault 10 A, ending on binary input 0 or after 1 s;
    // post-fault 0 A for 0.1 s. The relay picks up above 5 A and trips after 0.1 s.
    Set("StateNumbers", VT_INT, 3);
    Set("StatePara.0.Ip.0.Mag", VT_R4, 1);
    Set("StatePara.0.MaxLastTime", VT_R4, 0.2);
    Set("StatePara.1.Ip.0.Mag", VT_R4, 10);
    Set("StatePara.1.MaxLastTime", VT_R4, 1);
    Set("StatePara.1.EndMode", VT_INT, 2);
    Set("StatePara.1.bBinSelect.0", VT_INT, 1);
    Set("StatePara.2.MaxLastTime", VT_R4, 0.1);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const sim::TesterRecord record = bench.Model().Record();
    EXPECT_EQ(record.locks, (std::vector<uint32_t>{1, 0}));
    EXPECT_FALSE(record.adjItems.empty()) << "the compensation download comes before the test";
    EXPECT_EQ(record.testCommands, (std::vector<uint16_t>{DEVMSG_TEST_START, DEVMSG_TEST_START2}));
    // 14 test-wide items, then per state 24 + 6 x 11 + 6 x 9 + 1.
    EXPECT_EQ(record.params.size(), 14u + 3 * 145);
    EXPECT_EQ(record.paramMessages, 6u);

    auto io = host.Next(), result = host.Next();
    ASSERT_TRUE(io && result);
    EXPECT_EQ(io->code, 2u) << "the trip as a binary input change";
    EXPECT_EQ(io->data[0], 1);
    ASSERT_EQ(result->code, 3u);
    ASSERT_EQ(result->data.size(), sizeof(VarelTest_State));
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.BinTripTime.1.Bin.0"), 0.3f) << "0.2 s pre-fault + 0.1 s";
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.StateEnterTime.2"), 0.3f) << "the trip ended the fault";
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.RealTestTime"), 0.4f);
    EXPECT_EQ(ResultValue("TestParams.Result.BinTripTime.0.Bin.0"), -1000.0);
    EXPECT_FLOAT_EQ(ResultValue("TestParams.StatePara.1.Ip.0.Mag"), 10.0f);

    EXPECT_EQ(VTS_ActiveTest(OLESTR("Varel.Nothing.1")), E_INVALIDARG);
    EXPECT_EQ(VTS_ActiveTest(kState), S_OK) << "the current module stays, with its results";
    EXPECT_FLOAT_EQ(ResultValue("TestParams.Result.RealTestTime"), 0.4f);
    EXPECT_EQ(VTS_Execute(0, nullptr, 0), S_OK);
    EXPECT_EQ(VTS_StopTest(0), S_OK);
    EXPECT_EQ(bench.Model().Record().testCommands,
              (std::vector<uint16_t>{DEVMSG_TEST_START, DEVMSG_TEST_START2, DEVMSG_MODULE_COMMAND,
                                     DEVMSG_TEST_STOP}));
    EXPECT_EQ(bench.Model().Record().lastTestId, EntryOf(kState).dspTestId);
}

TEST_F(StateSequence, TheOnlineIoBoxGetsThePtCtRecordBeforeTheTest) {
    REQUIRE_ADDRESS_BOUND_UDP();
    Link(kState);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const sim::IoBoxRecord box = bench.IoBoxModelOf(0).Record();
    ASSERT_EQ(box.ptct.size(), 1u) << "the PT/CT record went to the online I/O box";
    EXPECT_EQ(box.outputModes, (std::vector<uint32_t>{2}));
    // The default configuration: digital ranges 130 V and 40 A, voltage
    // transformers 220/100, current transformers 1000/1, ratios x 10000.
    std::vector<int32_t> words{130, 40};
    words.insert(words.end(), 16, 22000);
    words.insert(words.end(), 16, 10000000);
    ASSERT_EQ(box.ptct[0].size(), 4 * words.size());
    EXPECT_EQ(std::memcmp(box.ptct[0].data(), words.data(), box.ptct[0].size()), 0);
}

TEST_F(StateSequence, TheIniSwitchAnnouncesAProgramChange) {
    // The ini file lies beside the program folders, in the folder above this test's.
    const std::string ini = VTS_TESTS_DIR "/VarelTss.ini";
    std::FILE* file = std::fopen(ini.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("[DSP]\r\nSwitch=1\r\n", file);
    std::fclose(file);
    std::vector<std::string> boxes;
    VTS_SetMessageBoxHandler(
        [](void* seen, const char* text, const char* caption) {
            static_cast<std::vector<std::string>*>(seen)->push_back(std::string(caption) + ": " + text);
            return 1;
        },
        &boxes);
    Link(kState);
    WriteMessageBoxesToStderr();
    std::remove(ini.c_str());
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "提示: 切换DSP程序成功"), 1);
}
