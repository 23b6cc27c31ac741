// The notification queue against a real host window and real threads.
#include "agent/msg_queue.h"

#include "sync.h"
#include "thread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Seen {
    uint32_t code, kind;
    int32_t value1, value2;
    std::vector<uint8_t> data;
    std::thread::id thread;
};

// A host window that records what it receives and signals after `expected`.
class RecordingWindow {
public:
    explicit RecordingWindow(size_t expected = 0) : expected_(expected) {
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        hwnd_ = VTS_CreateHostWindow(OLESTR("host"), &RecordingWindow::Proc, this);
    }
    ~RecordingWindow() {
        VTS_DestroyHostWindow(hwnd_);
        CloseHandle(done_);
    }
    HWND hwnd() const { return hwnd_; }
    bool WaitAll(DWORD ms) { return WaitForSingleObject(done_, ms) == WAIT_OBJECT_0; }
    std::vector<Seen> seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    static intptr_t Proc(void* context, HWND, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        auto* self = static_cast<RecordingWindow*>(context);
        if (message != VTS_WM_NOTIFY) return 0;
        auto* r = reinterpret_cast<const HostNotifyRecord*>(lParam);
        EXPECT_EQ(r->code, wParam);
        Seen s{r->code, r->kind, r->value1, r->value2, {}, std::this_thread::get_id()};
        if (r->data) s.data.assign(static_cast<const uint8_t*>(r->data), static_cast<const uint8_t*>(r->data) + r->length);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->seen_.push_back(std::move(s));
        if (self->seen_.size() == self->expected_) SetEvent(self->done_);
        return 0;
    }
    size_t expected_;
    HANDLE done_;
    HWND hwnd_;
    std::mutex mutex_;
    std::vector<Seen> seen_;
};

} // namespace

TEST(MsgQueue, DeliversInQueueOrderFromItsOwnThread) {
    RecordingWindow window(3000);
    MsgQueue queue;
    queue.Start(window.hwnd());
    std::vector<std::thread> producers;
    for (uint32_t t = 0; t < 3; ++t)
        producers.emplace_back([&queue, t] {
            for (uint32_t i = 0; i < 1000; ++i) {
                uint32_t payload[2] = {t, i};
                queue.Enqueue(VTS_NOTIFY_TEST_EVENT, payload, sizeof payload);
            }
        });
    for (auto& p : producers) p.join();
    ASSERT_TRUE(window.WaitAll(10000));
    auto seen = window.seen();
    uint32_t next[3] = {0, 0, 0};
    for (const Seen& s : seen) {
        ASSERT_EQ(s.data.size(), 8u);
        uint32_t payload[2];
        std::memcpy(payload, s.data.data(), 8);
        EXPECT_EQ(payload[1], next[payload[0]]++) << "each producer's notifications keep their order";
        EXPECT_NE(s.thread, std::this_thread::get_id());
        EXPECT_EQ(s.kind, 0u);
    }
    queue.Stop();
    EXPECT_FALSE(queue.IsRunning());
}

TEST(MsgQueue, RecordValuesFollowTheCode) {
    RecordingWindow window(5);
    MsgQueue queue;
    queue.Start(window.hwnd());
    int32_t words[2] = {-7, 99};
    queue.Enqueue(VTS_NOTIFY_VALUE, words, 8);
    queue.Enqueue(VTS_NOTIFY_VALUES, words, 8);
    queue.Enqueue(VTS_NOTIFY_VALUES, words, 4); // short: the missing value is 0
    queue.Enqueue(VTS_NOTIFY_TEST_STOPPED, nullptr, 0);
    uint8_t info[104] = {1, 2, 3};
    queue.Enqueue(VTS_NOTIFY_LINKED, info, sizeof info);
    ASSERT_TRUE(window.WaitAll(5000));
    auto seen = window.seen();
    EXPECT_EQ(seen[0].value1, -7);
    EXPECT_TRUE(seen[0].data.empty());
    EXPECT_EQ(seen[1].value1, -7);
    EXPECT_EQ(seen[1].value2, 99);
    EXPECT_EQ(seen[2].value1, -7);
    EXPECT_EQ(seen[2].value2, 0);
    EXPECT_TRUE(seen[3].data.empty());
    EXPECT_EQ(seen[4].value1, 1);
    EXPECT_EQ(seen[4].data.size(), 104u);
    queue.Stop();
}

