#include "config/system_config_dialog.h"

#include "calib/adj_page.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace syscfg_ids;

namespace {

// The signal-type list, in the order of its entries.
constexpr uint32_t kSignalCodes[] = {kSignalSmall, kSignalFt3, kSignal92, kSignalAmplifier};

const WCHAR* const kVoltRows[kConfigRows] = {OLESTR("Ua"), OLESTR("Ub"), OLESTR("Uc"), OLESTR("Ux"),
                                             OLESTR("Uy"), OLESTR("Uz"), OLESTR("Uu"), OLESTR("Uv"),
                                             OLESTR("Uw"), OLESTR("Ur"), OLESTR("Us"), OLESTR("Ut")};
const WCHAR* const kCurrRows[kConfigRows] = {OLESTR("Ia"), OLESTR("Ib"), OLESTR("Ic"), OLESTR("Ix"),
                                             OLESTR("Iy"), OLESTR("Iz"), OLESTR("Iu"), OLESTR("Iv"),
                                             OLESTR("Iw"), OLESTR("Ir"), OLESTR("Is"), OLESTR("It")};

// A value as "%g" and its unit.
WideString Shown(float value, const char* unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%g %s", static_cast<double>(value), unit);
    return Utf8ToUtf16(text);
}

// The number a field's text starts with ("220 KV" is 220); 0 when it starts with none.
double Number(const WideString& text) {
    const std::string utf8 = Utf16ToUtf8(text);
    const double value = std::strtod(utf8.c_str(), nullptr);
    return std::isnan(value) ? 0.0 : value;
}

float Clamp(double value, double low, double high) {
    return static_cast<float>(value > high ? high : value < low ? low : value);
}

// Transformer ratios and small-signal scaling.
float Ratio(const WideString& text) { return Clamp(Number(text), 0.001, 1000000.0); }

// A field's text committed to a ratio; an empty field leaves the value.
void TakeRatio(DialogControls& controls, int32_t id, float* value) {
    const WideString text = controls.Text(id);
    if (!text.empty()) *value = Ratio(text);
}

int32_t ListIndex(uint32_t code) {
    for (int32_t i = 0; i < 4; ++i)
        if (kSignalCodes[i] == code) return i;
    return -1;
}

bool InRange(int32_t id, int32_t first) {
    return id >= first && id < first + static_cast<int32_t>(kConfigRows);
}

// Layout helpers, in dialog units.
DialogControl Label(const WCHAR* text, int16_t x, int16_t y, int16_t cx, int16_t cy = 10) {
    return {kUnnamedControl, ControlKind::Label, text, {}, x, y, cx, cy};
}
DialogControl Edit(int32_t id, int16_t x, int16_t y, int16_t cx) {
    return {id, ControlKind::Edit, {}, {}, x, y, cx, 12};
}
DialogControl List(int32_t id, std::vector<WideString> entries, int16_t x, int16_t y, int16_t cx) {
    return {id, ControlKind::List, {}, std::move(entries), x, y, cx, 80};
}
DialogControl Button(int32_t id, const WCHAR* text, int16_t x, int16_t y, int16_t cx) {
    return {id, ControlKind::Button, text, {}, x, y, cx, 14};
}
DialogControl Check(int32_t id, const WCHAR* text, int16_t x, int16_t y, int16_t cx) {
    return {id, ControlKind::Check, text, {}, x, y, cx, 12};
}

constexpr int16_t kRowY = 18, kRowStep = 14, kColumn = 218;
int16_t RowY(uint32_t row) { return static_cast<int16_t>(kRowY + row * kRowStep); }

DialogPage SignalPage() {
    DialogPage page{OLESTR("通道配置"), {}};
    auto& c = page.controls;
    const std::vector<WideString> types = {OLESTR("小信号"), OLESTR("数字量9-1 (FT3)"), OLESTR("数字量9-2"),
                                           OLESTR("内部功放输出")};
    for (int16_t group = 0; group < 2; ++group) {
        const int16_t x = static_cast<int16_t>(4 + group * kColumn);
        c.push_back(Label(OLESTR("输出方式"), x + 22, 4, 80));
        c.push_back(Label(group ? OLESTR("CT 变比") : OLESTR("PT 变比"), x + 108, 4, 100));
        for (uint32_t row = 0; row < kConfigRows; ++row) {
            const int16_t y = RowY(row);
            const int32_t r = static_cast<int32_t>(row);
            c.push_back(Label(group ? kCurrRows[row] : kVoltRows[row], x, y + 2, 18));
            c.push_back(List((group ? kSignalTypeI : kSignalTypeU) + r, types, x + 22, y, 82));
            c.push_back(Edit((group ? kCtPrimary : kPtPrimary) + r, x + 108, y, 48));
            c.push_back(Label(OLESTR(":"), x + 158, y + 2, 6));
            c.push_back(Edit((group ? kCtSecondary : kPtSecondary) + r, x + 166, y, 42));
        }
    }
    const int16_t y = RowY(kConfigRows) + 4;
    c.push_back(Button(kSignalTypeAll, OLESTR("输出方式 -- 全部同 Ua"), 4, y, 112));
    c.push_back(Button(kPtAll, OLESTR("PT -- 全部同 Ua"), 120, y, 88));
    c.push_back(Button(kCtAll, OLESTR("CT -- 全部同 Ia"), 120 + kColumn, y, 88));
    return page;
}

DialogPage SmallSignalPage() {
    DialogPage page{OLESTR("小信号配置"), {}};
    auto& c = page.controls;
    for (int16_t group = 0; group < 2; ++group) {
        const int16_t x = static_cast<int16_t>(4 + group * kColumn);
        c.push_back(Label(OLESTR("测试仪输出"), x + 22, 4, 80));
        c.push_back(Label(OLESTR("代表值"), x + 120, 4, 80));
        for (uint32_t row = 0; row < kConfigRows; ++row) {
            const int16_t y = RowY(row);
            const int32_t r = static_cast<int32_t>(row);
            c.push_back(Label(group ? kCurrRows[row] : kVoltRows[row], x, y + 2, 18));
            c.push_back(Edit((group ? kI1 : kU1) + r, x + 22, y, 84));
            c.push_back(Label(OLESTR("→"), x + 108, y + 2, 10));
            c.push_back(Edit((group ? kI2 : kU2) + r, x + 120, y, 84));
        }
    }
    const int16_t y = RowY(kConfigRows) + 4;
    c.push_back(Button(kSmallUAll, OLESTR("电压 -- 全部同 Ua"), 26, y, 96));
    c.push_back(Button(kSmallIAll, OLESTR("电流 -- 全部同 Ia"), 26 + kColumn, y, 96));
    const int16_t g = y + 20;
    c.push_back({kUnnamedControl, ControlKind::Group, OLESTR("61850 光数字配置(9-1)"), {}, 4, g, 426, 32});
    c.push_back(Label(OLESTR("电压量程(二次侧)"), 14, g + 15, 70));
    c.push_back(Edit(kVMax, 86, g + 13, 84));
    c.push_back(Label(OLESTR("电流量程(二次侧)"), 14 + kColumn, g + 15, 70));
    c.push_back(Edit(kIMax, 86 + kColumn, g + 13, 84));
    return page;
}

DialogPage SystemPage() {
    DialogPage page{OLESTR("系统参数"), {}};
    auto& c = page.controls;
    c.push_back(Label(OLESTR("额定频率 Fre"), 14, 16, 70));
    c.push_back(Edit(kFre, 90, 14, 80));
    c.push_back(Check(kShowPrimary, OLESTR("默认: 显示一次侧值 "), 14, 36, 200));
    c.push_back(Check(kStop61850, OLESTR("默认: 结束试验后停止输出报文"), 14, 54, 200));
    c.push_back(Label(OLESTR("内置 GPS 对时模式"), 14, 80, 74));
    c.push_back(List(kTimeSource, {OLESTR("GPS 对时"), OLESTR("B 码对时"), OLESTR("1588 对时")}, 90, 78, 80));
    c.push_back(Label(OLESTR("主从模式"), 14, 100, 74));
    c.push_back(List(kRole1588, {OLESTR("从机"), OLESTR("主机")}, 90, 98, 80));
    c.push_back(Label(OLESTR("一步模式"), 14, 120, 74));
    c.push_back(List(kClockMode1588, {OLESTR("两步"), OLESTR("一步")}, 90, 118, 80));
    c.push_back(Label(OLESTR("偏差校正"), 14, 140, 74));
    c.push_back(Edit(kOffset1588, 90, 138, 80));
    c.push_back(Button(kSendTimeMode, OLESTR("设置"), 180, 78, 60));
    c.push_back(Button(kIpConfig, OLESTR("测试仪 IP 配置"), 14, 170, 90));
    return page;
}

DialogLayout MakeLayout() {
    DialogLayout layout{OLESTR("系统设置"), 448, 290, {}, kTabs, {2, 26, 3, 3}, {}};
    layout.controls.push_back({kTabs, ControlKind::Tabs, {}, {}, 4, 4, 440, 262});
    layout.controls.push_back(Button(kSave, OLESTR("保存"), 324, 272, 56));
    layout.controls.push_back(Button(kCancel, OLESTR("取消"), 388, 272, 56));
    layout.pages = {SignalPage(), SmallSignalPage(), SystemPage()};
    return layout;
}

} // namespace

