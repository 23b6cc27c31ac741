// The stop-and-wait floor of a benchmark that talks to the simulated tester:
// the requests the PC sent, each with the answer it got, replayed as bare
// round trips over UDP to a socket that answers each at once.
#pragma once

#include "sim/tester_simulator.h"
#include "socket.h"
#include "thread.h"

#include <chrono>
#include <string>
#include <vector>

namespace bench {

struct RoundTrip {
    sim::Bytes request;
    sim::Bytes answer;
};

// The requests the PC sent in traffic, each with the answer it got.
inline std::vector<RoundTrip> RoundTripsOf(const std::vector<sim::Datagram>& traffic) {
    std::vector<RoundTrip> trips;
    for (size_t i = 0; i < traffic.size(); ++i) {
        const sim::Datagram& request = traffic[i];
        if (!request.received || request.head.IsAnswer()) continue;
        for (size_t j = i + 1; j < traffic.size(); ++j) {
            const sim::Datagram& answer = traffic[j];
            if (!answer.received && answer.head.IsAnswer() && answer.head.msgId == request.head.msgId &&
                std::string(answer.device) == request.device) {
                trips.push_back({request.bytes, answer.bytes});
                break;
            }
        }
    }
    return trips;
}

inline double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// A socket on the tester's address that answers the n-th datagram with the
// n-th recorded answer, and a plain socket that sends the requests one at a
// time, each after the answer to the one before.
class StopAndWaitFloor {
public:
    explicit StopAndWaitFloor(std::vector<RoundTrip> trips) : trips_(std::move(trips)) {
        echo_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        peer_ = Ipv4Endpoint(sim::kTesterAddress, 0);
        bind(echo_, reinterpret_cast<sockaddr*>(&peer_), sizeof peer_);
        socklen_t length = sizeof peer_;
        getsockname(echo_, reinterpret_cast<sockaddr*>(&peer_), &length);
        answering_ = CreateThread(nullptr, 0, AnswerInOrder, this, 0, nullptr);
        raw_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    }
    ~StopAndWaitFloor() {
        WakeSocketReceivers(echo_);
        WaitForSingleObject(answering_, INFINITE);
        CloseHandle(answering_);
        closesocket(echo_);
        closesocket(raw_);
    }
    StopAndWaitFloor(const StopAndWaitFloor&) = delete;
    StopAndWaitFloor& operator=(const StopAndWaitFloor&) = delete;

    size_t Trips() const { return trips_.size(); }
    // One replay of every round trip; its milliseconds, or -1 when one failed.
    double Replay() {
        const auto start = std::chrono::steady_clock::now();
        uint8_t answer[65536];
        for (const RoundTrip& trip : trips_) {
            sendto(raw_, reinterpret_cast<const char*>(trip.request.data()),
                   static_cast<int>(trip.request.size()), 0, reinterpret_cast<const sockaddr*>(&peer_),
                   sizeof peer_);
            if (recvfrom(raw_, reinterpret_cast<char*>(answer), sizeof answer, 0, nullptr, nullptr) <= 0)
                return -1;
        }
        return Milliseconds(start);
    }

private:
    static DWORD WINAPI AnswerInOrder(LPVOID context) {
        auto* self = static_cast<StopAndWaitFloor*>(context);
        if (self->trips_.empty()) return 0;
        uint8_t packet[65536];
        for (size_t n = 0;; n = (n + 1) % self->trips_.size()) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (recvfrom(self->echo_, reinterpret_cast<char*>(packet), sizeof packet, 0,
                         reinterpret_cast<sockaddr*>(&from), &length) <= 0)
                return 0;
            const sim::Bytes& answer = self->trips_[n].answer;
            sendto(self->echo_, reinterpret_cast<const char*>(answer.data()), static_cast<int>(answer.size()),
                   0, reinterpret_cast<const sockaddr*>(&from), sizeof from);
        }
    }

    std::vector<RoundTrip> trips_;
    SOCKET echo_, raw_;
    sockaddr_in peer_;
    HANDLE answering_;
};

} // namespace bench
