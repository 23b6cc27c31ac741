// The first complete test on the simulated bench: a host fills the state
// sequence document, activates the test, begins it, the tester reports,
// and the host reads the result; with the encoding checked pair by pair.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "device/message_ids.h"
#include "dsptest/state.h"
#include "sim/tester_simulator.h"
#include "text.h"

#include <varel/vts.h>
#include <varel/vts_errors.h>

#include <debug_log.h>
#include <message_boxes.h>
#include <private_network.h>
#include <recording_host.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using sim::Bytes;
using Pairs = std::vector<std::pair<uint16_t, uint32_t>>;

constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");
constexpr const WCHAR* kState = OLESTR("Varel.ZTXLTest.1");

uint32_t Wire(double value) {
    return static_cast<uint32_t>(static_cast<int32_t>(value * 10000 + (value < 0 ? -0.5 : 0.5)));
}

class StateSequence : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
        CoInitialize(nullptr);
        ASSERT_EQ(VTS_CreateServer(host.Window()), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                   document.PutVoid()),
                  S_OK);
        ASSERT_EQ(VTS_InitTestParams(document.Get(), kState), S_OK);
    }
    void TearDown() override {
        document.Reset();
        VTS_DestroyServer();
        CoUninitialize();
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            EXPECT_FALSE(d.received && d.fault != sim::PacketFault::None) << sim::DescribeDatagram(d);
    }
    void Link(uint16_t voltages = 6, uint16_t currents = 6) {
        sim::TesterIdentity identity;
        identity.voltageChannels = voltages;
        identity.currentChannels = currents;
        bench.Model().SetIdentity(identity);
        ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
        ASSERT_EQ(host.Next()->code, 16u);
        ASSERT_EQ(VTS_ActiveTest(kState), S_OK);
    }
    // Sets the value at a dotted path under "TestParams" (the node must exist).
    void Set(const std::string& path, VARTYPE type, double value) {
        ComPtr<IGenericDataNode> root, node;
        ASSERT_EQ(document->GetRootNode(root.Put()), S_OK);
        BStr name(Utf8ToUtf16("TestParams." + path));
        ASSERT_EQ(root->GetChild(name.Get(), node.Put()), S_OK) << path;
        VARIANT v;
        VariantInit(&v);
        v.vt = type;
        if (type == VT_R4)
            v.fltVal = static_cast<float>(value);
        else
            v.intVal = static_cast<int32_t>(value);
        ASSERT_EQ(node->SetValue(v), S_OK);
    }
    // The pairs of the last download, by state and channel: what follows each id 1 and id 2.
    Pairs Params() { return bench.Model().Record().params; }
    static uint32_t Find(const Pairs& pairs, uint16_t id, size_t nth = 0) {
        for (const auto& [tag, value] : pairs)
            if (tag == 0x2000 + id && nth-- == 0) return value;
        ADD_FAILURE() << "no id " << id;
        return 0;
    }

    sim::TesterSimulator bench;
    RecordingHost host;
    ComPtr<IGenericData> document;
};

} // namespace

TEST_F(StateSequence, DefaultsDocumentHoldsFiftyStatesOfThirtyTwoChannels) {
    ComPtr<IGenericDataNode> root;
    ASSERT_EQ(document->GetRootNode(root.Put()), S_OK);
    VARIANT v;
    VariantInit(&v);
    BStr params(OLESTR("TestParams"));
    ASSERT_EQ(root->GetChildValue(params.Get(), &v), S_OK);
    EXPECT_EQ(BstrView(v.bstrVal), WideStringView(OLESTR("VarelTest_State")));
    VariantClear(&v);
    for (const char* path : {"TestParams.StatePara.49.Ip.15.Fre", "TestParams.StatePara.0.Up.0.Fre"}) {
        BStr name(Utf8ToUtf16(path));
        ASSERT_EQ(root->GetChildValue(name.Get(), &v), S_OK) << path;
        EXPECT_EQ(v.vt, VT_R4);
        EXPECT_EQ(v.fltVal, 50.0f);
    }
    BStr maxLast(OLESTR("TestParams.StatePara.7.MaxLastTime")),
        endMode(OLESTR("TestParams.StatePara.7.EndMode"));
    ASSERT_EQ(root->GetChildValue(maxLast.Get(), &v), S_OK);
    EXPECT_EQ(v.fltVal, 0.1f);
    ASSERT_EQ(root->GetChildValue(endMode.Get(), &v), S_OK);
    EXPECT_EQ(v.vt, VT_INT);
    EXPECT_EQ(v.intVal, 1);
    BStr trip(OLESTR("TestParams.Result.BinTripTime.50.Bin.15"));
    ASSERT_EQ(root->GetChildValue(trip.Get(), &v), S_OK);
    EXPECT_EQ(v.fltVal, -1000.0f);

    ComPtr<IGenericData> other;
    ASSERT_EQ(
        CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, other.PutVoid()),
        S_OK);
    EXPECT_EQ(VTS_InitTestParams(other.Get(), OLESTR("Varel.AdjTest.1")), E_INVALIDARG);
    EXPECT_EQ(VTS_InitTestParams(other.Get(), OLESTR("varel.ztxltest.1")), E_INVALIDARG) << "case counts";
    EXPECT_EQ(VTS_InitTestParams(nullptr, kState), E_INVALIDARG);
}

