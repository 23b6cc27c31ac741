#include "string_args.h"

#include "text.h"

#include <cstdint>

bool CopyWideArgument(const WCHAR* text, BStr* out) {
    *out = BStr(text);
    return !text || out->Get();
}

bool CopyNarrowArgument(const char* text, BStr* out) {
    uintptr_t value = reinterpret_cast<uintptr_t>(text);
    if (value == 0) {
        *out = BStr();
        return true;
    }
    if (value < 65536) {
        *out = BStr(value == 100 ? OLESTR("VarelTSS") : OLESTR(""));
        return out->Get() != nullptr;
    }
    *out = BStr(Utf8ToUtf16(text));
    return out->Get() != nullptr;
}
