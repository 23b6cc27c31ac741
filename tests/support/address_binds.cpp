// The probe behind REQUIRE_ADDRESS_BOUND_UDP: a datagram from a socket bound
// to one bench address must arrive with that address as its source. Only a
// datagram seen with another source says no; a probe that cannot run at all
// lets the tests run and fail on their own.
#include "private_network.h"

#include "socket.h"

namespace {
constexpr char kProbeFrom[] = "192.168.253.99"; // no device of the bench uses it
constexpr char kProbeTo[] = "192.168.253.1";

bool Probe() {
    SOCKET from = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    SOCKET to = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    bool holds = true;
    sockaddr_in fromAddress = Ipv4Endpoint(kProbeFrom, 0);
    sockaddr_in toAddress = Ipv4Endpoint(kProbeTo, 0);
    socklen_t length = sizeof toAddress;
    if (from != INVALID_SOCKET && to != INVALID_SOCKET &&
        bind(from, reinterpret_cast<sockaddr*>(&fromAddress), sizeof fromAddress) == 0 &&
        bind(to, reinterpret_cast<sockaddr*>(&toAddress), sizeof toAddress) == 0 &&
        getsockname(to, reinterpret_cast<sockaddr*>(&toAddress), &length) == 0 &&
        SetSocketReceiveTimeout(to, 1000) == 0) {
        const char byte = 1;
        sendto(from, &byte, 1, 0, reinterpret_cast<sockaddr*>(&toAddress), sizeof toAddress);
        char answer;
        sockaddr_in source{};
        socklen_t sourceLength = sizeof source;
        if (recvfrom(to, &answer, 1, 0, reinterpret_cast<sockaddr*>(&source), &sourceLength) == 1)
            holds = source.sin_addr.s_addr == fromAddress.sin_addr.s_addr;
    }
    if (from != INVALID_SOCKET) closesocket(from);
    if (to != INVALID_SOCKET) closesocket(to);
    return holds;
}
} // namespace

bool UdpBindsHoldTheirAddress() {
    static const bool holds = Probe();
    return holds;
}
