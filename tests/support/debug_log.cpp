#include "debug_log.h"

#include <varel/vts.h>

#include <chrono>

DebugLogCapture::DebugLogCapture() { VTS_SetDebugOutputHandler(&DebugLogCapture::Sink, this); }

DebugLogCapture::~DebugLogCapture() { VTS_SetDebugOutputHandler(nullptr, nullptr); }

void DebugLogCapture::Sink(void* self, const char* line) {
    auto* capture = static_cast<DebugLogCapture*>(self);
    std::lock_guard<std::mutex> lock(capture->mutex_);
    capture->lines_.emplace_back(line);
    capture->logged_.notify_all();
}

bool DebugLogCapture::WaitFor(const std::string& text, uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return logged_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return CountLocked(text) > 0; });
}

int DebugLogCapture::Count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return CountLocked(text);
}

int DebugLogCapture::CountLocked(const std::string& text) const {
    int count = 0;
    for (const auto& line : lines_)
        if (line.find(text) != std::string::npos) ++count;
    return count;
}

std::vector<std::string> DebugLogCapture::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}
