// Collects the library's debug output during a test (one capture at a time).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class DebugLogCapture {
public:
    DebugLogCapture();
    ~DebugLogCapture();
    DebugLogCapture(const DebugLogCapture&) = delete;
    DebugLogCapture& operator=(const DebugLogCapture&) = delete;

    // Lines that contain text.
    int Count(const std::string& text) const;
    bool Contains(const std::string& text) const { return Count(text) > 0; }
    std::vector<std::string> Lines() const;
    // Waits until a line contains text; false after timeoutMs.
    bool WaitFor(const std::string& text, uint32_t timeoutMs = 5000) const;

private:
    static void Sink(void* self, const char* line);
    int CountLocked(const std::string& text) const; // with mutex_ held
    mutable std::mutex mutex_;
    mutable std::condition_variable logged_;
    std::vector<std::string> lines_;
};
