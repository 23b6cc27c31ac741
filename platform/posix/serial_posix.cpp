// Serial ports over termios. A port handle owns the file descriptor and one
// watcher thread that completes an overlapped WaitCommEvent when input
// arrives or the device goes away.
#include "posix/serial_termios.h"
#include "posix/waitable.h"
#include "serial.h"
#include "text.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

struct BaudEntry {
    DWORD baud;
    speed_t speed;
};
constexpr BaudEntry kBauds[] = {{110, B110},       {300, B300},      {600, B600},       {1200, B1200},
                                {2400, B2400},     {4800, B4800},    {9600, B9600},     {19200, B19200},
                                {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                                {460800, B460800}, {921600, B921600}};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

DWORD ErrorOfErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EIO:
    case EBADF: return ERROR_BAD_COMMAND;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

// "COMn" or "\\.\COMn", any case; 0 when the name is neither.
int PortNumber(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
    if (rest.size() < 4 || (rest[0] | 0x20) != 'c' || (rest[1] | 0x20) != 'o' || (rest[2] | 0x20) != 'm')
        return 0;
    int number = 0;
    for (size_t i = 3; i < rest.size(); ++i) {
        if (rest[i] < '0' || rest[i] > '9' || number > 9999) return 0;
        number = number * 10 + (rest[i] - '0');
    }
    return number;
}

class SerialDevice : public HandleResource {
public:
    SerialDevice(int fd, int wakeRead, int wakeWrite) : fd_(fd), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {
        termios settings{};
        tcgetattr(fd_, &settings);
        dcb_.DCBlength = sizeof dcb_;
        dcb_.fBinary = 1;
        ReadDcbFromTermios(settings, &dcb_);
        watcher_ = std::thread([this] { Watch(); });
    }
    ~SerialDevice() override { Close(); }

    void Close() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return;
            closed_ = true;
            if (pending_) Complete(ERROR_OPERATION_ABORTED, 0);
        }
        changed_.notify_all();
        Wake();
        watcher_.join();
        close(fd_);
        close(wakeRead_);
        close(wakeWrite_);
    }

    BOOL GetState(DCB* dcb) {
        std::lock_guard<std::mutex> lock(mutex_);
        *dcb = dcb_;
        return TRUE;
    }

    BOOL SetState(const DCB& dcb) {
        std::lock_guard<std::mutex> lock(mutex_);
        termios settings{};
        if (tcgetattr(fd_, &settings) != 0) return Fail(ErrorOfErrno(errno));
        if (DWORD error = ApplyDcbToTermios(dcb, &settings)) return Fail(error);
        if (tcsetattr(fd_, TCSANOW, &settings) != 0) return Fail(ErrorOfErrno(errno));
        // A pseudo-terminal has no modem lines; a real port raises RTS here.
        int rts = TIOCM_RTS;
        if (dcb.fRtsControl == RTS_CONTROL_ENABLE) ioctl(fd_, TIOCMBIS, &rts);
        if (dcb.fRtsControl == RTS_CONTROL_DISABLE) ioctl(fd_, TIOCMBIC, &rts);
        dcb_ = dcb;
        ReadDcbFromTermios(settings, &dcb_);
        return TRUE;
    }

    BOOL GetTimeouts(COMMTIMEOUTS* timeouts) {
        std::lock_guard<std::mutex> lock(mutex_);
        *timeouts = timeouts_;
        return TRUE;
    }
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) {
        std::lock_guard<std::mutex> lock(mutex_);
        timeouts_ = timeouts;
        return TRUE;
    }
    BOOL GetMask(DWORD* mask) {
        std::lock_guard<std::mutex> lock(mutex_);
        *mask = mask_;
        return TRUE;
    }

    BOOL SetMask(DWORD mask) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            mask_ = mask;
            // A new mask ends the wait in progress with no event.
            if (pending_) Complete(0, 0);
        }
        Wake();
        return TRUE;
    }

    BOOL WaitEvent(DWORD* mask, OVERLAPPED* overlapped) {
        if (!overlapped) {
            // Waits on the calling thread through an overlapped wait of its own.
            OVERLAPPED own{};
            own.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!own.hEvent) return Fail(ERROR_NOT_ENOUGH_MEMORY);
            DWORD done = 0;
            BOOL ok =
                WaitEvent(mask, &own) || (GetLastError() == ERROR_IO_PENDING && GetResult(&own, &done, TRUE));
            DWORD error = GetLastError();
            CloseHandle(own.hEvent);
            SetLastError(error);
            return ok;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return Fail(ERROR_INVALID_HANDLE);
            if (pending_) return Fail(ERROR_INVALID_PARAMETER); // one wait at a time
            ResetEvent(overlapped->hEvent);
            pollfd probe{fd_, POLLIN, 0};
            poll(&probe, 1, 0);
            if (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) return Fail(ERROR_BAD_COMMAND);
            if ((mask_ & EV_RXCHAR) && (probe.revents & POLLIN)) {
                *mask = EV_RXCHAR;
                overlapped->Internal = 0;
                overlapped->InternalHigh = 0;
                SetEvent(overlapped->hEvent);
                return TRUE;
            }
            pending_ = overlapped;
            pendingMask_ = mask;
        }
        changed_.notify_all();
        return Fail(ERROR_IO_PENDING);
    }

    BOOL Queued(DWORD* errors, COMSTAT* status) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (errors) *errors = 0;
        pollfd probe{fd_, POLLIN, 0};
        poll(&probe, 1, 0);
        if (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) return Fail(ERROR_BAD_COMMAND);
        int queued = 0;
        if (ioctl(fd_, FIONREAD, &queued) != 0) return Fail(ErrorOfErrno(errno));
        if (status) *status = COMSTAT{0, static_cast<DWORD>(queued), 0};
        return TRUE;
    }

    BOOL Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) {
        COMMTIMEOUTS timeouts;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return Fail(ERROR_INVALID_HANDLE);
            timeouts = timeouts_;
            if (overlapped) ResetEvent(overlapped->hEvent);
        }
        ssize_t n = read(fd_, buffer, count);
        if (n < 0 && errno == EAGAIN && count > 0) {
            int waitMs = static_cast<int>(timeouts.ReadTotalTimeoutConstant +
                                          timeouts.ReadTotalTimeoutMultiplier * count);
            pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
            poll(fds, 2, waitMs);
            n = read(fd_, buffer, count);
            if (n < 0 && errno == EAGAIN) n = 0; // the time-out ends the read with nothing
        }
        if (n < 0) return Fail(ErrorOfErrno(errno));
        return Finish(static_cast<DWORD>(n), done, overlapped);
    }

    BOOL Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) {
        COMMTIMEOUTS timeouts;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return Fail(ERROR_INVALID_HANDLE);
            timeouts = timeouts_;
            if (overlapped) ResetEvent(overlapped->hEvent);
        }
        DWORD written = 0;
        while (written < count) {
            ssize_t n = write(fd_, static_cast<const uint8_t*>(buffer) + written, count - written);
            if (n < 0 && errno == EAGAIN) {
                int waitMs = static_cast<int>(timeouts.WriteTotalTimeoutConstant +
                                              timeouts.WriteTotalTimeoutMultiplier * count);
                pollfd out{fd_, POLLOUT, 0};
                if (poll(&out, 1, waitMs) <= 0) break; // time-out: what went is reported
                continue;
            }
            if (n < 0) return Fail(ErrorOfErrno(errno));
            written += static_cast<DWORD>(n);
        }
        return Finish(written, done, overlapped);
    }

    BOOL GetResult(OVERLAPPED* overlapped, DWORD* done, BOOL wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (pending_ == overlapped) {
            if (!wait) return Fail(996); // ERROR_IO_INCOMPLETE
            lock.unlock();
            WaitForSingleObject(overlapped->hEvent, INFINITE);
            lock.lock();
        }
        if (done) *done = static_cast<DWORD>(overlapped->InternalHigh);
        if (overlapped->Internal != 0) return Fail(static_cast<DWORD>(overlapped->Internal));
        return TRUE;
    }

    BOOL Purge(DWORD flags) {
        int queue = -1;
        if ((flags & PURGE_RXCLEAR) && (flags & PURGE_TXCLEAR))
            queue = TCIOFLUSH;
        else if (flags & PURGE_RXCLEAR)
            queue = TCIFLUSH;
        else if (flags & PURGE_TXCLEAR)
            queue = TCOFLUSH;
        // Reads and writes finish at once here: there is nothing to abort.
        if (queue >= 0 && tcflush(fd_, queue) != 0) return Fail(ErrorOfErrno(errno));
        return TRUE;
    }

