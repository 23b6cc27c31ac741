#include "host_windows.h"

#include <string.h>

static const WCHAR kClassName[] = L"VarelCHostExampleWindow";

static void LogEvent(HostEventLog* log, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (log->count == kHostEventCapacity) {
        ++log->dropped;
        return;
    }
    HostWindowEvent* event = &log->events[log->count++];
    memset(event, 0, sizeof *event);
    event->window = window;
    event->message = message;
    event->wParam = wParam;
    if (message == VTS_WM_NOTIFY && lParam) {
        event->hasRecord = 1;
        memcpy(&event->record, (const HostNotifyRecord*)lParam, sizeof event->record);
    }
}

/* The system's messages go to DefWindowProc; the server's (VTS_WM_NOTIFY and
 * registered ones) are all at WM_USER or above, and all are logged. */
static LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* create = (const CREATESTRUCTW*)lParam;
        SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)create->lpCreateParams);
    }
    HostEventLog* log = (HostEventLog*)GetWindowLongPtrW(window, GWLP_USERDATA);
    if (log && message >= WM_USER) {
        LogEvent(log, window, message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

static int RegisterHostClass(void) {
    WNDCLASSW windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = kClassName;
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

static HWND CreateHostWindow(const WCHAR* title, HWND parent, HostEventLog* log) {
    if (!RegisterHostClass()) return NULL;
    return CreateWindowExW(0, kClassName, title, 0, 0, 0, 0, 0, parent, NULL, GetModuleHandleW(NULL), log);
}

HWND CreateNotifyWindow(HostEventLog* log) { return CreateHostWindow(L"C host", HWND_MESSAGE, log); }

/* Never shown: the server only has to find it. */
HWND CreateTraceWindow(HostEventLog* log) { return CreateHostWindow(L"VarelDbgTrace", NULL, log); }

void DestroyHostWindows(HWND notifyWindow, HWND traceWindow) {
    if (notifyWindow) DestroyWindow(notifyWindow);
    if (traceWindow) DestroyWindow(traceWindow);
    UnregisterClassW(kClassName, GetModuleHandleW(NULL));
}

void PumpMessages(DWORD waitMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= waitMs) return;
        MsgWaitForMultipleObjects(0, NULL, FALSE, waitMs - elapsed, QS_ALLINPUT);
    }
}
