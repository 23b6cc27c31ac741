#include "device/varel_device_comm.h"

#include "debug_output.h"
#include "device/message_ids.h"
#include "thread.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <cstring>

namespace {

constexpr uint32_t kUpMessageCapacity = 65536;
constexpr DWORD kReceiveErrorPauseMs = 1000;
// Long enough for an answer on a local link; the processor time it costs per
// datagram is bounded by it.
constexpr uint32_t kFollowUpLookMicroseconds = 50;

} // namespace

CVarelDeviceComm::CVarelDeviceComm() { InitializeCriticalSection(&lock_); }

CVarelDeviceComm::~CVarelDeviceComm() {
    CVarelDeviceComm::Close();
    DeleteCriticalSection(&lock_);
}

HRESULT CVarelDeviceComm::Open(uint16_t localPort) {
    Close();
    if (FAILED(upMessageRecord_.Reserve(kUpMessageCapacity))) return E_FAIL;
    // Whatever is made goes into the members at once, so Close undoes a
    // failure half-way as it undoes a whole Open.
    stop_ = false;
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    bool made;
    {
        CriticalSectionLock lock(lock_);
        socket_ = s;
        answerEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        made = stopEvent_ && answerEvent_ && s != INVALID_SOCKET;
    }
    if (!made) {
        Close();
        return E_FAIL;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
        DebugPrintf("VarelDeviceTarget >> Binding to port failed: %d\n", WSAGetLastError());
        Close();
        return E_FAIL;
    }
    socklen_t localLength = sizeof local;
    getsockname(s, reinterpret_cast<sockaddr*>(&local), &localLength);
    localPort_ = ntohs(local.sin_port);
    thread_ = CreateThread(nullptr, 0, MsgRecvThread, this, 0, &threadId_);
    if (!thread_) {
        DebugPrintf("VarelDeviceTarget >> Create receive thread failed: %d\n",
                    static_cast<int>(GetLastError()));
        Close();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CVarelDeviceComm::Close() {
    stop_ = true;
    SOCKET s;
    HANDLE answerEvent;
    {
        // No send starts after this; a sender already waiting is released below.
        CriticalSectionLock lock(lock_);
        s = socket_;
        socket_ = INVALID_SOCKET;
        answerEvent = answerEvent_;
        answerEvent_ = nullptr;
    }
    if (s != INVALID_SOCKET) {
        WakeSocketReceivers(s);
        StopReceiving();
        // The number is released only once the receive thread no longer uses it.
        closesocket(s);
    }
    if (stopEvent_) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
    if (answerEvent) {
        SetEvent(answerEvent);
        CloseHandle(answerEvent);
    }
    localPort_ = 0;
    return S_OK;
}

void CVarelDeviceComm::StopReceiving() {
    if (stopEvent_) SetEvent(stopEvent_);
    if (!thread_) return;
    if (threadId_ != GetCurrentThreadId()) WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    threadId_ = 0;
}

HRESULT CVarelDeviceComm::SendDatagram(const uint8_t* bytes, uint32_t length, DWORD timeoutMs,
                                       const sockaddr_in& to) {
    if (length > kMaxDatagramLength) return E_OUTOFMEMORY;
    HANDLE answerEvent;
    {
        CriticalSectionLock lock(lock_);
        if (socket_ == INVALID_SOCKET) {
            DebugPrintf("VarelDeviceTarget >> send error: Socket invalid\n");
            return VTS_E_SEND_FAILED;
        }
        answerEvent = answerEvent_;
        if (timeoutMs) ResetEvent(answerEvent);
        answerRecord_.Clear();
        int sent = sendto(socket_, reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0,
                          reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent != static_cast<int>(length)) {
            DebugPrintf("VarelDeviceTarget >> send error: %d\n", WSAGetLastError());
            return VTS_E_SEND_FAILED;
        }
    }
    if (timeoutMs == 0) return S_OK;
    // A wait on an event that Close has meanwhile closed fails at once: the
    // sender is released like one that was waiting.
    return WaitForSingleObject(answerEvent, timeoutMs) == WAIT_TIMEOUT ? VTS_E_TIMEOUT : S_OK;
}

HRESULT CVarelDeviceComm::SendMsgToDev(uint8_t* packet, const sockaddr_in& to, DWORD timeoutMs) {
    if (!packet) return E_INVALIDARG;
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    lastSentMsgId_ = head.msgId;
    answerStatus_ = 0;
    DWORD sentAt = GetTickCount();
    StampPacketCrc(packet);
    HRESULT hr = SendDatagram(packet, head.totalLength, timeoutMs, to);
    if (hr == VTS_E_TIMEOUT) {
        DebugPrintf("VarelDeviceTarget >>when %d SendMsgToDev(0x%04X) time out\n ", static_cast<int>(sentAt),
                    head.msgId);
        hr = SendDatagram(packet, head.totalLength, timeoutMs, to);
    }
    if (uint32_t status = answerStatus_.load()) hr = StatusToResult(static_cast<uint16_t>(status));
    if (hr != S_OK)
        DebugPrintf("VarelDeviceTarget >> SendMsgToDev(0x%04X) = 0x%02X\n ", head.msgId,
                    static_cast<unsigned>(hr));
    return hr;
}

HRESULT CVarelDeviceComm::SendDevMessage(uint16_t testId, uint16_t msgId, const void* data, uint32_t length,
                                         const sockaddr_in& to, DWORD timeoutMs) {
    uint8_t packet[kMaxPacketLength] = {};
    PacketHead head;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!bytes) length = 0;
    uint32_t count = PacketCountFor(length);
    if (count > 0xFFFE) return E_INVALIDARG;
    uint32_t index = 0;
    do {
        uint32_t piece = length > kMaxPacketPayload ? kMaxPacketPayload : length;
        FillPacketHead(head, msgId, testId, static_cast<uint16_t>(count), static_cast<uint16_t>(++index),
                       static_cast<uint16_t>(kPacketHeadLength + piece));
        std::memcpy(packet, &head, sizeof head);
        if (piece) std::memcpy(packet + kPacketHeadLength, bytes, piece);
        HRESULT hr = SendMsgToDev(packet, to, timeoutMs);
        if (hr != S_OK || index == count) return hr;
        bytes += piece;
        length -= piece;
    } while (true);
}

HRESULT CVarelDeviceComm::SendSinglePacket(uint16_t testId, uint16_t msgId, const void* data, uint32_t length,
                                           const sockaddr_in& to) {
    if (length > kMaxPacketPayload || (length && !data)) return E_INVALIDARG;
    uint8_t packet[kMaxPacketLength] = {};
    PacketHead head;
    FillPacketHead(head, msgId, testId, 1, 1, static_cast<uint16_t>(kPacketHeadLength + length));
    std::memcpy(packet, &head, sizeof head);
    if (length) std::memcpy(packet + kPacketHeadLength, data, length);
    return SendMsgToDev(packet, to, 0);
}

HRESULT CVarelDeviceComm::CopyAnswer(void* destination, uint32_t expectedLength) {
    CriticalSectionLock lock(lock_);
    if (!destination || answerRecord_.Length() != expectedLength) return E_FAIL;
    if (expectedLength) std::memcpy(destination, answerRecord_.Data(), expectedLength);
    return S_OK;
}

DWORD WINAPI CVarelDeviceComm::MsgRecvThread(LPVOID self) {
    auto* comm = static_cast<CVarelDeviceComm*>(self);
    SOCKET s;
    {
        CriticalSectionLock lock(comm->lock_);
        s = comm->socket_;
    }
    comm->ReceiveLoop(s);
    return 0;
}

void CVarelDeviceComm::ReceiveLoop(SOCKET s) {
    DebugPrintf("VarelDeviceTarget >> MsgRecvThread begin!\n");
    alignas(8) uint8_t datagram[kMaxDatagramLength];
    while (!stop_) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // A datagram is often followed within microseconds by the next (the
        // answer to the request its sender sends next, the next piece of a
        // message): looking for it a little before sleeping in recvfrom
        // spares this thread a wake-up, which costs as much as the round trip.
        LookForDatagram(s, kFollowUpLookMicroseconds);
        int received = recvfrom(s, reinterpret_cast<char*>(datagram), sizeof datagram, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (received >= 0 && !FromDevice(from.sin_addr.s_addr)) {
            const uint8_t* a = reinterpret_cast<const uint8_t*>(&from.sin_addr.s_addr);
            DebugPrintf(
                "VarelDeviceTarget >> Datagram from %u.%u.%u.%u:%u dropped: not the device's address\n", a[0],
                a[1], a[2], a[3], ntohs(from.sin_port));
            continue;
        }
        if (received >= static_cast<int>(kPacketHeadLength)) {
            try {
                Dispatch(datagram, static_cast<uint32_t>(received), from.sin_addr.s_addr, from.sin_port);
            } catch (...) {
                // One packet's fault never ends the loop.
            }
            continue;
        }
        if (stop_) break;
        int error = WSAGetLastError();
        DebugPrintf("VarelDeviceTarget >> Socket receive error: %d\n", error);
        if (error == WSANOTINITIALISED) break;
        WaitForSingleObject(stopEvent_, kReceiveErrorPauseMs);
    }
    DebugPrintf("VarelDeviceTarget >> MsgRecvThread quit!\n");
}

void CVarelDeviceComm::CompleteAnswer(uint16_t status) {
    answerStatus_ = status; // written before the signal that orders it
    SignalAnswer();
}

void CVarelDeviceComm::SignalAnswer() {
    HANDLE answerEvent;
    {
        CriticalSectionLock lock(lock_);
        answerEvent = answerEvent_;
    }
    if (answerEvent) SetEvent(answerEvent);
}

void CVarelDeviceComm::Dispatch(const uint8_t* packet, uint32_t received, uint32_t address, uint16_t port) {
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    uint16_t lastSent = lastSentMsgId_.load();
    DebugPrintf("VarelDeviceTarget >> Receive msg at time %d\n{MsgID:0x%04X<Last Send MsgID:0x%04X>}\n\n",
                static_cast<int>(GetTickCount()), head.msgId, lastSent);
    bool answersRequest = IsAnswer(head) && head.msgId == lastSent;

    switch (CheckMsgHead(packet, received)) {
    case PacketCheck::Valid:
        break;
    case PacketCheck::EmptyInnerPacket:
        DebugPrintf("VarelDeviceTarget >> CheckMsgHead: Invalid packet head: multiple packets no data ?\n");
        if (answersRequest) SignalAnswer();
        return;
    case PacketCheck::BadHead:
        DebugPrintf("VarelDeviceTarget >> CheckMsgHead: Invalid packet head !!!\n");
        [[fallthrough]];
    case PacketCheck::BadCrc:
        if (answersRequest)
            CompleteAnswer(kStatusCrcError);
        else
            answerStatus_ = kStatusCrcError;
        return;
    }

    if (head.packetCount > 1) {
        DispatchMultiPacket(packet, answersRequest, address, port);
        return;
    }
    const uint8_t* payload = packet + kPacketHeadLength;
    uint32_t length = head.totalLength - kPacketHeadLength;
    if (IsAnswer(head) && head.msgId == DEVMSG_LINK) {
        OnLinkAnswer(address, port, payload, length);
        SignalAnswer();
    } else if (answersRequest) {
        {
            CriticalSectionLock lock(lock_);
            answerRecord_.Store(payload, length);
        }
        CompleteAnswer(AnswerStatus(head));
    } else {
        OnUpMessage(address, port, head.msgId, payload, length);
    }
}

void CVarelDeviceComm::DispatchMultiPacket(const uint8_t* packet, bool answersRequest, uint32_t address,
                                           uint16_t port) {
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    HRESULT pushed = cache_.Push(packet);
    if (pushed == CACHE_S_INCOMPLETE) return;
    if (pushed == E_OUTOFMEMORY) {
        DebugPrintf("CMultiPacketCache: storage full, packet %u of message 0x%04X dropped.\n",
                    head.packetIndex, head.msgId);
        return;
    }
    if (answersRequest) {
        {
            CriticalSectionLock lock(lock_);
            answerRecord_.Clear();
            cache_.Merge(answerRecord_, true);
        }
        CompleteAnswer(AnswerStatus(head));
        return;
    }
    upMessageRecord_.Clear();
    cache_.Merge(upMessageRecord_, false);
    OnUpMessage(address, port, head.msgId, upMessageRecord_.Data(), upMessageRecord_.Length());
}
