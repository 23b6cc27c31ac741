#include "device/varel_device_comm.h"

#include "debug_output.h"
#include "device/message_ids.h"
#include "thread.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <chrono>
#include <cstring>
#include <optional>

namespace {

constexpr uint32_t kUpMessageCapacity = 65536;
constexpr DWORD kReceiveErrorPauseMs = 1000;
// How long the receive thread rests while senders read; it reads again once
// a whole rest has passed with no sender. An up-message that comes in just
// after a request waits at most about twice this for the thread.
constexpr DWORD kSenderRestMs = 2;
// How long the receive thread waits for a datagram before it looks at the
// queue again (which a sender may have filled in the moment before).
constexpr DWORD kIdleWaitMs = 20;
// Datagrams the receive thread reads in one turn before it hands them on and
// lets a waiting sender in.
constexpr int kDatagramsPerTurn = 64;
// Up-message bytes a sender queues before it lets the receive thread catch
// up: a flood waits in the socket, as it does while the receive thread
// hands the queue on, rather than piling up in memory.
constexpr size_t kQueueLimitBytes = 1u << 20;
// A sender waits for its answer in recvfrom itself (one call, where a wait
// and then a read would be two), which gives up after this long so that the
// sender can look at its time-out: a request's wait ends at most this long
// after its time-out has passed.
constexpr DWORD kReadSliceMs = 10;

} // namespace

