// A bare UDP peer for the transport tests: it records what the device
// object sends and answers as each test tells it, packet by packet.
#pragma once

#include "device/packet_head.h"
#include "socket.h"
#include "sync.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A packet with a valid head and CRC.
Bytes BuildPacket(uint16_t msgId, uint16_t count, uint16_t index, const Bytes& payload, uint16_t flags = 0);

class RawPeer {
public:
    // Handler for each received datagram, on the peer's thread.
    using Handler = std::function<void(RawPeer&, const Bytes& datagram, const sockaddr_in& from)>;

    explicit RawPeer(const char* address);
    ~RawPeer();

    void SetHandler(Handler handler);
    void SendTo(const sockaddr_in& to, const Bytes& datagram);
    // Answers packet with the answer bit, its id and status (and payload).
    void Answer(const Bytes& request, const sockaddr_in& to, uint16_t status = 0, const Bytes& payload = {});
    // Waits for `count` datagrams in all; false on time-out.
    bool WaitReceived(size_t count, int timeoutMs);
    std::vector<Bytes> Received();

    const sockaddr_in& Address() const { return address_; }

private:
    static DWORD WINAPI Loop(LPVOID self);

    SOCKET socket_;
    sockaddr_in address_{};
    HANDLE thread_ = nullptr;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
    Handler handler_;
};
