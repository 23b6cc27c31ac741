// The receiver on a PC port: a pseudo-terminal plays the GPS receiver.
#include "gps/varel_dev_gps.h"

#include "gps_test_support.h"

#include <debug_log.h>

#include <gtest/gtest.h>

namespace {

GpsParams OnPort(int port, int32_t baud = 9600) {
    GpsParams params;
    params.GpsPos = 2;
    params.BaudRate = baud;
    params.nComNo = port;
    return params;
}

class PcReceiver : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PTY(pty);
        gps.Attach(&listener, nullptr);
    }
    PtyPair pty{5};
    RecordingListener listener;
    CVarelDev_GPS gps;
};

} // namespace

TEST_F(PcReceiver, FramesInOnePieceAndByteByByteWithJunkAndARestart) {
    ASSERT_TRUE(gps.Start(OnPort(5, 4800)));
    EXPECT_TRUE(gps.Active());
    EXPECT_TRUE(gps.ThreadRunning());
    PtyPair::Line seen{};
    ASSERT_TRUE(pty.ReadLine(&seen));
    EXPECT_EQ(seen.baud, 4800u);
    EXPECT_FALSE(seen.twoStopBits) << "one stop bit";
    pty.Write("xxA20260101120000");
    ASSERT_TRUE(listener.WaitFor(1));
    for (char c : std::string("$GPRMC,junk\r\nA2026V20261231235959\r\nA20270228000102"))
        pty.Write(std::string(1, c));
    ASSERT_TRUE(listener.WaitFor(3));
    auto records = listener.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].id, 0x0105);
    EXPECT_EQ(records[0].words, Words(1, 2026, 1, 1, 12, 0, 0));
    EXPECT_EQ(records[1].words, Words(0, 2026, 12, 31, 23, 59, 59));
    EXPECT_EQ(records[2].words, Words(1, 2027, 2, 28, 0, 1, 2));
}

TEST_F(PcReceiver, ALineTheSystemRefusesIsLoggedAndTheReceiverStillRuns) {
    DebugLogCapture log;
    ASSERT_TRUE(gps.Start(OnPort(5, 14400)));
    EXPECT_TRUE(log.Contains("WARNING:  SetCommState() Failed with the following error: "))
        << log.Lines().size();
    EXPECT_TRUE(log.Contains("The parameter is incorrect."));
    EXPECT_TRUE(log.Contains("Port: 5"));
    pty.Write("A20260101120000");
    EXPECT_TRUE(listener.WaitFor(1));
}

TEST_F(PcReceiver, AMissingPortLeavesTheReceiverInactive) {
    DebugLogCapture log;
    GpsParams params = OnPort(5);
    params.nComNo = 9; // no VARELTSS_COM9 and no /dev/ttyS8 in the test's namespace
    if (!PortHasNoDevice(9)) GTEST_SKIP() << "this machine has a COM9";
    EXPECT_FALSE(gps.Start(params));
    EXPECT_FALSE(gps.Active());
    EXPECT_FALSE(gps.ThreadRunning());
    EXPECT_TRUE(log.Contains("CreateFile()"));
    gps.Stop(); // inactive: nothing to do
}

TEST_F(PcReceiver, APortThatDisappearsWhileOpen) {
    DebugLogCapture log;
    ASSERT_TRUE(gps.Start(OnPort(5)));
    pty.Write("A20260101120000");
    ASSERT_TRUE(listener.WaitFor(1));
    pty.Hangup();
    // The thread reports the lost port once and then waits for its stop.
    EXPECT_TRUE(log.WaitFor("WARNING:  WaitCommEvent() Failed with the following error: "));
    EXPECT_TRUE(log.Contains("The device does not recognize the command."));
    EXPECT_TRUE(gps.ThreadRunning());
    gps.Stop();
    EXPECT_FALSE(gps.ThreadRunning());
    EXPECT_FALSE(gps.Active());
    EXPECT_EQ(gps.Params().GpsPos, 0) << "a stopped PC-side receiver";
    EXPECT_EQ(listener.Records().size(), 1u);
}

TEST_F(PcReceiver, StartingAgainClosesAndReopensThePort) {
    ASSERT_TRUE(gps.Start(OnPort(5)));
    pty.Write("A20260101120000");
    ASSERT_TRUE(listener.WaitFor(1));
    gps.Stop();
    EXPECT_FALSE(gps.ThreadRunning());
    PtyPair second(4);
    GpsParams fiveDataBits = OnPort(4);
    fiveDataBits.DataBits = 5;
    fiveDataBits.StopBits = 0; // one and a half: two on a POSIX line
    ASSERT_TRUE(gps.Start(fiveDataBits));
    EXPECT_EQ(gps.PortNumber(), 4u);
    PtyPair::Line seen{};
    ASSERT_TRUE(second.ReadLine(&seen));
    EXPECT_TRUE(seen.twoStopBits);
    pty.Write("A20260101120001"); // the old port is closed: nobody reads this
    second.Write("V20260101120002");
    ASSERT_TRUE(listener.WaitFor(2));
    auto records = listener.Records();
    EXPECT_EQ(records.back().words, Words(0, 2026, 1, 1, 12, 0, 2));
    // Back to the first port: what waited there since is read now, from the start of a frame.
    gps.Stop();
    ASSERT_TRUE(gps.Start(OnPort(5)));
    pty.Write("A20260101120003");
    ASSERT_TRUE(listener.WaitFor(3));
    EXPECT_EQ(listener.Records()[2].words, Words(1, 2026, 1, 1, 12, 0, 3));
}

TEST_F(PcReceiver, StoppingWhileTheThreadDelivers) {
    ASSERT_TRUE(gps.Start(OnPort(5)));
    std::string many;
    for (int i = 0; i < 200; ++i) many += "A20260101120000";
    pty.Write(many);
    ASSERT_TRUE(listener.WaitFor(1));
    gps.Stop();
    EXPECT_FALSE(gps.ThreadRunning());
    size_t seen = listener.Records().size();
    EXPECT_GE(seen, 1u);
    EXPECT_LE(seen, 200u);
}
