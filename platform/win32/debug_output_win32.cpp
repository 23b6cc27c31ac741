// OutputDebugStringW for the debugger, and the host's sink when it set one.
#include "debug_output.h"
#include "text.h"

#include <mutex>

namespace {
std::mutex g_sinkMutex;
VTS_DebugOutputHandler g_sink = nullptr;
void* g_sinkContext = nullptr;
} // namespace

// A debugger or a debug-output viewer may listen at any time.
bool DebugOutputWanted() { return true; }

void VTS_SetDebugOutputHandler(VTS_DebugOutputHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = handler;
    g_sinkContext = context;
}

void DebugOutputLine(const char* line) {
    OutputDebugStringW(Utf8ToUtf16(line ? line : "").c_str());
    std::lock_guard<std::mutex> lock(g_sinkMutex); // lines never interleave
    if (g_sink) g_sink(g_sinkContext, line ? line : "");
}
