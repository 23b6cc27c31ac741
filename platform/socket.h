// IPv4 UDP sockets with the Winsock names and error numbers.
#pragma once

#include <varel/vts_platform.h>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>

typedef int SOCKET;
#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

// Winsock error numbers, as WSAGetLastError reports them.
#define WSAEINTR 10004
#define WSAEBADF 10009
#define WSAEACCES 10013
#define WSAEFAULT 10014
#define WSAEINVAL 10022
#define WSAEMFILE 10024
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEMSGSIZE 10040
#define WSAEAFNOSUPPORT 10047
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049
#define WSAENETDOWN 10050
#define WSAENETUNREACH 10051
#define WSAECONNRESET 10054
#define WSAENOBUFS 10055
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEHOSTUNREACH 10065
#define WSANOTINITIALISED 10093

// The socket layer a host starts before any socket is opened. BSD sockets
// need no start: these answer 0 and fill in version 2.2.
#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | ((WORD)((BYTE)(high))) << 8))
struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
};
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();

// Closes the socket; a thread blocked in recvfrom on it returns at once
// (0 bytes or SOCKET_ERROR), as closesocket does on Windows.
int closesocket(SOCKET socket);
// The Winsock number of the calling thread's last socket error.
int WSAGetLastError();
#endif

// Wakes a thread blocked in recvfrom on the socket (it returns 0 or
// SOCKET_ERROR) while the socket number stays taken, so the thread can be
// waited for before closesocket releases the number for reuse.
int WakeSocketReceivers(SOCKET socket);

// An IPv4 address and port ("192.168.253.231", 2001); the address part is
// INADDR_ANY when dotted is not a dotted quad.
sockaddr_in Ipv4Endpoint(const char* dotted, uint16_t port);

// Receive time-out in milliseconds (0 = wait forever); 0 or SOCKET_ERROR.
int SetSocketReceiveTimeout(SOCKET socket, DWORD timeoutMs);

// Waits at most timeoutMs (0: only looks) for a datagram to read; true as
// soon as one is there (or the socket has been woken or fails, so that
// recvfrom returns at once), false when the time ran out first.
bool WaitForDatagram(SOCKET socket, DWORD timeoutMs);
