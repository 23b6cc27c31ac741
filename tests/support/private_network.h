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
