// Threads with Win32 ids and per-thread message queues.
#include "library_entry.h"
#include "posix/waitable.h"
#include "thread.h"
#include "tick.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <thread>
#include <unistd.h>

namespace {

struct MessageQueue {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<MSG> messages;
};

std::atomic<DWORD> g_nextThreadId{1};
std::mutex g_queuesMutex;
std::map<DWORD, std::shared_ptr<MessageQueue>>& Queues() {
    static auto* queues = new std::map<DWORD, std::shared_ptr<MessageQueue>>;
    return *queues;
}

thread_local DWORD t_lastError = 0;

// Gives the thread its id and drops its queue when the thread ends.
struct ThreadIdentity {
    DWORD id = g_nextThreadId++;
    std::shared_ptr<MessageQueue> queue;
    ~ThreadIdentity() { DropQueue(); }
    void DropQueue() {
        if (!queue) return;
        std::lock_guard<std::mutex> lock(g_queuesMutex);
        Queues().erase(id);
        queue.reset();
    }
};
thread_local ThreadIdentity t_identity;

MessageQueue& OwnQueue() {
    if (!t_identity.queue) {
        t_identity.queue = std::make_shared<MessageQueue>();
        std::lock_guard<std::mutex> lock(g_queuesMutex);
        Queues()[t_identity.id] = t_identity.queue;
    }
    return *t_identity.queue;
}

bool Matches(const MSG& m, UINT filterMin, UINT filterMax) {
    return (filterMin == 0 && filterMax == 0) || (m.message >= filterMin && m.message <= filterMax);
}

// Takes (or peeks) the first matching message; false when there is none.
bool TakeMessage(MessageQueue& queue, MSG* out, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
        if (!Matches(*it, filterMin, filterMax)) continue;
        *out = *it;
        if (remove) queue.messages.erase(it);
        return true;
    }
    return false;
}

} // namespace

HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE proc, LPVOID parameter, DWORD,
                    DWORD* threadId) {
    auto ended = std::make_shared<Waitable>(true);
    HANDLE handle = NewHandle(ended);
    if (!handle) {
        t_lastError = 8; // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    std::mutex started;
    std::condition_variable startedCv;
    DWORD newId = 0;
    try {
        std::thread([&, proc, parameter, ended] {
            {
                // Notified under the lock: the creator's frame may go once it is released.
                std::lock_guard<std::mutex> lock(started);
                newId = t_identity.id;
                startedCv.notify_one();
            }
            LibraryEntry(DLL_THREAD_ATTACH);
            proc(parameter);
            LibraryEntry(DLL_THREAD_DETACH);
            t_identity.DropQueue(); // before anyone can see the thread ended
            ended->Set();
        }).detach();
    } catch (const std::system_error& e) {
        CloseHandle(handle);
        t_lastError = static_cast<DWORD>(e.code().value());
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(started);
    startedCv.wait(lock, [&] { return newId != 0; });
    if (threadId) *threadId = newId;
    return handle;
}

DWORD GetCurrentThreadId() { return t_identity.id; }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

// A thread of the C++ library cannot be ended from outside without leaving
// its locks and objects behind; callers wait for it instead.
BOOL TerminateThread(HANDLE, DWORD) {
    t_lastError = 50; // ERROR_NOT_SUPPORTED
    return FALSE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<MessageQueue> queue;
    {
        std::lock_guard<std::mutex> lock(g_queuesMutex);
        auto it = Queues().find(threadId);
        if (it == Queues().end()) {
            t_lastError = 1444; // ERROR_INVALID_THREAD_ID
            return FALSE;
        }
        queue = it->second;
    }
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        queue->messages.push_back(MSG{nullptr, message, wParam, lParam, GetTickCount(), {0, 0}});
    }
    queue->posted.notify_one();
    return TRUE;
}

BOOL GetMessageW(MSG* message, HWND, UINT filterMin, UINT filterMax) {
    MessageQueue& queue = OwnQueue();
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.posted.wait(lock, [&] { return TakeMessage(queue, message, filterMin, filterMax, true); });
    return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(MSG* message, HWND, UINT filterMin, UINT filterMax, UINT removeFlags) {
    MessageQueue& queue = OwnQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    return TakeMessage(queue, message, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE
                                                                                           : FALSE;
}

void PostQuitMessage(int exitCode) {
    PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}
