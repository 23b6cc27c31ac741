// UTF-16 <-> UTF-8. The ANSI code page of every _A entry is UTF-8.
#pragma once

#include <varel/vts_platform.h>

#include <string>
#include <string_view>

// Wide texts in the platform's WCHAR (char16_t here, wchar_t on Windows).
using WideString = std::basic_string<WCHAR>;
using WideStringView = std::basic_string_view<WCHAR>;

// Invalid sequences become U+FFFD; conversion never fails.
WideString Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(WideStringView text);
// Length of a NUL-terminated wide text; 0 for null.
size_t WideLength(const WCHAR* text);
// A BSTR's text as a view (empty for null).
WideStringView BstrView(BSTR text);
