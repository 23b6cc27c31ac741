#include "debug_output.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

void DebugPrintf(const char* format, ...) {
    if (!DebugOutputWanted()) return;
    char line[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int needed = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (needed >= static_cast<int>(sizeof line)) {
        std::vector<char> longer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(longer.data(), longer.size(), format, again);
        DebugOutputLine(longer.data());
    } else if (needed >= 0) {
        DebugOutputLine(line);
    }
    va_end(again);
}

HRESULT NotImplemented(const char* who, const char* what) {
    DebugPrintf("%s: %s is not implemented yet\n", who, what);
    return E_NOTIMPL;
}
