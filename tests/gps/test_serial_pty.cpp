// The platform's serial ports on a pseudo-terminal: names, exclusivity, line
// settings, the overlapped event wait and reads, and a device that goes away.
#include "posix/serial_termios.h"
#include "serial.h"
#include "sync.h"
#include "thread.h"

#include "gps_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <termios.h>

namespace {

HANDLE Open(const char* name) {
    std::u16string wide(name, name + std::strlen(name));
    return CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

DCB Line(DWORD baud, BYTE parity, BYTE size, BYTE stop) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.Parity = parity;
    dcb.ByteSize = size;
    dcb.StopBits = stop;
    return dcb;
}

class OverlappedWait {
public:
    OverlappedWait() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~OverlappedWait() { CloseHandle(overlapped.hEvent); }
    OVERLAPPED overlapped{};
};

} // namespace

TEST(SerialNames, PortNamesMapToDevices) {
    PtyPair pty(7);
    ASSERT_TRUE(pty.Ok());
    for (const char* name : {"COM7", "\\\\.\\COM7", "com7"}) {
        SCOPED_TRACE(name);
        HANDLE port = Open(name);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_TRUE(CloseHandle(port));
    }
    const struct {
        const char* name;
        DWORD error;
    } refused[] = {{"COM0", ERROR_FILE_NOT_FOUND},
                   {"COM", ERROR_FILE_NOT_FOUND},
                   {"LPT1", ERROR_FILE_NOT_FOUND},
                   {"COM7x", ERROR_FILE_NOT_FOUND},
                   {"COM-1", ERROR_FILE_NOT_FOUND}};
    for (const auto& r : refused) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(Open(r.name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), r.error);
    }
    // Not a terminal: refused even when the variable names it.
    setenv("VARELTSS_COM8", "/dev/null", 1);
    EXPECT_EQ(Open("COM8"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    setenv("VARELTSS_COM8", "/nonexistent/tty", 1);
    EXPECT_EQ(Open("COM8"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    unsetenv("VARELTSS_COM8");
}

TEST(SerialNames, APortIsExclusive) {
    PtyPair pty(7);
    HANDLE first = Open("COM7");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("COM7"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(first);
    HANDLE again = Open("COM7");
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "free again after CloseHandle";
    CloseHandle(again);
}

TEST(SerialLine, SettingsBecomeTermiosFlags) {
    const struct {
        DCB dcb;
        DWORD error;
        tcflag_t flags; // of CSIZE | PARENB | PARODD | CSTOPB | CMSPAR
        speed_t speed;
    } cases[] = {
        {Line(9600, NOPARITY, 8, ONESTOPBIT), 0, CS8, B9600},
        {Line(4800, EVENPARITY, 8, ONESTOPBIT), 0, CS8 | PARENB, B4800},
        {Line(19200, ODDPARITY, 7, TWOSTOPBITS), 0, CS7 | PARENB | PARODD | CSTOPB, B19200},
        {Line(1200, NOPARITY, 5, ONE5STOPBITS), 0, CS5 | CSTOPB, B1200},
        {Line(115200, NOPARITY, 6, ONESTOPBIT), 0, CS6, B115200},
        {Line(9600, MARKPARITY, 8, ONESTOPBIT), 0, CS8 | PARENB | PARODD | CMSPAR, B9600},
        {Line(9600, SPACEPARITY, 8, ONESTOPBIT), 0, CS8 | PARENB | CMSPAR, B9600},
        {Line(14400, NOPARITY, 8, ONESTOPBIT), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(0, NOPARITY, 8, ONESTOPBIT), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(9600, NOPARITY, 4, ONESTOPBIT), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(9600, NOPARITY, 9, ONESTOPBIT), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(9600, 5, 8, ONESTOPBIT), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(9600, NOPARITY, 8, 3), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(9600, NOPARITY, 8, ONE5STOPBITS), ERROR_INVALID_PARAMETER, 0, 0},
        {Line(9600, NOPARITY, 5, TWOSTOPBITS), ERROR_INVALID_PARAMETER, 0, 0},
    };
    const tcflag_t kLineFlags = CSIZE | PARENB | PARODD | CSTOPB | CMSPAR;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dcb.BaudRate << " " << int(c.dcb.Parity) << " "
                                        << int(c.dcb.ByteSize) << " " << int(c.dcb.StopBits));
        termios settings{};
        cfmakeraw(&settings);
        settings.c_cflag |= CRTSCTS;
        termios before = settings;
        ASSERT_EQ(ApplyDcbToTermios(c.dcb, &settings), c.error);
        if (c.error) {
            EXPECT_EQ(0, std::memcmp(&settings, &before, sizeof settings)) << "unchanged";
            continue;
        }
        EXPECT_EQ(settings.c_cflag & kLineFlags, c.flags);
        EXPECT_TRUE(settings.c_cflag & CRTSCTS) << "other flags kept";
        EXPECT_EQ(cfgetospeed(&settings), c.speed);
        DCB back{};
        ReadDcbFromTermios(settings, &back);
        EXPECT_EQ(back.BaudRate, c.dcb.BaudRate);
        EXPECT_EQ(back.Parity, c.dcb.Parity);
        EXPECT_EQ(back.ByteSize, c.dcb.ByteSize);
        EXPECT_EQ(back.StopBits, c.dcb.StopBits);
    }
}

TEST(SerialLine, APseudoTerminalKeepsBaudAndStopBits) {
    PtyPair pty(7);
    HANDLE port = Open("COM7");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port, &dcb));
    DCB line = Line(4800, EVENPARITY, 8, TWOSTOPBITS);
    ASSERT_TRUE(SetCommState(port, &line));
    termios seen{};
    ASSERT_EQ(tcgetattr(pty.Master(), &seen), 0);
    EXPECT_EQ(cfgetospeed(&seen), B4800);
    EXPECT_TRUE(seen.c_cflag & CSTOPB);
    EXPECT_FALSE(seen.c_lflag & (ICANON | ECHO)) << "raw";
    DCB refused = Line(9600, NOPARITY, 8, ONE5STOPBITS);
    EXPECT_FALSE(SetCommState(port, &refused));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ASSERT_TRUE(GetCommState(port, &dcb));
    EXPECT_EQ(dcb.BaudRate, 4800u) << "a refused setting changes nothing";
    COMMTIMEOUTS timeouts{1000, 1000, 1000, 1000, 1000}, read{};
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
    ASSERT_TRUE(GetCommTimeouts(port, &read));
    EXPECT_EQ(read.ReadTotalTimeoutConstant, 1000u);
    CloseHandle(port);
}

