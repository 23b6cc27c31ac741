// The configuration dialog driven as a user drives it, through the host's
// dialog handler: what the fields show after each commit, the clamps, the
// 1588 controls, the copy buttons, and VTS_OnSystemConfig with real files.
#include "api/server.h"
#include "calib/adj_page.h"
#include "config/system_config_dialog.h"
#include "text.h"
#include "thread.h"

#include <leak_check.h>
#include <message_boxes.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using namespace syscfg_ids;

namespace {

namespace fs = std::filesystem;

// Installs steps as the dialog handler for one scope.
class Driver {
public:
    explicit Driver(std::function<void(VTS_Dialog*)> steps) : steps_(std::move(steps)) {
        VTS_SetDialogHandler([](void* self, VTS_Dialog* d) { static_cast<Driver*>(self)->Run(d); }, this);
    }
    ~Driver() { VTS_SetDialogHandler(nullptr, nullptr); }
    int shown = 0;

private:
    void Run(VTS_Dialog* d) {
        ++shown;
        steps_(d);
    }
    std::function<void(VTS_Dialog*)> steps_;
};

std::string Text(VTS_Dialog* d, int32_t id) {
    char buffer[128];
    EXPECT_GE(VTS_DialogGetText(d, id, buffer, sizeof buffer), 0) << "control " << id;
    return buffer;
}

VTS_DialogControlState State(VTS_Dialog* d, int32_t id) {
    VTS_DialogControlState state{};
    EXPECT_EQ(VTS_DialogGetControl(d, id, &state), S_OK) << "control " << id;
    return state;
}

// Types text into a field and moves the focus away to another control.
void Enter(VTS_Dialog* d, int32_t id, const char* text) {
    ASSERT_EQ(VTS_DialogType(d, id, text), S_OK) << "control " << id;
    ASSERT_EQ(VTS_DialogFocus(d, kTabs), S_OK);
}

struct Actions : SystemConfigActions {
    void SendTimeMode(uint64_t mode) override { sent.push_back(mode); }
    void RunIpConfig(HWND) override { ++ipRuns; }
    std::vector<uint64_t> sent;
    int ipRuns = 0;
};

} // namespace