const DialogLayout& SystemConfigLayout() {
    static const DialogLayout layout = MakeLayout();
    return layout;
}

void CIOSystemConfigDlg_Signal::Exchange(DialogControls& controls, bool toConfig) {
    for (uint32_t row = 0; row < kConfigRows; ++row) {
        const int32_t r = static_cast<int32_t>(row);
        for (uint32_t group = 0; group < 2; ++group) {
            ChannelConfigEntry& entry = config_->channels[group * kConfigSlots + row];
            const int32_t typeId = (group ? kSignalTypeI : kSignalTypeU) + r;
            const int32_t primaryId = (group ? kCtPrimary : kPtPrimary) + r;
            const int32_t secondaryId = (group ? kCtSecondary : kPtSecondary) + r;
            if (toConfig) {
                const int32_t index = controls.Selection(typeId);
                entry.uSignalType = index < 0 ? 0 : kSignalCodes[index];
                TakeRatio(controls, primaryId, &entry.fPrimary);
                TakeRatio(controls, secondaryId, &entry.fSecondary);
            } else {
                controls.SetSelection(typeId, ListIndex(entry.uSignalType));
                controls.SetText(primaryId, Shown(entry.fPrimary, group ? "A" : "KV"));
                controls.SetText(secondaryId, Shown(entry.fSecondary, group ? "A" : "V"));
            }
        }
    }
}

