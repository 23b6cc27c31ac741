// Every datagram a simulated device received or sent, for tests to inspect.
#pragma once

#include "sim/sim_packet.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

struct Datagram {
    bool received;        // true: from the PC; false: sent by the device
    const char* device;   // "tester", "iobox1", "iobox2"
    uint32_t peerAddress; // network byte order
    uint16_t peerPort;    // host byte order
    uint32_t tickMs;      // monotonic milliseconds
    Bytes bytes;
    PacketFault fault; // of a received datagram; None for sent ones
    Head head;         // decoded when at least 16 bytes
};

// One line for a log or a trace: direction, device, id, index/count, length, fault.
std::string DescribeDatagram(const Datagram& datagram);

class TrafficLog {
public:
    using Match = std::function<bool(const Datagram&)>;

    void Record(Datagram datagram);
    std::vector<Datagram> Snapshot() const;
    void Clear();
    // How many recorded datagrams match.
    size_t Count(const Match& match) const;
    // Waits until at least count datagrams match; false after timeoutMs.
    bool WaitFor(size_t count, const Match& match, uint32_t timeoutMs) const;
    // Called with each datagram as it is recorded (vts-sim prints them).
    void SetObserver(std::function<void(const Datagram&)> observer);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable recorded_;
    std::vector<Datagram> datagrams_;
    std::function<void(const Datagram&)> observer_;
};

// Matchers for the common questions.
TrafficLog::Match ReceivedWithId(uint16_t msgId);
TrafficLog::Match SentWithId(uint16_t msgId);
TrafficLog::Match ReceivedFaulty();

} // namespace sim
