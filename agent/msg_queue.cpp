#include "msg_queue.h"

#include "debug_output.h"
#include "thread.h"
#include "window.h"

#include <cstring>
#include <new>

namespace {
// The handler thread says it has a message queue before Start posts to it.
struct StartHandshake {
    MsgQueue* queue;
    HANDLE ready;
    uint32_t generation;
};
} // namespace

MsgQueue::MsgQueue() { InitializeCriticalSection(&lock_); }

MsgQueue::~MsgQueue() {
    Stop();
    DeleteCriticalSection(&lock_);
}

HWND MsgQueue::Window() {
    CriticalSectionLock lock(lock_);
    return hostWindow_;
}

bool MsgQueue::IsRunning() {
    CriticalSectionLock lock(lock_);
    return thread_ != nullptr;
}

size_t MsgQueue::PendingCount() {
    CriticalSectionLock lock(lock_);
    return pending_.size();
}

void MsgQueue::Start(HWND hostWindow) {
    CriticalSectionLock lock(lock_);
    hostWindow_ = hostWindow;
    stop_ = false;
    if (thread_) return;
    StartHandshake handshake{this, CreateEventW(nullptr, TRUE, FALSE, nullptr), ++generation_};
    DWORD id = 0;
    HANDLE thread = handshake.ready ? CreateThread(nullptr, 0, MsgHandleThread, &handshake, 0, &id) : nullptr;
    if (!thread) {
        DebugPrintf("VarelDeviceTarget >> Create receive thread failed: %d\n", static_cast<int>(GetLastError()));
        if (handshake.ready) CloseHandle(handshake.ready);
        return;
    }
    WaitForSingleObject(handshake.ready, INFINITE);
    CloseHandle(handshake.ready);
    thread_ = thread;
    threadId_ = id;
}

void MsgQueue::Stop() {
    HANDLE thread;
    DWORD threadId;
    {
        CriticalSectionLock lock(lock_);
        stop_ = true;
        pending_.clear();
        thread = thread_;
        threadId = threadId_;
        thread_ = nullptr;
        threadId_ = 0;
    }
    if (!thread) return;
    PostThreadMessageW(threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 500);
    CloseHandle(thread); // a handler still inside a delivery ends by itself
}

void MsgQueue::Enqueue(uint32_t code, const void* data, uint32_t length) {
    auto item = std::unique_ptr<Item>(new (std::nothrow) Item{code, {}});
    if (!item) return;
    try {
        if (length) item->data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
    } catch (const std::bad_alloc&) {
        return;
    }
    DWORD threadId;
    {
        CriticalSectionLock lock(lock_);
        pending_.push_back(std::move(item));
        threadId = threadId_;
    }
    if (threadId) PostThreadMessageW(threadId, kMsgQueueWakeMessage, 0, 0);
}

DWORD WINAPI MsgQueue::MsgHandleThread(LPVOID parameter) {
    auto* handshake = static_cast<StartHandshake*>(parameter);
    MsgQueue* self = handshake->queue;
    const uint32_t generation = handshake->generation;
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // makes this thread's message queue
    SetEvent(handshake->ready);
    DebugPrintf("MsgQueue >> MsgHandleThread begin!\n");
    self->Drain(generation); // what was queued while no handler ran goes to the new window
    while (GetMessageW(&message, nullptr, 0, 0)) self->Drain(generation);
    DebugPrintf("MsgQueue >> MsgHandleThread quit!\n");
    return 0;
}

void MsgQueue::Drain(uint32_t generation) {
    for (;;) {
        std::unique_ptr<Item> item;
        {
            CriticalSectionLock lock(lock_);
            if (stop_ || generation != generation_ || pending_.empty()) return;
            item = std::move(pending_.front());
            pending_.pop_front();
        }
        DeliverNow(item->code, item->data.data(), static_cast<uint32_t>(item->data.size()));
    }
}

void MsgQueue::DeliverNow(uint32_t code, const void* data, uint32_t length) {
    HostNotifyRecord record{code, 0, 0, 0, nullptr, 0};
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (code == VTS_NOTIFY_VALUE || code == VTS_NOTIFY_VALUES) {
        uint32_t words = code == VTS_NOTIFY_VALUE ? 1 : 2;
        if (length < 4 * words) DebugPrintf("OnDevUpMessage read data failed.\n");
        if (length >= 4) std::memcpy(&record.value1, bytes, 4);
        if (code == VTS_NOTIFY_VALUES && length >= 8) std::memcpy(&record.value2, bytes + 4, 4);
    } else if (code == VTS_NOTIFY_LINKED) {
        record.value1 = 1;
        if (length >= 1) record.data = data, record.length = length;
    } else {
        record.data = length ? data : nullptr;
        record.length = length;
    }
    Send(record);
}

void MsgQueue::SendDirect(uint32_t code, int32_t value1, int32_t value2) {
    Send(HostNotifyRecord{code, 1, value1, value2, nullptr, 0});
}

void MsgQueue::Send(const HostNotifyRecord& record) {
    HWND window = Window();
    if (!IsWindow(window)) {
        DebugPrintf("The host window is invalid, give up msg.\n");
        return;
    }
    SendMessageW(window, VTS_WM_NOTIFY, record.code, reinterpret_cast<LPARAM>(&record));
}
