#include "pc_socket.h"

PcSocket::PcSocket() : socket_(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    address_ = Ipv4Endpoint("192.168.253.1", 0);
    bind(socket_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
    socklen_t length = sizeof address_;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &length);
}

PcSocket::~PcSocket() { closesocket(socket_); }

void PcSocket::Send(const sim::Bytes& datagram, const sockaddr_in& to) {
    sendto(socket_, reinterpret_cast<const char*>(datagram.data()), static_cast<int>(datagram.size()), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

std::optional<sim::Bytes> PcSocket::Receive(DWORD timeoutMs) {
    SetSocketReceiveTimeout(socket_, timeoutMs);
    sim::Bytes buffer(2048);
    int got = recvfrom(socket_, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                       nullptr, nullptr);
    if (got < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(got));
    return buffer;
}
