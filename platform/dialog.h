// Modal dialogs described in code: a dialog of pages behind a tab control,
// each page a set of controls laid out in dialog units. The dialog's own code
// sees its controls only through DialogControls and hears of the user's
// actions through DialogEvents, whether the window system shows the dialog or
// a host's handler drives it (VTS_SetDialogHandler).
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <cstdint>
#include <vector>

#if !defined(_WIN32)
#define IDCANCEL 2
#endif

enum class ControlKind : int32_t {
    Label = VTS_CONTROL_LABEL,
    Group = VTS_CONTROL_GROUP,
    Edit = VTS_CONTROL_EDIT,
    List = VTS_CONTROL_LIST,
    Check = VTS_CONTROL_CHECK,
    Button = VTS_CONTROL_BUTTON,
    Tabs = VTS_CONTROL_TABS,
};

// A label nobody addresses.
constexpr int32_t kUnnamedControl = -1;

struct DialogControl {
    int32_t id; // unique in the whole dialog, or kUnnamedControl
    ControlKind kind;
    WideString text;                 // caption of a label, group, check box or button
    std::vector<WideString> entries; // the entries of a list
    int16_t x, y, cx, cy;            // dialog units; a list's height includes its open entries
};

struct DialogPage {
    WideString title; // its tab's text
    std::vector<DialogControl> controls;
};

struct DialogLayout {
    WideString title;
    int16_t cx, cy;                      // dialog units
    std::vector<DialogControl> controls; // on the dialog itself, one of them the Tabs
    int32_t tabsId;                      // the tab control the pages sit in; page 0 is shown first
    int16_t pageInset[4];                // left, top, right, bottom, pixels inside the tab control
    std::vector<DialogPage> pages;
};

enum class ControlEvent { Clicked, SelectionChanged, FocusLost };

// The controls of an open dialog, by id, on whichever page they are.
class DialogControls {
public:
    virtual ~DialogControls() = default;
    virtual WideString Text(int32_t id) = 0;
    virtual void SetText(int32_t id, WideStringView text) = 0;
    // The entry chosen in a list, -1 for none.
    virtual int32_t Selection(int32_t id) = 0;
    virtual void SetSelection(int32_t id, int32_t index) = 0;
    virtual bool Checked(int32_t id) = 0;
    virtual void SetChecked(int32_t id, bool checked) = 0;
    virtual void Enable(int32_t id, bool enabled) = 0;
    // The dialog's window: owner of the message boxes shown while it is open.
    virtual HWND Window() = 0;
};

class DialogEvents {
public:
    virtual ~DialogEvents() = default;
    // The controls exist; the dialog is not shown yet.
    virtual void OnInit(DialogControls& controls) = 0;
    // What the user did to control id. A non-zero result ends the dialog with it.
    virtual intptr_t OnEvent(DialogControls& controls, int32_t id, ControlEvent event) = 0;
};

// Runs the dialog modally, owned by owner, on this thread: with the host's
// handler when one is installed, else the window system's. The result an
// event ended it with, or IDCANCEL when it was closed (or cannot be shown).
// Tab changes, and the Enter key committing the focused field instead of
// closing, are handled here.
intptr_t RunModalDialog(HWND owner, const DialogLayout& layout, DialogEvents& events);

// The window system's modal dialog (one per backend).
intptr_t RunSystemDialog(HWND owner, const DialogLayout& layout, DialogEvents& events);
