// The system configuration: its defaults, "SysCfgData.xml" written and read
// in real files, the host's two document forms, and the message boxes of
// files that cannot be read or written.
#include "calib/adj_page.h"
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "com/variant.h"
#include "config/varel_system_config.h"
#include "text.h"
#include "thread.h"

#include <leak_check.h>
#include <message_boxes.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Box {
    std::string text, caption;
};

class SystemConfig : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        dir = fs::temp_directory_path() / ("syscfg" + std::to_string(GetCurrentProcessId()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        path = Utf8ToUtf16((dir / "").string()) + kSysCfgFileName;
        VTS_SetMessageBoxHandler(
            [](void* self, const char* text, const char* caption) {
                static_cast<SystemConfig*>(self)->boxes.push_back({text, caption});
                return 1;
            },
            this);
    }
    void TearDown() override {
        WriteMessageBoxesToStderr();
        fs::remove_all(dir);
        leaks.ExpectNoLeaks();
        CoUninitialize();
    }
    static ComPtr<IGenericData> NewDocument() {
        ComPtr<IGenericData> document;
        EXPECT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                                   document.PutVoid()),
                  S_OK);
        return document;
    }
    // Sets the value at a dotted path from the root, adding the nodes on the way.
    static void Put(IGenericData* document, const std::string& dotted, const VARIANT& value) {
        ComPtr<IGenericDataNode> node;
        ASSERT_EQ(document->GetRootNode(node.Put()), S_OK);
        std::string rest = dotted;
        for (size_t dot; (dot = rest.find('.')) != std::string::npos; rest = rest.substr(dot + 1)) {
            ComPtr<IGenericDataNode> child;
            ASSERT_EQ(node->AddChild(BStr(Utf8ToUtf16(rest.substr(0, dot))).Get(), child.Put()), S_OK);
            node = child;
        }
        ASSERT_EQ(node->AddChildWithValue(BStr(Utf8ToUtf16(rest)).Get(), value), S_OK);
    }
    // A number as a variant of the given type.
    static Variant Value(double number, VARTYPE type = VT_R4) {
        Variant v;
        v.vt = type;
        if (type == VT_R4)
            v.fltVal = static_cast<float>(number);
        else
            v.lVal = static_cast<LONG>(number); // VT_I4 and VT_UI4 alike
        return v;
    }

    LeakCheck leaks;
    fs::path dir;
    WideString path;
    std::vector<Box> boxes;
};

} // namespace

// The channels' and settings' defaults are the shipped file's (TheShippedFileIsTheDefaults);
// the identity block is not in the file.
TEST_F(SystemConfig, TheIdentityDefaultsAndACopyTakesAllThreeBlocks) {
    CVarelSystemConfig config;
    const BaseDeviceInfo& b = config.baseDeviceInfo;
    EXPECT_EQ(b.model, 0u);
    EXPECT_EQ(b.capability, 0u);
    EXPECT_EQ(std::vector<uint32_t>({b.voltageChannels, b.currentChannels, b.word60, b.word64}),
              std::vector<uint32_t>({6, 6, 16, 16}));
    EXPECT_EQ(std::vector<float>({b.value68, b.value72, b.value76, b.dspVersion, b.value84, b.value88,
                                  b.value92, b.value96, b.value100}),
              std::vector<float>({120.0f, 30.0f, 10.0f, 1000.0f, 300.0f, 20.0f, 57.735f, 0.0f, 50.0f}));
    CVarelSystemConfig copy;
    copy.channels[5].fPrimary = 1.0f;
    copy.settings.Fre = 60.0f;
    copy.baseDeviceInfo.model = 7;
    config = copy;
    EXPECT_EQ(config.channels[5].fPrimary, 1.0f);
    EXPECT_EQ(config.settings.Fre, 60.0f);
    EXPECT_EQ(config.baseDeviceInfo.model, 7u);
}

TEST_F(SystemConfig, TheFileKeepsEveryValue) {
    CVarelSystemConfig written;
    for (uint32_t ch = 0; ch < 32; ++ch) {
        written.channels[ch] = ChannelConfigEntry{ch % 2 ? kSignal92 : kSignalSmall,
                                                  static_cast<int32_t>(ch % 3), 100.5f + ch, 0.25f * ch};
    }
    SystemSettings& s = written.settings;
    for (uint32_t i = 0; i < 16; ++i)
        s.U1[i] = 1.5f * i, s.U2[i] = 2.5f + i, s.I1[i] = 3.25f * i, s.I2[i] = 7.0f - i;
    s.bShowPrimary = 1, s.Fre = 60.0f, s.bStop61850 = 1, s.U_Range = 57.7f, s.I_Range = 5.5f;
    s.GPS_TimeMode = 0xFFFFFF9C01010002ull; // 1588, master, one-step, -100 ns
    ASSERT_EQ(written.SaveFile(path), S_OK);
    EXPECT_TRUE(boxes.empty());

    CVarelSystemConfig read;
    ASSERT_EQ(read.LoadFile(path), S_OK);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(std::memcmp(read.channels, written.channels, sizeof read.channels), 0);
    EXPECT_EQ(std::memcmp(&read.settings, &written.settings, sizeof read.settings), 0);

    // The file is a document whose root holds "VarelSystemSet" with the names of the file.
    ComPtr<IGenericData> document = NewDocument();
    ASSERT_EQ(document->LoadFromFile(BStr(path).Get()), S_OK);
    ComPtr<IGenericDataNode> root;
    ASSERT_EQ(document->GetRootNode(root.Put()), S_OK);
    for (const char* name : {"VarelSystemSet.U0.SignalType", "VarelSystemSet.I15.Secondary",
                             "VarelSystemSet.Fre", "VarelSystemSet.GPS_TimeMode", "VarelSystemSet.D_URANGE",
                             "VarelSystemSet.D_IRANGE", "VarelSystemSet.M_U2_15", "VarelSystemSet.M_I1_0"}) {
        Variant value;
        EXPECT_EQ(root->GetChildValue(BStr(Utf8ToUtf16(name)).Get(), &value), S_OK) << name;
    }
}

