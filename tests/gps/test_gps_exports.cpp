// A host program's GPS time query: a receiver on a PC port (a
// pseudo-terminal) or read by the simulated tester, records reaching the
// host window as notification 21.
#include "sim/sim_gps_time.h"
#include "sim/tester_simulator.h"
#include "tick.h"

#include <varel/vts.h>

#include "gps_test_support.h"

#include <private_network.h>
#include <recording_host.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using sim::Bytes;

constexpr const WCHAR* kLink =
    OLESTR("PC-IP:192.168.253.1;PC-PORT:3000;DEV-IP:192.168.253.231;DEV-PORT:2001");
constexpr const WCHAR* kOnCom3 = OLESTR("GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8;");

class HostGps : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
        CoInitialize(nullptr);
        HRESULT created = VTS_CreateServer(host.Window());
        ASSERT_TRUE(created == S_OK || created == CO_E_CLASSSTRING) << std::hex << created;
    }
    void TearDown() override {
        VTS_DestroyServer();
        CoUninitialize();
    }
    void Link() {
        ASSERT_EQ(VTS_LinkDevice(kLink), S_OK);
        ASSERT_EQ(Next().code, 16u);
    }
    Notification Next() {
        auto n = host.Next();
        EXPECT_TRUE(n.has_value()) << "no notification";
        return n.value_or(Notification{0, 0, 0, 0, {}});
    }
    // The next notification is a time record: that one.
    SYSTEMTIME NextTime() {
        Notification n = Next();
        EXPECT_EQ(n.code, 21u);
        SYSTEMTIME time{};
        EXPECT_EQ(n.data.size(), 16u);
        if (n.data.size() == 16) std::memcpy(&time, n.data.data(), 16);
        return time;
    }
    static void ExpectTime(const SYSTEMTIME& t, int year, int month, int day, int hour, int minute,
                           int second) {
        const SYSTEMTIME expected{WORD(year),   WORD(month),  0, WORD(day), WORD(hour),
                                  WORD(minute), WORD(second), 0};
        EXPECT_EQ(0, std::memcmp(&t, &expected, 16))
            << t.wYear << "-" << t.wMonth << "-" << t.wDay << " " << t.wHour << ":" << t.wMinute << ":"
            << t.wSecond << " dow " << t.wDayOfWeek << " ms " << t.wMilliseconds;
    }
    // Ids the tester received, in order.
    std::vector<uint16_t> TesterReceived() {
        std::vector<uint16_t> ids;
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            if (d.received && std::strcmp(d.device, "tester") == 0) ids.push_back(d.head.msgId);
        return ids;
    }

    PtyPair pty{3};
    sim::TesterSimulator bench;
    RecordingHost host;
};

Bytes Words(std::initializer_list<uint32_t> words) {
    Bytes bytes;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return bytes;
}

} // namespace

TEST_F(HostGps, AReceiverOnAPcPortReachesTheHost) {
    REQUIRE_PTY(pty);
    ASSERT_EQ(VTS_QueryGPSTime_A("GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8;"), S_OK);
    PtyPair::Line seen{};
    ASSERT_TRUE(pty.ReadLine(&seen));
    EXPECT_EQ(seen.baud, 4800u);
    EXPECT_FALSE(seen.twoStopBits);
    pty.Write("xxA20260101120000");
    ExpectTime(NextTime(), 2026, 1, 1, 12, 0, 0);
    EXPECT_TRUE(TesterReceived().empty()) << "a PC-side receiver is no business of the tester";
}

TEST_F(HostGps, MalformedTextsAreRefusedBeforeAnythingHappens) {
    REQUIRE_PTY(pty);
    const WCHAR* refused[] = {
        OLESTR("GPSPOS=2;COM=3;BAUDRATE=4800;PARITY=EVEN;STOPBITS=1;DATABITS=8"),
        OLESTR("GPSPOS=2;;"),
        OLESTR("GPSPOS;COM=3;"),
    };
    for (const WCHAR* text : refused) EXPECT_EQ(VTS_QueryGPSTime(text), E_INVALIDARG);
    EXPECT_EQ(VTS_QueryGPSTime_A("GPSPOS=2;COM=3"), E_INVALIDARG);
    // Nothing opened the port: it is free for someone else.
    EXPECT_TRUE(PortOpens(3));
}

