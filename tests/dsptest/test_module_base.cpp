// What every module shares, through a fake tester port: the module table,
// the start sequence and its failures, the module commands, the output step,
// the document rules and the result words.
#include "device/message_ids.h"
#include "dsptest/state.h"
#include "module_fixture.h"
#include "text.h"

#include <varel/vts_errors.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr const WCHAR* kState = OLESTR("Varel.ZTXLTest.1");

using Ids = std::vector<uint16_t>;
const Ids kStart = {DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_START,
                    DEVMSG_TEST_START2};

class ModuleBase : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_EQ(module.Attach(&port), S_OK);
    }
    void TearDown() override { CoUninitialize(); }

    FakePort port;
    CDspTest_State module{EntryOf(kState)};
};

// A module whose test sets binary outputs as it starts.
class OutputsModule final : public CDspDocumentTest {
public:
    using CDspDocumentTest::CDspDocumentTest;
    HRESULT BuildTestParams() override {
        AddUint(1, static_cast<uint32_t>(outputs[0]));
        return SendTestParamList();
    }

protected:
    void ResetStruct() override {}
    void WalkStruct(FieldWalker& w) override { w.Ints(OLESTR("Output"), outputs); }
    std::span<const uint8_t> StructImage() const override { return ImageOf(outputs); }
    uint32_t StartOutputs(int32_t (&states)[16]) override {
        std::memcpy(states, outputs, sizeof outputs);
        return 3;
    }

private:
    int32_t outputs[16] = {1, 0, 0x10001};
};

} // namespace

TEST(ModuleTable, EachTestTypeHasItsOwnIdAndTwoHaveNoDefaultsForHosts) {
    for (const ModuleEntry& entry : ModuleTable()) {
        SCOPED_TRACE(Utf16ToUtf8(entry.progId));
        const auto sameId = [&](const ModuleEntry& other) { return other.dspTestId == entry.dspTestId; };
        EXPECT_EQ(std::count_if(ModuleTable().begin(), ModuleTable().end(), sameId), 1);
        const bool hidden = WideStringView(entry.progId) == WideStringView(OLESTR("Varel.AdjTest.1")) ||
                            WideStringView(entry.progId) == WideStringView(OLESTR("Varel.SzVove_State.1"));
        EXPECT_EQ(entry.initParams, !hidden);
    }
    CoInitialize(nullptr);
    std::unique_ptr<CDspTest> module;
    EXPECT_EQ(CreateTestModule(OLESTR("Varel.Nothing.1"), &module), E_INVALIDARG);
    EXPECT_EQ(CreateTestModule(OLESTR("varel.ztxltest.1"), &module), E_INVALIDARG) << "case counts";
    EXPECT_FALSE(module);
    ASSERT_EQ(CreateTestModule(kState, &module), S_OK);
    BSTR file = nullptr;
    uint32_t id = 0;
    ASSERT_EQ(module->GetDspProgram(&file, &id), S_OK);
    EXPECT_EQ(BstrView(file), WideStringView(EntryOf(kState).programFile));
    EXPECT_EQ(id, EntryOf(kState).dspTestId);
    SysFreeString(file);
    EXPECT_EQ(module->GetDspProgram(nullptr, &id), E_INVALIDARG);

    ComPtr<IGenericData> document = NewDocument();
    EXPECT_EQ(VTS_InitTestParams(document.Get(), OLESTR("Varel.AdjTest.1")), E_INVALIDARG);
    EXPECT_EQ(VTS_InitTestParams(nullptr, kState), E_INVALIDARG);
    document.Reset();
    CoUninitialize();
}

TEST(ModuleBaseAlone, WithoutAPortNothingIsSent) {
    CoInitialize(nullptr);
    {
        CDspTest_State module(EntryOf(kState));
        ComPtr<IGenericData> document = DefaultsOf(kState);
        EXPECT_EQ(module.BeginTest(document.Get()), E_NOINTERFACE);
        EXPECT_EQ(module.StopTest(0), E_NOINTERFACE);
        EXPECT_EQ(module.ExecuteCmd(1, nullptr, 0), E_NOINTERFACE);
        CDspTest empty;
        EXPECT_EQ(empty.BeginTest(document.Get()), E_NOINTERFACE);
        EXPECT_EQ(empty.GetTestResult(nullptr), E_INVALIDARG);
        std::vector<uint8_t> payload{1, 2};
        EXPECT_EQ(empty.OnDeviceEvent(3, payload), E_NOINTERFACE);
        EXPECT_EQ(payload.size(), 2u);
    }
    CoUninitialize();
}