TEST(SystemConfigDialog, FieldsShowTheClampedValuesAndSaveTakesThem) {
    CVarelSystemConfig current;
    current.settings.I2[14] = 7.0f; // a slot without a row keeps its value
    Actions actions;
    CIOSystemConfigDlg dialog(current, &actions);
    Driver driver([](VTS_Dialog* d) {
        EXPECT_EQ(Text(d, 0), "系统设置");
        EXPECT_EQ(Text(d, kPtPrimary), "220 KV");
        EXPECT_EQ(Text(d, kCtSecondary + 11), "1 A");
        EXPECT_EQ(Text(d, kSignalTypeU), "内部功放输出");
        Enter(d, kPtPrimary, "2000000");
        EXPECT_EQ(Text(d, kPtPrimary), "1e+06 KV");
        Enter(d, kPtSecondary, "0");
        EXPECT_EQ(Text(d, kPtSecondary), "0.001 V");
        Enter(d, kCtPrimary + 2, "not a number");
        EXPECT_EQ(Text(d, kCtPrimary + 2), "0.001 A");
        Enter(d, kCtPrimary, "600 A");
        ASSERT_EQ(VTS_DialogChoose(d, kSignalTypeU, 2), S_OK);
        EXPECT_EQ(Text(d, kSignalTypeU), "数字量9-2");
        ASSERT_EQ(VTS_DialogClick(d, kSignalTypeAll), S_OK);
        ASSERT_EQ(VTS_DialogClick(d, kPtAll), S_OK);
        ASSERT_EQ(VTS_DialogClick(d, kCtAll), S_OK);
        EXPECT_EQ(Text(d, kSignalTypeI + 11), "数字量9-2");
        EXPECT_EQ(Text(d, kCtPrimary + 2), "600 A");

        // Another page's fields are out of reach until its tab is chosen.
        EXPECT_EQ(VTS_DialogType(d, kVMax, "1"), E_ACCESSDENIED);
        ASSERT_EQ(VTS_DialogChoose(d, kTabs, 1), S_OK);
        EXPECT_FALSE(State(d, kPtPrimary).visible);
        Enter(d, kVMax, "0.01");
        EXPECT_EQ(Text(d, kVMax), "0.1 V");
        Enter(d, kIMax, "5000");
        EXPECT_EQ(Text(d, kIMax), "1000 A");
        Enter(d, kU1, "250");
        ASSERT_EQ(VTS_DialogClick(d, kSmallUAll), S_OK);
        EXPECT_EQ(Text(d, kU1 + 11), "250 mV");

        ASSERT_EQ(VTS_DialogChoose(d, kTabs, 2), S_OK);
        ASSERT_EQ(VTS_DialogType(d, kFre, "45"), S_OK);
        ASSERT_EQ(VTS_DialogPressEnter(d), S_OK); // commits, the dialog stays
        EXPECT_EQ(Text(d, kFre), "50 Hz");
        Enter(d, kFre, "61");
        EXPECT_EQ(Text(d, kFre), "60 Hz");
        ASSERT_EQ(VTS_DialogClick(d, kStop61850), S_OK);

        // The 1588 controls live only with the 1588 time source.
        EXPECT_EQ(Text(d, kTimeSource), "B 码对时");
        EXPECT_FALSE(State(d, kRole1588).enabled);
        EXPECT_EQ(VTS_DialogChoose(d, kRole1588, 1), E_ACCESSDENIED);
        ASSERT_EQ(VTS_DialogChoose(d, kTimeSource, 2), S_OK);
        for (int32_t id : {kRole1588, kClockMode1588, kOffset1588}) EXPECT_TRUE(State(d, id).enabled) << id;
        ASSERT_EQ(VTS_DialogChoose(d, kRole1588, 1), S_OK);
        ASSERT_EQ(VTS_DialogChoose(d, kClockMode1588, 1), S_OK);
        Enter(d, kOffset1588, "-25");
        EXPECT_EQ(Text(d, kOffset1588), "-25 ns");
        ASSERT_EQ(VTS_DialogClick(d, kSendTimeMode), S_OK);
        ASSERT_EQ(VTS_DialogClick(d, kIpConfig), S_OK);
        ASSERT_EQ(VTS_DialogChoose(d, kTimeSource, 0), S_OK);
        EXPECT_FALSE(State(d, kOffset1588).enabled);
        ASSERT_EQ(VTS_DialogChoose(d, kTimeSource, 2), S_OK);

        ASSERT_EQ(VTS_DialogClick(d, kSave), S_OK);
        EXPECT_EQ(VTS_DialogClick(d, kCancel), E_HANDLE) << "the dialog has ended";
    });
    EXPECT_EQ(dialog.DoModal(nullptr), 1);
    EXPECT_EQ(driver.shown, 1);

    const uint64_t mode = 2 | 1u << 16 | 1u << 24 | uint64_t(uint32_t(-25)) << 32;
    EXPECT_EQ(actions.sent, std::vector<uint64_t>{mode});
    EXPECT_EQ(actions.ipRuns, 1);
    const CVarelSystemConfig& w = dialog.WorkingCopy();
    EXPECT_EQ(w.channels[0].fPrimary, 1e6f);
    EXPECT_EQ(w.channels[15].fPrimary, 1e6f) << "PT copied to all 16 voltage slots";
    EXPECT_EQ(w.channels[0].fSecondary, 0.001f);
    EXPECT_EQ(w.channels[31].uSignalType, kSignal92) << "the signal type copied to all 32 slots";
    EXPECT_EQ(w.channels[18].fPrimary, 600.0f);
    EXPECT_EQ(w.settings.U_Range, 0.1f);
    EXPECT_EQ(w.settings.I_Range, 1000.0f);
    EXPECT_EQ(w.settings.U1[15], 250.0f);
    EXPECT_EQ(w.settings.I2[14], 7.0f);
    EXPECT_EQ(w.settings.Fre, 60.0f);
    EXPECT_EQ(w.settings.bStop61850, 1);
    EXPECT_EQ(w.settings.GPS_TimeMode, mode);
}

