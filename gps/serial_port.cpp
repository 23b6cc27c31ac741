#include "serial_port.h"

#include "debug_output.h"
#include "tick.h"

#include <cstdio>

CSerialPort::CSerialPort() = default;
CSerialPort::~CSerialPort() { ClosePort(); }

void CSerialPort::ProcessErrorMessage(const char* step, DWORD error) {
    // Kept for whoever watches the debug output; the user is not shown it.
    DebugPrintf("WARNING:  %s Failed with the following error: \n%s\nPort: %d\n", step,
                SystemErrorText(error).c_str(), static_cast<int>(portNumber_));
}

bool CSerialPort::InitPort(uint32_t portNumber, uint32_t baudRate, uint8_t parity, uint8_t dataBits,
                           uint8_t stopBits, DWORD eventMask, uint32_t readBufferBytes) {
    ClosePort();
    stopEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    receiveEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InitializeCriticalSection(&section_);
    sectionReady_ = true;
    if (!stopEvent_ || !receiveEvent_ || !writeEvent_) {
        ClosePort();
        return false;
    }
    // The order is the thread's answer to a wait: stop first.
    events_[0] = stopEvent_;
    events_[1] = receiveEvent_;
    events_[2] = writeEvent_;
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = receiveEvent_;
    portNumber_ = portNumber;
    eventMask_ = eventMask;
    readBuffer_.assign(readBufferBytes ? readBufferBytes : 1, 0);

    {
        CriticalSectionLock lock(section_);
        WCHAR name[24];
        char narrow[24];
        // "COM%d" in the device namespace, which also reaches COM10 and above.
        int n = std::snprintf(narrow, sizeof narrow, "\\\\.\\COM%u", static_cast<unsigned>(portNumber));
        for (int i = 0; i <= n; ++i) name[i] = static_cast<WCHAR>(narrow[i]);
        port_ = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
        if (port_ == INVALID_HANDLE_VALUE) {
            ProcessErrorMessage("CreateFile()", GetLastError());
        } else {
            timeouts_ = COMMTIMEOUTS{1000, 1000, 1000, 1000, 1000};
            if (!SetCommTimeouts(port_, &timeouts_)) ProcessErrorMessage("SetCommTimeouts()", GetLastError());
            if (!SetCommMask(port_, eventMask_)) ProcessErrorMessage("SetCommMask()", GetLastError());
            if (!GetCommState(port_, &dcb_)) ProcessErrorMessage("GetCommState()", GetLastError());
            dcb_.BaudRate = baudRate;
            dcb_.Parity = parity;
            dcb_.ByteSize = dataBits;
            dcb_.StopBits = stopBits;
            dcb_.fRtsControl = RTS_CONTROL_ENABLE;
            if (!SetCommState(port_, &dcb_)) ProcessErrorMessage("SetCommState()", GetLastError());
        }
    }
    if (port_ == INVALID_HANDLE_VALUE) {
        ClosePort();
        return false;
    }
    PurgeComm(port_, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    threadAlive_ = true;
    thread_ = CreateThread(nullptr, 0, CommThread, this, 0, nullptr);
    if (!thread_) {
        threadAlive_ = false;
        ClosePort();
        return false;
    }
    return true;
}

void CSerialPort::ClosePort() {
    if (thread_) {
        // The thread may be inside a delivery: keep telling it for a while.
        DWORD start = GetTickCount();
        do {
            SetEvent(stopEvent_);
        } while (WaitForSingleObject(thread_, 1) == WAIT_TIMEOUT && GetTickCount() - start < 100);
        if (WaitForSingleObject(thread_, 1000) == WAIT_TIMEOUT) {
            DebugPrintf("CSerialPort: the port thread of COM%u did not end\n",
                        static_cast<unsigned>(portNumber_));
            // Where a thread cannot be ended from outside, its port and
            // events stay until it ends by itself.
            if (!TerminateThread(thread_, 0)) WaitForSingleObject(thread_, INFINITE);
        }
        CloseHandle(thread_);
        thread_ = nullptr;
        threadAlive_ = false;
    }
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    port_ = INVALID_HANDLE_VALUE;
    for (HANDLE* event : {&stopEvent_, &receiveEvent_, &writeEvent_}) {
        if (*event) CloseHandle(*event);
        *event = nullptr;
    }
    if (sectionReady_) DeleteCriticalSection(&section_);
    sectionReady_ = false;
    readBuffer_.clear();
    readBuffer_.shrink_to_fit();
}

DWORD WINAPI CSerialPort::CommThread(LPVOID parameter) {
    auto* self = static_cast<CSerialPort*>(parameter);
    for (;;) {
        if (!WaitCommEvent(self->port_, &self->commEvents_, &self->overlapped_)) {
            DWORD error = GetLastError();
            // Pending is the usual answer; invalid parameter means a wait is still running.
            if (error != ERROR_IO_PENDING && error != ERROR_INVALID_PARAMETER)
                self->ProcessErrorMessage("WaitCommEvent()", error);
        }
        DWORD which = WaitForMultipleObjects(3, self->events_, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0 + 1) {
            self->ReceiveChars();
        } else if (which == WAIT_OBJECT_0 + 2) {
            ResetEvent(self->writeEvent_); // the receiver only reads: no output is ever pending
        } else {
            break; // stop, or the events are gone
        }
    }
    self->threadAlive_ = false;
    return 0;
}

void CSerialPort::ReceiveChars() {
    for (;;) {
        // A flood of input does not hold off a stop.
        if (WaitForSingleObject(stopEvent_, 0) == WAIT_OBJECT_0) return;
        uint8_t byte = 0;
        bool got = false;
        {
            CriticalSectionLock lock(section_);
            COMSTAT status{};
            DWORD errors = 0;
            if (!ClearCommError(port_, &errors, &status) || status.cbInQue == 0) return;
            DWORD read = 0;
            if (ReadFile(port_, readBuffer_.data(), 1, &read, &overlapped_)) {
                got = read == 1;
            } else if (GetLastError() == ERROR_IO_PENDING) {
                if (GetOverlappedResult(port_, &overlapped_, &read, TRUE))
                    got = read == 1;
                else
                    ProcessErrorMessage("GetOverlappedResults() in ReadFile()", GetLastError());
            } else {
                ProcessErrorMessage("ReadFile()", GetLastError());
            }
            if (!got) return; // a failed read ends this round; the next port event starts another
            byte = readBuffer_[0];
        }
        OnReceiveChar(byte);
    }
}
