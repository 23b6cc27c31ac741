// Monotonic milliseconds, sleeping and the wall clock.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <windows.h>
#else
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// Milliseconds of a monotonic clock; wraps after 49.7 days like the system's.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);
// The current time in UTC.
void GetSystemTime(SYSTEMTIME* time);
// The current time in the local time zone.
void GetLocalTime(SYSTEMTIME* time);
#endif
static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is 16 bytes");
