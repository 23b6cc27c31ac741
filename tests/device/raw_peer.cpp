#include "raw_peer.h"

#include "thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

Bytes BuildPacket(uint16_t msgId, uint16_t count, uint16_t index, const Bytes& payload, uint16_t flags) {
    Bytes packet(kPacketHeadLength + payload.size());
    PacketHead head;
    FillPacketHead(head, msgId, 0, count, index, static_cast<uint16_t>(packet.size()));
    head.flags = flags;
    std::memcpy(packet.data(), &head, sizeof head);
    if (!payload.empty()) std::memcpy(packet.data() + kPacketHeadLength, payload.data(), payload.size());
    StampPacketCrc(packet.data());
    return packet;
}

RawPeer::RawPeer(const char* address) {
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    address_ = Ipv4Endpoint(address, 0);
    EXPECT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&address_), sizeof address_), 0);
    socklen_t length = sizeof address_;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address_), &length);
    thread_ = CreateThread(nullptr, 0, Loop, this, 0, nullptr);
}

RawPeer::~RawPeer() {
    WakeSocketReceivers(socket_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    closesocket(socket_);
}

void RawPeer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
}

DWORD WINAPI RawPeer::Loop(LPVOID self) {
    auto* peer = static_cast<RawPeer*>(self);
    uint8_t buffer[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        int got = recvfrom(peer->socket_, reinterpret_cast<char*>(buffer), sizeof buffer, 0,
                           reinterpret_cast<sockaddr*>(&from), &length);
        if (got <= 0) return 0;
        Bytes datagram(buffer, buffer + got);
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(peer->mutex_);
            peer->received_.push_back(datagram);
            handler = peer->handler_;
        }
        peer->arrived_.notify_all();
        if (handler) handler(*peer, datagram, from);
    }
}

void RawPeer::SendTo(const sockaddr_in& to, const Bytes& datagram) {
    sendto(socket_, reinterpret_cast<const char*>(datagram.data()), static_cast<int>(datagram.size()), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void RawPeer::Answer(const Bytes& request, const sockaddr_in& to, uint16_t status, const Bytes& payload) {
    PacketHead head;
    std::memcpy(&head, request.data(), sizeof head);
    SendTo(to, BuildPacket(head.msgId, 1, 1, payload, static_cast<uint16_t>(kAnswerFlag | status)));
}

bool RawPeer::WaitReceived(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return received_.size() >= count; });
}

std::vector<Bytes> RawPeer::Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}
