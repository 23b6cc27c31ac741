// The server's life cycle through the exports, with a real host window.
#include <varel/vts.h>

#include "api/server.h"
#include "thread.h"

#include <recording_host.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class ServerLife : public testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        VTS_DestroyServer();
        CoUninitialize();
    }
};

// The tester's receive thread hands the agent one message after another.
void TesterSends(const std::vector<uint16_t>& ids) {
    std::thread receiver([&ids] {
        for (uint16_t id : ids) Server().agent.OnDevUpMessage(0, 0, id, nullptr, 0);
    });
    receiver.join();
}

} // namespace

TEST_F(ServerLife, CreateOnceThenAlreadyCreated) {
    RecordingHost window;
    HRESULT first = VTS_CreateServer(window.Window());
    EXPECT_NE(first, S_FALSE);
    EXPECT_TRUE(Server().created);
    EXPECT_TRUE(Server().queue.IsRunning());
    EXPECT_EQ(VTS_CreateServer(window.Window()), S_FALSE) << "even when the first Create failed";
    EXPECT_EQ(VTS_DestroyServer(), S_OK);
    EXPECT_FALSE(Server().created);
    EXPECT_FALSE(Server().queue.IsRunning());
    EXPECT_EQ(VTS_DestroyServer(), S_OK) << "destroying twice is harmless";
}

TEST_F(ServerLife, NotificationsReachTheNewWindowInOrderAfterRecreate) {
    RecordingHost first;
    VTS_CreateServer(first.Window());
    TesterSends({0x0203});
    ASSERT_TRUE(first.Next().has_value());
    VTS_DestroyServer();

    RecordingHost second;
    VTS_CreateServer(second.Window());
    std::vector<uint16_t> ids;
    std::vector<uint32_t> expected, codes;
    for (int i = 0; i < 200; ++i) {
        ids.push_back(i % 2 ? 0x020C : 0x0203);
        expected.push_back(i % 2 ? 9 : 6);
    }
    TesterSends(ids);
    while (auto n = second.Next(codes.size() < 200 ? 5000 : 0)) codes.push_back(n->code);
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(first.Pending(), 0u) << "nothing goes to the old window";
}

TEST_F(ServerLife, TheDebugTraceWindowHearsOfEachCreate) {
    struct Trace {
        std::vector<uintptr_t> pids;
    } trace;
    HWND traceWindow = VTS_CreateHostWindow(
        OLESTR("VarelDbgTrace"),
        [](void* c, HWND, uint32_t message, uintptr_t wParam, intptr_t) -> intptr_t {
            if (message >= 0xC000) static_cast<Trace*>(c)->pids.push_back(wParam);
            return 0;
        },
        &trace);
    RecordingHost window;
    VTS_CreateServer(window.Window());
    VTS_DestroyServer();
    VTS_CreateServer(window.Window());
    ASSERT_EQ(trace.pids.size(), 2u);
    EXPECT_EQ(trace.pids[0], static_cast<uintptr_t>(GetCurrentProcessId()));
    VTS_DestroyHostWindow(traceWindow);
}

TEST_F(ServerLife, ExportsFromManyThreadsAreSerialised) {
    RecordingHost window;
    VTS_CreateServer(window.Window());
    std::vector<std::thread> hosts;
    for (int t = 0; t < 4; ++t)
        hosts.emplace_back([] {
            for (int i = 0; i < 200; ++i) {
                VTS_AskIoState();
                VARIANT v;
                VariantInit(&v);
                VTS_GetDeviceInfo(OLESTR("DEVBASEINFO.TestSampRate"), &v);
            }
        });
    for (auto& h : hosts) h.join();
    VTS_DestroyServer();
    VTS_CreateServer(window.Window());
    EXPECT_TRUE(Server().queue.IsRunning());
}

TEST_F(ServerLife, CalcEngineLivesFromCreateToDestroy) {
    ICalcEngine* engine = reinterpret_cast<ICalcEngine*>(1);
    EXPECT_EQ(VTS_GetCalcEngine(nullptr), E_POINTER);
    EXPECT_EQ(VTS_GetCalcEngine(&engine), E_NOINTERFACE) << "no engine before the server is created";
    EXPECT_EQ(engine, nullptr);
    RecordingHost window;
    ASSERT_EQ(VTS_CreateServer(window.Window()), S_OK) << "Create answers for the engine it made";
    ASSERT_EQ(VTS_GetCalcEngine(&engine), S_OK);
    float mag = 0, ang = 0;
    EXPECT_EQ(engine->Comp_Add(3, 0, 4, 90, &mag, &ang), S_OK);
    EXPECT_NEAR(mag, 5, 1e-5);
    ICalcEngine* again = nullptr;
    ASSERT_EQ(VTS_GetCalcEngine(&again), S_OK);
    EXPECT_EQ(again, engine) << "the agent holds one engine";
    again->Release();
    engine->Release();
    VTS_DestroyServer();
    EXPECT_EQ(VTS_GetCalcEngine(&engine), E_NOINTERFACE) << "released with the server";
}
