// The parameter list running out of memory while a test begins: the list is
// dropped, the download lock is still released and the test still starts.
// Large allocations fail on the test's own thread only, so the simulated
// tester on its threads keeps working.
#include "module_fixture.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool t_largeAllocationsFail = false;
// The list of a full sequence passes it; nothing else on this thread does.
constexpr size_t kLarge = 64 * 1024;
} // namespace

// Every form that the program may pair, so that new and delete always meet.
void* operator new(size_t size) {
    if (t_largeAllocationsFail && size >= kLarge) throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    if (t_largeAllocationsFail && size >= kLarge) return nullptr;
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using ParamList = BenchTest;

TEST_F(ParamList, OutOfMemoryDropsTheListAndTheTestStillStarts) {
    Link(OLESTR("Varel.ZTXLTest.1"));
    Set("StateNumbers", VT_INT, 50);

    t_largeAllocationsFail = true;
    const HRESULT hr = VTS_BeginTest(document.Get());
    t_largeAllocationsFail = false;
    EXPECT_EQ(hr, S_OK);
    const sim::TesterRecord record = bench.Model().Record();
    EXPECT_TRUE(record.params.empty()) << "nothing of the unfinished list is sent";
    EXPECT_EQ(record.locks, (std::vector<uint32_t>{1, 0})) << "the lock is released all the same";
    EXPECT_EQ(record.testCommands, (std::vector<uint16_t>{0x0201, 0x0202}));

    // With memory back, the same document goes out whole.
    ASSERT_EQ(VTS_StopTest(0), S_OK);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().params.size(), 14u + 50u * (25 + 6 * 11 + 6 * 9));
}
