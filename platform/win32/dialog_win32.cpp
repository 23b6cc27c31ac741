// Dialogs as the system's own modal dialogs: the templates are built in
// memory from the layout (no resource script), the pages are child dialogs
// over the tab control, and the controls' notifications become the dialog's
// events.
#include "dialog.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace {

constexpr WORD kFontPoints = 9;
constexpr WCHAR kFontName[] = L"MS Shell Dlg";

// A DLGTEMPLATE with its DLGITEMTEMPLATEs, in the words the system reads.
class DialogTemplate {
public:
    DialogTemplate(DWORD style, const WideString& title, int16_t cx, int16_t cy, size_t items) {
        Dword(style | DS_SETFONT);
        Dword(0);
        words_.push_back(static_cast<WORD>(items));
        for (int16_t v : {int16_t(0), int16_t(0), cx, cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(0); // no menu
        words_.push_back(0); // the system's dialog class
        Text(title);
        words_.push_back(kFontPoints);
        Text(kFontName);
    }
    void Item(const DialogControl& c) {
        DWORD style = WS_CHILD | WS_VISIBLE;
        WORD atom = 0x0080; // BUTTON
        const WCHAR* className = nullptr;
        switch (c.kind) {
        case ControlKind::Label: style |= SS_LEFT, atom = 0x0082; break;
        case ControlKind::Group: style |= BS_GROUPBOX; break;
        case ControlKind::Edit: style |= WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, atom = 0x0081; break;
        case ControlKind::List: style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, atom = 0x0085; break;
        case ControlKind::Check: style |= WS_TABSTOP | BS_AUTOCHECKBOX; break;
        case ControlKind::Button: style |= WS_TABSTOP | BS_PUSHBUTTON; break;
        case ControlKind::Tabs: style |= WS_TABSTOP | WS_CLIPSIBLINGS, className = WC_TABCONTROLW; break;
        }
        if (words_.size() % 2) words_.push_back(0); // each item starts on a DWORD
        Dword(style);
        Dword(0);
        for (int16_t v : {c.x, c.y, c.cx, c.cy}) words_.push_back(static_cast<WORD>(v));
        words_.push_back(static_cast<WORD>(c.id)); // kUnnamedControl is 0xFFFF, the system's "no id"
        if (className) {
            Text(className);
        } else {
            words_.push_back(0xFFFF);
            words_.push_back(atom);
        }
        Text(c.text);
        words_.push_back(0); // no creation data
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Dword(DWORD v) {
        words_.push_back(LOWORD(v));
        words_.push_back(HIWORD(v));
    }
    void Text(WideStringView text) {
        words_.insert(words_.end(), text.begin(), text.end());
        words_.push_back(0);
    }
    std::vector<WORD> words_;
};

// The tab control's class lives in comctl32, loaded when first needed so that
// the library imports only what every process has.
bool LoadTabClass() {
    static const bool loaded = [] {
        HMODULE comctl = LoadLibraryW(L"comctl32.dll");
        FARPROC entry = comctl ? GetProcAddress(comctl, "InitCommonControlsEx") : nullptr;
        if (!entry) return false;
        INITCOMMONCONTROLSEX classes{sizeof classes, ICC_TAB_CLASSES};
        return reinterpret_cast<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(reinterpret_cast<void*>(entry))(
                   &classes) != FALSE;
    }();
    return loaded;
}

class OpenDialog : public DialogControls {
public:
    OpenDialog(const DialogLayout& layout, DialogEvents& events) : layout_(layout), events_(events) {}

    WideString Text(int32_t id) override {
        HWND control = Control(id);
        if (!control) return {};
        WideString text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    void SetText(int32_t id, WideStringView text) override {
        if (HWND control = Control(id)) SetWindowTextW(control, WideString(text).c_str());
    }
    int32_t Selection(int32_t id) override {
        HWND control = Control(id);
        return control ? static_cast<int32_t>(SendMessageW(control, CB_GETCURSEL, 0, 0)) : -1;
    }
    void SetSelection(int32_t id, int32_t index) override {
        if (HWND control = Control(id)) SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    bool Checked(int32_t id) override {
        HWND control = Control(id);
        return control && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void SetChecked(int32_t id, bool checked) override {
        if (HWND control = Control(id))
            SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    void Enable(int32_t id, bool enabled) override {
        if (HWND control = Control(id)) EnableWindow(control, enabled);
    }
    HWND Window() override { return dialog_; }

    intptr_t Run(HWND owner) {
        DialogTemplate main(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, layout_.title,
                            layout_.cx, layout_.cy, layout_.controls.size());
        for (const DialogControl& c : layout_.controls) main.Item(c);
        const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), main.Get(), owner, MainProc,
                                                       reinterpret_cast<LPARAM>(this));
        return result <= 0 ? IDCANCEL : result;
    }

private:
    HWND Control(int32_t id) {
        if (HWND control = GetDlgItem(dialog_, id)) return control;
        for (HWND page : pages_)
            if (HWND control = GetDlgItem(page, id)) return control;
        return nullptr;
    }

    void Open(HWND dialog) {
        dialog_ = dialog;
        HWND tabs = GetDlgItem(dialog, layout_.tabsId);
        RECT area{};
        GetWindowRect(tabs, &area);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
        for (size_t p = 0; p < layout_.pages.size(); ++p) {
            const DialogPage& page = layout_.pages[p];
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            WideString title = page.title;
            item.pszText = title.data();
            SendMessageW(tabs, TCM_INSERTITEMW, p, reinterpret_cast<LPARAM>(&item));
            DialogTemplate child(DS_CONTROL | WS_CHILD, page.title, 0, 0, page.controls.size());
            for (const DialogControl& c : page.controls) child.Item(c);
            HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), child.Get(), dialog, PageProc,
                                                     reinterpret_cast<LPARAM>(this));
            for (const DialogControl& c : page.controls)
                for (const WideString& entry : c.entries)
                    SendDlgItemMessageW(window, c.id, CB_ADDSTRING, 0,
                                        reinterpret_cast<LPARAM>(entry.c_str()));
            SetWindowPos(window, HWND_TOP, area.left + layout_.pageInset[0], area.top + layout_.pageInset[1],
                         area.right - area.left - layout_.pageInset[0] - layout_.pageInset[2],
                         area.bottom - area.top - layout_.pageInset[1] - layout_.pageInset[3],
                         SWP_NOACTIVATE);
            pages_.push_back(window);
        }
        events_.OnInit(*this);
        Show(0);
    }
    void Show(size_t page) {
        for (size_t p = 0; p < pages_.size(); ++p) ShowWindow(pages_[p], p == page ? SW_SHOW : SW_HIDE);
    }
    void Command(WPARAM wParam, LPARAM lParam) {
        const int32_t id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        if (ended_) return; // the controls going away lose their focus too
        if (id == IDOK && !lParam) {
            // Enter: the focused field takes its text; the dialog stays.
            HWND focused = GetFocus();
            SetFocus(dialog_);
            SetFocus(focused);
            return;
        }
        if (id == IDCANCEL && !lParam) return End(IDCANCEL); // Escape or the close box
        ControlEvent event;
        if (code == BN_CLICKED)
            event = ControlEvent::Clicked;
        else if (code == CBN_SELCHANGE)
            event = ControlEvent::SelectionChanged;
        else if (code == EN_KILLFOCUS)
            event = ControlEvent::FocusLost;
        else
            return;
        if (intptr_t result = events_.OnEvent(*this, id, event)) End(result);
    }
    void End(intptr_t result) {
        ended_ = true;
        EndDialog(dialog_, result);
    }

    static INT_PTR CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            reinterpret_cast<OpenDialog*>(lParam)->Open(hwnd);
            return TRUE;
        }
        auto* self = reinterpret_cast<OpenDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!self) return FALSE;
        if (message == WM_COMMAND) {
            self->Command(wParam, lParam);
            return TRUE;
        }
        if (message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == static_cast<UINT_PTR>(self->layout_.tabsId) &&
                header->code == TCN_SELCHANGE)
                self->Show(static_cast<size_t>(SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
            return TRUE;
        }
        return FALSE;
    }
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            return FALSE;
        }
        auto* self = reinterpret_cast<OpenDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!self || message != WM_COMMAND) return FALSE;
        self->Command(wParam, lParam);
        return TRUE;
    }

    const DialogLayout& layout_;
    DialogEvents& events_;
    HWND dialog_ = nullptr;
    std::vector<HWND> pages_;
    bool ended_ = false;
};

} // namespace

intptr_t RunSystemDialog(HWND owner, const DialogLayout& layout, DialogEvents& events) {
    if (!LoadTabClass()) return IDCANCEL;
    OpenDialog dialog(layout, events);
    return dialog.Run(owner);
}
