#include "recording_host.h"

#include <chrono>

RecordingHost::RecordingHost() : window_(VTS_CreateHostWindow(OLESTR("host"), &RecordingHost::Proc, this)) {}

RecordingHost::~RecordingHost() { VTS_DestroyHostWindow(window_); }

intptr_t RecordingHost::Proc(void* context, HWND, uint32_t message, uintptr_t code, intptr_t lParam) {
    if (message != VTS_WM_NOTIFY) return 0;
    auto* self = static_cast<RecordingHost*>(context);
    auto* record = reinterpret_cast<const HostNotifyRecord*>(lParam);
    Notification n{static_cast<uint32_t>(code), record->kind, record->value1, record->value2, {}};
    if (record->data) {
        auto* bytes = static_cast<const uint8_t*>(record->data);
        n.data.assign(bytes, bytes + record->length);
    }
    {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->seen_.push_back(std::move(n));
    }
    self->arrived_.notify_all();
    return 0;
}

std::optional<Notification> RecordingHost::Next(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !seen_.empty(); }))
        return std::nullopt;
    Notification n = std::move(seen_.front());
    seen_.pop_front();
    return n;
}

size_t RecordingHost::Pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_.size();
}
