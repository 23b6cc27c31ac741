// select with a zero time-out is the one readiness look that Winsock and BSD
// sockets share.
#include "socket.h"

#include <chrono>
#include <thread>

namespace {
bool Readable(SOCKET socket) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval now{0, 0};
    // The first argument is ignored by Winsock. A failed select (a socket
    // closed meanwhile) counts as readable: recvfrom then reports the error.
    return select(static_cast<int>(socket) + 1, &readable, nullptr, nullptr, &now) != 0;
}
} // namespace

bool LookForDatagram(SOCKET socket, uint32_t microseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    for (;;) {
        if (Readable(socket)) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::yield();
    }
}
