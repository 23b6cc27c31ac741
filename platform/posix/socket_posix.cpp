// Winsock names over BSD sockets.
#include "socket.h"

#include <cerrno>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

bool WaitForDatagram(SOCKET socket, DWORD timeoutMs) {
    // poll, not select: a host with many files open may give the socket a
    // number past what an fd_set holds.
    pollfd look{socket, POLLIN, 0};
    return poll(&look, 1, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs)) > 0;
}

int WSAStartup(WORD, WSADATA* data) {
    if (!data) return WSAEFAULT;
    data->wVersion = data->wHighVersion = MAKEWORD(2, 2);
    return 0;
}

int WSACleanup() { return 0; }

int closesocket(SOCKET socket) {
    // shutdown wakes a thread blocked in recvfrom, as closing does on Windows.
    shutdown(socket, SHUT_RDWR);
    return close(socket) == 0 ? 0 : SOCKET_ERROR;
}

int WakeSocketReceivers(SOCKET socket) {
    // On an unconnected datagram socket shutdown answers ENOTCONN, yet it
    // marks the socket shut and wakes every receiver: that is all it is for here.
    shutdown(socket, SHUT_RDWR);
    return 0;
}

int WSAGetLastError() {
    switch (errno) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAETIMEDOUT; // a receive time-out, as Winsock reports it
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNRESET; // a port-unreachable answer, as Winsock names it
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
    }
}

int SetSocketReceiveTimeout(SOCKET socket, DWORD timeoutMs) {
    timeval tv{static_cast<time_t>(timeoutMs / 1000), static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : SOCKET_ERROR;
}