bool CIOSystemConfigDlg_Signal::OnEvent(DialogControls& controls, int32_t id, ControlEvent event) {
    ChannelConfigEntry* channels = config_->channels;
    if (id == kSignalTypeAll || id == kPtAll || id == kCtAll) {
        if (event != ControlEvent::Clicked) return true;
        for (uint32_t slot = 0; slot < kConfigChannels; ++slot) {
            if (id == kSignalTypeAll) channels[slot].uSignalType = channels[0].uSignalType;
            if (id == kPtAll && slot < kConfigSlots) {
                channels[slot].fPrimary = channels[0].fPrimary;
                channels[slot].fSecondary = channels[0].fSecondary;
            }
            if (id == kCtAll && slot >= kConfigSlots) {
                channels[slot].fPrimary = channels[kConfigSlots].fPrimary;
                channels[slot].fSecondary = channels[kConfigSlots].fSecondary;
            }
        }
    } else if (InRange(id, kSignalTypeU) || InRange(id, kSignalTypeI)) {
        if (event != ControlEvent::SelectionChanged) return true;
        Exchange(controls, true);
    } else if (InRange(id, kPtPrimary) || InRange(id, kPtSecondary) || InRange(id, kCtPrimary) ||
               InRange(id, kCtSecondary)) {
        if (event != ControlEvent::FocusLost) return true;
        Exchange(controls, true);
    } else {
        return false;
    }
    Exchange(controls, false);
    return true;
}

