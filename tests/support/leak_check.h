// Counts BSTRs and COM objects across a test: each test must free what it made.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

class LeakCheck {
public:
    LeakCheck();
    // Call at the end of the test body.
    void ExpectNoLeaks() const;

private:
    int64_t strings_;
    int32_t objects_;
};
