// Request round trips through the engine (CRC, send, receive thread, event,
// answer record) against the floor of a raw UDP ping-pong between the same
// two sockets' kind, with the same answering peer. Run inside tools/netns-run.
#include "device/message_ids.h"
#include "device/packet_head.h"
#include "device/varel_device_comm.h"
#include "socket.h"
#include "thread.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kRounds = 20000;

// Answers every packet at once: the answer bit set, a fresh CRC.
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

template <typename F> double MicrosecondsPerRound(F&& round) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i)
        if (!round()) return -1;
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kRounds;
}

} // namespace

int main() {
    SOCKET device = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in deviceAddress = Ipv4Endpoint("192.168.253.231", 0);
    if (bind(device, reinterpret_cast<sockaddr*>(&deviceAddress), sizeof deviceAddress) != 0) {
        std::fprintf(stderr, "bench_request_engine: run inside tools/netns-run (make bench)\n");
        return 1;
    }
    socklen_t length = sizeof deviceAddress;
    getsockname(device, reinterpret_cast<sockaddr*>(&deviceAddress), &length);
    HANDLE echo = CreateThread(nullptr, 0, Echo, &device, 0, nullptr);

    // Floor: the same request and answer over a bare socket.
    SOCKET raw = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    uint8_t request[kMaxPacketLength] = {};
    PacketHead head;
    FillPacketHead(head, DEVMSG_BOUT, 0, 1, 1, kPacketHeadLength + 32);
    std::memcpy(request, &head, sizeof head);
    StampPacketCrc(request);
    double floor = MicrosecondsPerRound([&] {
        uint8_t answer[kMaxDatagramLength];
        sendto(raw, reinterpret_cast<const char*>(request), kPacketHeadLength + 32, 0,
               reinterpret_cast<const sockaddr*>(&deviceAddress), sizeof deviceAddress);
        return recvfrom(raw, reinterpret_cast<char*>(answer), sizeof answer, 0, nullptr, nullptr) > 0;
    });

    NullComm comm;
    if (comm.Open(0) != S_OK) return 1;
    uint8_t states[32] = {};
    double engine = MicrosecondsPerRound([&] {
        return comm.SendDevMessage(0, DEVMSG_BOUT, states, sizeof states, deviceAddress, 1000) == S_OK;
    });
    comm.Close();

    WakeSocketReceivers(device);
    WaitForSingleObject(echo, INFINITE);
    CloseHandle(echo);
    closesocket(device);
    closesocket(raw);
    if (floor <= 0 || engine <= 0) {
        std::fprintf(stderr, "bench_request_engine: a round trip failed\n");
        return 1;
    }
    std::printf("request engine: %.1f us per request, raw UDP ping-pong %.1f us: ratio %.2f\n", engine, floor,
                engine / floor);
    return 0;
}
