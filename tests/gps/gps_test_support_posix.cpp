#include "gps_test_support.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

PtyPair::PtyPair(int port) : port_(port) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        Hangup();
        return;
    }
    slavePath_ = ptsname(master_);
    setenv(("VARELTSS_COM" + std::to_string(port_)).c_str(), slavePath_.c_str(), 1);
}

PtyPair::~PtyPair() {
    Hangup();
    unsetenv(("VARELTSS_COM" + std::to_string(port_)).c_str());
}

void PtyPair::Write(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void PtyPair::Hangup() {
    if (master_ >= 0) close(master_);
    master_ = -1;
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
