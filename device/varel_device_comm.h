// The UDP transport both device objects stand on: one socket, a receive
// thread that validates and classifies every packet, and a request engine
// with exactly one request in flight that waits for its answer.
//
// Whoever waits for a datagram reads the socket: a sender waiting for its
// answer reads it itself, so an answer that is back costs one round trip
// and wakes no other thread; the receive thread reads while no request is
// in flight. One lock, the read role, makes the two take turns. Up-messages
// (whoever read them) go through one queue to the receive thread, which
// alone hands them on, in the order the device sent them.
#pragma once

#include "device/msg_record.h"
#include "device/multi_packet_cache.h"
#include "device/packet_head.h"
#include "socket.h"
#include "sync.h"

#include <varel/vts_platform.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CVarelDeviceComm {
public:
    CVarelDeviceComm();
    // Derived classes call Close in their own destructor, so the receive
    // thread has ended before their handlers are gone.
    virtual ~CVarelDeviceComm();
    CVarelDeviceComm(const CVarelDeviceComm&) = delete;
    CVarelDeviceComm& operator=(const CVarelDeviceComm&) = delete;

    // Binds any local address and localPort (0: any port) and starts the
    // receive thread. E_FAIL on any failure. A closed object may be opened again.
    virtual HRESULT Open(uint16_t localPort);
    // Stops the receive thread, releases a waiting sender at once (it then
    // reports the answer status it finds) and closes the socket. Waits for the
    // receive thread to end unless called from it. Returns 0.
    virtual HRESULT Close();

    // One datagram of at most 1450 bytes; timeoutMs 0 sends without waiting,
    // else reads the socket until the answer is in: VTS_E_TIMEOUT on expiry.
    HRESULT SendDatagram(const uint8_t* bytes, uint32_t length, DWORD timeoutMs, const sockaddr_in& to);
    // One packet: stamps its CRC, sends it and waits; one retry after a
    // time-out. The result is the answer's status as a result code.
    HRESULT SendMsgToDev(uint8_t* packet, const sockaddr_in& to, DWORD timeoutMs);
    // A whole message, split into packets of 964 payload bytes that are each
    // answered on their own; the first error ends it.
    HRESULT SendDevMessage(uint16_t testId, uint16_t msgId, const void* data, uint32_t length,
                           const sockaddr_in& to, DWORD timeoutMs);
    // One packet (payload at most 964 bytes) sent without waiting.
    HRESULT SendSinglePacket(uint16_t testId, uint16_t msgId, const void* data, uint32_t length,
                             const sockaddr_in& to);
    // Copies the last answer's payload when it has exactly expectedLength bytes.
    HRESULT CopyAnswer(void* destination, uint32_t expectedLength);
    // Hands the last answer's payload to read, under the lock that guards it;
    // returns what read returns.
    template <typename Read>
    HRESULT ReadAnswer(Read&& read) {
        CriticalSectionLock lock(lock_);
        return read(answerRecord_.Data(), answerRecord_.Length());
    }

    // The port the socket is bound to (host byte order), 0 when closed.
    uint16_t LocalPort() const { return localPort_.load(); }

protected:
    // An answer with message id 0 (link), on the thread that read it (the
    // receive thread or a sender), holding the read role: it must not close
    // the object. Addresses and ports in network byte order.
    virtual void OnLinkAnswer(uint32_t address, uint16_t port, const uint8_t* data, uint32_t length) = 0;
    // Every message that is not the pending request's answer, on the receive thread.
    virtual void OnUpMessage(uint32_t address, uint16_t port, uint16_t msgId, const uint8_t* data,
                             uint32_t length) = 0;
    // Whether a datagram from this source (network byte order) may be the
    // device's, on the thread that read it. Anything else is dropped with a log
    // line before it is looked at, so another machine on the bench network
    // can inject no answer and no up-message. A bare transport takes every source.
    virtual bool FromDevice(uint32_t /*address*/) const { return true; }

    // Validates, classifies and delivers one datagram of received bytes (at
    // least 16) on the calling thread, as if it had come in on the socket.
    void Dispatch(const uint8_t* packet, uint32_t received, uint32_t address, uint16_t port);
    // The up-message bytes a reading sender queues before it waits for the
    // receive thread to hand them on (1 MiB); set before Open.
    void SetUpQueueLimit(size_t bytes) { queueLimitBytes_ = bytes; }

