// The UDP transport both device objects stand on: one socket, a receive
// thread that validates and classifies every packet, and a request engine
// with exactly one request in flight that waits for its answer.
#pragma once

#include "device/msg_record.h"
#include "device/multi_packet_cache.h"
#include "device/packet_head.h"
#include "socket.h"
#include "sync.h"

#include <varel/vts_platform.h>

#include <atomic>
#include <cstdint>

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
    // else waits for the answer event: VTS_E_TIMEOUT on expiry.
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
    // An answer with message id 0 (link), on the receive thread. Addresses
    // and ports in network byte order.
    virtual void OnLinkAnswer(uint32_t address, uint16_t port, const uint8_t* data, uint32_t length) = 0;
    // Every message that is not the pending request's answer, on the receive thread.
    virtual void OnUpMessage(uint32_t address, uint16_t port, uint16_t msgId, const uint8_t* data,
                             uint32_t length) = 0;
    // Whether a datagram from this source (network byte order) may be the
    // device's, on the receive thread. Anything else is dropped with a log
    // line before it is looked at, so another machine on the bench network
    // can inject no answer and no up-message. A bare transport takes every source.
    virtual bool FromDevice(uint32_t /*address*/) const { return true; }

    // Validates, classifies and delivers one datagram of received bytes (at
    // least 16); the receive thread calls it for each datagram.
    void Dispatch(const uint8_t* packet, uint32_t received, uint32_t address, uint16_t port);

private:
    static DWORD WINAPI MsgRecvThread(LPVOID self);
    void ReceiveLoop(SOCKET socket);
    void DispatchMultiPacket(const uint8_t* packet, bool answersRequest, uint32_t address, uint16_t port);
    // Stores the answer's status, then releases the waiting sender.
    void CompleteAnswer(uint16_t status);
    // Releases the waiting sender with the status as it stands.
    void SignalAnswer();
    void StopReceiving();

    std::atomic<uint32_t> answerStatus_{0};
    std::atomic<bool> stop_{false};
    HANDLE answerEvent_ = nullptr; // auto-reset; read by senders and written by Open/Close under lock_
    // The id an answer must carry: that of the last packet sent. Written by
    // the sender, read by the receive thread; the answer event orders the rest.
    std::atomic<uint16_t> lastSentMsgId_{0};
    SOCKET socket_ = INVALID_SOCKET; // under lock_
    std::atomic<uint16_t> localPort_{0};
    CRITICAL_SECTION lock_; // the send call, the answer record, socket_ and answerEvent_
    MsgRecord answerRecord_;
    MsgRecord upMessageRecord_; // 64 KiB, taken at Open; receive thread only
    CMultiPacketCache cache_;   // receive thread only
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE stopEvent_ = nullptr; // cuts the pause after a receive error short
};
