// Critical sections, events and waits over the C++ thread library.
#include "posix/waitable.h"
#include "sync.h"

#include <chrono>
#include <new>
#include <unordered_set>
#include <vector>

void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION* section) { section->mutex.lock(); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { section->mutex.unlock(); }

void Waitable::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signalled_ = true;
        // Under this object's lock, so a waiter cannot leave (and go) meanwhile.
        for (MultiWaiter* waiter : waiters_) {
            std::lock_guard<std::mutex> wake(waiter->mutex);
            waiter->signalled = true;
            waiter->woken.notify_one();
        }
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
    TakeSignal();
}

void Waitable::TakeSignal() { signalled_ = false; }

DWORD Waitable::Wait(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto ready = [this] { return signalled_; };
    if (timeoutMs == INFINITE)
        changed_.wait(lock, ready);
    else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return WAIT_TIMEOUT;
    if (!manualReset_) TakeSignal(); // an auto-reset event releases one waiter
    return WAIT_OBJECT_0;
}

bool Waitable::TryTake() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!signalled_) return false;
    if (!manualReset_) TakeSignal();
    return true;
}

void Waitable::AddWaiter(MultiWaiter* waiter) {
    std::lock_guard<std::mutex> lock(mutex_);
    waiters_.push_back(waiter);
}

void Waitable::RemoveWaiter(MultiWaiter* waiter) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(waiters_, waiter);
}

namespace {
std::mutex g_handlesMutex;
std::unordered_set<const HandleBox*>& LiveHandles() {
    static auto* handles = new std::unordered_set<const HandleBox*>; // outlives static destructors
    return *handles;
}
} // namespace

HANDLE NewHandle(std::shared_ptr<Waitable> object) {
    auto* box = new (std::nothrow) HandleBox{std::move(object), nullptr};
    if (!box) return nullptr;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    LiveHandles().insert(box);
    return box;
}

HANDLE NewResourceHandle(std::shared_ptr<HandleResource> resource) {
    auto* box = new (std::nothrow) HandleBox{nullptr, std::move(resource)};
    if (!box) return nullptr;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    LiveHandles().insert(box);
    return box;
}

std::shared_ptr<HandleResource> HandleResourceOf(HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto* box = static_cast<const HandleBox*>(handle);
    if (!LiveHandles().count(box)) return nullptr;
    return box->resource;
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

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeoutMs) {
    if (waitAll || count == 0 || count > MAXIMUM_WAIT_OBJECTS) return WAIT_FAILED;
    std::vector<std::shared_ptr<Waitable>> objects;
    for (DWORD i = 0; i < count; ++i) {
        objects.push_back(HandleObject(handles[i]));
        if (!objects.back()) return WAIT_FAILED;
    }
    MultiWaiter waiter;
    for (auto& object : objects) object->AddWaiter(&waiter);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        // Registered before looking, so a Set between the look and the wait still wakes us.
        for (DWORD i = 0; i < count && result == WAIT_TIMEOUT; ++i)
            if (objects[i]->TryTake()) result = WAIT_OBJECT_0 + i;
        if (result != WAIT_TIMEOUT) break;
        std::unique_lock<std::mutex> lock(waiter.mutex);
        if (timeoutMs == INFINITE)
            waiter.woken.wait(lock, [&] { return waiter.signalled; });
        else if (!waiter.woken.wait_until(lock, deadline, [&] { return waiter.signalled; }))
            break;
        waiter.signalled = false;
    }
    for (auto& object : objects) object->RemoveWaiter(&waiter);
    return result;
}

BOOL CloseHandle(HANDLE handle) {
    auto* box = static_cast<HandleBox*>(handle);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (!LiveHandles().erase(box)) return FALSE;
    }
    if (box->resource) box->resource->Close();
    delete box;
    return TRUE;
}
