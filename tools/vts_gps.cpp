// vts gps: a GPS time query, printing each time record as it reaches the host.
#include "subcommand.h"

#include <varel/vts.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

struct TimeRecords {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::vector<uint8_t>> pending;
};

intptr_t GpsWindow(void* context, HWND, uint32_t message, uintptr_t code, intptr_t lParam) {
    if (message != VTS_WM_NOTIFY || code != 21) return 0;
    auto* records = static_cast<TimeRecords*>(context);
    auto* record = reinterpret_cast<const HostNotifyRecord*>(lParam);
    const auto* data = static_cast<const uint8_t*>(record->data);
    {
        std::lock_guard<std::mutex> lock(records->mutex);
        records->pending.emplace_back(data, data + (data ? record->length : 0));
    }
    records->arrived.notify_one();
    return 0;
}

// "2026-01-01T12:00:00 valid"; a receiver without a fix gives an all-zero record.
void PrintRecord(const std::vector<uint8_t>& data) {
    if (data.size() != 16) {
        std::printf("(a time record of %zu bytes)\n", data.size());
        return;
    }
    uint16_t w[8];
    std::memcpy(w, data.data(), 16); // year, month, day of week, day, hour, minute, second, ms
    bool valid = false;
    for (uint16_t word : w) valid = valid || word != 0;
    std::printf("%04u-%02u-%02uT%02u:%02u:%02u %s\n", w[0], w[1], w[3], w[4], w[5], w[6],
                valid ? "valid" : "not valid");
    std::fflush(stdout);
}

int GpsCommand(const std::vector<std::string>& args) {
    std::string params;
    unsigned long long count = 0; // 0: until interrupted
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--count" && i + 1 < args.size()) {
            if (!ParseNumber32(args[++i], 0xFFFFFFFFull, &count) || count == 0)
                return UsageError("gps: --count takes a positive number");
        } else if (params.empty()) {
            params = args[i];
        } else {
            return UsageError("gps takes one parameter text");
        }
    }
    if (params.empty()) return UsageError("gps takes a parameter text such as GPSPOS=2;COM=1;BAUDRATE=9600;");

    CoInitialize(nullptr);
    TimeRecords records;
    HWND window = VTS_CreateHostWindow(OLESTR("vts gps"), GpsWindow, &records);
    VTS_CreateServer(window);
    HRESULT hr = VTS_QueryGPSTime_A(params.c_str());
    int code = 0;
    if (hr != S_OK) {
        std::fprintf(stderr, "vts gps: VTS_QueryGPSTime -> 0x%08X%s\n", static_cast<unsigned>(hr),
                     hr == E_INVALIDARG ? " (every item is KEY=VALUE;)" : "");
        code = 1;
    } else {
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
        unsigned long long printed = 0;
        std::unique_lock<std::mutex> lock(records.mutex);
        while (!g_interrupted && (count == 0 || printed < count)) {
            // Woken by each record; the interrupt flag is looked at a few times a second.
            records.arrived.wait_for(lock, std::chrono::milliseconds(200),
                                     [&] { return !records.pending.empty(); });
            while (!records.pending.empty() && (count == 0 || printed < count)) {
                PrintRecord(records.pending.front());
                records.pending.pop_front();
                ++printed;
            }
        }
    }
    VTS_DestroyServer();
    VTS_DestroyHostWindow(window);
    CoUninitialize();
    return code;
}

} // namespace

VTS_SUBCOMMAND(gps, "gps", "[--count N] \"GPSPOS=2;COM=1;BAUDRATE=9600;PARITY=NO;STOPBITS=1;DATABITS=8;\"",
               "runs a GPS time query and prints each time record as it arrives", GpsCommand);
