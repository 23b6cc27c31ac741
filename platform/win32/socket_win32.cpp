// Winsock is the system's; waking a receiver is done here.
#include "socket.h"

bool WaitForDatagram(SOCKET socket, DWORD timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000 * 1000)};
    // The first argument is ignored by Winsock. A failed select (a socket
    // closed meanwhile) counts as readable: recvfrom then reports the error.
    return select(0, &readable, nullptr, nullptr, &wait) != 0;
}

int WakeSocketReceivers(SOCKET socket) {
    // Winsock wakes a blocked recvfrom only by closing the socket, which would
    // free its number; an empty datagram to the socket's own address wakes it
    // instead (it returns 0). Nothing leaves the machine: the address is local.
    sockaddr_in self{};
    int length = sizeof self;
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&self), &length) != 0) return SOCKET_ERROR;
    if (self.sin_addr.s_addr == htonl(INADDR_ANY)) self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char none = 0;
    return sendto(socket, &none, 0, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self) == 0
               ? 0
               : SOCKET_ERROR;
}

int SetSocketReceiveTimeout(SOCKET socket, DWORD timeoutMs) {
    return setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                      sizeof timeoutMs) == 0
               ? 0
               : SOCKET_ERROR;
}
