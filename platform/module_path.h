// Where the library lives, and its ini files.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <string>

// The separator of the system's paths ('/' here, '\\' on Windows).
extern const WCHAR kPathSeparator;

// Full path of the library file (or of the program it is linked into).
WideString LibraryFilePath();
// The short 8.3 form of a path where the system gives one, else the path itself.
WideString ShortPathName(const WideString& path);
#if defined(_WIN32)
#include <windows.h> // GetPrivateProfileIntW is the system's
#else
// GetPrivateProfileInt: the integer value of key in [section] of file;
// defaultValue when the file, section or key is missing. Leading digits count
// ("12abc" is 12); names compare case-insensitively.
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR file);
#endif