TEST(SystemConfigDialog, BadActionsAreRefused) {
    CVarelSystemConfig current;
    Actions actions;
    CIOSystemConfigDlg dialog(current, &actions);
    Driver driver([](VTS_Dialog* d) {
        VTS_DialogControlState state{};
        EXPECT_EQ(VTS_DialogGetControl(d, 9999, &state), E_INVALIDARG);
        EXPECT_EQ(VTS_DialogClick(d, kPtPrimary), E_INVALIDARG) << "an edit is not clicked";
        EXPECT_EQ(VTS_DialogChoose(d, kSignalTypeU, 4), E_INVALIDARG);
        EXPECT_EQ(VTS_DialogType(d, kSignalTypeU, "x"), E_INVALIDARG);
        EXPECT_EQ(VTS_DialogGetText(d, 9999, nullptr, 0), -1);
        char cut[4];
        EXPECT_EQ(VTS_DialogGetEntry(d, kTabs, 2, cut, sizeof cut), 12) << "系统参数 is 12 bytes";
        EXPECT_EQ(std::string(cut), "系");
        Enter(d, kPtPrimary, "1"); // the handler returns without a button: closed
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(dialog.WorkingCopy().channels[0].fPrimary, 1.0f);
}

// VTS_OnSystemConfig over the library's real file and the agent's copy.
class OnSystemConfig : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        dir = fs::temp_directory_path() / ("sysdlg" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir);
        savedFolder = Server().configFolder;
        Server().configFolder = Utf8ToUtf16((dir / "").string());
        VTS_SetMessageBoxHandler(
            [](void* self, const char* text, const char*) {
                static_cast<OnSystemConfig*>(self)->boxes.push_back(text);
                return 1;
            },
            this);
    }
    void TearDown() override {
        WriteMessageBoxesToStderr();
        Server().configFolder = savedFolder;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
        CoUninitialize();
    }
    std::string FileText() {
        std::ifstream in(dir / "SysCfgData.xml", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    WideString savedFolder;
    std::vector<std::string> boxes;
};

TEST_F(OnSystemConfig, SaveWritesTheFileAndTheAgentTakesItCancelLeavesBoth) {
    {
        Driver driver([](VTS_Dialog* d) { EXPECT_EQ(VTS_DialogClick(d, kSave), S_OK); });
        EXPECT_EQ(VTS_OnSystemConfig(nullptr), S_OK);
        ASSERT_EQ(boxes.size(), 1u) << "the missing file's box, the dialog shown anyway";
        EXPECT_NE(boxes[0].find("打开系统配置文件失败!"), std::string::npos) << boxes[0];
        EXPECT_EQ(driver.shown, 1);
    }
    const std::string defaults = FileText();
    ASSERT_NE(defaults.find("VarelSystemSet"), std::string::npos);
    const auto edit = [](VTS_Dialog* d) {
        ASSERT_EQ(VTS_DialogChoose(d, kTabs, 2), S_OK);
        Enter(d, kFre, "45");
        ASSERT_EQ(VTS_DialogChoose(d, kTimeSource, 0), S_OK);
        ASSERT_EQ(VTS_DialogClick(d, kIpConfig), S_OK); // no VarelIP.exe: a box, the dialog stays
        EXPECT_EQ(Text(d, kFre), "50 Hz");
    };
    {
        Driver driver([&](VTS_Dialog* d) {
            edit(d);
            EXPECT_EQ(VTS_DialogClick(d, kCancel), S_OK);
        });
        EXPECT_EQ(VTS_OnSystemConfig(nullptr), S_OK);
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[1].find("VarelIP.exe"), std::string::npos) << boxes[1];
    EXPECT_EQ(FileText(), defaults);
    EXPECT_EQ(Server().agent.GpsTimeMode(), 1u) << "cancelled: the agent keeps IRIG-B";
    {
        Driver driver([&](VTS_Dialog* d) {
            edit(d);
            Enter(d, kFre, "61");
            EXPECT_EQ(VTS_DialogClick(d, kSave), S_OK);
        });
        EXPECT_EQ(VTS_OnSystemConfig(nullptr), S_OK);
    }
    EXPECT_NE(FileText().find(R"(<Para id="Fre" value="60")"), std::string::npos) << FileText();
    EXPECT_EQ(Server().agent.GpsTimeMode(), 0u) << "saved: the agent has GPS time";
    EXPECT_EQ(Server().config.settings.Fre, 60.0f);

    // A read-only file is made writable and saved; a malformed one shows its box.
    fs::permissions(dir / "SysCfgData.xml",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    {
        Driver driver([&](VTS_Dialog* d) {
            ASSERT_EQ(VTS_DialogChoose(d, kTabs, 2), S_OK);
            Enter(d, kFre, "55");
            EXPECT_EQ(VTS_DialogClick(d, kSave), S_OK);
        });
        EXPECT_EQ(VTS_OnSystemConfig(nullptr), S_OK);
    }
    EXPECT_NE(FileText().find(R"(<Para id="Fre" value="55")"), std::string::npos);
    std::ofstream(dir / "SysCfgData.xml") << "<Para id=";
    {
        Driver driver([&](VTS_Dialog* d) { EXPECT_EQ(Text(d, kFre), "55 Hz"); });
        EXPECT_EQ(VTS_OnSystemConfig(nullptr), S_OK);
        EXPECT_EQ(driver.shown, 1);
    }
    EXPECT_NE(boxes.back().find("打开系统配置文件失败!"), std::string::npos) << boxes.back();
}