private:
    BOOL Finish(DWORD n, DWORD* done, OVERLAPPED* overlapped) {
        if (done) *done = n;
        if (overlapped) {
            std::lock_guard<std::mutex> lock(mutex_);
            overlapped->Internal = 0;
            overlapped->InternalHigh = n;
            SetEvent(overlapped->hEvent);
        }
        return TRUE;
    }

    // Under mutex_: ends the pending wait.
    void Complete(DWORD status, DWORD events) {
        *pendingMask_ = events;
        pending_->Internal = status;
        pending_->InternalHigh = 0;
        HANDLE event = pending_->hEvent;
        pending_ = nullptr;
        pendingMask_ = nullptr;
        SetEvent(event);
    }

    void Wake() {
        char byte = 1;
        [[maybe_unused]] ssize_t n = write(wakeWrite_, &byte, 1);
    }

    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return closed_ || pending_; });
            if (closed_) return;
            short events = (mask_ & EV_RXCHAR) ? POLLIN : 0;
            lock.unlock();
            pollfd fds[2] = {{fd_, events, 0}, {wakeRead_, POLLIN, 0}};
            poll(fds, 2, -1);
            if (fds[1].revents & POLLIN) {
                char drain[64];
                [[maybe_unused]] ssize_t n = read(wakeRead_, drain, sizeof drain);
            }
            lock.lock();
            if (!pending_) continue; // ended meanwhile (new mask, close)
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
                Complete(ERROR_BAD_COMMAND, 0);
            else if (fds[0].revents & POLLIN)
                Complete(0, EV_RXCHAR);
        }
    }

    const int fd_, wakeRead_, wakeWrite_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool closed_ = false;
    DCB dcb_{};
    COMMTIMEOUTS timeouts_{};
    DWORD mask_ = 0;
    OVERLAPPED* pending_ = nullptr;
    DWORD* pendingMask_ = nullptr;
    std::thread watcher_;
};

