// A dialog driven by the host's handler: the controls' state in memory, the
// handler's actions turned into the events a window system would send.
#include "dialog.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

struct VTS_Dialog : DialogControls {
    struct Control {
        const DialogControl* layout;
        int32_t page; // -1 on the dialog itself
        WideString text;
        int32_t selection = -1; // list, tabs; check box: 1 checked
        bool enabled = true;
    };

    VTS_Dialog(const DialogLayout& layout, DialogEvents& events) : layout_(layout), events_(events) {
        for (const DialogControl& c : layout.controls) Add(c, -1);
        for (size_t p = 0; p < layout.pages.size(); ++p)
            for (const DialogControl& c : layout.pages[p].controls) Add(c, static_cast<int32_t>(p));
        if (Control* tabs = Find(layout.tabsId)) tabs->selection = 0;
    }

    // DialogControls
    WideString Text(int32_t id) override {
        Control* c = Find(id);
        return c ? c->text : WideString();
    }
    void SetText(int32_t id, WideStringView text) override {
        if (Control* c = Find(id)) c->text = text;
    }
    int32_t Selection(int32_t id) override {
        Control* c = Find(id);
        return c && c->layout->kind == ControlKind::List ? c->selection : -1;
    }
    void SetSelection(int32_t id, int32_t index) override {
        Control* c = Find(id);
        if (!c || c->layout->kind != ControlKind::List) return;
        c->selection = index >= 0 && index < static_cast<int32_t>(c->layout->entries.size()) ? index : -1;
        c->text = c->selection < 0 ? WideString() : c->layout->entries[c->selection];
    }
    bool Checked(int32_t id) override {
        Control* c = Find(id);
        return c && c->layout->kind == ControlKind::Check && c->selection == 1;
    }
    void SetChecked(int32_t id, bool checked) override {
        Control* c = Find(id);
        if (c && c->layout->kind == ControlKind::Check) c->selection = checked ? 1 : 0;
    }
    void Enable(int32_t id, bool enabled) override {
        if (Control* c = Find(id)) c->enabled = enabled;
    }
    HWND Window() override { return nullptr; }

    // The handler's side.
    HRESULT State(int32_t id, VTS_DialogControlState* state) {
        if (!state) return E_POINTER;
        const Control* c = Find(id);
        if (!c) return E_INVALIDARG;
        const ControlKind kind = c->layout->kind;
        *state = VTS_DialogControlState{static_cast<int32_t>(kind),
                                        c->page,
                                        Visible(*c),
                                        c->enabled,
                                        c->selection,
                                        static_cast<int32_t>(Entries(*c).size())};
        return S_OK;
    }
    int32_t CopyText(int32_t id, char* buffer, int32_t size) {
        if (id == 0) return CopyOut(layout_.title, buffer, size);
        const Control* c = Find(id);
        if (!c) return -1;
        return CopyOut(c->layout->kind == ControlKind::Edit || c->layout->kind == ControlKind::List
                           ? c->text
                           : c->layout->text,
                       buffer, size);
    }
    int32_t CopyEntry(int32_t id, int32_t index, char* buffer, int32_t size) {
        const Control* c = Find(id);
        if (!c || index < 0 || index >= static_cast<int32_t>(Entries(*c).size())) return -1;
        return CopyOut(Entries(*c)[index], buffer, size);
    }
    HRESULT Type(int32_t id, const char* text) {
        Control* c = nullptr;
        HRESULT hr = Reach(id, ControlKind::Edit, &c);
        if (hr != S_OK) return hr;
        hr = MoveFocus(id);
        if (hr == S_OK && Find(id)->enabled) c->text = Utf8ToUtf16(text ? text : "");
        return hr;
    }
    HRESULT Focus(int32_t id) {
        HRESULT hr = Reach(id, Find(id) ? Find(id)->layout->kind : ControlKind::Label, nullptr);
        return hr == S_OK ? MoveFocus(id) : hr;
    }
    HRESULT Choose(int32_t id, int32_t index) {
        Control* c = Find(id);
        const ControlKind kind =
            c && c->layout->kind == ControlKind::Tabs ? ControlKind::Tabs : ControlKind::List;
        HRESULT hr = Reach(id, kind, &c);
        if (hr != S_OK) return hr;
        if (index < 0 || index >= static_cast<int32_t>(Entries(*c).size())) return E_INVALIDARG;
        if ((hr = MoveFocus(id)) != S_OK) return hr;
        c->selection = index;
        if (kind == ControlKind::Tabs) return S_OK; // the shown page is the chosen one
        c->text = c->layout->entries[index];
        return Deliver(id, ControlEvent::SelectionChanged);
    }
    HRESULT Click(int32_t id) {
        Control* c = Find(id);
        const ControlKind kind =
            c && c->layout->kind == ControlKind::Check ? ControlKind::Check : ControlKind::Button;
        HRESULT hr = Reach(id, kind, &c);
        if (hr != S_OK || (hr = MoveFocus(id)) != S_OK) return hr;
        if (kind == ControlKind::Check) c->selection = c->selection == 1 ? 0 : 1;
        return Deliver(id, ControlEvent::Clicked);
    }
    HRESULT PressEnter() {
        if (ended_) return E_HANDLE;
        const int32_t focused = focus_;
        HRESULT hr = MoveFocus(0);
        focus_ = focused;
        return hr;
    }