TEST_F(SystemConfig, MissingAndUnreadableValuesKeepTheirFields) {
    ComPtr<IGenericData> document = NewDocument();
    Put(document.Get(), "VarelSystemSet.U3.Secondary", Value(57.7f));
    Put(document.Get(), "VarelSystemSet.U3.SignalType", Value(kSignalFt3, VT_UI4));
    Put(document.Get(), "VarelSystemSet.Fre", Variant::Text(OLESTR("fifty")));
    Put(document.Get(), "VarelSystemSet.D_IRANGE", Variant::Text(OLESTR("42.5")));
    ASSERT_EQ(document->SaveToFile(BStr(path).Get()), S_OK);

    CVarelSystemConfig config;
    config.channels[3].fPrimary = 123.0f;
    config.settings.Fre = 55.0f;
    ASSERT_EQ(config.LoadFile(path), S_OK);
    EXPECT_EQ(config.channels[3].fPrimary, 123.0f) << "no Primary in U3";
    EXPECT_EQ(config.channels[3].fSecondary, 57.7f);
    EXPECT_EQ(config.channels[3].uSignalType, kSignalFt3);
    EXPECT_EQ(config.channels[4].fSecondary, 100.0f);
    EXPECT_EQ(config.settings.Fre, 55.0f) << "text that is not a number";
    EXPECT_EQ(config.settings.I_Range, 42.5f) << "text that is a number";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SystemConfig, FilesThatCannotBeReadShowTheirMessageBox) {
    std::ofstream(dir / "malformed.xml") << "<VarelSystemSet><Para id=";
    {
        ComPtr<IGenericData> other = NewDocument();
        Put(other.Get(), "Something.Fre", Value(60));
        ASSERT_EQ(other->SaveToFile(BStr(Utf8ToUtf16((dir / "other.xml").string())).Get()), S_OK);
    }
    for (const char* name : {"missing.xml", "malformed.xml", "other.xml"}) {
        SCOPED_TRACE(name);
        boxes.clear();
        const WideString file = Utf8ToUtf16((dir / name).string());
        CVarelSystemConfig config;
        config.settings.Fre = 55.0f;
        EXPECT_EQ(config.LoadFile(file), E_FAIL);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "提示");
        EXPECT_EQ(boxes[0].text,
                  "打开系统配置文件失败! 错误码:0x80004005 \n(Path:" + (dir / name).string() + ")");
        EXPECT_EQ(config.settings.Fre, 55.0f);
    }
}

