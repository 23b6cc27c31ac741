// Threads and thread message queues with Win32 semantics.
#pragma once

#include <varel/vts_platform.h>

#include "sync.h"

#if defined(_WIN32)
#include <windows.h>
#else
typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

#define WM_QUIT 0x0012u
#define WM_USER 0x0400u
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

// Starts proc(parameter) on a new thread; the handle is signalled when the
// thread ends. Returns null on failure (GetLastError tells why).
HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE proc,
                    LPVOID parameter, DWORD flags, DWORD* threadId);
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// GetLastError is in the public header.
void SetLastError(DWORD error);
// Ends another thread at once. Not available here: FALSE with
// ERROR_NOT_SUPPORTED (50), and the thread goes on running.
BOOL TerminateThread(HANDLE thread, DWORD exitCode);

// A thread has a message queue once it has called PeekMessage or GetMessage;
// before that PostThreadMessage to it fails (FALSE), as on Windows.
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Waits for the next message of the calling thread: TRUE, or FALSE for WM_QUIT.
BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
void PostQuitMessage(int exitCode);
#endif
