#include "gps_test_support.h"

#include "serial.h"
#include "text.h"

#include <chrono>
#include <cstring>

bool PortOpens(int port) {
    WideString name = OLESTR("COM") + Utf8ToUtf16(std::to_string(port));
    HANDLE device = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    CloseHandle(device);
    return true;
}

bool PortHasNoDevice(int port) {
    PtyPair::ForgetPort(port);
    return !PortOpens(port);
}

HRESULT RecordingListener::OnDevUpMessage(uint32_t, uint16_t, uint16_t id, const uint8_t* data,
                                          uint32_t length) {
    TimeRecord record{{}, id, length};
    std::memcpy(record.words.data(), data, std::min<uint32_t>(length, 28));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.push_back(record);
    }
    arrived_.notify_all();
    return S_OK;
}

bool RecordingListener::WaitFor(size_t count, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return records_.size() >= count; });
}

std::vector<TimeRecord> RecordingListener::Records() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}
