// File attributes: only the read-only attribute is looked at or changed.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <windows.h>
#else
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

// FILE_ATTRIBUTE_READONLY when nobody may write the file, else
// FILE_ATTRIBUTE_NORMAL; INVALID_FILE_ATTRIBUTES when it does not exist.
DWORD GetFileAttributesW(LPCWSTR path);
// FILE_ATTRIBUTE_READONLY takes the write permissions away, anything else
// gives the owner write permission back; FALSE when the file does not exist.
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
#endif
