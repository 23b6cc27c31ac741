// Diagnostics: the platform's debug output, one line per call.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <windows.h>
#else
void OutputDebugStringA(LPCSTR text); // UTF-8
void OutputDebugStringW(LPCWSTR text);
#endif

// False while nobody can see the debug output, so lines need not be formatted.
bool DebugOutputWanted();

// One line to the platform's debug output (OutputDebugString), and on
// Windows also to the sink of VTS_SetDebugOutputHandler.
void DebugOutputLine(const char* utf8);

// printf-style (UTF-8 format and %s arguments) into DebugOutputLine;
// nothing is formatted while the output is not wanted.
#if defined(__MINGW32__)
#define VTS_PRINTF_FORMAT gnu_printf // the C99 formats of mingw's own printf
#else
#define VTS_PRINTF_FORMAT printf
#endif
void DebugPrintf(const char* format, ...) __attribute__((format(VTS_PRINTF_FORMAT, 1, 2)));

// What an operation whose subsystem has not landed answers: one line
// "<who>: <what> is not implemented yet", then E_NOTIMPL.
HRESULT NotImplemented(const char* who, const char* what);
