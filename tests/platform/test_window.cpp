#include "thread.h"
#include "window.h"

#include <message_boxes.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {
struct Recorder {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<uintptr_t> order;
};
intptr_t Record(void* context, HWND, uint32_t, uintptr_t wParam, intptr_t) {
    auto* r = static_cast<Recorder*>(context);
    if (r->inside++ != 0) r->overlaps++;
    r->order.push_back(wParam);
    r->inside--;
    return static_cast<intptr_t>(wParam * 2);
}
} // namespace

// The procedure runs on the sender's thread here and on the window's own
// thread on Windows; either way the sender waits for its answer.
TEST(HostWindow, SendMessageWaitsForTheProceduresAnswer) {
    Recorder r;
    HWND w = VTS_CreateHostWindow(OLESTR("t"), Record, &r);
    EXPECT_TRUE(IsWindow(w));
    EXPECT_EQ(SendMessageW(w, 0x1400, 21, 0), 42);
    EXPECT_EQ(r.order, std::vector<uintptr_t>{21});
    VTS_DestroyHostWindow(w);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(SendMessageW(w, 0x1400, 1, 0), 0) << "a dead window receives nothing";
    EXPECT_EQ(r.order.size(), 1u);
}

TEST(HostWindow, DeliversOneMessageAtATimeFromManySenders) {
    Recorder r;
    HWND w = VTS_CreateHostWindow(nullptr, Record, &r);
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([w] {
            for (int i = 0; i < 500; ++i) SendMessageW(w, 0x1400, static_cast<WPARAM>(i), 0);
        });
    for (auto& s : senders) s.join();
    EXPECT_EQ(r.overlaps.load(), 0);
    EXPECT_EQ(r.order.size(), 2000u);
    VTS_DestroyHostWindow(w);
}

TEST(HostWindow, FindWindowAndRegisteredMessages) {
    Recorder r;
    HWND trace = VTS_CreateHostWindow(OLESTR("VarelDbgTrace"), Record, &r);
    EXPECT_EQ(FindWindowW(nullptr, OLESTR("VarelDbgTrace")), trace);
    EXPECT_EQ(FindWindowW(nullptr, OLESTR("nobody")), nullptr);
    UINT a = RegisterWindowMessageW(OLESTR("WM_VAREL_SERVERMSG"));
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageW(OLESTR("WM_VAREL_SERVERMSG")), a);
    EXPECT_NE(RegisterWindowMessageW(OLESTR("another")), a);
    VTS_DestroyHostWindow(trace);
    EXPECT_EQ(FindWindowW(nullptr, OLESTR("VarelDbgTrace")), nullptr);
}

TEST(MessageBox, GoesToTheHostsHandler) {
    struct Seen {
        std::string text, caption;
    } seen;
    VTS_SetMessageBoxHandler(
        [](void* c, const char* text, const char* caption) {
            static_cast<Seen*>(c)->text = text;
            static_cast<Seen*>(c)->caption = caption;
            return 1;
        },
        &seen);
    EXPECT_EQ(MessageBoxW(GetActiveWindow(), OLESTR("切换DSP程序成功"), OLESTR("提示"), MB_OK), IDOK);
    WriteMessageBoxesToStderr();
    EXPECT_EQ(seen.text, "切换DSP程序成功");
    EXPECT_EQ(seen.caption, "提示");
}
