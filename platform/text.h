// UTF-16 <-> UTF-8. The ANSI code page of every _A entry is UTF-8.
#pragma once

#include <varel/vts_platform.h>

#include <string>
#include <string_view>

// Invalid sequences become U+FFFD; conversion never fails.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Length of a NUL-terminated wide text; 0 for null.
size_t WideLength(const WCHAR* text);
// A BSTR's text as a view (empty for null).
std::u16string_view BstrView(BSTR text);