TEST_F(StateSequence, TheOnlineIoBoxGetsThePtCtRecordBeforeTheTest) {
    REQUIRE_ADDRESS_BOUND_UDP();
    Link();
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    const sim::IoBoxRecord box = bench.IoBoxModelOf(0).Record();
    EXPECT_EQ(box.ptct.size(), 1u) << "the PT/CT record went to the online I/O box";
    EXPECT_EQ(box.outputModes, (std::vector<uint32_t>{2}));
}

TEST_F(StateSequence, ATestFromDocumentToResult) {
    Link();
    sim::TesterRecord record = bench.Model().Record();
    EXPECT_EQ(record.selectedProgram, 7);
    EXPECT_TRUE(record.programComplete) << "State.new downloaded from Hex/NSeries";
    EXPECT_EQ(record.programEntry, 0x00012000u);

    Set("StateNumbers", VT_INT, 2);
    Set("StatePara.0.Up.0.Mag", VT_R4, 57.735);
    Set("StatePara.0.Ip.2.Ang", VT_R4, -120);
    Set("StatePara.1.MaxLastTime", VT_R4, 0.5);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    record = bench.Model().Record();
    EXPECT_EQ(record.locks, (std::vector<uint32_t>{1, 0}));
    EXPECT_FALSE(record.adjItems.empty()) << "the compensation download comes before the test";
    EXPECT_EQ(record.testCommands, (std::vector<uint16_t>{DEVMSG_TEST_START, DEVMSG_TEST_START2}));
    EXPECT_EQ(record.lastTestId, 7);
    // 14 test-wide items, then per state 24 + 6 x 11 + 6 x 9 + 1.
    ASSERT_EQ(record.params.size(), 14u + 2 * 145);
    EXPECT_EQ(record.paramMessages, 4u);
    EXPECT_EQ(Find(record.params, 0), 2u);
    EXPECT_EQ(Find(record.params, 3), 577350u) << "57.735 V";
    EXPECT_EQ(Find(record.params, 4, 6 + 2), Wire(-120)) << "current channel 2's angle";
    EXPECT_EQ(Find(record.params, 31, 1), Wire(0.5));
    EXPECT_EQ(Find(record.params, 2, 6), 16u) << "current channels count from 16";

    // The tester reports: 2 inputs, 3 state entries.
    const int32_t words[] = {2, 3, 12345, 0, 5000, 9000, 1, 0, 100, 200, 300, 400, 500, 600};
    Bytes payload(sizeof words);
    std::memcpy(payload.data(), words, sizeof words);
    bench.Tester().Push(DEVMSG_TEST_RESULT, payload);
    auto result = host.Next();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->code, 3u);
    ASSERT_EQ(result->data.size(), sizeof(VarelTest_State)) << "the host gets the whole struct";
    VarelTest_State image;
    std::memcpy(&image, result->data.data(), sizeof image);
    EXPECT_FLOAT_EQ(image.realTestTime, 1.2345f);
    EXPECT_FLOAT_EQ(image.stateEnterTime[2], 0.9f);
    EXPECT_EQ(image.stateEnterTime[3], -1000.0f);
    EXPECT_EQ(image.binEndState[0], 1);
    EXPECT_FLOAT_EQ(image.binTripTime[2][0], 0.03f);
    EXPECT_FLOAT_EQ(image.binTripTime[0][1], 0.04f);
    EXPECT_EQ(image.binTripTime[0][2], -1000.0f);
    EXPECT_FLOAT_EQ(image.statePara[0].up[0].mag, 57.735f);

    IGenericData* resultDocument = nullptr;
    ASSERT_EQ(VTS_GetTestResult(&resultDocument), S_OK);
    ComPtr<IGenericDataNode> root;
    ASSERT_EQ(resultDocument->GetRootNode(root.Put()), S_OK);
    VARIANT v;
    VariantInit(&v);
    BStr time(OLESTR("TestParams.Result.RealTestTime"));
    ASSERT_EQ(root->GetChildValue(time.Get(), &v), S_OK);
    EXPECT_FLOAT_EQ(v.fltVal, 1.2345f);
    root.Reset();
    resultDocument->Release();

    EXPECT_EQ(VTS_Execute(0, nullptr, 0), S_OK);
    EXPECT_EQ(VTS_Execute(2, nullptr, 0), S_OK);
    EXPECT_EQ(VTS_StopTest(0), S_OK);
    EXPECT_EQ(bench.Model().Record().testCommands,
              (std::vector<uint16_t>{DEVMSG_TEST_START, DEVMSG_TEST_START2, DEVMSG_MODULE_COMMAND,
                                     DEVMSG_TEST_STOP}));
}

