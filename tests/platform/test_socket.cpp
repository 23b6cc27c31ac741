#include "socket.h"
#include "sync.h"
#include "thread.h"
#include "tick.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {
// A datagram socket bound to the loopback address on a port of the system's choice.
SOCKET LoopbackSocket(sockaddr_in* local) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return s;
    *local = sockaddr_in{};
    local->sin_family = AF_INET;
    local->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof *local;
    if (bind(s, reinterpret_cast<sockaddr*>(local), sizeof *local) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(local), &length) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}
} // namespace

TEST(Socket, WakingReceiversEndsABlockedRecvfromBeforeTheClose) {
    sockaddr_in local;
    SOCKET s = LoopbackSocket(&local);
    ASSERT_NE(s, INVALID_SOCKET);
    struct Receiver {
        SOCKET s;
        HANDLE inside = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::atomic<int> got{1};
    } receiver{s};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* r = static_cast<Receiver*>(p);
            char buffer[64];
            SetEvent(r->inside);
            r->got = static_cast<int>(recvfrom(r->s, buffer, sizeof buffer, 0, nullptr, nullptr));
            return 0;
        },
        &receiver, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(receiver.inside, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT) << "blocked until woken";
    WakeSocketReceivers(s);
    ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_LE(receiver.got.load(), 0);
    EXPECT_EQ(closesocket(s), 0);
    CloseHandle(thread);
    CloseHandle(receiver.inside);
}

TEST(Socket, TheWaitForADatagramSeesOneWaitingAndAWake) {
    sockaddr_in local;
    SOCKET s = LoopbackSocket(&local);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_FALSE(WaitForDatagram(s, 0)) << "nothing sent yet";
    const DWORD before = GetTickCount();
    EXPECT_FALSE(WaitForDatagram(s, 30));
    EXPECT_GE(GetTickCount() - before, 20u) << "the time-out is waited out";

    const char byte = 7;
    ASSERT_EQ(sendto(s, &byte, 1, 0, reinterpret_cast<sockaddr*>(&local), sizeof local), 1);
    EXPECT_TRUE(WaitForDatagram(s, 5000));
    char got = 0;
    ASSERT_EQ(recvfrom(s, &got, 1, 0, nullptr, nullptr), 1);
    EXPECT_EQ(got, 7);
    EXPECT_FALSE(WaitForDatagram(s, 0)) << "the datagram was taken";

    // A woken socket reads at once, so a thread waiting for a datagram ends
    // its wait when the socket is woken.
    WakeSocketReceivers(s);
    EXPECT_TRUE(WaitForDatagram(s, 5000));
    EXPECT_EQ(closesocket(s), 0);
}