TEST_F(ModuleBase, TheStartIsLockListUnlockThenTwoStarts) {
    ComPtr<IGenericData> document = DefaultsOf(kState);
    ASSERT_EQ(module.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(port.Ids(), kStart);
    EXPECT_EQ(port.messages[0].payload, std::vector<uint8_t>{1});
    EXPECT_EQ(port.messages[2].payload, std::vector<uint8_t>{0});
    for (const FakePort::Message& m : port.messages) EXPECT_EQ(m.testId, EntryOf(kState).dspTestId);
    EXPECT_EQ(module.BeginTest(nullptr), E_INVALIDARG);

    // Switching sends the list again, without the starts.
    port.messages.clear();
    ASSERT_EQ(module.SwitchTestPoint(document.Get()), S_OK);
    EXPECT_EQ(port.Ids(), (Ids{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK}));
    EXPECT_EQ(module.SwitchTestPoint(nullptr), E_INVALIDARG);

    port.messages.clear();
    EXPECT_EQ(module.ExecuteCmd(0, nullptr, 0), S_OK);
    EXPECT_EQ(module.ExecuteCmd(1, nullptr, 0), S_OK);
    EXPECT_EQ(module.ExecuteCmd(2, nullptr, 0), S_OK);
    EXPECT_EQ(module.StopTest(0), S_OK);
    EXPECT_EQ(port.Ids(), (Ids{DEVMSG_MODULE_COMMAND, DEVMSG_MODULE_COMMAND, DEVMSG_TEST_STOP}));
}

TEST_F(ModuleBase, ADeviceErrorEndsTheStartWhereItHappens) {
    ComPtr<IGenericData> document = DefaultsOf(kState);
    const struct {
        uint16_t failing;
        Ids sent;
    } cases[] = {
        {DEVMSG_TEST_PARAMS, {DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK}},
        {DEVMSG_TEST_START, {kStart.begin(), kStart.end() - 1}},
        {DEVMSG_TEST_START2, kStart},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        port.messages.clear();
        port.failing = c.failing;
        port.failAnswer = VTS_E_TIMEOUT;
        EXPECT_EQ(module.BeginTest(document.Get()), VTS_E_TIMEOUT);
        EXPECT_EQ(port.Ids(), c.sent) << "the closing lock goes out whatever happened";
    }
}

TEST_F(ModuleBase, TheOutputStepComesBetweenTheStarts) {
    const ModuleEntry entry{
        OLESTR("Outputs.1"), OLESTR("VarelTest_Outputs"), OLESTR("Outputs.new"), 99, false, nullptr};
    OutputsModule outputs(entry);
    outputs.Attach(&port);
    ComPtr<IGenericData> document = NewDocument();
    ASSERT_EQ(outputs.BeginTest(document.Get()), S_OK);
    EXPECT_EQ(port.Ids(), (Ids{DEVMSG_DOWNLOAD_LOCK, DEVMSG_TEST_PARAMS, DEVMSG_DOWNLOAD_LOCK,
                               DEVMSG_TEST_START, DEVMSG_BOUT, DEVMSG_TEST_START2}));
    // Sixteen words, the low 16 bits of the first three states, 0 beyond;
    // the outputs carry no test id.
    std::vector<uint8_t> words(32);
    words[0] = 1;
    words[4] = 1;
    EXPECT_EQ(port.messages[4].payload, words);
    EXPECT_EQ(port.messages[4].testId, 0);
}

TEST_F(ModuleBase, DocumentsOfAnotherStructOrWithBadValuesKeepTheDefaults) {
    // Another struct: every default goes out.
    ComPtr<IGenericData> foreign =
        DocumentFromXml(OLESTR("<Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_Ramp\"/>"));
    ASSERT_EQ(module.BeginTest(foreign.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 0), 1u) << "one state by default";
    // Only two keys, one of them not a number: the good one is taken.
    port.pairs.clear();
    ComPtr<IGenericData> sparse =
        DocumentFromXml(OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_State\">"
                               "<Para id=\"StateNumbers\" valuetype=\"string\" value=\"many\"/>"
                               "<Para id=\"RepeatNumbers\" valuetype=\"string\" value=\"3\"/>"
                               "</Para></root>"));
    ASSERT_EQ(module.BeginTest(sparse.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 0), 1u);
    EXPECT_EQ(Find(port.pairs, 42), 3u) << "a number in text is a number";
    EXPECT_EQ(Find(port.pairs, 31), 1000u) << "the default 0.1 s duration";
    // A switch with one key changes that field only.
    port.pairs.clear();
    ComPtr<IGenericData> one =
        DocumentFromXml(OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_State\">"
                               "<Para id=\"Tao\" valuetype=\"float\" value=\"0.04\"/></Para></root>"));
    ASSERT_EQ(module.SwitchTestPoint(one.Get()), S_OK);
    EXPECT_EQ(Find(port.pairs, 49), 250000u) << "1 / Tao";
    EXPECT_EQ(Find(port.pairs, 42), 3u) << "kept from the last document";
}

