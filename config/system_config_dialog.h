// The system configuration dialog "系统设置": three pages over one working
// copy of the configuration, "保存" making it current and "取消" dropping it.
#pragma once

#include "config/varel_system_config.h"
#include "dialog.h"

#include <cstdint>

// Control ids of the three pages and the dialog itself.
namespace syscfg_ids {
constexpr int32_t kSignalTypeU = 3200, kSignalTypeI = 3220; // + row 0..11
constexpr int32_t kPtPrimary = 3300, kPtSecondary = 3320, kCtPrimary = 3340, kCtSecondary = 3360;
constexpr int32_t kSignalTypeAll = 3240, kPtAll = 3381, kCtAll = 3382;
constexpr int32_t kU1 = 3100, kU2 = 3120, kI1 = 3140, kI2 = 3160;
constexpr int32_t kVMax = 3182, kIMax = 3183, kSmallUAll = 3400, kSmallIAll = 3401;
constexpr int32_t kFre = 3180, kShowPrimary = 3181, kStop61850 = 6006;
constexpr int32_t kTimeSource = 6003, kRole1588 = 201, kClockMode1588 = 202, kOffset1588 = 205;
constexpr int32_t kSendTimeMode = 6005, kIpConfig = 6004;
constexpr int32_t kSave = 207, kCancel = 2, kTabs = 2002;
} // namespace syscfg_ids

// Rows shown per group; slots 12 to 15 keep their values.
constexpr uint32_t kConfigRows = 12;

// What the buttons of the system page do beyond the working copy.
class SystemConfigActions {
public:
    virtual ~SystemConfigActions() = default;
    // "设置": the tester takes this time-synchronisation mode now.
    virtual void SendTimeMode(uint64_t mode) = 0;
    // "测试仪 IP 配置": the tester IP configuration program runs to its end.
    virtual void RunIpConfig(HWND owner) = 0;
};

// The dialog's controls, texts and positions.
const DialogLayout& SystemConfigLayout();

// The page "通道配置": signal type and transformer ratios of each row.
class CIOSystemConfigDlg_Signal {
public:
    explicit CIOSystemConfigDlg_Signal(CVarelSystemConfig* config) : config_(config) {}
    // toConfig: the controls into the working copy (clamped), else the
    // working copy into the controls.
    void Exchange(DialogControls& controls, bool toConfig);
    // true when id is this page's and was handled.
    bool OnEvent(DialogControls& controls, int32_t id, ControlEvent event);

private:
    CVarelSystemConfig* config_;
};

// The page "小信号配置": small-signal scaling and the digital output ranges.
class CIOSystemConfigDlg_61850 {
public:
    explicit CIOSystemConfigDlg_61850(CVarelSystemConfig* config) : config_(config) {}
    void Exchange(DialogControls& controls, bool toConfig);
    bool OnEvent(DialogControls& controls, int32_t id, ControlEvent event);

private:
    CVarelSystemConfig* config_;
};

// The page "系统参数": frequency, display, IEC 61850 output and time synchronisation.
class CIOSystemConfigDlg_Default {
public:
    CIOSystemConfigDlg_Default(CVarelSystemConfig* config, SystemConfigActions* actions)
        : config_(config), actions_(actions) {}
    void Exchange(DialogControls& controls, bool toConfig);
    void OnEvent(DialogControls& controls, int32_t id, ControlEvent event);

private:
    // The 1588 controls are live only while the time source is IEEE 1588.
    void Enable1588(DialogControls& controls);
    CVarelSystemConfig* config_;
    SystemConfigActions* actions_;
};

class CIOSystemConfigDlg : public DialogEvents {
public:
    // The working copy starts as a copy of current.
    CIOSystemConfigDlg(const CVarelSystemConfig& current, SystemConfigActions* actions);
    // Modal, owned by owner: 1 after "保存", IDCANCEL (2) after "取消" or closing.
    intptr_t DoModal(HWND owner);
    const CVarelSystemConfig& WorkingCopy() const { return working_; }

    void OnInit(DialogControls& controls) override;
    intptr_t OnEvent(DialogControls& controls, int32_t id, ControlEvent event) override;

private:
    CVarelSystemConfig working_;
    CIOSystemConfigDlg_Signal signal_{&working_};
    CIOSystemConfigDlg_61850 smallSignal_{&working_};
    CIOSystemConfigDlg_Default system_;
};
