/* The host's two windows and the log of what they receive, in arrival order:
 * a message-only window handed to VTS_CreateServer for the notifications, and
 * a hidden top-level window titled "VarelDbgTrace", which the server finds by
 * its title (FindWindow does not see message-only windows) and tells its
 * process id in a registered message. */
#ifndef HOST_WINDOWS_H
#define HOST_WINDOWS_H

#include <varel/vts.h>

typedef struct HostWindowEvent {
    HWND window;
    UINT message;
    WPARAM wParam;
    /* VTS_WM_NOTIFY only: a copy of the record lParam points to (it lives
     * only while the window procedure runs); hasRecord 0 for a null lParam. */
    int hasRecord;
    HostNotifyRecord record;
} HostWindowEvent;

enum { kHostEventCapacity = 64 };

typedef struct HostEventLog {
    HostWindowEvent events[kHostEventCapacity];
    int count;   /* kept up to kHostEventCapacity */
    int dropped; /* arrivals beyond the capacity */
} HostEventLog;

/* Both windows log into log, which must outlive them. Null when the window
 * cannot be made (the system's last error says why). */
HWND CreateNotifyWindow(HostEventLog* log);
HWND CreateTraceWindow(HostEventLog* log);
void DestroyHostWindows(HWND notifyWindow, HWND traceWindow);

/* Dispatches posted messages, and takes messages other threads send, for waitMs. */
void PumpMessages(DWORD waitMs);

#endif