TEST_F(StateSequence, EncodingFollowsTheTriggersMasksAndChannelCounts) {
    Link(4, 3);
    Set("Tao", VT_R4, 0);
    Set("StatePara.0.EndMode", VT_INT, 4);
    Set("StatePara.0.Mag_nGroup", VT_INT, 1);
    Set("StatePara.0.Mag_nIndex", VT_INT, 2);
    Set("StatePara.0.Mag_Value", VT_R4, 12.5);
    Set("StatePara.0.bBinSelect.0", VT_INT, 1);
    Set("StatePara.0.bBinSelect.15", VT_INT, 1);
    Set("StatePara.0.Up.1.bDMag", VT_INT, 1);
    Set("StatePara.0.Up.1.dMag_dt", VT_R4, 2.5);
    Set("StatePara.0.Up.2.dMag_dt", VT_R4, 7); // ramp off: its rate is sent as 0
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    Pairs pairs = Params();
    EXPECT_EQ(pairs.size(), 14u + 24 + 4 * 11 + 3 * 9 + 1);
    EXPECT_EQ(Find(pairs, 49), 10000u) << "a time constant of 0 sends 1.0";
    EXPECT_EQ(Find(pairs, 33), 0x8001u);
    EXPECT_EQ(Find(pairs, 34), 18u);
    EXPECT_EQ(Find(pairs, 35), Wire(12.5));
    EXPECT_EQ(Find(pairs, 8, 1), Wire(2.5));
    EXPECT_EQ(Find(pairs, 8, 2), 0u);

    // Switching the test point: only what the document holds changes, no start.
    Set("Tao", VT_R4, 0.04);
    Set("StatePara.0.EndMode", VT_INT, 3);
    Set("StatePara.0.Fre_Value", VT_R4, 49);
    ASSERT_EQ(VTS_SwitchTestPoint(document.Get()), S_OK);
    pairs = Params();
    EXPECT_EQ(Find(pairs, 49), 250000u);
    EXPECT_EQ(Find(pairs, 34), 0u) << "the frequency trigger's channel, group 0";
    EXPECT_EQ(Find(pairs, 35), Wire(49));
    EXPECT_EQ(bench.Model().Record().testCommands.size(), 2u) << "no second start";
}

TEST_F(StateSequence, ShortResultsAndForeignDocumentsAndUnknownTests) {
    Link();
    // A document for another struct: the defaults are sent.
    ComPtr<IGenericData> foreign;
    ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                               foreign.PutVoid()),
              S_OK);
    BStr xml(OLESTR("<Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_Ramp\"/>"));
    foreign->Load(xml.Get());
    ASSERT_EQ(VTS_BeginTest(foreign.Get()), S_OK);
    EXPECT_EQ(Find(Params(), 0), 1u) << "one state by default";

    // Counts that promise more words than came: the missing ones read as
    // INT32_MIN, so a missing time is INT32_MIN x 0.0001 s.
    const int32_t words[] = {1, 2, 100};
    Bytes payload(sizeof words);
    std::memcpy(payload.data(), words, sizeof words);
    bench.Tester().Push(DEVMSG_TEST_RESULT, payload);
    auto result = host.Next();
    ASSERT_TRUE(result && result->data.size() == sizeof(VarelTest_State));
    VarelTest_State image;
    std::memcpy(&image, result->data.data(), sizeof image);
    EXPECT_FLOAT_EQ(image.stateEnterTime[0], -214748.3648f);
    EXPECT_EQ(image.binEndState[0], INT32_MIN);

    EXPECT_EQ(VTS_ActiveTest(OLESTR("Varel.Nothing.1")), E_INVALIDARG);
    EXPECT_EQ(VTS_ActiveTest(OLESTR("Varel.XBTest.1")), E_NOTIMPL)
        << "a test type whose module has not landed";
    EXPECT_EQ(VTS_ActiveTest(kState), S_OK) << "the current module stays";
    IGenericData* kept = nullptr;
    ASSERT_EQ(VTS_GetTestResult(&kept), S_OK);
    kept->Release();
    EXPECT_EQ(VTS_BeginTest(nullptr), E_INVALIDARG);
}

