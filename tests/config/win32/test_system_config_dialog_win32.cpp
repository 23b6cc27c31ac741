// The configuration dialog as the system shows it: VTS_OnSystemConfig opens
// it over a window of the test's own, and a second thread drives the real
// controls as a user does (focus into a field, type, focus away, pick a list
// entry, change the page, click), checking what the fields show and what
// "SysCfgData.xml" holds afterwards. With VTS_SCREENSHOT_DIR set (by
// tools/wine-x11-run) each page is photographed there.
#include "api/server.h"
#include "config/system_config_dialog.h"
#include "text.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

using namespace syscfg_ids;

namespace {

namespace fs = std::filesystem;

HWND FindControl(HWND dialog, int32_t id) {
    struct Search {
        int32_t id;
        HWND found;
    } search{id, nullptr};
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM p) {
            auto* s = reinterpret_cast<Search*>(p);
            if (GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The user's side of the open dialog.
class User {
public:
    explicit User(HWND dialog) : dialog_(dialog) {}
    std::wstring Text(int32_t id) {
        wchar_t text[128] = {};
        GetWindowTextW(FindControl(dialog_, id), text, 128);
        return text;
    }
    void Focus(int32_t id) {
        SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(FindControl(dialog_, id)), TRUE);
    }
    // Into the field, its text replaced, and the focus on to the tabs.
    void Type(int32_t id, const wchar_t* text) {
        Focus(id);
        SendMessageW(FindControl(dialog_, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
        Focus(kTabs);
    }
    void Choose(int32_t id, int index) {
        HWND list = FindControl(dialog_, id);
        Focus(id);
        SendMessageW(list, CB_SETCURSEL, index, 0);
        SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    }
    void Page(int index) {
        SendMessageW(FindControl(dialog_, kTabs), TCM_SETCURFOCUS, index, 0);
        Shoot(index);
    }
    bool Shown(int32_t id) { return IsWindowVisible(FindControl(dialog_, id)) != FALSE; }
    bool Enabled(int32_t id) { return IsWindowEnabled(FindControl(dialog_, id)) != FALSE; }
    void Click(int32_t id) { SendMessageW(FindControl(dialog_, id), BM_CLICK, 0, 0); }

private:
    // The photographer (tools/wine-x11-run) takes a request file away once
    // the screen is saved beside it.
    void Shoot(int page) {
        const char* folder = std::getenv("VTS_SCREENSHOT_DIR");
        if (!folder) return;
        UpdateWindow(dialog_);
        const fs::path request =
            fs::path("Z:" + std::string(folder)) / ("page" + std::to_string(page) + ".request");
        std::ofstream(request) << "\n";
        for (int i = 0; i < 200 && fs::exists(request); ++i) Sleep(50);
        EXPECT_FALSE(fs::exists(request)) << "nobody took the screenshot";
    }
    HWND dialog_;
};

class SystemConfigDialogWin32 : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = fs::path(temp) / ("sysdlg" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir);
        savedFolder = Server().configFolder;
        Server().configFolder = dir.wstring() + L"\\";
        owner = VTS_CreateHostWindow(
            L"configuration host", [](void*, HWND, uint32_t, uintptr_t, intptr_t) -> intptr_t { return 0; },
            nullptr);
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override {
        VTS_DestroyHostWindow(owner);
        Server().configFolder = savedFolder;
        fs::remove_all(dir);
        CoUninitialize();
    }
    // VTS_OnSystemConfig with steps run against the dialog once it is open.
    void Open(const std::function<void(User&)>& steps) {
        std::thread driver([&] {
            HWND dialog = nullptr;
            for (int i = 0; i < 400 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(50))
                dialog = FindWindowW(L"#32770", L"系统设置");
            ASSERT_NE(dialog, nullptr) << "the dialog did not open";
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
            User user(dialog);
            steps(user);
            if (IsWindow(dialog)) PostMessageW(dialog, WM_CLOSE, 0, 0); // a failed step leaves it open
        });
        EXPECT_EQ(VTS_OnSystemConfig(owner), S_OK);
        driver.join();
    }
    std::string File() {
        std::ifstream in(dir / "SysCfgData.xml", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path dir;
    WideString savedFolder;
    HWND owner = nullptr;
};

} // namespace

TEST_F(SystemConfigDialogWin32, AUserEditsThePagesCancelsThenSaves) {
    CVarelSystemConfig().SaveFile(Server().configFolder + kSysCfgFileName);
    const std::string defaults = File();
    Open([](User& user) {
        EXPECT_TRUE(user.Shown(kPtPrimary));
        EXPECT_FALSE(user.Shown(kFre));
        EXPECT_EQ(user.Text(kPtPrimary), L"220 KV");
        user.Type(kPtPrimary, L"2000000");
        EXPECT_EQ(user.Text(kPtPrimary), L"1e+06 KV");
        user.Type(kPtSecondary, L"0");
        EXPECT_EQ(user.Text(kPtSecondary), L"0.001 V");
        user.Choose(kSignalTypeU + 1, 0);
        EXPECT_EQ(user.Text(kSignalTypeU + 1), L"小信号");
        user.Page(0);
        user.Page(1);
        EXPECT_TRUE(user.Shown(kVMax));
        EXPECT_FALSE(user.Shown(kPtPrimary));
        user.Page(2);
        user.Type(kFre, L"45");
        EXPECT_EQ(user.Text(kFre), L"50 Hz");
        EXPECT_FALSE(user.Enabled(kRole1588));
        user.Choose(kTimeSource, 2);
        for (int32_t id : {kRole1588, kClockMode1588, kOffset1588}) EXPECT_TRUE(user.Enabled(id)) << id;
        user.Page(2);
        user.Choose(kTimeSource, 0);
        for (int32_t id : {kRole1588, kClockMode1588, kOffset1588}) EXPECT_FALSE(user.Enabled(id)) << id;
        user.Choose(kTimeSource, 2);
        user.Click(kCancel);
    });
    EXPECT_EQ(File(), defaults) << "取消 leaves the file";
    EXPECT_EQ(Server().agent.GpsTimeMode(), 0u) << "取消 leaves the agent";

    Open([](User& user) {
        user.Page(2);
        user.Type(kFre, L"45");
        user.Choose(kTimeSource, 2);
        user.Click(kSave);
    });
    EXPECT_NE(File().find(R"(<Para id="Fre" value="50")"), std::string::npos) << File();
    EXPECT_EQ(Server().agent.GpsTimeMode(), 2u) << "the agent has the saved time source";

    Open([](User& user) {
        user.Page(2);
        EXPECT_EQ(user.Text(kFre), L"50 Hz");
        user.Type(kFre, L"61");
        user.Click(kSave);
    });
    EXPECT_NE(File().find(R"(<Para id="Fre" value="60")"), std::string::npos) << File();
}
