// The parameter list running out of memory while a test begins: the list is
// dropped, the download lock is still released and the test still starts.
// Large allocations fail on the test's own thread only, so the simulated
// tester on its threads keeps working.
#include "com/bstr.h"
#include "com/com_ptr.h"
#include "sim/tester_simulator.h"

#include <varel/vts.h>

#include <private_network.h>
#include <recording_host.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

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

namespace {

TEST(ParamList, OutOfMemoryDropsTheListAndTheTestStillStarts) {
    REQUIRE_PRIVATE_NETWORK();
    sim::TesterSimulator bench;
    std::string error;
    ASSERT_TRUE(bench.Start(&error)) << error;
    RecordingHost host;
    CoInitialize(nullptr);
    ASSERT_EQ(VTS_CreateServer(host.Window()), S_OK);
    ASSERT_EQ(VTS_LinkDevice(OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001")),
              S_OK);
    ASSERT_EQ(VTS_ActiveTest(OLESTR("Varel.ZTXLTest.1")), S_OK);
    ComPtr<IGenericData> document;
    ASSERT_EQ(CoCreateInstance(CLSID_GenericData, nullptr, CLSCTX_INPROC_SERVER, IID_IGenericData,
                               document.PutVoid()),
              S_OK);
    ASSERT_EQ(VTS_InitTestParams(document.Get(), OLESTR("Varel.ZTXLTest.1")), S_OK);
    ComPtr<IGenericDataNode> root;
    ASSERT_EQ(document->GetRootNode(root.Put()), S_OK);
    BStr path(OLESTR("TestParams.StateNumbers"));
    VARIANT fifty;
    fifty.vt = VT_INT;
    fifty.intVal = 50;
    ASSERT_EQ(root->SetChildValue(path.Get(), fifty), S_OK);

    t_largeAllocationsFail = true;
    const HRESULT hr = VTS_BeginTest(document.Get());
    t_largeAllocationsFail = false;
    EXPECT_EQ(hr, S_OK);
    const sim::TesterRecord record = bench.Model().Record();
    EXPECT_TRUE(record.params.empty()) << "nothing of the unfinished list is sent";
    ASSERT_EQ(record.locks.size(), 2u);
    EXPECT_EQ(record.locks[0], 1u);
    EXPECT_EQ(record.locks[1], 0u) << "the lock is released all the same";
    ASSERT_EQ(record.testCommands.size(), 2u);
    EXPECT_EQ(record.testCommands[0], 0x0201);
    EXPECT_EQ(record.testCommands[1], 0x0202);

    // With memory back, the same document goes out whole.
    ASSERT_EQ(VTS_StopTest(0), S_OK);
    ASSERT_EQ(VTS_BeginTest(document.Get()), S_OK);
    EXPECT_EQ(bench.Model().Record().params.size(), 14u + 50u * (25 + 6 * 11 + 6 * 9));

    root.Reset();
    document.Reset();
    VTS_DestroyServer();
    CoUninitialize();
}

} // namespace
