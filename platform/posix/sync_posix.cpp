// Critical sections, events and waits over the C++ thread library.
#include "posix/waitable.h"
#include "sync.h"

#include <chrono>
#include <new>
#include <unordered_set>

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }

void Waitable::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
    }
    // Woken after the lock is left, so the waiter does not wake only to wait
    // for it; the caller's reference keeps the object alive until here.
    if (manualReset_)
        changed_.notify_all();
    else
        changed_.notify_one();
}

void Waitable::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

DWORD Waitable::Wait(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs == INFINITE)
        changed_.wait(lock, ready);
    else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return WAIT_TIMEOUT;
    if (!manualReset_) signalled_ = false; // an auto-reset event releases one waiter
    return WAIT_OBJECT_0;
}

namespace {
std::mutex g_handlesMutex;
std::unordered_set<const HandleBox*>& LiveHandles() {
    static auto* handles = new std::unordered_set<const HandleBox*>; // outlives static destructors
    return *handles;
}
} // namespace

HANDLE NewHandle(std::shared_ptr<Waitable> object) {
    auto* box = new (std::nothrow) HandleBox{std::move(object)};
    if (!box) return nullptr;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    LiveHandles().insert(box);
    return box;
}

std::shared_ptr<Waitable> HandleObject(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto* box = static_cast<const HandleBox*>(handle);
    if (!LiveHandles().count(box)) return nullptr;
    return box->object;
}

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    if (name) return nullptr; // named events are never used here
    auto event = std::make_shared<Waitable>(manualReset != FALSE);
    if (initialState) event->Set();
    return NewHandle(std::move(event));
}

BOOL SetEvent(HANDLE event) {
    auto object = HandleObject(event);
    if (!object) return FALSE;
    object->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto object = HandleObject(event);
    if (!object) return FALSE;
    object->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs) {
    auto object = HandleObject(handle);
    return object ? object->Wait(timeoutMs) : WAIT_FAILED;
}

BOOL CloseHandle(HANDLE handle) {
    auto* box = static_cast<HandleBox*>(handle);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (!LiveHandles().erase(box)) return FALSE;
    }
    delete box;
    return TRUE;
}
