// Request round trips through the engine (CRC, send, receive thread, event,
// answer record) against the floor of a raw UDP ping-pong with the same
// packet sizes, in the same run, against two answering peers: a bare echo
// socket and the tester simulator (which checks and records every packet).
// Run inside tools/netns-run (make bench).
#include "bench/fastest_floor.h"
#include "device/message_ids.h"
#include "device/packet_head.h"
#include "device/varel_device_comm.h"
#include "sim/tester_simulator.h"
#include "socket.h"
#include "thread.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kRounds = 400; // requests per measurement
constexpr int kPasses = 50;  // measurements of each, interleaved; the pass with the fastest floor counts
constexpr uint32_t kOutputsLength = 32; // the 16 binary outputs of 0x0209

// Answers every packet at once with a head-only answer, as the tester answers 0x0209.
DWORD WINAPI Echo(LPVOID socketPointer) {
    SOCKET s = *static_cast<SOCKET*>(socketPointer);
    uint8_t packet[kMaxDatagramLength];
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        int got = recvfrom(s, reinterpret_cast<char*>(packet), sizeof packet, 0,
                           reinterpret_cast<sockaddr*>(&from), &length);
        if (got < static_cast<int>(kPacketHeadLength)) return 0;
        PacketHead head;
        std::memcpy(&head, packet, sizeof head);
        head.flags = kAnswerFlag;
        head.totalLength = kPacketHeadLength;
        std::memcpy(packet, &head, sizeof head);
        StampPacketCrc(packet);
        sendto(s, reinterpret_cast<const char*>(packet), kPacketHeadLength, 0,
               reinterpret_cast<const sockaddr*>(&from), sizeof from);
    }
}

class NullComm final : public CVarelDeviceComm {
public:
    ~NullComm() override { Close(); }

protected:
    void OnLinkAnswer(uint32_t, uint16_t, const uint8_t*, uint32_t) override {}
    void OnUpMessage(uint32_t, uint16_t, uint16_t, const uint8_t*, uint32_t) override {}
};

template <typename F>
double MicrosecondsPerRound(F&& round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i)
        if (!round()) return -1;
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kRounds;
}

// The same request as the engine sends, over a bare socket.
double RawPingPong(SOCKET raw, const sockaddr_in& device) {
    uint8_t request[kMaxPacketLength] = {};
    PacketHead head;
    FillPacketHead(head, DEVMSG_BOUT, 0, 1, 1, kPacketHeadLength + kOutputsLength);
    std::memcpy(request, &head, sizeof head);
    StampPacketCrc(request);
    return MicrosecondsPerRound([&] {
        uint8_t answer[kMaxDatagramLength];
        sendto(raw, reinterpret_cast<const char*>(request), kPacketHeadLength + kOutputsLength, 0,
               reinterpret_cast<const sockaddr*>(&device), sizeof device);
        return recvfrom(raw, reinterpret_cast<char*>(answer), sizeof answer, 0, nullptr, nullptr) > 0;
    });
}

double EngineRequests(NullComm& comm, const sockaddr_in& device) {
    uint8_t states[kOutputsLength] = {};
    return MicrosecondsPerRound(
        [&] { return comm.SendDevMessage(0, DEVMSG_BOUT, states, sizeof states, device, 1000) == S_OK; });
}

void Report(const char* peer, const bench::FastestFloor& pass) {
    std::printf("request engine vs %s: %.1f us per request, raw UDP ping-pong %.1f us: rate ratio %.2f\n",
                peer, pass.Measured(), pass.Floor(), 1 / pass.Ratio());
}

} // namespace

int main() {
    sim::TesterSimulator bench;
    std::string error;
    if (!bench.Start(&error)) {
        std::fprintf(stderr, "bench_request_engine: %s\n", error.c_str());
        return 1;
    }
    SOCKET echoSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in echoAddress = Ipv4Endpoint(sim::kTesterAddress, 0);
    bind(echoSocket, reinterpret_cast<sockaddr*>(&echoAddress), sizeof echoAddress);
    socklen_t length = sizeof echoAddress;
    getsockname(echoSocket, reinterpret_cast<sockaddr*>(&echoAddress), &length);
    HANDLE echo = CreateThread(nullptr, 0, Echo, &echoSocket, 0, nullptr);

    SOCKET raw = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    NullComm comm;
    if (comm.Open(0) != S_OK) return 1;
    const sockaddr_in tester = bench.Tester().Address();
    bench::FastestFloor echoPass, simPass;
    for (int pass = 0; pass < kPasses; ++pass) {
        const double rawEcho = RawPingPong(raw, echoAddress);
        echoPass.Add(rawEcho, EngineRequests(comm, echoAddress));
        const double rawSim = RawPingPong(raw, tester);
        simPass.Add(rawSim, EngineRequests(comm, tester));
    }
    comm.Close();

    WakeSocketReceivers(echoSocket);
    WaitForSingleObject(echo, INFINITE);
    CloseHandle(echo);
    closesocket(echoSocket);
    closesocket(raw);
    bench.Stop();
    if (echoPass.Failed() || simPass.Failed()) {
        std::fprintf(stderr, "bench_request_engine: a round trip failed\n");
        return 1;
    }
    Report("the simulator", simPass);
    Report("a bare echo", echoPass);
    return 0;
}
