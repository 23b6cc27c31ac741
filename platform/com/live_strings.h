// The number of BSTRs alive in this process, for leak checks in tests.
// -1 where the system's own allocator is used and cannot be counted.
#pragma once

#include <cstdint>

int64_t LiveBstrCount();
