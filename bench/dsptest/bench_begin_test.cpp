// BeginTest of a full 50-state sequence on a tester of 16 voltage and 16
// current channels, against the stop-and-wait floor: the same requests and
// answers, byte for byte and in the same order, as bare round trips over UDP
// to a socket that answers each at once. Same run, best of five interleaved
// passes. Run inside tools/netns-run (make bench).
#include "bench/stop_and_wait.h"
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "sim/tester_simulator.h"
#include "text.h"
#include "tick.h"
#include "tools/document_values.h"

#include <varel/vts.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPasses = 5;
constexpr int kRunsPerPass = 10;
constexpr const WCHAR* kState = OLESTR("Varel.ZTXLTest.1");
constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");

// One BeginTest; the test it starts is stopped before the next.
double BeginTest(IGenericData* document) {
    const auto start = std::chrono::steady_clock::now();
    if (VTS_BeginTest(document) != S_OK) return -1;
    const double spent = bench::Milliseconds(start);
    Sleep(5); // the simulated tester's result, reported at once
    VTS_StopTest(0);
    return spent;
}

intptr_t IgnoreNotifications(void*, HWND, uint32_t, uintptr_t, intptr_t) { return 0; }

int Fail(const char* what) {
    std::fprintf(stderr, "bench_begin_test: %s\n", what);
    return 1;
}

} // namespace

int main() {
    sim::TesterSimulator bench;
    std::string error;
    if (!bench.Start(&error)) return Fail(error.c_str());
    sim::TesterIdentity identity;
    identity.voltageChannels = 16;
    identity.currentChannels = 16;
    bench.Model().SetIdentity(identity);
    bench.Model().SetTimeScale(0);

    CoInitialize(nullptr);
    HWND window = VTS_CreateHostWindow(nullptr, IgnoreNotifications, nullptr);
    VTS_CreateServer(window);
    if (VTS_LinkDevice(kLink) != S_OK || VTS_ActiveTest(kState) != S_OK) return Fail("no link to the bench");
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    VTS_InitTestParams(document.Get(), kState);
    SetDocumentValue(document.Get(), "TestParams.StateNumbers", VT_INT, 50);
    for (int s = 0; s < 50; ++s) {
        const std::string state = "TestParams.StatePara." + std::to_string(s);
        SetDocumentValue(document.Get(), (state + ".Up.0.Mag").c_str(), VT_R4, 57.735);
        SetDocumentValue(document.Get(), (state + ".Ip.0.Mag").c_str(), VT_R4, s % 2 ? 1 : 0);
    }

    // One begin recorded: what the floor replays.
    bench.Traffic().Clear();
    if (BeginTest(document.Get()) < 0) return Fail("BeginTest failed");
    const sim::TesterRecord record = bench.Model().Record();
    std::vector<sim::Datagram> traffic = bench.Traffic().Snapshot();
    traffic.erase(std::find_if(traffic.begin(), traffic.end(),
                               [](const sim::Datagram& d) { return d.received && d.head.msgId == 0x0203; }),
                  traffic.end());
    double floor = 1e9, begin = 1e9;
    size_t trips = 0;
    {
        bench::StopAndWaitFloor replay(bench::RoundTripsOf(traffic));
        trips = replay.Trips();
        for (int pass = 0; pass < kPasses; ++pass) {
            for (int run = 0; run < kRunsPerPass; ++run) {
                floor = std::min(floor, replay.Replay());
                begin = std::min(begin, BeginTest(document.Get()));
            }
        }
    }
    document.Reset();
    VTS_DestroyServer();
    VTS_DestroyHostWindow(window);
    CoUninitialize();
    bench.Stop();
    if (floor <= 0 || begin <= 0) return Fail("a round trip failed");

    std::printf("BeginTest of 50 states: %zu items in %u messages 0x0204, %zu round trips in all\n",
                record.params.size(), record.paramMessages, trips);
    std::printf("BeginTest %.2f ms, stop-and-wait floor %.2f ms: %.2fx the floor (goal 1.5x)\n", begin, floor,
                begin / floor);
    return 0;
}
