#include "sim/sim_device.h"

#include "tick.h"

#include <algorithm>

namespace sim {
namespace {

// Packets of a split message in the order asked for (1-based indices).
std::vector<Bytes> InOrder(std::vector<Bytes> packets, const std::vector<uint16_t>& order) {
    if (order.empty()) return packets;
    std::vector<Bytes> chosen;
    for (uint16_t index : order)
        if (index >= 1 && index <= packets.size()) chosen.push_back(packets[index - 1]);
    return chosen;
}

} // namespace

SimDevice::SimDevice(const char* name, DeviceKind kind, TrafficLog& traffic)
    : name_(name), kind_(kind), traffic_(traffic) {}

SimDevice::~SimDevice() { Stop(); }

bool SimDevice::Start(const char* address, uint16_t port, int* socketError) {
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    address_ = Ipv4Endpoint(address, port);
    if (socket_ == INVALID_SOCKET ||
        bind(socket_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0) {
        if (socketError) *socketError = WSAGetLastError();
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
        return false;
    }
    socklen_t length = sizeof address_;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &length);
    stopping_ = false;
    receiver_ = std::thread(&SimDevice::ReceiveLoop, this);
    delayer_ = std::thread(&SimDevice::DelayLoop, this);
    return true;
}

void SimDevice::Stop() {
    if (socket_ == INVALID_SOCKET) return;
    stopping_ = true;
    WakeSocketReceivers(socket_);
    receiver_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        delayedChanged_.notify_all();
    }
    delayer_.join();
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
}

void SimDevice::On(uint16_t msgId, Behaviour behaviour) {
    std::lock_guard<std::mutex> lock(mutex_);
    behaviours_[msgId] = std::move(behaviour);
}

bool SimDevice::Peer(sockaddr_in* peer) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!peer_) return false;
    *peer = *peer_;
    return true;
}

bool SimDevice::Push(uint16_t msgId, std::span<const uint8_t> payload, const PushOptions& options) {
    sockaddr_in to{};
    if (options.to)
        to = *options.to;
    else if (!Peer(&to))
        return false;
    std::vector<Bytes> packets =
        InOrder(SplitMessage(msgId, options.testId, options.flags, payload), options.order);
    if (options.delayMs) {
        Schedule(std::move(packets), to, options.delayMs);
        return true;
    }
    bool sent = true;
    for (const Bytes& packet : packets) sent = SendRaw(packet, to) && sent;
    return sent;
}

void SimDevice::Schedule(std::vector<Bytes> packets, const sockaddr_in& to, uint32_t delayMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    delayed_.push_back(
        {std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), std::move(packets), to});
    std::stable_sort(delayed_.begin(), delayed_.end(),
                     [](const Delayed& a, const Delayed& b) { return a.due < b.due; });
    delayedChanged_.notify_all();
}

bool SimDevice::SendRaw(std::span<const uint8_t> bytes, const sockaddr_in& to) {
    Record(false, bytes, to, PacketFault::None);
    int sent = sendto(socket_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent == static_cast<int>(bytes.size());
}

void SimDevice::Record(bool received, std::span<const uint8_t> bytes, const sockaddr_in& peer,
                       PacketFault fault) {
    Datagram d{received,
               name_,
               peer.sin_addr.s_addr,
               ntohs(peer.sin_port),
               GetTickCount(),
               Bytes(bytes.begin(), bytes.end()),
               fault,
               {}};
    if (bytes.size() >= kHeadBytes) d.head = DecodeHead(bytes);
    traffic_.Record(std::move(d));
}

void SimDevice::ReceiveLoop() {
    uint8_t buffer[2048]; // more than a datagram may hold, to see the ones that are too long
    while (!stopping_) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        int got = recvfrom(socket_, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                           reinterpret_cast<sockaddr*>(&from), &length);
        if (stopping_) break;
        if (got < 0) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            peer_ = from;
        }
        Serve(std::span<const uint8_t>(buffer, static_cast<size_t>(got)), from);
    }
}