private:
    // An up-message waiting in the queue: its bytes are at offset in the
    // queue's byte store.
    struct QueuedUp {
        uint32_t address;
        uint16_t port, msgId;
        size_t offset;
        uint32_t length;
    };
    struct UpQueue {
        std::vector<QueuedUp> messages;
        std::vector<uint8_t> bytes;
    };

    class SenderRole;

    // Sends one datagram without waiting; used, when given, gets the socket.
    HRESULT Transmit(const uint8_t* bytes, uint32_t length, const sockaddr_in& to, SOCKET* used);
    // Sends one datagram; with a time-out, then reads until it is answered,
    // holding the read role.
    HRESULT TransmitAndRead(const uint8_t* bytes, uint32_t length, const sockaddr_in& to, DWORD timeoutMs);
    static DWORD WINAPI MsgRecvThread(LPVOID self);
    void ReceiveLoop(SOCKET socket);
    enum class ReadOutcome { Read, TimedOut, Failed };
    // Reads a datagram (waiting at most the socket's receive time-out) and
    // classifies it. Failed: a receive error, or a datagram shorter than a
    // packet head. Holding the read role.
    ReadOutcome ReadDatagram(SOCKET socket, uint8_t* datagram);
    // Validates and classifies one datagram, holding the read role.
    void Classify(const uint8_t* packet, uint32_t received, uint32_t address, uint16_t port);
    void ClassifyMultiPacket(const uint8_t* packet, bool answersRequest, uint32_t address, uint16_t port);
    void QueueUpMessage(uint32_t address, uint16_t port, uint16_t msgId, const uint8_t* data,
                        uint32_t length);
    // Hands the queued up-messages on, in the order they were read, outside
    // every lock; batch is the caller's room for them.
    void DeliverUpMessages(UpQueue& batch);
    // Reads the socket, holding the read role, until the request is answered,
    // the object closes or timeoutMs has passed (VTS_E_TIMEOUT).
    HRESULT ReadUntilAnswered(SOCKET socket, DWORD timeoutMs);
    void StopReceiving();

    std::atomic<uint32_t> answerStatus_{0};
    std::atomic<bool> stop_{false};
    // The id an answer must carry: that of the last packet sent. Written by
    // the sender, read by whoever classifies.
    std::atomic<uint16_t> lastSentMsgId_{0};
    SOCKET socket_ = INVALID_SOCKET; // under lock_
    std::atomic<uint16_t> localPort_{0};
    CRITICAL_SECTION lock_; // the send call, the answer record and socket_

    // The read role: the right to take datagrams from the socket and to
    // classify them. Taken before lock_ where both are held.
    std::mutex readRole_;
    bool answered_ = false;     // the pending request's answer is in; under readRole_
    MsgRecord answerRecord_;    // under lock_
    MsgRecord upMessageRecord_; // 64 KiB, taken at Open; under readRole_
    CMultiPacketCache cache_;   // under readRole_
    // Senders that hold or wait for the read role, and how many have left it:
    // while either moves the receive thread keeps out of the socket.
    std::atomic<uint32_t> readingSenders_{0};
    std::atomic<uint32_t> sendersDone_{0};

    std::mutex queueLock_;
    std::condition_variable queueDrained_;
    UpQueue queue_; // under queueLock_
    size_t queueLimitBytes_;
    // Up-messages queued and handed on since Open; written under queueLock_.
    uint64_t queuedCount_ = 0;
    std::atomic<uint64_t> deliveredCount_{0};
    std::atomic<DWORD> receiverId_{0}; // the receive thread's id while it runs
    // Auto-reset: a sender queued up-messages, or Close; cuts the receive
    // thread's rest (while senders read, or after a receive error) short.
    HANDLE wakeEvent_ = nullptr;

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
};
