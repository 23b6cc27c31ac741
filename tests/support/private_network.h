// Tests that open device sockets run only inside the private network
// namespace that the test runner makes (tools/netns-run).
#pragma once

#include <gtest/gtest.h>

// True when this process sees only loopback interfaces up, with 192.168.253.1
// on one of them.
bool InPrivateNetwork();

// Fails the test at once outside the namespace.
#define REQUIRE_PRIVATE_NETWORK() \
    ASSERT_TRUE(InPrivateNetwork()) << "device tests run only inside tools/netns-run (make test)"

// True when a UDP socket bound to one address sends from that address. Wine
// binds every UDP socket to all addresses, whatever address is asked for, so
// there a simulated device answers from the wrong address and two devices
// cannot share a port.
bool UdpBindsHoldTheirAddress();

// Skips a test that needs each simulated device to answer from its own address.
#define REQUIRE_ADDRESS_BOUND_UDP()                                                                 \
    do {                                                                                            \
        if (!UdpBindsHoldTheirAddress())                                                            \
            GTEST_SKIP() << "UDP sockets here are bound to every address (Wine), so a simulated "     \
                            "device cannot answer from its own address";                            \
    } while (0)