// A document of another implementation: its root node is not one of this
// library's; only its XML form is real.
class ForeignDocument final : public IGenericData, public IGenericDataNode {
public:
    explicit ForeignDocument(ComPtr<IGenericData> real) : real_(std::move(real)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IGenericData)) return E_NOINTERFACE;
        *out = static_cast<IGenericData*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Load(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRootNode(IGenericDataNode** root) override {
        *root = this;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadFromFile(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveToFile(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ToXMLString(BSTR* xml) override { return real_->ToXMLString(xml); }
    HRESULT STDMETHODCALLTYPE AddChild(BSTR, IGenericDataNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChild(BSTR, IGenericDataNode**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetValue(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetValue(VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddChildWithValue(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChildValue(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChildValue(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Children(IDispatch**) override { return E_NOTIMPL; }

private:
    ComPtr<IGenericData> real_;
};

TEST_F(ModuleBase, ADocumentOfAnotherImplementationIsReadThroughItsXml) {
    ForeignDocument foreign(
        DocumentFromXml(OLESTR("<root><Para id=\"TestParams\" valuetype=\"string\" value=\"VarelTest_State\">"
                               "<Para id=\"RepeatNumbers\" valuetype=\"int\" value=\"3\"/></Para></root>")));
    ASSERT_EQ(module.BeginTest(static_cast<IGenericData*>(&foreign)), S_OK);
    EXPECT_EQ(Find(port.pairs, 42), 3u);
}

TEST(ResultWords, PastTheEndReadMinimumAndCountsAreClamped) {
    const std::vector<uint8_t> payload{20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0, 0};
    ResultWords words(payload);
    EXPECT_EQ(words.Count(16), 16u);
    EXPECT_EQ(words.Count(16), 0u) << "a negative count is none";
    EXPECT_FLOAT_EQ(words.Time(), 1.0f);
    EXPECT_EQ(words.Next(), INT32_MIN);
    EXPECT_FLOAT_EQ(words.Time(), -214748.3648f);
}

TEST(ResultWords, TheTripIsTheFirstTimeElseTheSecondElseNone) {
    const struct {
        std::vector<uint8_t> payload;
        int32_t flag;
        float timeS;
    } rows[] = {
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFB, 0xFF, 0xFF, 0xFF}, 0, -1000.0f}, // -1, -5
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xC4, 0x09, 0, 0}, 2, 0.25f},          // -1, 2500
        {{0xE8, 0x03, 0, 0}, 1, 0.1f},                                   // 1000 alone
        {{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, 2, 0.0f},                 // -1, 0
        {{0, 0, 0, 0, 0xC4, 0x09, 0, 0}, 1, 0.0f},                       // 0, 2500
    };
    for (const auto& row : rows) {
        ResultWords words(row.payload);
        int32_t flag = -7;
        float time = 0;
        TakeTripTimes(words, flag, time);
        EXPECT_EQ(flag, row.flag);
        EXPECT_FLOAT_EQ(time, row.timeS);
    }
}