std::shared_ptr<SerialDevice> DeviceOf(HANDLE port) {
    auto device = std::dynamic_pointer_cast<SerialDevice>(HandleResourceOf(port));
    if (!device) SetLastError(ERROR_INVALID_HANDLE);
    return device;
}

} // namespace

DWORD ApplyDcbToTermios(const DCB& dcb, termios* settings) {
    speed_t speed = 0;
    for (const BaudEntry& entry : kBauds)
        if (entry.baud == dcb.BaudRate) speed = entry.speed;
    if (speed == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
        return ERROR_INVALID_PARAMETER;
    // 1.5 stop bits exist only with 5 data bits, 2 only with 6 to 8; the
    // hardware sends 1.5 where termios asks for two with 5 data bits.
    if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
    if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return ERROR_INVALID_PARAMETER;
    tcflag_t cflag = settings->c_cflag & ~(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    cflag &= ~CMSPAR;
#endif
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    cflag |= sizes[dcb.ByteSize - 5] | CLOCAL | CREAD;
    switch (dcb.Parity) {
    case NOPARITY: break;
    case ODDPARITY: cflag |= PARENB | PARODD; break;
    case EVENPARITY: cflag |= PARENB; break;
#ifdef CMSPAR
    case MARKPARITY: cflag |= PARENB | PARODD | CMSPAR; break;
    case SPACEPARITY: cflag |= PARENB | CMSPAR; break;
#endif
    default: return ERROR_INVALID_PARAMETER; // no stick parity on this system
    }
    if (dcb.StopBits != ONESTOPBIT) cflag |= CSTOPB;
    settings->c_cflag = cflag;
    cfsetispeed(settings, speed);
    cfsetospeed(settings, speed);
    return 0;
}

void ReadDcbFromTermios(const termios& settings, DCB* dcb) {
    speed_t speed = cfgetospeed(&settings);
    for (const BaudEntry& entry : kBauds)
        if (entry.speed == speed) dcb->BaudRate = entry.baud;
    switch (settings.c_cflag & CSIZE) {
    case CS5: dcb->ByteSize = 5; break;
    case CS6: dcb->ByteSize = 6; break;
    case CS7: dcb->ByteSize = 7; break;
    default: dcb->ByteSize = 8; break;
    }
    tcflag_t c = settings.c_cflag;
    bool odd = c & PARODD, stick = false;
#ifdef CMSPAR
    stick = c & CMSPAR;
#endif
    dcb->Parity = !(c & PARENB) ? NOPARITY
                  : stick       ? (odd ? MARKPARITY : SPACEPARITY)
                  : odd         ? ODDPARITY
                                : EVENPARITY;
    dcb->fParity = (c & PARENB) ? 1 : 0;
    dcb->StopBits = !(c & CSTOPB) ? ONESTOPBIT : dcb->ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
}

HANDLE CreateFileW(LPCWSTR name, DWORD, DWORD share, void*, DWORD creation, DWORD, HANDLE) {
    int number = name ? PortNumber(Utf16ToUtf8(WideStringView(name))) : 0;
    if (number < 1) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (share != 0 || creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string variable = "VARELTSS_COM" + std::to_string(number);
    const char* mapped = std::getenv(variable.c_str());
    std::string path = mapped && *mapped ? mapped : "/dev/ttyS" + std::to_string(number - 1);

    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(ErrorOfErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    termios settings{};
    DWORD error = 0;
    if (!isatty(fd) || tcgetattr(fd, &settings) != 0)
        error = ERROR_FILE_NOT_FOUND; // not a serial device
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = ERROR_ACCESS_DENIED; // open elsewhere: ports are exclusive
    if (!error) {
        cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (tcsetattr(fd, TCSANOW, &settings) != 0) error = ErrorOfErrno(errno);
    }
    int wake[2] = {-1, -1};
    if (!error && pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) error = ErrorOfErrno(errno);
    HANDLE handle = nullptr;
    if (!error) {
        try {
            handle = NewResourceHandle(std::make_shared<SerialDevice>(fd, wake[0], wake[1]));
        } catch (const std::exception&) {
            handle = nullptr;
        }
        if (!handle) error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error) {
        close(fd);
        if (wake[0] >= 0) close(wake[0]);
        if (wake[1] >= 0) close(wake[1]);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

BOOL GetCommState(HANDLE port, DCB* dcb) {
    auto device = DeviceOf(port);
    if (!device || !dcb) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->GetState(dcb);
}

BOOL SetCommState(HANDLE port, const DCB* dcb) {
    auto device = DeviceOf(port);
    if (!device || !dcb) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->SetState(*dcb);
}

BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) {
    auto device = DeviceOf(port);
    if (!device || !timeouts) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->GetTimeouts(timeouts);
}

BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts) {
    auto device = DeviceOf(port);
    if (!device || !timeouts) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->SetTimeouts(*timeouts);
}

BOOL GetCommMask(HANDLE port, DWORD* mask) {
    auto device = DeviceOf(port);
    if (!device || !mask) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->GetMask(mask);
}

BOOL SetCommMask(HANDLE port, DWORD mask) {
    auto device = DeviceOf(port);
    return device ? device->SetMask(mask) : FALSE;
}

BOOL WaitCommEvent(HANDLE port, DWORD* mask, OVERLAPPED* overlapped) {
    auto device = DeviceOf(port);
    if (!device || !mask) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->WaitEvent(mask, overlapped);
}

BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status) {
    auto device = DeviceOf(port);
    return device ? device->Queued(errors, status) : FALSE;
}

BOOL ReadFile(HANDLE port, void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) {
    auto device = DeviceOf(port);
    if (!device || (!buffer && count)) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->Read(buffer, count, done, overlapped);
}

BOOL WriteFile(HANDLE port, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped) {
    auto device = DeviceOf(port);
    if (!device || (!buffer && count)) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->Write(buffer, count, done, overlapped);
}

BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* done, BOOL wait) {
    auto device = DeviceOf(port);
    if (!device || !overlapped) return device ? Fail(ERROR_INVALID_PARAMETER) : FALSE;
    return device->GetResult(overlapped, done, wait);
}

BOOL PurgeComm(HANDLE port, DWORD flags) {
    auto device = DeviceOf(port);
    return device ? device->Purge(flags) : FALSE;
}

std::string SystemErrorText(DWORD error) {
    switch (error) {
    case 0: return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
    case ERROR_BAD_COMMAND: return "The device does not recognize the command.";
    case ERROR_GEN_FAILURE: return "A device attached to the system is not functioning.";
    case ERROR_NOT_SUPPORTED: return "The request is not supported.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_OPERATION_ABORTED:
        return "The I/O operation has been aborted because of either a thread exit or an application "
               "request.";
    case ERROR_IO_PENDING: return "Overlapped I/O operation is in progress.";
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "Unknown error %u.", static_cast<unsigned>(error));
        return text;
    }
    }
}
