// Diagnostics: the platform's debug output, one line per call.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <windows.h>
#else
void OutputDebugStringA(LPCSTR text); // UTF-8
void OutputDebugStringW(LPCWSTR text);
#endif

// printf-style (UTF-8 format and %s arguments) into OutputDebugStringA.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
