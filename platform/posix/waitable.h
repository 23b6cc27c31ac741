// The kernel objects behind HANDLEs: events, and threads (a manual-reset
// event set when the thread ends).
#pragma once

#include "sync.h"

#include <condition_variable>
#include <memory>
#include <mutex>

class Waitable {
public:
    explicit Waitable(bool manualReset) : manualReset_(manualReset) {}
    void Set();
    void Reset();
    DWORD Wait(DWORD timeoutMs);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
    const bool manualReset_;
};

struct HandleBox {
    std::shared_ptr<Waitable> object;
};

// A new handle to object; null when out of memory.
HANDLE NewHandle(std::shared_ptr<Waitable> object);
// The object behind a live handle, or null.
std::shared_ptr<Waitable> HandleObject(HANDLE handle);
