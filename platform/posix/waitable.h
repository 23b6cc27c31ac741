// The kernel objects behind HANDLEs: events, and threads (a manual-reset
// event set when the thread ends).
#pragma once

#include "sync.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// One thread waiting on several objects: each of them wakes it when set.
struct MultiWaiter {
    std::mutex mutex;
    std::condition_variable woken;
    bool signalled = false;
};

class Waitable {
public:
    explicit Waitable(bool manualReset) : manualReset_(manualReset) {}
    void Set();
    void Reset();
    DWORD Wait(DWORD timeoutMs);
    // Takes the signal without waiting: true when the object was set.
    bool TryTake();
    void AddWaiter(MultiWaiter* waiter);
    void RemoveWaiter(MultiWaiter* waiter);

private:
    void TakeSignal(); // under mutex_

    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
    const bool manualReset_;
    std::vector<MultiWaiter*> waiters_;
};

// What a handle that is not waitable stands for (a serial port); Close runs
// when the handle is closed.
class HandleResource {
public:
    virtual ~HandleResource() = default;
    virtual void Close() = 0;
};

struct HandleBox {
    std::shared_ptr<Waitable> object;
    std::shared_ptr<HandleResource> resource;
};

// A new handle to object; null when out of memory.
HANDLE NewHandle(std::shared_ptr<Waitable> object);
HANDLE NewResourceHandle(std::shared_ptr<HandleResource> resource);
// The object behind a live handle, or null.
std::shared_ptr<Waitable> HandleObject(HANDLE handle);
std::shared_ptr<HandleResource> HandleResourceOf(HANDLE handle);
