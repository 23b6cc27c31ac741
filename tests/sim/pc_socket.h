// The PC's end of a simulator test: a bare UDP socket on 192.168.253.1.
#pragma once

#include "sim/sim_packet.h"
#include "socket.h"

#include <optional>

class PcSocket {
public:
    PcSocket();
    ~PcSocket();
    void Send(const sim::Bytes& datagram, const sockaddr_in& to);
    // The next datagram within timeoutMs.
    std::optional<sim::Bytes> Receive(DWORD timeoutMs);
    sockaddr_in Address() const { return address_; }

private:
    SOCKET socket_;
    sockaddr_in address_{};
};
