// Notifications per second from the tester to the host window: the
// simulated tester pushes test events as fast as the PC's socket takes them
// (never more unread than its buffer holds), the server turns each into a
// notification and its handler thread sends it to the window. The floor is
// a bare loop of the same records through a thread message queue to the
// same window. Same run, passes interleaved; the pass with the fastest floor
// counts.
// Run inside tools/netns-run (make bench).
#include "api/server.h"
#include "bench/fastest_floor.h"
#include "device/message_ids.h"
#include "little_endian.h"
#include "sim/tester_simulator.h"
#include "thread.h"
#include "window.h"

#include <varel/vts.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kMessages = 100000;
constexpr int kPasses = 3;
constexpr int64_t kInFlight = 64;
constexpr UINT kRecordMessage = 0x8001;

std::atomic<uint32_t> g_delivered{0};

intptr_t Count(void*, HWND, uint32_t message, uintptr_t, intptr_t lParam) {
    if (message == VTS_WM_NOTIFY && reinterpret_cast<const HostNotifyRecord*>(lParam)->length == 4)
        ++g_delivered;
    return 0;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The tester's events through the server to the window.
double ServerPass(sim::SimDevice& tester) {
    g_delivered = 0;
    std::vector<uint8_t> payload(4);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < kMessages; ++i) {
        while (int64_t(i) - g_delivered.load() - int64_t(Server().queue.PendingCount()) >= kInFlight)
            std::this_thread::yield();
        StoreLe32(payload.data(), i);
        tester.Push(DEVMSG_TEST_EVENT, payload);
    }
    while (g_delivered.load() < kMessages && Seconds(start) < 30) std::this_thread::yield();
    return g_delivered.load() == kMessages ? kMessages / Seconds(start) : 0;
}

struct Record {
    uint32_t code;
    std::vector<uint8_t> data;
};

DWORD WINAPI Handler(LPVOID window) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
        if (message.message != kRecordMessage) continue;
        auto* record = reinterpret_cast<Record*>(message.lParam);
        HostNotifyRecord notify{
            record->code, 0, 0, 0, record->data.data(), static_cast<uint32_t>(record->data.size())};
        SendMessageW(static_cast<HWND>(window), VTS_WM_NOTIFY, record->code,
                     reinterpret_cast<LPARAM>(&notify));
        delete record;
    }
    return 0;
}

// The same records, copied and posted to a thread that sends each to the window.
double FloorPass(HWND window) {
    g_delivered = 0;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, Handler, window, 0, &id);
    while (!PostThreadMessageW(id, 0, 0, 0)) std::this_thread::yield(); // its queue exists
    std::vector<uint8_t> payload(4);
    const auto start = std::chrono::steady_clock::now();
    for (uint32_t i = 0; i < kMessages; ++i) {
        StoreLe32(payload.data(), i);
        PostThreadMessageW(id, kRecordMessage, 0,
                           reinterpret_cast<LPARAM>(new Record{VTS_NOTIFY_TEST_EVENT, payload}));
    }
    while (g_delivered.load() < kMessages) std::this_thread::yield();
    const double rate = kMessages / Seconds(start);
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return rate;
}

} // namespace

int main() {
    sim::TesterSimulator bench;
    std::string error;
    if (!bench.Start(&error)) {
        std::fprintf(stderr, "bench_notifications: %s\n", error.c_str());
        return 1;
    }
    CoInitialize(nullptr);
    HWND window = VTS_CreateHostWindow(OLESTR("bench host"), Count, nullptr);
    if (VTS_CreateServer(window) != S_OK ||
        VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001")) !=
            S_OK) {
        std::fprintf(stderr, "bench_notifications: no server linked to the simulated tester\n");
        return 1;
    }
    // Rates as seconds per notification, so the fastest floor is the least time.
    bench::FastestFloor best;
    for (int pass = 0; pass < kPasses; ++pass) {
        const double floor = FloorPass(window);
        const double server = ServerPass(bench.Tester());
        best.Add(floor > 0 ? 1 / floor : 0, server > 0 ? 1 / server : 0);
    }
    VTS_DestroyServer();
    VTS_DestroyHostWindow(window);
    CoUninitialize();
    std::printf(
        "notifications: %.0f per second from the tester to the window, bare thread message queue %.0f "
        "per second: rate ratio %.2f\n",
        best.Failed() ? 0 : 1 / best.Measured(), best.Failed() ? 0 : 1 / best.Floor(),
        best.Failed() ? 0 : 1 / best.Ratio());
    return best.Failed() ? 1 : 0;
}