TEST_F(StateSequence, MissingKeysWrongTypesAndCountsOutOfRange) {
    Link();
    // Only two keys, one of them not a number: the rest and the bad one keep
    // their defaults, the good one is taken.
    ComPtr<IGenericData> sparse;
    ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                               sparse.PutVoid()),
              S_OK);
    BStr xml(OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_State\">"
                    "<Para id=\"StateNumbers\" valuetype=\"string\" value=\"many\"/>"
                    "<Para id=\"RepeatNumbers\" valuetype=\"string\" value=\"3\"/>"
                    "</Para></root>"));
    ASSERT_EQ(sparse->Load(xml.Get()), S_OK);
    ASSERT_EQ(VTS_BeginTest(sparse.Get()), S_OK);
    Pairs pairs = Params();
    EXPECT_EQ(Find(pairs, 0), 1u) << "the default single state";
    EXPECT_EQ(Find(pairs, 42), 3u) << "a number in text is a number";
    EXPECT_EQ(Find(pairs, 31), 1000u) << "the default 0.1 s duration, in the wire's 1/10000";
    ASSERT_EQ(VTS_StopTest(0), S_OK);

    auto states = [](const Pairs& p) {
        return std::count_if(p.begin(), p.end(), [](const auto& pair) { return pair.first == 0x2001; });
    };
    Set("StateNumbers", VT_INT, 60);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    pairs = Params();
    EXPECT_EQ(Find(pairs, 0), 50u) << "more than the 50 records are played as 50";
    EXPECT_EQ(states(pairs), 50);
    ASSERT_EQ(VTS_StopTest(0), S_OK);

    Set("StateNumbers", VT_INT, -3);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    pairs = Params();
    EXPECT_EQ(Find(pairs, 0), 0u);
    EXPECT_EQ(states(pairs), 0);
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
    Link();
    WriteMessageBoxesToStderr();
    std::remove(ini.c_str());
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "提示: 切换DSP程序成功"), 1);
}

TEST_F(StateSequence, TheVirtualRelayTripsInTheFaultState) {
    Link();
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
    auto io = host.Next(), result = host.Next();
    ASSERT_TRUE(io && result);
    EXPECT_EQ(io->code, 2u) << "the trip as a binary input change";
    EXPECT_EQ(io->data[0], 1);
    ASSERT_EQ(result->code, 3u);
    IGenericData* resultDocument = nullptr;
    ASSERT_EQ(VTS_GetTestResult(&resultDocument), S_OK);
    ComPtr<IGenericDataNode> root;
    ASSERT_EQ(resultDocument->GetRootNode(root.Put()), S_OK);
    auto value = [&](const char* path) {
        VARIANT v;
        VariantInit(&v);
        BStr name(Utf8ToUtf16(path));
        EXPECT_EQ(root->GetChildValue(name.Get(), &v), S_OK) << path;
        return v.fltVal;
    };
    EXPECT_FLOAT_EQ(value("TestParams.Result.BinTripTime.1.Bin.0"), 0.3f) << "0.2 s pre-fault + 0.1 s delay";
    EXPECT_FLOAT_EQ(value("TestParams.Result.StateEnterTime.2"), 0.3f) << "the trip ended the fault state";
    EXPECT_FLOAT_EQ(value("TestParams.Result.RealTestTime"), 0.4f);
    EXPECT_EQ(value("TestParams.Result.BinTripTime.0.Bin.0"), -1000.0f);
    root.Reset();
    resultDocument->Release();
}
