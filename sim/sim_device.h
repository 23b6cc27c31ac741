// One simulated device on one UDP address: it checks every packet from the
// PC, reassembles split requests, answers each packet on its own through the
// behaviour set for its id, and sends messages of its own when told.
#pragma once

#include "sim/sim_faults.h"
#include "sim/sim_messages.h"
#include "sim/sim_traffic.h"
#include "socket.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sim {

// What a behaviour sees: a whole split message, or one second-header packet.
struct Request {
    Head head;                        // of the packet that completed it
    std::span<const uint8_t> payload; // after the 16-byte head
    sockaddr_in from;
};

struct Reply {
    uint16_t status = 0;
    Bytes payload;               // split into answer packets above 964 bytes
    std::vector<uint16_t> order; // packet indices in sending order; empty: 1, 2, ...
};

using Behaviour = std::function<Reply(const Request&)>;

struct PushOptions {
    uint16_t testId = 0;
    uint16_t flags = 0;            // kAnswerBit makes it look like an answer
    std::vector<uint16_t> order;   // 1-based, any order, repeats and gaps allowed; empty: in order
    std::optional<sockaddr_in> to; // default: where the last datagram from the PC came from
    uint32_t delayMs = 0;          // sent this much later, after what the device answers meanwhile
};

class SimDevice {
public:
    SimDevice(const char* name, DeviceKind kind, TrafficLog& traffic);
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Binds address:port (port 0: any) and starts serving; false with the
    // socket error when it cannot bind.
    bool Start(const char* address, uint16_t port, int* socketError);
    void Stop();

    // The behaviour for requests with msgId; without one a request is
    // answered with status 0 and no payload.
    void On(uint16_t msgId, Behaviour behaviour);

    // A message from the device, split as the generic splitter does. False
    // when there is no destination yet or a send failed.
    bool Push(uint16_t msgId, std::span<const uint8_t> payload, const PushOptions& options = {});
    // Bytes as they are, recorded like any datagram the device sends.
    bool SendRaw(std::span<const uint8_t> bytes, const sockaddr_in& to);

    // Where the last datagram from the PC came from; false before any.
    bool Peer(sockaddr_in* peer) const;
    sockaddr_in Address() const { return address_; }
    FaultKnobs& Faults() { return faults_; }
    const char* Name() const { return name_; }

private:
    struct Partial {
        uint16_t msgId = 0;
        uint16_t count = 0;
        uint16_t nextIndex = 0; // 0: none in progress
        Bytes payload;
    };
    struct Delayed {
        std::chrono::steady_clock::time_point due;
        std::vector<Bytes> packets;
        sockaddr_in to;
    };

    void ReceiveLoop();
    void DelayLoop();
    void Serve(std::span<const uint8_t> datagram, const sockaddr_in& from);
    // Adds a packet of a split request; the whole payload once complete.
    PacketFault Reassemble(const Head& head, std::span<const uint8_t> payload, bool* complete);
    void Remember(std::span<const uint8_t> piece, const Reply& reply);
    void Answer(const Head& request, Reply reply, const sockaddr_in& to);
    // Hands packets to the delay thread.
    void Schedule(std::vector<Bytes> packets, const sockaddr_in& to, uint32_t delayMs);
    void Record(bool received, std::span<const uint8_t> bytes, const sockaddr_in& peer, PacketFault fault);

    const char* name_;
    DeviceKind kind_;
    TrafficLog& traffic_;
    FaultKnobs faults_;
    SOCKET socket_ = INVALID_SOCKET;
    sockaddr_in address_{};
    std::atomic<bool> stopping_{false};
    std::thread receiver_;
    std::thread delayer_;

    mutable std::mutex mutex_; // behaviours, peer, delayed answers
    std::condition_variable delayedChanged_;
    std::map<uint16_t, Behaviour> behaviours_;
    std::optional<sockaddr_in> peer_;
    std::deque<Delayed> delayed_;

    // Receive thread only.
    Partial partial_;
    Bytes lastPiece_;      // the last packet of a split request, and its reply,
    Reply lastPieceReply_; // answered again when the PC resends it
};

} // namespace sim
