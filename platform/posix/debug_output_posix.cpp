// Debug output goes to the host's sink; without one it is not shown.
#include "debug_output.h"
#include "text.h"

#include <atomic>
#include <mutex>

namespace {
std::mutex g_sinkMutex;
VTS_DebugOutputHandler g_sink = nullptr;
void* g_sinkContext = nullptr;
std::atomic<bool> g_sinkSet{false};
} // namespace

bool DebugOutputWanted() { return g_sinkSet.load(std::memory_order_relaxed); }

void VTS_SetDebugOutputHandler(VTS_DebugOutputHandler handler, void* context) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = handler;
    g_sinkContext = context;
    g_sinkSet = handler != nullptr;
}

void OutputDebugStringA(LPCSTR text) {
    std::lock_guard<std::mutex> lock(g_sinkMutex); // lines never interleave
    if (g_sink) g_sink(g_sinkContext, text ? text : "");
}

void OutputDebugStringW(LPCWSTR text) {
    std::string utf8 = Utf16ToUtf8(text ? text : OLESTR(""));
    OutputDebugStringA(utf8.c_str());
}

void DebugOutputLine(const char* utf8) { OutputDebugStringA(utf8); }
