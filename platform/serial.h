// Serial ports with the Win32 communications names: CreateFile on "COM%d",
// the line settings (DCB), time-outs, the event mask, overlapped
// WaitCommEvent and ReadFile, PurgeComm. Failures set GetLastError.
#pragma once

#include <varel/vts_platform.h>

#include "sync.h"
#include "thread.h"

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3u
#define FILE_FLAG_OVERLAPPED 0x40000000u

#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_BAD_COMMAND 22u
#define ERROR_GEN_FAILURE 31u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_PENDING 997u

// Line settings; only the fields a receiver needs are honoured (baud, parity,
// data bits, stop bits, RTS control), the others are kept as given.
struct DCB {
    DWORD DCBlength;
    DWORD BaudRate;
    DWORD fBinary : 1;
    DWORD fParity : 1;
    DWORD fOutxCtsFlow : 1;
    DWORD fOutxDsrFlow : 1;
    DWORD fDtrControl : 2;
    DWORD fDsrSensitivity : 1;
    DWORD fTXContinueOnXoff : 1;
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;
    DWORD fNull : 1;
    DWORD fRtsControl : 2;
    DWORD fAbortOnError : 1;
    DWORD fDummy2 : 17;
    WORD wReserved;
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;
    BYTE Parity;
    BYTE StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28, "DCB is 28 bytes");

#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4
#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2
#define RTS_CONTROL_DISABLE 0
#define RTS_CONTROL_ENABLE 1

// Milliseconds; a read waits at most
// ReadTotalTimeoutConstant + ReadTotalTimeoutMultiplier × bytes asked.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};

struct COMSTAT {
    DWORD fFlags; // hold states; always 0 here
    DWORD cbInQue;
    DWORD cbOutQue;
};

// Internal holds the completion status (0 or an error number), InternalHigh
// the bytes moved; hEvent is reset when an operation starts and set when it ends.
struct OVERLAPPED {
    uintptr_t Internal;
    uintptr_t InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

// Port events (SetCommMask, WaitCommEvent). Only EV_RXCHAR is reported here;
// the other bits are accepted and never fire.
#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u

#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

// Opens a serial port by its name "COMn" or "\\.\COMn" (n from 1). COMn is
// the device /dev/ttyS<n-1>, unless the environment variable VARELTSS_COM<n>
// names another device path (a pseudo-terminal, /dev/ttyUSB0). The port is
// put in raw mode. Other names: INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND.
// share must be 0 (exclusive; a port open elsewhere: ERROR_ACCESS_DENIED),
// creation OPEN_EXISTING. Close the handle with CloseHandle, which also ends
// a pending WaitCommEvent (ERROR_OPERATION_ABORTED).
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD creation, DWORD flags,
                   HANDLE templateFile);

BOOL GetCommState(HANDLE port, DCB* dcb);
// ERROR_INVALID_PARAMETER for a baud rate the line cannot take, data bits
// outside 5..8, 1.5 stop bits with other than 5 data bits, 2 stop bits with
// 5, and mark or space parity where the system has no stick parity.
BOOL SetCommState(HANDLE port, const DCB* dcb);
BOOL GetCommTimeouts(HANDLE port, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE port, const COMMTIMEOUTS* timeouts);
BOOL GetCommMask(HANDLE port, DWORD* mask);
BOOL SetCommMask(HANDLE port, DWORD mask);

// Waits for one of the mask's events. With overlapped: TRUE when one is there
// already (*mask set, hEvent set), else FALSE with ERROR_IO_PENDING and
// hEvent set later; a port that has gone: FALSE with ERROR_BAD_COMMAND.
// Without overlapped: waits on the calling thread.
BOOL WaitCommEvent(HANDLE port, DWORD* mask, OVERLAPPED* overlapped);
// Input bytes queued (cbInQue); FALSE with ERROR_BAD_COMMAND once the port has gone.
BOOL ClearCommError(HANDLE port, DWORD* errors, COMSTAT* status);
// Reads up to count bytes, waiting at most the read time-outs. Reads finish
// at once here (TRUE, hEvent set, *done the bytes read; 0 after a time-out).
BOOL ReadFile(HANDLE port, void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE port, const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped);
// The outcome of an overlapped operation; wait TRUE waits for it to end.
// ERROR_IO_PENDING while it runs and wait is FALSE.
BOOL GetOverlappedResult(HANDLE port, OVERLAPPED* overlapped, DWORD* done, BOOL wait);
BOOL PurgeComm(HANDLE port, DWORD flags);
#endif

// The system's text for an error number (FormatMessage), without a trailing line break.
std::string SystemErrorText(DWORD error);