void SimDevice::Serve(std::span<const uint8_t> datagram, const sockaddr_in& from) {
    if (faults_.LoseRequest()) return; // never arrived
    PacketFault fault = CheckPacket(datagram);
    if (fault != PacketFault::None && fault != PacketFault::Crc) {
        Record(true, datagram, from, fault); // nothing trustworthy to answer
        return;
    }
    const Head head = DecodeHead(datagram);
    if (fault == PacketFault::Crc) {
        Record(true, datagram, from, fault);
        Answer(head, {2, {}, {}}, from); // CRC error in network data
        return;
    }
    const MessageRule* rule = FindRule(kind_, head.msgId);
    if (!rule) {
        Record(true, datagram, from, PacketFault::Unknown);
        Answer(head, {4, {}, {}}, from); // command not supported
        return;
    }
    if (head.count > 1 && std::ranges::equal(datagram, lastPiece_)) {
        // Sent again because its answer was lost: answered again, not added twice.
        Record(true, datagram, from, PacketFault::None);
        Answer(head, lastPieceReply_, from);
        return;
    }
    auto payload = datagram.subspan(kHeadBytes);
    fault = CheckPiece(*rule, datagram);
    bool complete = true;
    if (fault == PacketFault::None && rule->framing == Framing::Split)
        fault = Reassemble(head, payload, &complete);
    if (fault == PacketFault::None && complete && rule->framing == Framing::Split)
        fault = CheckMessageLength(*rule, partial_.payload.size());
    Record(true, datagram, from, fault);
    if (rule->framing == Framing::Notice) return;
    if (fault != PacketFault::None) {
        partial_ = {};
        lastPiece_.clear();
        Answer(head, {1, {}, {}}, from); // the tester failed to execute the command
        return;
    }
    if (!complete) {
        Remember(datagram, {});
        Answer(head, {}, from);
        return;
    }
    Behaviour behaviour;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = behaviours_.find(head.msgId);
        if (it != behaviours_.end()) behaviour = it->second;
    }
    Request request{
        head, rule->framing == Framing::Split ? std::span<const uint8_t>(partial_.payload) : payload, from};
    Reply reply = behaviour ? behaviour(request) : Reply{};
    partial_ = {};
    if (head.count > 1) Remember(datagram, reply);
    Answer(head, std::move(reply), from);
}

void SimDevice::Remember(std::span<const uint8_t> piece, const Reply& reply) {
    lastPiece_.assign(piece.begin(), piece.end());
    lastPieceReply_ = reply;
}

PacketFault SimDevice::Reassemble(const Head& head, std::span<const uint8_t> payload, bool* complete) {
    if (head.index == 1) {
        // A new message; one the PC gave up half-way is simply dropped.
        partial_ = {head.msgId, head.count, 1, {}};
    } else if (partial_.nextIndex != head.index || partial_.msgId != head.msgId ||
               partial_.count != head.count) {
        return PacketFault::Framing;
    }
    partial_.payload.insert(partial_.payload.end(), payload.begin(), payload.end());
    partial_.nextIndex = static_cast<uint16_t>(head.index + 1);
    *complete = head.index == head.count;
    return PacketFault::None;
}

void SimDevice::Answer(const Head& request, Reply reply, const sockaddr_in& to) {
    AnswerPlan plan = faults_.Take(request.msgId, reply.status);
    if (!plan.send) return;
    const uint16_t flags = static_cast<uint16_t>(kAnswerBit | (plan.status & 0x7FFF));
    std::vector<Bytes> packets =
        InOrder(SplitMessage(request.msgId, request.testId, flags, reply.payload), reply.order);
    if (plan.corruptCrc)
        for (Bytes& packet : packets) packet[0] ^= 0xFF;
    if (plan.twice) {
        const size_t count = packets.size();
        packets.reserve(2 * count);
        for (size_t i = 0; i < count; ++i) packets.push_back(packets[i]);
    }
    if (plan.delayMs == 0) {
        for (const Bytes& packet : packets) SendRaw(packet, to);
        return;
    }
    Schedule(std::move(packets), to, plan.delayMs);
}

void SimDevice::DelayLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        if (delayed_.empty()) {
            delayedChanged_.wait(lock);
            continue;
        }
        if (delayedChanged_.wait_until(lock, delayed_.front().due) != std::cv_status::timeout) continue;
        Delayed due = std::move(delayed_.front());
        delayed_.pop_front();
        lock.unlock();
        for (const Bytes& packet : due.packets) SendRaw(packet, due.to);
        lock.lock();
    }
}

} // namespace sim