CVarelDeviceComm::CVarelDeviceComm() : queueLimitBytes_(kQueueLimitBytes) {
    InitializeCriticalSection(&lock_);
}

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
    {
        std::lock_guard<std::mutex> role(readRole_);
        wakeEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    {
        CriticalSectionLock lock(lock_);
        socket_ = s;
    }
    if (!wakeEvent_ || s == INVALID_SOCKET) {
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
    if (SetSocketReceiveTimeout(s, kReadSliceMs) != 0) {
        DebugPrintf("VarelDeviceTarget >> Setting the receive time-out failed: %d\n", WSAGetLastError());
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
    {
        // No send starts after this; a sender already reading is released below.
        CriticalSectionLock lock(lock_);
        s = socket_;
        socket_ = INVALID_SOCKET;
    }
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queueDrained_.notify_all(); // a sender waiting for room sees stop_
    }
    if (s != INVALID_SOCKET) {
        // Wakes a sender reading for its answer; it sees stop_ and leaves the
        // read role, which is taken here once so that nobody reads any more
        // (a later sender finds no socket). Then the receive thread is woken
        // (again: the sender may have taken the first wake-up) and waited for.
        WakeSocketReceivers(s);
        {
            std::lock_guard<std::mutex> role(readRole_);
            WakeSocketReceivers(s);
        }
        SetEvent(wakeEvent_);
        StopReceiving();
        // The number is released only once no thread uses it.
        closesocket(s);
    }
    {
        // Senders touch the event only holding the role.
        std::lock_guard<std::mutex> role(readRole_);
        if (wakeEvent_) CloseHandle(wakeEvent_);
        wakeEvent_ = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        queue_ = UpQueue{};
        deliveredCount_ = queuedCount_; // what is dropped waits for nobody
    }
    localPort_ = 0;
    return S_OK;
}

void CVarelDeviceComm::StopReceiving() {
    if (!thread_) return;
    if (threadId_ != GetCurrentThreadId()) WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    threadId_ = 0;
}

// The read role of a sender for the length of a request. While a sender
// holds or waits for it the receive thread keeps out of the socket; leaving
// it, the sender wakes the thread for what it queued.
class CVarelDeviceComm::SenderRole {
public:
    explicit SenderRole(CVarelDeviceComm& comm) : comm_(comm) {
        comm_.readingSenders_.fetch_add(1);
        comm_.readRole_.lock();
    }
    // The wake-up goes out before the role is left: Close, which closes the
    // event, takes the role first. Then, as when the receive thread read
    // everything, the request returns only once the up-messages the device
    // sent before its answer have been handed on.
    ~SenderRole() {
        uint64_t queued;
        {
            std::lock_guard<std::mutex> lock(comm_.queueLock_);
            queued = comm_.queuedCount_;
        }
        const bool waiting = queued > comm_.deliveredCount_.load();
        if (waiting) SetEvent(comm_.wakeEvent_);
        comm_.sendersDone_.fetch_add(1);
        comm_.readingSenders_.fetch_sub(1);
        comm_.readRole_.unlock();
        // Not when the receive thread itself asked, from a handler: it hands them on next.
        if (!waiting || comm_.receiverId_.load() == GetCurrentThreadId()) return;
        std::unique_lock<std::mutex> lock(comm_.queueLock_);
        comm_.queueDrained_.wait(lock, [&] { return comm_.deliveredCount_.load() >= queued || comm_.stop_; });
    }
    SenderRole(const SenderRole&) = delete;
    SenderRole& operator=(const SenderRole&) = delete;

private:
    CVarelDeviceComm& comm_;
};

HRESULT CVarelDeviceComm::Transmit(const uint8_t* bytes, uint32_t length, const sockaddr_in& to,
                                   SOCKET* used) {
    if (length > kMaxDatagramLength) return E_OUTOFMEMORY;
    CriticalSectionLock lock(lock_);
    if (socket_ == INVALID_SOCKET) {
        DebugPrintf("VarelDeviceTarget >> send error: Socket invalid\n");
        return VTS_E_SEND_FAILED;
    }
    answerRecord_.Clear();
    int sent = sendto(socket_, reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0,
                      reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent != static_cast<int>(length)) {
        DebugPrintf("VarelDeviceTarget >> send error: %d\n", WSAGetLastError());
        return VTS_E_SEND_FAILED;
    }
    if (used) *used = socket_;
    return S_OK;
}

HRESULT CVarelDeviceComm::TransmitAndRead(const uint8_t* bytes, uint32_t length, const sockaddr_in& to,
                                          DWORD timeoutMs) {
    if (timeoutMs == 0) return Transmit(bytes, length, to, nullptr);
    answered_ = false;
    SOCKET s;
    HRESULT hr = Transmit(bytes, length, to, &s);
    // Close takes the read role before it closes the socket: s stays valid
    // while this thread reads it.
    return hr == S_OK ? ReadUntilAnswered(s, timeoutMs) : hr;
}

HRESULT CVarelDeviceComm::SendDatagram(const uint8_t* bytes, uint32_t length, DWORD timeoutMs,
                                       const sockaddr_in& to) {
    std::optional<SenderRole> role;
    if (timeoutMs) role.emplace(*this);
    return TransmitAndRead(bytes, length, to, timeoutMs);
}

HRESULT CVarelDeviceComm::ReadUntilAnswered(SOCKET s, DWORD timeoutMs) {
    alignas(8) uint8_t datagram[kMaxDatagramLength];
    const DWORD start = GetTickCount();
    while (!answered_ && !stop_) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs) return VTS_E_TIMEOUT;
        const DWORD left = timeoutMs - spent;
        {
            std::unique_lock<std::mutex> lock(queueLock_);
            if (queue_.bytes.size() >= queueLimitBytes_) {
                SetEvent(wakeEvent_);
                queueDrained_.wait_for(lock, std::chrono::milliseconds(left),
                                       [&] { return queue_.bytes.size() < queueLimitBytes_ || stop_; });
                continue;
            }
        }
        // The receive thread reads only what is there and only with the
        // role, so nobody takes a datagram from under this read.
        if (ReadDatagram(s, datagram) == ReadOutcome::Failed && !stop_)
            DebugPrintf("VarelDeviceTarget >> Socket receive error: %d\n", WSAGetLastError());
    }
    // Released by Close: the status as it stands.
    return S_OK;
}

