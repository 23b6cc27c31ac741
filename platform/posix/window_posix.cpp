// Host windows: a procedure registered by the host behind an HWND.
#include "window.h"

#include "text.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

struct HostWindow {
    WideString title;
    VTS_WindowProc proc;
    void* context;
    std::recursive_mutex delivery; // one message at a time; the procedure may send to itself
};

std::mutex g_windowsMutex;
uintptr_t g_nextWindow = 0x10; // handles are never reused, so a stale one stays dead
std::map<uintptr_t, std::shared_ptr<HostWindow>>& Windows() {
    static auto* windows = new std::map<uintptr_t, std::shared_ptr<HostWindow>>;
    return *windows;
}

std::shared_ptr<HostWindow> Find(HWND window) {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    auto it = Windows().find(reinterpret_cast<uintptr_t>(window));
    return it == Windows().end() ? nullptr : it->second;
}

std::mutex g_boxMutex;
VTS_MessageBoxHandler g_boxHandler = nullptr;
void* g_boxContext = nullptr;

} // namespace

HWND VTS_CreateHostWindow(const WCHAR* title, VTS_WindowProc proc, void* context) {
    if (!proc) return nullptr;
    auto window = std::make_shared<HostWindow>();
    window->title = title ? title : OLESTR("");
    window->proc = proc;
    window->context = context;
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    g_nextWindow += 4;
    Windows()[g_nextWindow] = std::move(window);
    return reinterpret_cast<HWND>(g_nextWindow);
}

void VTS_DestroyHostWindow(HWND window) {
    std::shared_ptr<HostWindow> gone;
    {
        std::lock_guard<std::mutex> lock(g_windowsMutex);
        auto it = Windows().find(reinterpret_cast<uintptr_t>(window));
        if (it == Windows().end()) return;
        gone = std::move(it->second);
        Windows().erase(it);
    }
    std::lock_guard<std::recursive_mutex> wait(gone->delivery); // let a delivery finish
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto target = Find(window);
    if (!target) return 0;
    std::lock_guard<std::recursive_mutex> lock(target->delivery);
    if (!Find(window)) return 0; // destroyed while this sender waited
    return target->proc(target->context, window, message, wParam, lParam);
}

BOOL IsWindow(HWND window) { return Find(window) ? TRUE : FALSE; }

HWND FindWindowW(LPCWSTR, LPCWSTR title) {
    WideString wanted = title ? title : OLESTR("");
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    for (auto& [handle, window] : Windows())
        if (window->title == wanted) return reinterpret_cast<HWND>(handle);
    return nullptr;
}

UINT RegisterWindowMessageW(LPCWSTR name) {
    if (!name || !*name) return 0;
    static std::mutex mutex;
    static std::map<WideString, UINT> numbers;
    std::lock_guard<std::mutex> lock(mutex);
    auto [it, added] = numbers.try_emplace(name, static_cast<UINT>(0xC000 + numbers.size()));
    return it->second;
}

HWND GetActiveWindow() { return nullptr; }

void VTS_SetMessageBoxHandler(VTS_MessageBoxHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(g_boxMutex);
    g_boxHandler = handler;
    g_boxContext = context;
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
    std::string utf8Text = Utf16ToUtf8(text ? text : OLESTR(""));
    std::string utf8Caption = Utf16ToUtf8(caption ? caption : OLESTR(""));
    VTS_MessageBoxHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_boxMutex);
        handler = g_boxHandler;
        context = g_boxContext;
    }
    if (handler) return handler(context, utf8Text.c_str(), utf8Caption.c_str());
    std::fprintf(stderr, "[%s] %s\n", utf8Caption.c_str(), utf8Text.c_str());
    return IDOK;
}