    void Open() { events_.OnInit(*this); }
    intptr_t Result() const { return ended_ ? result_ : IDCANCEL; }

private:
    void Add(const DialogControl& layout, int32_t page) {
        Control c{&layout, page, layout.kind == ControlKind::Edit ? WideString() : layout.text};
        if (layout.kind == ControlKind::Check) c.selection = 0;
        if (layout.id != kUnnamedControl) controls_.emplace(layout.id, c);
    }
    Control* Find(int32_t id) {
        auto it = controls_.find(id);
        return it == controls_.end() ? nullptr : &it->second;
    }
    std::vector<WideString> Entries(const Control& c) const {
        if (c.layout->kind != ControlKind::Tabs) return c.layout->entries;
        std::vector<WideString> titles;
        for (const DialogPage& page : layout_.pages) titles.push_back(page.title);
        return titles;
    }
    int32_t Visible(const Control& c) {
        const Control* tabs = Find(layout_.tabsId);
        return c.page < 0 || (tabs && tabs->selection == c.page) ? 1 : 0;
    }
    // Whether a user can reach control id of that kind now.
    HRESULT Reach(int32_t id, ControlKind kind, Control** found) {
        if (ended_) return E_HANDLE;
        Control* c = Find(id);
        if (!c || c->layout->kind != kind) return E_INVALIDARG;
        if (!c->enabled || !Visible(*c)) return E_ACCESSDENIED;
        if (found) *found = c;
        return S_OK;
    }
    // The focus moves to id (0: the dialog); an edit field that loses it commits.
    HRESULT MoveFocus(int32_t id) {
        const int32_t left = focus_;
        focus_ = id;
        Control* c = Find(left);
        if (left == id || !c || c->layout->kind != ControlKind::Edit) return S_OK;
        return Deliver(left, ControlEvent::FocusLost);
    }
    HRESULT Deliver(int32_t id, ControlEvent event) {
        intptr_t result = events_.OnEvent(*this, id, event);
        if (result != 0) {
            ended_ = true;
            result_ = result;
        }
        return S_OK;
    }
    static int32_t CopyOut(const WideString& text, char* buffer, int32_t size) {
        const std::string utf8 = Utf16ToUtf8(text);
        if (buffer && size > 0) {
            const size_t n = std::min(utf8.size(), static_cast<size_t>(size) - 1);
            std::memcpy(buffer, utf8.data(), n);
            buffer[n] = 0;
        }
        return static_cast<int32_t>(utf8.size());
    }

    const DialogLayout& layout_;
    DialogEvents& events_;
    std::map<int32_t, Control> controls_;
    int32_t focus_ = 0;
    bool ended_ = false;
    intptr_t result_ = 0;
};

namespace {
std::mutex g_handlerMutex;
VTS_DialogHandler g_handler = nullptr;
void* g_handlerContext = nullptr;
} // namespace

void VTS_SetDialogHandler(VTS_DialogHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    g_handler = handler;
    g_handlerContext = context;
}

intptr_t RunModalDialog(HWND owner, const DialogLayout& layout, DialogEvents& events) {
    VTS_DialogHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        handler = g_handler;
        context = g_handlerContext;
    }
    if (!handler) return RunSystemDialog(owner, layout, events);
    VTS_Dialog dialog(layout, events);
    dialog.Open();
    handler(context, &dialog);
    return dialog.Result();
}

HRESULT VTS_DialogGetControl(VTS_Dialog* dialog, int32_t id, VTS_DialogControlState* state) {
    return dialog ? dialog->State(id, state) : E_POINTER;
}
int32_t VTS_DialogGetText(VTS_Dialog* dialog, int32_t id, char* buffer, int32_t size) {
    return dialog ? dialog->CopyText(id, buffer, size) : -1;
}
int32_t VTS_DialogGetEntry(VTS_Dialog* dialog, int32_t id, int32_t index, char* buffer, int32_t size) {
    return dialog ? dialog->CopyEntry(id, index, buffer, size) : -1;
}
HRESULT VTS_DialogType(VTS_Dialog* dialog, int32_t id, const char* text) {
    return dialog ? dialog->Type(id, text) : E_POINTER;
}
HRESULT VTS_DialogFocus(VTS_Dialog* dialog, int32_t id) { return dialog ? dialog->Focus(id) : E_POINTER; }
HRESULT VTS_DialogChoose(VTS_Dialog* dialog, int32_t id, int32_t index) {
    return dialog ? dialog->Choose(id, index) : E_POINTER;
}
HRESULT VTS_DialogClick(VTS_Dialog* dialog, int32_t id) { return dialog ? dialog->Click(id) : E_POINTER; }
HRESULT VTS_DialogPressEnter(VTS_Dialog* dialog) { return dialog ? dialog->PressEnter() : E_POINTER; }
