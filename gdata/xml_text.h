// Text at the XML edge: pugixml holds UTF-8, the tree holds UTF-16.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <string>
#include <string_view>

// A new BSTR with the UTF-8 text (invalid sequences as U+FFFD); null when out of memory.
BSTR Utf8ToBstr(std::string_view text);
// Appends the UTF-16 text as UTF-8 (unpaired surrogates as U+FFFD) to out.
void AppendUtf8(WideStringView text, std::string* out);
// Whether bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