void CIOSystemConfigDlg_61850::Exchange(DialogControls& controls, bool toConfig) {
    SystemSettings& s = config_->settings;
    for (uint32_t row = 0; row < kConfigRows; ++row) {
        const int32_t r = static_cast<int32_t>(row);
        if (toConfig) {
            TakeRatio(controls, kU1 + r, &s.U1[row]);
            TakeRatio(controls, kU2 + r, &s.U2[row]);
            TakeRatio(controls, kI1 + r, &s.I1[row]);
            TakeRatio(controls, kI2 + r, &s.I2[row]);
        } else {
            controls.SetText(kU1 + r, Shown(s.U1[row], "mV"));
            controls.SetText(kU2 + r, Shown(s.U2[row], "V"));
            controls.SetText(kI1 + r, Shown(s.I1[row], "mV"));
            controls.SetText(kI2 + r, Shown(s.I2[row], "A"));
        }
    }
    if (toConfig) {
        // The digital ranges: below 0.1 gives 0.1.
        if (!controls.Text(kVMax).empty()) s.U_Range = Clamp(Number(controls.Text(kVMax)), 0.1, 1000.0);
        if (!controls.Text(kIMax).empty()) s.I_Range = Clamp(Number(controls.Text(kIMax)), 0.1, 1000.0);
    } else {
        controls.SetText(kVMax, Shown(s.U_Range, "V"));
        controls.SetText(kIMax, Shown(s.I_Range, "A"));
    }
}

bool CIOSystemConfigDlg_61850::OnEvent(DialogControls& controls, int32_t id, ControlEvent event) {
    SystemSettings& s = config_->settings;
    if (id == kSmallUAll || id == kSmallIAll) {
        if (event != ControlEvent::Clicked) return true;
        for (uint32_t slot = 0; slot < kConfigSlots; ++slot) {
            if (id == kSmallUAll) {
                s.U1[slot] = s.U1[0];
                s.U2[slot] = s.U2[0];
            } else {
                s.I1[slot] = s.I1[0];
                s.I2[slot] = s.I2[0];
            }
        }
    } else if (InRange(id, kU1) || InRange(id, kU2) || InRange(id, kI1) || InRange(id, kI2) || id == kVMax ||
               id == kIMax) {
        if (event != ControlEvent::FocusLost) return true;
        Exchange(controls, true);
    } else {
        return false;
    }
    Exchange(controls, false);
    return true;
}

