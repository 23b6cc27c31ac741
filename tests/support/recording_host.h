// A host window that records every notification it is sent, for tests to
// take one by one, oldest first.
#pragma once

#include <varel/vts.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

struct Notification {
    uint32_t code;
    uint32_t kind;
    int32_t value1;
    int32_t value2;
    std::vector<uint8_t> data;
};

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    HWND Window() const { return window_; }
    // The oldest notification not yet taken, waiting at most timeoutMs.
    std::optional<Notification> Next(uint32_t timeoutMs = 5000);
    size_t Pending();

private:
    static intptr_t Proc(void* self, HWND, uint32_t message, uintptr_t code, intptr_t lParam);
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Notification> seen_;
    HWND window_;
};