HRESULT CVarelDeviceComm::SendMsgToDev(uint8_t* packet, const sockaddr_in& to, DWORD timeoutMs) {
    if (!packet) return E_INVALIDARG;
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    // The id to answer and the status change under the read role, so no
    // answer is classified against a request that is not the one in flight.
    std::optional<SenderRole> role;
    if (timeoutMs) role.emplace(*this);
    lastSentMsgId_ = head.msgId;
    answerStatus_ = 0;
    DWORD sentAt = GetTickCount();
    StampPacketCrc(packet);
    HRESULT hr = TransmitAndRead(packet, head.totalLength, to, timeoutMs);
    if (hr == VTS_E_TIMEOUT) {
        DebugPrintf("VarelDeviceTarget >>when %d SendMsgToDev(0x%04X) time out\n ", static_cast<int>(sentAt),
                    head.msgId);
        hr = TransmitAndRead(packet, head.totalLength, to, timeoutMs);
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
    receiverId_ = GetCurrentThreadId();
    alignas(8) uint8_t datagram[kMaxDatagramLength];
    UpQueue batch; // what is being handed on; keeps its room from turn to turn
    uint32_t doneSeen = sendersDone_.load();
    while (!stop_) {
        DeliverUpMessages(batch);
        // While senders read (or have read within the last rest) the thread
        // keeps out of the socket, so an answer wakes its sender alone; it
        // wakes for what they queue.
        const uint32_t done = sendersDone_.load();
        if (readingSenders_.load() != 0 || done != doneSeen) {
            doneSeen = done;
            WaitForSingleObject(wakeEvent_, kSenderRestMs);
            continue;
        }
        if (!WaitForDatagram(s, kIdleWaitMs)) continue;
        bool failed = false;
        {
            std::unique_lock<std::mutex> role(readRole_, std::try_to_lock);
            // Not taken: a sender reads, and what is there is its to read.
            if (!role) continue;
            for (int n = 0; n < kDatagramsPerTurn && !stop_ && WaitForDatagram(s, 0); ++n) {
                const ReadOutcome outcome = ReadDatagram(s, datagram);
                if (outcome == ReadOutcome::Read) continue;
                // Timed out: what the look saw was gone (a datagram the
                // system dropped on reading it), which is no error.
                failed = outcome == ReadOutcome::Failed;
                break;
            }
        }
        if (!failed || stop_) continue;
        int error = WSAGetLastError();
        DebugPrintf("VarelDeviceTarget >> Socket receive error: %d\n", error);
        if (error == WSANOTINITIALISED) break;
        WaitForSingleObject(wakeEvent_, kReceiveErrorPauseMs);
    }
    receiverId_ = 0;
    DebugPrintf("VarelDeviceTarget >> MsgRecvThread quit!\n");
}

CVarelDeviceComm::ReadOutcome CVarelDeviceComm::ReadDatagram(SOCKET s, uint8_t* datagram) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    int received = recvfrom(s, reinterpret_cast<char*>(datagram), kMaxDatagramLength, 0,
                            reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0) return WSAGetLastError() == WSAETIMEDOUT ? ReadOutcome::TimedOut : ReadOutcome::Failed;
    if (!FromDevice(from.sin_addr.s_addr)) {
        const uint8_t* a = reinterpret_cast<const uint8_t*>(&from.sin_addr.s_addr);
        DebugPrintf("VarelDeviceTarget >> Datagram from %u.%u.%u.%u:%u dropped: not the device's address\n",
                    a[0], a[1], a[2], a[3], ntohs(from.sin_port));
        return ReadOutcome::Read;
    }
    // Shorter than a packet head: a receive error, as a failed receive is.
    if (received < static_cast<int>(kPacketHeadLength)) return ReadOutcome::Failed;
    try {
        Classify(datagram, static_cast<uint32_t>(received), from.sin_addr.s_addr, from.sin_port);
    } catch (...) {
        // One packet's fault never ends the reading.
    }
    return ReadOutcome::Read;
}