TEST_F(SystemConfig, SavingClearsReadOnlyAndReportsFailures) {
    CVarelSystemConfig config;
    ASSERT_EQ(config.SaveFile(path), S_OK);
    fs::permissions(dir / "SysCfgData.xml",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    config.settings.Fre = 60.0f;
    ASSERT_EQ(config.SaveFile(path), S_OK);
    EXPECT_TRUE(boxes.empty());
    EXPECT_NE(fs::status(dir / "SysCfgData.xml").permissions() & fs::perms::owner_write, fs::perms::none)
        << "made writable";
    CVarelSystemConfig read;
    ASSERT_EQ(read.LoadFile(path), S_OK);
    EXPECT_EQ(read.settings.Fre, 60.0f) << "and overwritten";

    const fs::path nowhere = dir / "no such folder" / "SysCfgData.xml";
    const HRESULT hr = config.SaveFile(Utf8ToUtf16(nowhere.string()));
    EXPECT_TRUE(FAILED(hr));
    ASSERT_EQ(boxes.size(), 1u);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    EXPECT_EQ(boxes[0].caption, "提示");
    EXPECT_EQ(boxes[0].text,
              std::string("保存系统配置文件失败! 错误码:") + code + " \n(Path:" + nowhere.string() + ")");
}

TEST_F(SystemConfig, TheHostsVarelConfigDocumentStartsFromTheDefaults) {
#define FIELD(member) [](const CVarelSystemConfig& c) { return static_cast<double>(c.member); }
    const struct {
        const char* path;
        double value;
        VARTYPE type;
        double (*field)(const CVarelSystemConfig&);
    } rows[] = {
        {"ChannelCfgData.Volt.2.uSignalType", kSignalSmall, VT_UI4, FIELD(channels[2].uSignalType)},
        {"ChannelCfgData.Volt.2.fPrimary", 110, VT_R4, FIELD(channels[2].fPrimary)},
        {"ChannelCfgData.Curr.15.bIsVolt", 1, VT_I4, FIELD(channels[31].bIsVolt)},
        {"ChannelCfgData.Curr.15.fSecondary", 5, VT_R4, FIELD(channels[31].fSecondary)},
        {"SystemSetData.bShowPrimary", 1, VT_I4, FIELD(settings.bShowPrimary)},
        {"SystemSetData.Fre", 60, VT_R4, FIELD(settings.Fre)},
        {"SystemSetData.bStop61850", 1, VT_I4, FIELD(settings.bStop61850)},
        {"SystemSetData.GPS_TimeMode", 2, VT_I4, FIELD(settings.GPS_TimeMode)},
        {"SystemSetData.Small_Signal.Volt.5.U1", 7, VT_R4, FIELD(settings.U1[5])},
        {"SystemSetData.Small_Signal.Volt.5.U2", 8, VT_R4, FIELD(settings.U2[5])},
        {"SystemSetData.Small_Signal.Curr.0.I1", 9, VT_R4, FIELD(settings.I1[0])},
        {"SystemSetData.Small_Signal.Curr.15.I2", 10, VT_R4, FIELD(settings.I2[15])},
        {"SystemSetData.Optical_Signal.U_Range", 100, VT_R4, FIELD(settings.U_Range)},
        {"SystemSetData.Optical_Signal.I_Range", 20, VT_R4, FIELD(settings.I_Range)},
    };
#undef FIELD
    ComPtr<IGenericData> document = NewDocument();
    for (const auto& row : rows)
        Put(document.Get(), std::string("VarelConfig.") + row.path, Value(row.value, row.type));

    CVarelSystemConfig current;
    current.channels[2].fSecondary = 1.0f; // not in the document: back to the default
    current.settings.I_Range = 1.0f;
    current.baseDeviceInfo.model = 9; // not part of the exchange
    ASSERT_EQ(current.SetVarelConfigInfo(document.Get(), path), S_OK);
    for (const auto& row : rows) EXPECT_EQ(row.field(current), row.value) << row.path;
    EXPECT_EQ(current.channels[2].fSecondary, 100.0f);
    EXPECT_EQ(current.baseDeviceInfo.model, 9u);

    CVarelSystemConfig saved;
    ASSERT_EQ(saved.LoadFile(path), S_OK);
    EXPECT_EQ(std::memcmp(saved.channels, current.channels, sizeof saved.channels), 0)
        << "the file was saved";

    // No document: the defaults, saved.
    ASSERT_EQ(current.SetVarelConfigInfo(nullptr, path), S_OK);
    const CVarelSystemConfig defaults;
    EXPECT_EQ(std::memcmp(current.channels, defaults.channels, sizeof current.channels), 0);
    EXPECT_EQ(std::memcmp(&current.settings, &defaults.settings, sizeof current.settings), 0);
    ASSERT_EQ(saved.LoadFile(path), S_OK);
    EXPECT_EQ(saved.settings.Fre, 50.0f);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SystemConfig, TheFileLayoutTravelsBothWaysInAHostDocument) {
    CVarelSystemConfig current;
    current.settings.Fre = 60.0f;
    current.channels[20].fPrimary = 600.0f;
    ComPtr<IGenericData> document = NewDocument();
    ASSERT_EQ(current.DoConfigDataExchange(document.Get(), 1, path), S_OK);
    EXPECT_FALSE(fs::exists(dir / "SysCfgData.xml")) << "writing into the document saves nothing";

    Put(document.Get(), "VarelSystemSet.I4.Primary", Value(800));
    CVarelSystemConfig other;
    ASSERT_EQ(other.DoConfigDataExchange(document.Get(), 0, path), S_OK);
    EXPECT_EQ(other.settings.Fre, 60.0f);
    EXPECT_EQ(other.channels[20].fPrimary, 800.0f);
    EXPECT_TRUE(fs::exists(dir / "SysCfgData.xml"));

    ComPtr<IGenericData> empty = NewDocument();
    EXPECT_EQ(other.DoConfigDataExchange(empty.Get(), 0, path), E_FAIL) << "no VarelSystemSet";
    EXPECT_EQ(other.DoConfigDataExchange(nullptr, 1, path), E_INVALIDARG);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SystemConfig, TheShippedFileIsTheDefaults) {
    CVarelSystemConfig defaults;
    ASSERT_EQ(defaults.SaveFile(path), S_OK);
    auto bytes = [](const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(bytes(dir / "SysCfgData.xml"), bytes(VTS_SHIPPED_SYSCFG))
        << "config/SysCfgData.xml: write it anew from the defaults";
    CVarelSystemConfig shipped;
    EXPECT_EQ(shipped.LoadFile(Utf8ToUtf16(VTS_SHIPPED_SYSCFG)), S_OK);
    EXPECT_TRUE(boxes.empty());
}
