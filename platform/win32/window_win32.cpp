// Host windows as real windows, each owned by a thread of its own that runs
// its message loop, so that SendMessage from any thread is delivered while
// the creating thread does other work. A top-level window (hidden, found by
// FindWindow under its title) where the system can make one, else a
// message-only window.
#include "window.h"

#include "text.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace {

constexpr WCHAR kClassName[] = L"VarelTSSHostWindow";
constexpr UINT kDestroyRequest = WM_APP + 1;

struct HostWindow {
    WideString title;
    VTS_WindowProc proc;
    void* context;
    HWND hwnd = nullptr;
    HANDLE ready = nullptr;
};

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* window = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == kDestroyRequest) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        PostQuitMessage(0);
    }
    if (window && message >= WM_USER) // the host's own and registered messages
        return window->proc(window->context, hwnd, message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

ATOM RegisterHostClass() {
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = HostWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    return atom;
}

DWORD WINAPI WindowThread(LPVOID parameter) {
    auto* window = static_cast<HostWindow*>(parameter);
    const WCHAR* title = window->title.c_str();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    window->hwnd = CreateWindowExW(0, kClassName, title, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance,
                                   window);
    if (!window->hwnd)
        window->hwnd = CreateWindowExW(0, kClassName, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                                       window);
    SetEvent(window->ready);
    if (!window->hwnd) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

std::mutex g_boxMutex;
VTS_MessageBoxHandler g_boxHandler = nullptr;
void* g_boxContext = nullptr;

} // namespace

HWND VTS_CreateHostWindow(const WCHAR* title, VTS_WindowProc proc, void* context) {
    if (!proc || !RegisterHostClass()) return nullptr;
    auto* window = new HostWindow{title ? title : L"", proc, context};
    window->ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = window->ready ? CreateThread(nullptr, 0, WindowThread, window, 0, nullptr) : nullptr;
    HWND hwnd = nullptr;
    if (thread) {
        WaitForSingleObject(window->ready, INFINITE);
        hwnd = window->hwnd;
        if (!hwnd) WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    if (window->ready) CloseHandle(window->ready);
    window->ready = nullptr;
    if (!hwnd) delete window;
    return hwnd;
}

void VTS_DestroyHostWindow(HWND hwnd) {
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(hwnd, &processId);
    if (!threadId || processId != GetCurrentProcessId()) return;
    auto* window = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    // Sent, so a delivery in progress ends first; the window's thread then ends.
    SendMessageW(hwnd, kDestroyRequest, 0, 0);
    if (thread) {
        if (threadId != GetCurrentThreadId()) WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    delete window;
}

void VTS_SetMessageBoxHandler(VTS_MessageBoxHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(g_boxMutex);
    g_boxHandler = handler;
    g_boxContext = context;
}

int VtsMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    VTS_MessageBoxHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_boxMutex);
        handler = g_boxHandler;
        context = g_boxContext;
    }
    if (!handler) return MessageBoxW(owner, text, caption, type);
    std::string utf8Text = Utf16ToUtf8(text ? text : L"");
    std::string utf8Caption = Utf16ToUtf8(caption ? caption : L"");
    return handler(context, utf8Text.c_str(), utf8Caption.c_str());
}