// Delivered before the call returns: on the caller's thread here, on the
// window's own thread on Windows.
TEST(MsgQueue, DirectNotificationsArriveBeforeTheCallReturns) {
    RecordingWindow window;
    MsgQueue queue;
    queue.Start(window.hwnd());
    uint8_t state[64] = {0x11};
    queue.DeliverNow(VTS_NOTIFY_IO_STATE, state, sizeof state);
    queue.SendDirect(VTS_NOTIFY_PROGRESS, 30, 100);
    auto seen = window.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].data.size(), 64u);
    EXPECT_EQ(seen[1].kind, 1u);
    EXPECT_EQ(seen[1].value1, 30);
    EXPECT_EQ(seen[1].value2, 100);
    queue.Stop();
}

TEST(MsgQueue, LargePayloadsArriveWhole) {
    RecordingWindow window(1);
    MsgQueue queue;
    queue.Start(window.hwnd());
    std::vector<uint8_t> big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    queue.Enqueue(VTS_NOTIFY_TEST_RESULT, big.data(), static_cast<uint32_t>(big.size()));
    ASSERT_TRUE(window.WaitAll(5000));
    EXPECT_EQ(window.seen()[0].data, big);
    queue.Stop();
}

TEST(MsgQueue, AGoneWindowDropsNotifications) {
    MsgQueue queue;
    HWND dead;
    {
        RecordingWindow window;
        dead = window.hwnd();
    }
    queue.Start(dead);
    queue.DeliverNow(VTS_NOTIFY_IO_STATE, nullptr, 0); // nothing to receive it, nothing breaks
    queue.Enqueue(VTS_NOTIFY_TEST_EVENT, nullptr, 0);
    queue.Stop();
}

TEST(MsgQueue, RestartsOnANewWindowAfterStop) {
    MsgQueue queue;
    {
        RecordingWindow first(1);
        queue.Start(first.hwnd());
        queue.Enqueue(VTS_NOTIFY_EVENT, nullptr, 0);
        ASSERT_TRUE(first.WaitAll(5000));
        queue.Stop();
    }
    RecordingWindow second(2);
    queue.Enqueue(VTS_NOTIFY_TEST_STOPPED, nullptr, 0); // queued while stopped: kept for the next start
    queue.Start(second.hwnd());
    queue.Start(second.hwnd()); // a second start starts no second thread
    queue.Enqueue(VTS_NOTIFY_EVENT, nullptr, 0);
    ASSERT_TRUE(second.WaitAll(5000));
    auto seen = second.seen();
    EXPECT_EQ(seen[0].code, static_cast<uint32_t>(VTS_NOTIFY_TEST_STOPPED));
    EXPECT_EQ(seen[1].code, static_cast<uint32_t>(VTS_NOTIFY_EVENT));
    queue.Stop();
    EXPECT_EQ(queue.PendingCount(), 0u);
}

TEST(MsgQueue, StopDropsWhatIsPending) {
    // The window blocks its first delivery until released, so later items stay queued.
    struct Gate {
        HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        int count = 0;
    } gate;
    HWND window = VTS_CreateHostWindow(
        nullptr,
        [](void* c, HWND, uint32_t, uintptr_t, intptr_t) -> intptr_t {
            auto* g = static_cast<Gate*>(c);
            ++g->count;
            SetEvent(g->inside);
            WaitForSingleObject(g->release, 5000);
            return 0;
        },
        &gate);
    static MsgQueue queue; // outlives a handler that Stop gave up waiting for
    queue.Start(window);
    queue.Enqueue(VTS_NOTIFY_EVENT, nullptr, 0);
    ASSERT_EQ(WaitForSingleObject(gate.inside, 5000), WAIT_OBJECT_0);
    for (int i = 0; i < 5; ++i) queue.Enqueue(VTS_NOTIFY_EVENT, nullptr, 0);
    queue.Stop(); // returns after 500 ms although the handler is still inside the window
    EXPECT_EQ(queue.PendingCount(), 0u);
    EXPECT_FALSE(queue.IsRunning());
    SetEvent(gate.release);
    VTS_DestroyHostWindow(window); // waits for that delivery to end
    EXPECT_EQ(gate.count, 1) << "what was pending at Stop is never delivered";
    CloseHandle(gate.inside);
    CloseHandle(gate.release);
}