TEST_F(HostGps, ASecondQueryClosesThePortAndOpensItAgain) {
    REQUIRE_PTY(pty);
    ASSERT_EQ(VTS_QueryGPSTime(kOnCom3), S_OK);
    pty.Write("A20260101");
    // The second query ends the first port thread, so the half frame is lost.
    ASSERT_EQ(VTS_QueryGPSTime_W(kOnCom3), S_OK);
    pty.Write("V2026A20260101120005");
    ExpectTime(NextTime(), 2026, 1, 1, 12, 0, 5);
    EXPECT_EQ(host.Pending(), 0u);
}

TEST_F(HostGps, TheGpsCommandNeedsAGpsParamsDocument) {
    REQUIRE_PTY(pty);
    EXPECT_EQ(VTS_Execute(5, nullptr, 0), S_FALSE);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(VTS_Execute(5, &empty, 0), S_FALSE);
    ASSERT_EQ(VTS_QueryGPSTime(kOnCom3), S_OK);
    // A later command without a document still stops the running receiver.
    EXPECT_EQ(VTS_Execute(5, nullptr, 0), S_FALSE);
    EXPECT_TRUE(PortOpens(3)) << "the port was closed";
}

TEST_F(HostGps, ATesterSideReceiverGetsTheTimeModeFirst) {
    Link();
    ASSERT_EQ(VTS_SetGPSTimeMode(-2), S_OK);
    bench.Traffic().Clear();
    ASSERT_EQ(VTS_QueryGPSTime(OLESTR("GPSPOS=0;BAUDRATE=9600;PARITY=EVEN;STOPBITS=1;DATABITS=8;")), S_OK);
    EXPECT_EQ(TesterReceived(), (std::vector<uint16_t>{0x0607, 0x0104}));
    sim::TesterRecord record = bench.Model().Record();
    EXPECT_EQ(record.gpsMode, (std::array<uint32_t, 2>{0xFFFFFFFEu, 0xFFFFFFFFu}));
    ASSERT_EQ(record.gpsTimes.size(), 1u);
    EXPECT_EQ(record.gpsTimes[0], Words({0, 9600, 2, 1, 8}));

    ASSERT_TRUE(sim::PushGpsTime(bench.Tester(), {1, 2026, 1, 1, 12, 0, 0}));
    ExpectTime(NextTime(), 2026, 1, 1, 12, 0, 0);
    // What the agent makes of invalid, dateless and short records: tests/agent.

    // Position 1 next: the tester is first told to stop reading (GpsPos 2), and no time mode goes.
    bench.Traffic().Clear();
    ASSERT_EQ(VTS_QueryGPSTime(OLESTR("GPSPOS=1;BAUDRATE=4800;")), S_OK);
    EXPECT_EQ(TesterReceived(), (std::vector<uint16_t>{0x0104, 0x0104}));
    record = bench.Model().Record();
    ASSERT_EQ(record.gpsTimes.size(), 3u);
    EXPECT_EQ(record.gpsTimes[1], Words({2, 9600, 2, 1, 8}));
    EXPECT_EQ(record.gpsTimes[2], Words({1, 4800, 0, 0, 0}));
}

TEST_F(HostGps, ATesterThatRefusesLeavesTheReceiverInactive) {
    REQUIRE_PTY(pty);
    Link();
    bench.Tester().Faults().AnswerWithStatus(0x0104, 1, 10);
    ASSERT_EQ(VTS_QueryGPSTime(OLESTR("GPSPOS=1;")), S_OK) << "the query itself succeeds";
    bench.Tester().Faults().Clear();
    // Inactive: the next query does not tell the tester to stop.
    bench.Traffic().Clear();
    ASSERT_EQ(VTS_QueryGPSTime(kOnCom3), S_OK);
    EXPECT_TRUE(TesterReceived().empty());
}

TEST_F(HostGps, DestroyingTheServerWhileThePortThreadDelivers) {
    REQUIRE_PTY(pty);
    ASSERT_EQ(VTS_QueryGPSTime(kOnCom3), S_OK);
    std::string many;
    for (int i = 0; i < 300; ++i) many += "xA20260101120000";
    pty.Write(many);
    ASSERT_EQ(NextTime().wYear, 2026);
    EXPECT_EQ(VTS_DestroyServer(), S_OK);
    // The port is closed: another program may open it.
    EXPECT_TRUE(PortOpens(3));
    // And a new server starts a new receiver.
    HRESULT created = VTS_CreateServer(host.Window());
    ASSERT_TRUE(created == S_OK || created == CO_E_CLASSSTRING) << std::hex << created;
    ASSERT_EQ(VTS_QueryGPSTime(kOnCom3), S_OK);
}