void CIOSystemConfigDlg_Default::Exchange(DialogControls& controls, bool toConfig) {
    SystemSettings& s = config_->settings;
    uint64_t mode = s.GPS_TimeMode;
    if (toConfig) {
        if (!controls.Text(kFre).empty()) s.Fre = Clamp(Number(controls.Text(kFre)), 50.0, 60.0);
        s.bShowPrimary = controls.Checked(kShowPrimary) ? 1 : 0;
        s.bStop61850 = controls.Checked(kStop61850) ? 1 : 0;
        // A list with nothing chosen (a mode this dialog has no entry for)
        // keeps its part of the mode as it was.
        const int32_t source = controls.Selection(kTimeSource);
        const int32_t role = controls.Selection(kRole1588);
        const int32_t clock = controls.Selection(kClockMode1588);
        if (source >= 0) mode = (mode & ~0xFFFFull) | static_cast<uint64_t>(source);
        if (role >= 0) mode = (mode & ~0xFF0000ull) | static_cast<uint64_t>(role) << 16;
        if (clock >= 0) mode = (mode & ~0xFF000000ull) | static_cast<uint64_t>(clock) << 24;
        const WideString offsetText = controls.Text(kOffset1588);
        if (!offsetText.empty()) {
            const long long offset = std::strtoll(Utf16ToUtf8(offsetText).c_str(), nullptr, 10);
            const int32_t ns = static_cast<int32_t>(offset > INT_MAX   ? INT_MAX
                                                    : offset < INT_MIN ? INT_MIN
                                                                       : offset);
            mode = (mode & 0xFFFFFFFFull) | static_cast<uint64_t>(static_cast<uint32_t>(ns)) << 32;
        }
        s.GPS_TimeMode = mode;
    } else {
        controls.SetText(kFre, Shown(s.Fre, "Hz"));
        controls.SetChecked(kShowPrimary, s.bShowPrimary != 0);
        controls.SetChecked(kStop61850, s.bStop61850 != 0);
        const uint32_t source = mode & 0xFFFF, role = (mode >> 16) & 0xFF, clock = (mode >> 24) & 0xFF;
        controls.SetSelection(kTimeSource, source < 3 ? static_cast<int32_t>(source) : -1);
        controls.SetSelection(kRole1588, role < 2 ? static_cast<int32_t>(role) : -1);
        controls.SetSelection(kClockMode1588, clock < 2 ? static_cast<int32_t>(clock) : -1);
        char offset[32];
        std::snprintf(offset, sizeof offset, "%d ns", static_cast<int>(static_cast<int32_t>(mode >> 32)));
        controls.SetText(kOffset1588, Utf8ToUtf16(offset));
    }
    Enable1588(controls);
}

void CIOSystemConfigDlg_Default::Enable1588(DialogControls& controls) {
    const bool ieee1588 = (config_->settings.GPS_TimeMode & 0xFFFF) == 2;
    for (int32_t id : {kRole1588, kClockMode1588, kOffset1588}) controls.Enable(id, ieee1588);
}

void CIOSystemConfigDlg_Default::OnEvent(DialogControls& controls, int32_t id, ControlEvent event) {
    const bool commits = (event == ControlEvent::FocusLost && (id == kFre || id == kOffset1588)) ||
                         (event == ControlEvent::Clicked && (id == kShowPrimary || id == kStop61850)) ||
                         (event == ControlEvent::SelectionChanged &&
                          (id == kTimeSource || id == kRole1588 || id == kClockMode1588));
    if (commits || (id == kSendTimeMode && event == ControlEvent::Clicked)) {
        Exchange(controls, true);
        Exchange(controls, false);
        if (id == kSendTimeMode) actions_->SendTimeMode(config_->settings.GPS_TimeMode);
    } else if (id == kIpConfig && event == ControlEvent::Clicked) {
        actions_->RunIpConfig(controls.Window());
    }
}

CIOSystemConfigDlg::CIOSystemConfigDlg(const CVarelSystemConfig& current, SystemConfigActions* actions)
    : working_(current), system_(&working_, actions) {}

intptr_t CIOSystemConfigDlg::DoModal(HWND owner) {
    return RunModalDialog(owner, SystemConfigLayout(), *this);
}

void CIOSystemConfigDlg::OnInit(DialogControls& controls) {
    signal_.Exchange(controls, false);
    smallSignal_.Exchange(controls, false);
    system_.Exchange(controls, false);
}

intptr_t CIOSystemConfigDlg::OnEvent(DialogControls& controls, int32_t id, ControlEvent event) {
    if (event == ControlEvent::Clicked && id == kSave) return 1;
    if (event == ControlEvent::Clicked && id == kCancel) return IDCANCEL;
    if (!signal_.OnEvent(controls, id, event) && !smallSignal_.OnEvent(controls, id, event))
        system_.OnEvent(controls, id, event);
    return 0;
}
