#include "sync.h"
#include "thread.h"
#include "tick.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

TEST(CriticalSection, IsRecursiveForItsOwner) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section); // a second entry by the owner must not block
    LeaveCriticalSection(&section);
    std::atomic<bool> entered{false};
    std::pair<CRITICAL_SECTION*, std::atomic<bool>*> args(&section, &entered);
    HANDLE other = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* args = static_cast<std::pair<CRITICAL_SECTION*, std::atomic<bool>*>*>(p);
            EnterCriticalSection(args->first);
            args->second->store(true);
            LeaveCriticalSection(args->first);
            return 0;
        },
        &args, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(other, 50), WAIT_TIMEOUT) << "still held once";
    EXPECT_FALSE(entered.load());
    LeaveCriticalSection(&section);
    EXPECT_EQ(WaitForSingleObject(other, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(entered.load());
    CloseHandle(other);
    DeleteCriticalSection(&section);
}

TEST(Event, AutoResetClearsOnReleaseAndManualResetStaysSetUntilReset) {
    HANDLE autoReset = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
    SetEvent(autoReset);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT) << "an auto-reset event clears on release";
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "made set";
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    CloseHandle(autoReset);
    CloseHandle(manual);
}

TEST(Event, OneSetReleasesOneOfTwoWaiters) {
    // Set at once, while both waiters may still be on their way in: only one
    // of them takes the signal.
    struct Waiters {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        std::atomic<int> released{0}, timedOut{0};
    } waiters;
    auto wait = [](LPVOID context) -> DWORD {
        auto* w = static_cast<Waiters*>(context);
        ++(WaitForSingleObject(w->event, 300) == WAIT_OBJECT_0 ? w->released : w->timedOut);
        return 0;
    };
    HANDLE first = CreateThread(nullptr, 0, wait, &waiters, 0, nullptr);
    HANDLE second = CreateThread(nullptr, 0, wait, &waiters, 0, nullptr);
    SetEvent(waiters.event);
    WaitForSingleObject(first, INFINITE);
    WaitForSingleObject(second, INFINITE);
    EXPECT_EQ(waiters.released.load(), 1);
    EXPECT_EQ(waiters.timedOut.load(), 1);
    CloseHandle(first);
    CloseHandle(second);
    CloseHandle(waiters.event);
}

TEST(Event, WaitTimesOutAfterItsTimeAndWakesOnSet) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 60), WAIT_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, 59u);
    HANDLE setter = CreateThread(
        nullptr, 0, [](LPVOID e) -> DWORD { return SetEvent(static_cast<HANDLE>(e)) ? 0 : 1; }, event, 0,
        nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    WaitForSingleObject(setter, INFINITE);
    CloseHandle(setter);
    CloseHandle(event);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED) << "a closed handle";
    EXPECT_FALSE(CloseHandle(event));
}

namespace {
struct Receiver {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<UINT> received;
};
DWORD WINAPI Pump(LPVOID p) {
    auto* r = static_cast<Receiver*>(p);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(r->ready);
    while (GetMessageW(&m, nullptr, 0, 0)) r->received.push_back(m.message);
    return 0;
}
} // namespace

TEST(ThreadMessageQueue, PostedMessagesArriveInOrderUntilQuit) {
    Receiver receiver;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Pump, &receiver, 0, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(id, GetCurrentThreadId());
    ASSERT_EQ(WaitForSingleObject(receiver.ready, 5000), WAIT_OBJECT_0);
    for (UINT m = WM_USER; m < WM_USER + 100; ++m) ASSERT_TRUE(PostThreadMessageW(id, m, 0, 0));
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    ASSERT_EQ(receiver.received.size(), 100u);
    for (UINT i = 0; i < 100; ++i) EXPECT_EQ(receiver.received[i], WM_USER + i);
    CloseHandle(thread);
    CloseHandle(receiver.ready);
    EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0)) << "an ended thread has no queue";
}

TEST(ThreadMessageQueue, AThreadWithoutQueueRefusesPosts) {
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID e) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(e), INFINITE); },
        go, 0, &id);
    EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0));
    SetEvent(go);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(go);
}
