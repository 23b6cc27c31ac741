// The server's life cycle against a host that misbehaves and a tester that
// keeps talking: nothing hangs, nothing reaches a window it should not, and
// the next server works.
#include "module_fixture.h"

#include "api/server.h"
#include "device/message_ids.h"
#include "little_endian.h"

#include <varel/vts_errors.h>

#include <debug_log.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");

// A host whose window procedure holds the tester's first test event until
// it is let go (a host that stopped pumping its messages), then counts the
// events that follow.
class StuckHost {
public:
    StuckHost() : window_(VTS_CreateHostWindow(OLESTR("stuck host"), &StuckHost::Proc, this)) {}
    ~StuckHost() {
        LetGo();
        VTS_DestroyHostWindow(window_);
    }
    HWND Window() const { return window_; }
    bool WaitStuck() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return calls_ > 0; });
    }
    void LetGo() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    uint32_t Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

private:
    static intptr_t Proc(void* context, HWND, uint32_t message, uintptr_t code, intptr_t) {
        if (message != VTS_WM_NOTIFY || code != VTS_NOTIFY_TEST_EVENT) return 0;
        auto* self = static_cast<StuckHost*>(context);
        std::unique_lock<std::mutex> lock(self->mutex_);
        if (self->calls_++ == 0) {
            self->changed_.notify_all();
            self->changed_.wait(lock, [self] { return self->released_; });
        }
        return 0;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    uint32_t calls_ = 0;
    bool released_ = false;
    HWND window_;
};

// The tester's event number n.
sim::Bytes Event(uint32_t n) {
    sim::Bytes payload(4);
    StoreLe32(payload.data(), n);
    return payload;
}

class Lifecycle : public BenchTest {
protected:
    // Replaces the server BenchTest made by one for window, linked.
    void CreateFor(HWND window) {
        VTS_DestroyServer();
        ASSERT_EQ(VTS_CreateServer(window), S_OK);
        ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    }
    // Milliseconds VTS_DestroyServer takes.
    long long TimedDestroy() {
        const auto start = Clock::now();
        EXPECT_EQ(VTS_DestroyServer(), S_OK);
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    }
};

} // namespace

TEST_F(Lifecycle, DestroyDuringARunningTestWithTrafficInFlight) {
    Link(OLESTR("Varel.ZTXLTest.1"));
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    std::atomic<bool> talking{true};
    // A thousand a second: not so many that the PC's socket drops the
    // answers (under Wine it reads slower, and at ten thousand a second an
    // answer lost there costs the destroy its request's time-out).
    std::thread tester([&] {
        for (uint32_t n = 0; talking; ++n) {
            bench.Tester().Push(DEVMSG_TEST_EVENT, Event(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread asking([&] {
        while (talking) VTS_AskIoState(); // refused once the server is gone
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LT(TimedDestroy(), 2000);
    talking = false;
    tester.join();
    asking.join();
    EXPECT_GE(bench.Traffic().Count(sim::ReceivedWithId(DEVMSG_TEST_STOP)), 1u)
        << "the running test was stopped";

    // The next server links and hears the tester.
    while (host.Next(0)) {
    }
    ASSERT_EQ(VTS_CreateServer(host.Window()), S_OK);
    ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
    EXPECT_EQ(host.Next().value_or(Notification{}).code, 16u);
    bench.Tester().Push(DEVMSG_TEST_STOP, {});
    EXPECT_EQ(host.Next().value_or(Notification{}).code, 6u);
}

TEST_F(Lifecycle, AWindowDestroyedWithNotificationsPendingGetsNoMore) {
    StuckHost stuck;
    CreateFor(stuck.Window());
    DebugLogCapture log;
    for (uint32_t n = 0; n < 200; ++n) bench.Tester().Push(DEVMSG_TEST_EVENT, Event(n));
    ASSERT_TRUE(stuck.WaitStuck());
    std::thread destroying([&] { VTS_DestroyHostWindow(stuck.Window()); }); // waits for the delivery
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stuck.LetGo();
    destroying.join();
    const uint32_t atDestroy = stuck.Calls();
    for (int waited = 0; Server().queue.PendingCount() > 0 && waited < 5000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(Server().queue.PendingCount(), 0u);
    EXPECT_EQ(stuck.Calls(), atDestroy) << "nothing reaches a destroyed window";
    EXPECT_TRUE(log.Contains("The host window is invalid, give up msg."));
    EXPECT_LT(TimedDestroy(), 1000);
}

TEST_F(Lifecycle, AHostThatNeverReturnsHoldsUpNeitherDestroyNorTheNextServer) {
    StuckHost stuck;
    CreateFor(stuck.Window());
    bench.Tester().Push(DEVMSG_TEST_EVENT, Event(0));
    bench.Tester().Push(DEVMSG_TEST_EVENT, Event(1));
    ASSERT_TRUE(stuck.WaitStuck());
    EXPECT_LT(TimedDestroy(), 1500) << "the handler is waited for at most 500 ms";

    // The stuck handler comes back while the next server's handler delivers:
    // only the new one delivers, in the tester's order.
    while (host.Next(0)) {
    }
    CreateFor(host.Window());
    EXPECT_EQ(host.Next().value_or(Notification{}).code, 16u);
    // Taken as they come, so that no more are in flight than the PC's socket holds.
    uint32_t taken = 0;
    const auto takeNext = [&] {
        auto event = host.Next();
        const bool inOrder = event && event->data == Event(taken);
        EXPECT_TRUE(inOrder) << "event " << taken;
        ++taken;
        return inOrder;
    };
    bool inOrder = true;
    for (uint32_t n = 0; n < 300 && inOrder; ++n) {
        bench.Tester().Push(DEVMSG_TEST_EVENT, Event(n));
        if (n == 100) stuck.LetGo();
        if (n >= 32) inOrder = takeNext();
    }
    while (taken < 300 && inOrder) inOrder = takeNext();
    EXPECT_EQ(stuck.Calls(), 1u);
}
