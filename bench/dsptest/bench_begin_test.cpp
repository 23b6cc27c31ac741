// BeginTest on a tester of 16 voltage and 16 current channels, of a full
// 50-state sequence and of a harmonic test (every order of every channel),
// each against its stop-and-wait floor: the same requests and answers, byte
// for byte and in the same order, as bare round trips over UDP to a socket
// that answers each at once, the same socket that answers BeginTest. Same
// run, 50 interleaved passes; the pass with the fastest floor counts.
// Run inside tools/netns-run (make bench).
#include "bench/fastest_floor.h"
#include "bench/stop_and_wait.h"
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "sim/tester_simulator.h"
#include "socket.h"
#include "text.h"
#include "thread.h"
#include "tick.h"
#include "tools/document_values.h"

#include <varel/vts.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPasses = 50;
// Links the library to the tester at port on the tester's address.
HRESULT LinkTo(uint16_t port) {
    BStr link(Utf8ToUtf16("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:" + std::string(sim::kTesterAddress) +
                          ";DEV-PORT:" + std::to_string(port)));
    return VTS_LinkDevice(link.Get());
}

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

// One test type to time: its ProgID, what the line says, and the values it
// sets over the defaults.
struct BenchCase {
    const WCHAR* progId;
    const char* name;
    void (*fill)(IGenericData* document);
};

void FillStates(IGenericData* document) {
    SetDocumentValue(document, "TestParams.StateNumbers", VT_INT, 50);
    for (int s = 0; s < 50; ++s) {
        const std::string state = "TestParams.StatePara." + std::to_string(s);
        SetDocumentValue(document, (state + ".Up.0.Mag").c_str(), VT_R4, 57.735);
        SetDocumentValue(document, (state + ".Ip.0.Mag").c_str(), VT_R4, s % 2 ? 1 : 0);
    }
}

// The list is the same size whatever is selected: every order goes out.
void FillHarmonics(IGenericData* document) {
    SetDocumentValue(document, "TestParams.iPara.0.Harm.1.bSelect", VT_INT, 1);
    SetDocumentValue(document, "TestParams.iPara.0.Harm.1.Mag", VT_R4, 1);
    SetDocumentValue(document, "TestParams.TimeLimit", VT_R4, 0);
}

const BenchCase kCases[] = {
    {OLESTR("Varel.ZTXLTest.1"), "50 states", FillStates},
    {OLESTR("Varel.XBTest.1"), "a harmonic test", FillHarmonics},
};

// The case's BeginTest and its floor in the pass with the fastest floor,
// printed; 1 when something failed. The link, the activation and one begin
// are recorded on the simulated tester; the floor replays the begin's round
// trips, and its answering socket then stands in for the tester, answering
// each request as the simulated tester did, so that BeginTest and its floor
// meet the same peer.
int Measure(sim::TesterSimulator& bench, const BenchCase& test) {
    bench.Traffic().Clear();
    if (LinkTo(sim::kTesterPort) != S_OK) return Fail("no link to the bench");
    if (VTS_ActiveTest(test.progId) != S_OK) return Fail("VTS_ActiveTest failed");
    ComPtr<IGenericData> document;
    CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData, document.PutVoid());
    VTS_InitTestParams(document.Get(), test.progId);
    test.fill(document.Get());

    const size_t before = bench.Traffic().Snapshot().size();
    if (BeginTest(document.Get()) < 0) return Fail("BeginTest failed");
    const sim::TesterRecord record = bench.Model().Record();
    const std::vector<sim::Datagram> traffic = bench.Traffic().Snapshot();
    std::vector<sim::Datagram> begin(traffic.begin() + static_cast<std::ptrdiff_t>(before), traffic.end());
    begin.erase(std::find_if(begin.begin(), begin.end(),
                             [](const sim::Datagram& d) { return d.received && d.head.msgId == 0x0203; }),
                begin.end());
    // The answers: the tester's first, for the link (the I/O box answers
    // links too), then the begin's own, I/O box included.
    std::vector<sim::Datagram> tester;
    std::copy_if(traffic.begin(), traffic.end(), std::back_inserter(tester),
                 [](const sim::Datagram& d) { return std::string(d.device) == "tester"; });
    std::vector<bench::RoundTrip> book = bench::RoundTripsOf(tester), trips = bench::RoundTripsOf(begin);
    book.insert(book.end(), trips.begin(), trips.end());
    bench::StopAndWaitFloor floor(std::move(trips), book);
    if (LinkTo(floor.Port()) != S_OK) return Fail("no link to the floor's socket");
    bench::FastestFloor best;
    for (int pass = 0; pass < kPasses; ++pass) best.Add(floor.Replay(), BeginTest(document.Get()));
    if (best.Failed()) return Fail("a round trip failed");
    std::printf("BeginTest of %s: %zu items in %u messages 0x0204, %zu round trips in all\n", test.name,
                record.params.size(), record.paramMessages, floor.Trips());
    std::printf("BeginTest %.2f ms, stop-and-wait floor %.2f ms: %.2fx the floor (goal 1.5x)\n",
                best.Measured(), best.Floor(), best.Ratio());
    return 0;
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
    int failed = 0;
    for (const BenchCase& test : kCases)
        if (!failed) failed = Measure(bench, test);

    VTS_DestroyServer();
    VTS_DestroyHostWindow(window);
    CoUninitialize();
    bench.Stop();
    return failed;
}
