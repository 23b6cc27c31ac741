// Messages to host windows, the debug trace window and message boxes.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <windows.h>
#else
#define MB_OK 0x00000000u
#define IDOK 1

// Calls the window's procedure on this thread and returns its result; one
// message at a time per window, so a sender waits for another sender's
// delivery. 0 when the window does not exist.
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND window);
// The first live window with that title (className is ignored), or null.
HWND FindWindowW(LPCWSTR className, LPCWSTR title);
// The same number, in 0xC000..0xFFFF, for the same name in this process; 0 for
// a null or empty name.
UINT RegisterWindowMessageW(LPCWSTR name);
// No host window is ever active here: null.
HWND GetActiveWindow();
// Hands text and caption to the host's handler (stderr without one).
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
#endif
