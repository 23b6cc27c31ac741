// Collects the library's debug output during a test (one capture at a time).
#pragma once

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

private:
    static void Sink(void* self, const char* line);
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};
