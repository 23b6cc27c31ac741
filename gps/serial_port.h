// A serial port read on a thread of its own: every byte that arrives is
// handed to OnReceiveChar on that thread.
#pragma once

#include <varel/vts_platform.h>

#include "serial.h"
#include "sync.h"
#include "thread.h"

#include <atomic>
#include <cstdint>
#include <vector>

class CSerialPort {
public:
    CSerialPort();
    // Slot 0: one received byte, on the port thread, outside the port's lock.
    virtual void OnReceiveChar(uint8_t byte) = 0;
    // Slot 1: closes the port (ClosePort).
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Closes an open port, then opens "COM<portNumber>" with the line
    // settings (parity and stopBits as the DCB codes: NOPARITY.., ONESTOPBIT..),
    // the event mask and a read buffer of readBufferBytes; a failing setting
    // is logged and opening goes on. true when the port thread runs.
    bool InitPort(uint32_t portNumber, uint32_t baudRate, uint8_t parity, uint8_t dataBits, uint8_t stopBits,
                  DWORD eventMask = EV_RXCHAR | EV_CTS, uint32_t readBufferBytes = 512);
    // Stops the port thread (100 ms of stop signals, then 1000 ms of waiting)
    // and closes the port; nothing happens when no port is open.
    void ClosePort();
    bool ThreadRunning() const { return threadAlive_.load(); }
    uint32_t PortNumber() const { return portNumber_; }

private:
    static DWORD WINAPI CommThread(LPVOID self);
    void ReceiveChars();
    // The warning text of a failed step, with the system's error text.
    void ProcessErrorMessage(const char* step, DWORD error);

    HANDLE thread_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE receiveEvent_ = nullptr;
    HANDLE writeEvent_ = nullptr;
    HANDLE events_[3] = {};
    CRITICAL_SECTION section_;
    bool sectionReady_ = false;
    HANDLE port_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_{};
    DWORD commEvents_ = 0; // where a pending WaitCommEvent puts its events, even after the thread ended
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    std::vector<uint8_t> readBuffer_;
    uint32_t portNumber_ = 0;
    DWORD eventMask_ = 0;
    std::atomic<bool> threadAlive_{false};
};
