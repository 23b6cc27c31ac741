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
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