void CVarelDeviceComm::Dispatch(const uint8_t* packet, uint32_t received, uint32_t address, uint16_t port) {
    {
        std::lock_guard<std::mutex> role(readRole_);
        Classify(packet, received, address, port);
    }
    UpQueue batch;
    DeliverUpMessages(batch);
}

void CVarelDeviceComm::QueueUpMessage(uint32_t address, uint16_t port, uint16_t msgId, const uint8_t* data,
                                      uint32_t length) {
    std::lock_guard<std::mutex> lock(queueLock_);
    const size_t offset = queue_.bytes.size();
    queue_.bytes.insert(queue_.bytes.end(), data, data + length);
    queue_.messages.push_back({address, port, msgId, offset, length});
    ++queuedCount_;
}

void CVarelDeviceComm::DeliverUpMessages(UpQueue& batch) {
    batch.messages.clear();
    batch.bytes.clear();
    uint64_t upTo;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        if (queue_.messages.empty()) return;
        // The queue changes hands whole; both keep their room.
        std::swap(queue_, batch);
        upTo = queuedCount_;
        queueDrained_.notify_all();
    }
    for (const QueuedUp& up : batch.messages) {
        if (stop_) break;
        OnUpMessage(up.address, up.port, up.msgId, batch.bytes.data() + up.offset, up.length);
    }
    std::lock_guard<std::mutex> lock(queueLock_);
    deliveredCount_ = upTo;
    queueDrained_.notify_all();
}

void CVarelDeviceComm::Classify(const uint8_t* packet, uint32_t received, uint32_t address, uint16_t port) {
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    uint16_t lastSent = lastSentMsgId_.load();
    DebugPrintf("VarelDeviceTarget >> Receive msg at time %d\n{MsgID:0x%04X<Last Send MsgID:0x%04X>}\n\n",
                static_cast<int>(GetTickCount()), head.msgId, lastSent);
    bool answersRequest = IsAnswer(head) && head.msgId == lastSent;

    switch (CheckMsgHead(packet, received)) {
    case PacketCheck::Valid: break;
    case PacketCheck::EmptyInnerPacket:
        DebugPrintf("VarelDeviceTarget >> CheckMsgHead: Invalid packet head: multiple packets no data ?\n");
        if (answersRequest) answered_ = true;
        return;
    case PacketCheck::BadHead:
        DebugPrintf("VarelDeviceTarget >> CheckMsgHead: Invalid packet head !!!\n");
        [[fallthrough]];
    case PacketCheck::BadCrc:
        answerStatus_ = kStatusCrcError;
        if (answersRequest) answered_ = true;
        return;
    }

    if (head.packetCount > 1) {
        ClassifyMultiPacket(packet, answersRequest, address, port);
        return;
    }
    const uint8_t* payload = packet + kPacketHeadLength;
    uint32_t length = head.totalLength - kPacketHeadLength;
    if (IsAnswer(head) && head.msgId == DEVMSG_LINK) {
        // Taken in before the sender of the link request goes on.
        OnLinkAnswer(address, port, payload, length);
        answered_ = true;
    } else if (answersRequest) {
        {
            CriticalSectionLock lock(lock_);
            answerRecord_.Store(payload, length);
        }
        answerStatus_ = AnswerStatus(head);
        answered_ = true;
    } else {
        QueueUpMessage(address, port, head.msgId, payload, length);
    }
}

void CVarelDeviceComm::ClassifyMultiPacket(const uint8_t* packet, bool answersRequest, uint32_t address,
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
        answerStatus_ = AnswerStatus(head);
        answered_ = true;
        return;
    }
    upMessageRecord_.Clear();
    cache_.Merge(upMessageRecord_, false);
    QueueUpMessage(address, port, head.msgId, upMessageRecord_.Data(), upMessageRecord_.Length());
}
