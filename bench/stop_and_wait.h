// The stop-and-wait floor of a benchmark that talks to the simulated tester:
// the requests the PC sent, each with the answer it got, replayed as bare
// round trips over UDP to a socket that answers each at once; and that
// socket as the tester of the path measured against the floor.
#pragma once

#include "sim/tester_simulator.h"
#include "socket.h"
#include "thread.h"

#include <chrono>
#include <algorithm>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace bench {

struct RoundTrip {
    sim::Bytes request;
    std::vector<sim::Bytes> answer; // its packets
};

// The requests the PC sent in traffic, each with the answer it got (every
// packet of it).
inline std::vector<RoundTrip> RoundTripsOf(const std::vector<sim::Datagram>& traffic) {
    std::vector<RoundTrip> trips;
    for (size_t i = 0; i < traffic.size(); ++i) {
        const sim::Datagram& request = traffic[i];
        if (!request.received || request.head.IsAnswer()) continue;
        RoundTrip trip{request.bytes, {}};
        for (size_t j = i + 1; j < traffic.size(); ++j) {
            const sim::Datagram& answer = traffic[j];
            if (!answer.received && answer.head.IsAnswer() && answer.head.msgId == request.head.msgId &&
                std::string(answer.device) == request.device) {
                trip.answer.push_back(answer.bytes);
                if (trip.answer.size() >= answer.head.count) break;
            }
        }
        if (!trip.answer.empty()) trips.push_back(std::move(trip));
    }
    return trips;
}

inline double Milliseconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// A socket on the tester's address that answers each request at once with
// the answer recorded for the same bytes (else the first one recorded for its
// message id), and a plain socket that sends the recorded requests one at a
// time, each after the answer to the one before: the floor. A device object
// linked to Port() meets the same answering socket as the floor does, so
// what it takes above the floor is its own.
class StopAndWaitFloor {
public:
    // trips: what Replay sends; book: the answers known (trips' own when empty).
    explicit StopAndWaitFloor(std::vector<RoundTrip> trips, const std::vector<RoundTrip>& book = {})
        : trips_(std::move(trips)) {
        for (const RoundTrip& trip : book.empty() ? trips_ : book) {
            answers_.emplace(trip.request, trip.answer);
            byId_.emplace(IdOf(trip.request), trip.answer);
        }
        echo_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        peer_ = Ipv4Endpoint(sim::kTesterAddress, 0);
        bind(echo_, reinterpret_cast<sockaddr*>(&peer_), sizeof peer_);
        socklen_t length = sizeof peer_;
        getsockname(echo_, reinterpret_cast<sockaddr*>(&peer_), &length);
        answering_ = CreateThread(nullptr, 0, Answer, this, 0, nullptr);
        raw_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        SetSocketReceiveTimeout(raw_, 1000); // a lost answer fails the replay instead of hanging it
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
    // The answering socket's port (host byte order).
    uint16_t Port() const { return ntohs(peer_.sin_port); }
    // One replay of every round trip; its milliseconds, or -1 when one failed.
    double Replay() {
        const auto start = std::chrono::steady_clock::now();
        uint8_t answer[65536];
        for (const RoundTrip& trip : trips_) {
            sendto(raw_, reinterpret_cast<const char*>(trip.request.data()),
                   static_cast<int>(trip.request.size()), 0, reinterpret_cast<const sockaddr*>(&peer_),
                   sizeof peer_);
            for (size_t n = 0; n < trip.answer.size(); ++n)
                if (recvfrom(raw_, reinterpret_cast<char*>(answer), sizeof answer, 0, nullptr, nullptr) <= 0)
                    return -1;
        }
        return Milliseconds(start);
    }

private:
    static uint16_t IdOf(std::span<const uint8_t> packet) {
        return packet.size() >= 16 ? sim::DecodeHead(packet).msgId : 0;
    }
    // Looked up without a copy of the request.
    struct BytesLess {
        using is_transparent = void;
        bool operator()(std::span<const uint8_t> a, std::span<const uint8_t> b) const {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
        }
    };
    static DWORD WINAPI Answer(LPVOID context) {
        auto* self = static_cast<StopAndWaitFloor*>(context);
        uint8_t packet[65536];
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            int got = recvfrom(self->echo_, reinterpret_cast<char*>(packet), sizeof packet, 0,
                               reinterpret_cast<sockaddr*>(&from), &length);
            if (got <= 0) return 0;
            const std::span<const uint8_t> request(packet, static_cast<size_t>(got));
            const std::vector<sim::Bytes>* answer = nullptr;
            if (auto it = self->answers_.find(request); it != self->answers_.end())
                answer = &it->second;
            else if (auto byId = self->byId_.find(IdOf(request)); byId != self->byId_.end())
                answer = &byId->second;
            if (!answer) continue; // nothing recorded for it: unanswered, as a request the tester ignores
            for (const sim::Bytes& piece : *answer)
                sendto(self->echo_, reinterpret_cast<const char*>(piece.data()),
                       static_cast<int>(piece.size()), 0, reinterpret_cast<const sockaddr*>(&from),
                       sizeof from);
        }
    }

    std::vector<RoundTrip> trips_;
    std::map<sim::Bytes, std::vector<sim::Bytes>, BytesLess> answers_;
    std::map<uint16_t, std::vector<sim::Bytes>> byId_;
    SOCKET echo_, raw_;
    sockaddr_in peer_;
    HANDLE answering_;
};

} // namespace bench
