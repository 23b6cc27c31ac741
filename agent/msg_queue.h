// The notification queue: notifications queued on device threads reach the
// host window, oldest first, from one handler thread; some are sent at once
// on the calling thread instead.
#pragma once

#include <varel/vts.h>

#include "sync.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class MsgQueue {
public:
    MsgQueue();
    ~MsgQueue();

    // Stores the host window and starts the handler thread unless one runs.
    void Start(HWND hostWindow);
    // Drops what is pending and ends the handler thread (waiting at most 500 ms).
    void Stop();

    // Queues a notification for the handler thread; the bytes are copied.
    void Enqueue(uint32_t code, const void* data, uint32_t length);
    // Sends a notification at once on this thread (codes 2, 16, 22).
    void DeliverNow(uint32_t code, const void* data, uint32_t length);
    // Progress, and notifications that a test module sends itself: kind 1,
    // two values and no data, sent at once on this thread.
    void SendDirect(uint32_t code, int32_t value1, int32_t value2);

    bool IsRunning();
    size_t PendingCount();

private:
    struct Item {
        uint32_t code;
        std::vector<uint8_t> data;
    };
    static DWORD WINAPI MsgHandleThread(LPVOID self);
    // Delivers what is pending while generation is the running one's.
    void Drain(uint32_t generation);
    void Send(const HostNotifyRecord& record);
    HWND Window();

    CRITICAL_SECTION lock_;
    bool stop_ = false;
    // Counts the handler threads started. A handler that Stop stopped waiting
    // for (its host never returned from a delivery) delivers nothing once it
    // comes back, so a newer handler is the only one to deliver, in order.
    uint32_t generation_ = 0;
    HWND hostWindow_ = nullptr;
    std::deque<std::unique_ptr<Item>> pending_;
    DWORD threadId_ = 0;
    HANDLE thread_ = nullptr;
};

// The message id the handler thread wakes on.
constexpr UINT kMsgQueueWakeMessage = 34002;
