#include "message_boxes.h"

#include <varel/vts_platform.h>

#include <cstdio>

void WriteMessageBoxesToStderr() {
    VTS_SetMessageBoxHandler(
        [](void*, const char* text, const char* caption) {
            std::fprintf(stderr, "[%s] %s\n", caption, text);
            return 1; // IDOK
        },
        nullptr);
}