TEST(SerialEvents, AWaitEndsWhenInputArrives) {
    PtyPair pty(7);
    HANDLE port = Open("COM7");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS));
    OverlappedWait wait;
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &wait.overlapped));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(wait.overlapped.hEvent, 0), WAIT_TIMEOUT);
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &wait.overlapped, &done, FALSE)) << "still running";
    DWORD second = 0;
    EXPECT_FALSE(WaitCommEvent(port, &second, &wait.overlapped));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "one wait at a time";

    pty.Write("AB");
    ASSERT_EQ(WaitForSingleObject(wait.overlapped.hEvent, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(port, &wait.overlapped, &done, TRUE));
    EXPECT_EQ(events, EV_RXCHAR);
    COMSTAT status{};
    DWORD errors = 1;
    ASSERT_TRUE(ClearCommError(port, &errors, &status));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(status.cbInQue, 2u);
    char bytes[4] = {};
    ASSERT_TRUE(ReadFile(port, bytes, 1, &done, &wait.overlapped));
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(bytes[0], 'A');
    // Input already queued ends the next wait at once.
    ASSERT_TRUE(WaitCommEvent(port, &events, &wait.overlapped));
    EXPECT_EQ(WaitForSingleObject(wait.overlapped.hEvent, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ReadFile(port, bytes, 4, &done, &wait.overlapped));
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(bytes[0], 'B');
    // A new mask ends a running wait with no event.
    ASSERT_FALSE(WaitCommEvent(port, &events, &wait.overlapped));
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    ASSERT_EQ(WaitForSingleObject(wait.overlapped.hEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(events, 0u);
    // Written bytes reach the receiver's side; purged input is gone.
    ASSERT_TRUE(WriteFile(port, "ok", 2, &done, &wait.overlapped));
    EXPECT_EQ(done, 2u);
    char echo[2];
    ASSERT_EQ(read(pty.Master(), echo, 2), 2);
    pty.Write("zz");
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR));
    ASSERT_TRUE(ClearCommError(port, &errors, &status));
    EXPECT_EQ(status.cbInQue, 0u);
    CloseHandle(port);
}

TEST(SerialEvents, ClosingEndsAWaitAndAHangupFailsIt) {
    PtyPair pty(7);
    HANDLE port = Open("COM7");
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    OverlappedWait wait;
    DWORD events = 0;
    ASSERT_FALSE(WaitCommEvent(port, &events, &wait.overlapped));
    pty.Hangup();
    ASSERT_EQ(WaitForSingleObject(wait.overlapped.hEvent, 5000), WAIT_OBJECT_0);
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &wait.overlapped, &done, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    EXPECT_FALSE(WaitCommEvent(port, &events, &wait.overlapped));
    EXPECT_EQ(GetLastError(), ERROR_BAD_COMMAND);
    COMSTAT status{};
    EXPECT_FALSE(ClearCommError(port, nullptr, &status));
    EXPECT_TRUE(CloseHandle(port));
    EXPECT_FALSE(CloseHandle(port)) << "a handle closes once";
    EXPECT_FALSE(SetCommMask(port, EV_RXCHAR));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    PtyPair other(6);
    HANDLE second = Open("COM6");
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(second, EV_RXCHAR));
    ASSERT_FALSE(WaitCommEvent(second, &events, &wait.overlapped));
    ASSERT_TRUE(CloseHandle(second)); // ends the wait: aborted
    EXPECT_EQ(WaitForSingleObject(wait.overlapped.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(wait.overlapped.Internal, ERROR_OPERATION_ABORTED);
}

TEST(WaitForMultiple, TheFirstSignalledObjectAnswers) {
    HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE automatic = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE both[2] = {manual, automatic};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT) << "auto-reset taken";
    SetEvent(manual);
    SetEvent(automatic);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0) << "manual stays set";
    ResetEvent(manual);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_FAILED);
    HANDLE bad[2] = {manual, reinterpret_cast<HANDLE>(0x1234)};
    EXPECT_EQ(WaitForMultipleObjects(2, bad, FALSE, 0), WAIT_FAILED);

    // Woken from another thread while waiting.
    struct Args {
        HANDLE event;
    } args{automatic};
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID p) -> DWORD { return SetEvent(static_cast<Args*>(p)->event) ? 0 : 1; }, &args,
        0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5000), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    HANDLE withThread[2] = {manual, thread};
    EXPECT_EQ(WaitForMultipleObjects(2, withThread, FALSE, 0), WAIT_OBJECT_0 + 1) << "an ended thread is set";
    EXPECT_FALSE(TerminateThread(thread, 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    CloseHandle(thread);
    CloseHandle(manual);
    CloseHandle(automatic);
}
