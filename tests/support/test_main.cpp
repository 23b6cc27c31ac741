// Every test program's main: a host starts the socket layer before the
// library opens a socket, so the tests do too; message boxes never wait for
// a button.
#include <gtest/gtest.h>

#include "message_boxes.h"
#include "socket.h"

int main(int argc, char** argv) {
    WSADATA sockets;
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) return 2;
    WriteMessageBoxesToStderr();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    WSACleanup();
    return result;
}
