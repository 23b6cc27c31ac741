// The I/O box against its simulated targets: either, both or none present.
#include "device/io650_device.h"
#include "device/message_ids.h"
#include "sim/tester_simulator.h"
#include "tick.h"

#include <debug_log.h>
#include <private_network.h>

#include <gtest/gtest.h>

namespace {

using sim::Bytes;

sim::BenchOptions Targets(bool first, bool second) {
    sim::BenchOptions options;
    options.tester = true;
    options.ioBox[0] = first;
    options.ioBox[1] = second;
    return options;
}

// The online flag is set on the box's receive thread: waited for with a deadline.
bool BecomesOnline(const CIO650Device& device, int arm, DWORD deadlineMs = 1000) {
    const DWORD start = GetTickCount();
    while (!device.Online(arm) && GetTickCount() - start < deadlineMs) Sleep(1);
    return device.Online(arm);
}

class IoBox : public ::testing::Test {
protected:
    void Start(bool first, bool second) {
        bench = std::make_unique<sim::TesterSimulator>(Targets(first, second));
        std::string error;
        ASSERT_TRUE(bench->Start(&error)) << error;
        ASSERT_EQ(device.Open(0), S_OK);
    }
    void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }

    std::unique_ptr<sim::TesterSimulator> bench;
    CIO650Device device;
};

} // namespace

TEST_F(IoBox, WithoutABoxATestStartsWithItsLogLine) {
    Start(false, false);
    DebugLogCapture log;
    EXPECT_EQ(device.Heartbeat(), S_OK);
    EXPECT_FALSE(BecomesOnline(device, 0, 200));
    EXPECT_FALSE(device.Online(1));
    EXPECT_EQ(device.StartOutput(), S_OK);
    EXPECT_TRUE(log.Contains("没有连接的IO设备\n"));
    EXPECT_EQ(device.StopOutput(), S_OK);
    EXPECT_TRUE(device.OutputStopped());
}

TEST_F(IoBox, CommandsGoOnlyToTheTargetThatAnswered) {
    REQUIRE_ADDRESS_BOUND_UDP();
    Start(false, true);
    device.Heartbeat();
    ASSERT_TRUE(BecomesOnline(device, 1));
    EXPECT_FALSE(device.Online(0));
    // The heartbeat is the link message: the target's own address and port, host order.
    auto heartbeats = bench->Traffic().Snapshot();
    ASSERT_GE(heartbeats.size(), 1u);
    EXPECT_EQ(heartbeats[0].bytes.size(), 28u);
    EXPECT_EQ(Bytes(heartbeats[0].bytes.begin() + 16, heartbeats[0].bytes.end()),
              (Bytes{0, 0, 0, 0, 4, 253, 168, 192, 0, 0, 0x58, 0x1B}));

    EXPECT_EQ(device.StartOutput(), S_OK);
    EXPECT_FALSE(device.OutputStopped());
    uint8_t record[kPtCtRecordLength] = {1, 2, 3};
    EXPECT_EQ(device.SendPTCT(record), S_OK);
    EXPECT_EQ(device.StopOutput(), S_OK);
    sim::IoBoxRecord box = bench->IoBoxModelOf(1).Record();
    EXPECT_EQ(box.outputModes, (std::vector<uint32_t>{2, 0}));
    ASSERT_EQ(box.ptct.size(), 1u);
    EXPECT_EQ(box.ptct[0][2], 3);
    EXPECT_EQ(bench->IoBoxModelOf(0).Record().outputModes.size(), 0u);
}

TEST_F(IoBox, AFailedStartOnAnOnlineTargetIsReported) {
    REQUIRE_ADDRESS_BOUND_UDP();
    Start(true, true);
    device.Heartbeat();
    ASSERT_TRUE(BecomesOnline(device, 0));
    ASSERT_TRUE(BecomesOnline(device, 1));
    bench->IoBox(1).Faults().AnswerWithStatus(DEVMSG_IOBOX_OUTPUT, 1);
    DebugLogCapture log;
    EXPECT_EQ(device.StartOutput(), E_FAIL);
    EXPECT_TRUE(log.Contains("ARM2 启动输出失败!\n"));
    EXPECT_EQ(bench->IoBoxModelOf(0).Record().outputModes, (std::vector<uint32_t>{2}));
}

TEST_F(IoBox, ATargetThatStopsAnsweringGoesOfflineAtTheNextHeartbeat) {
    REQUIRE_ADDRESS_BOUND_UDP();
    Start(true, false);
    // An answer from an address that is neither target changes nothing.
    sim::PushOptions options;
    options.to = Ipv4Endpoint("192.168.253.1", device.LocalPort());
    options.flags = sim::kAnswerBit;
    bench->Tester().Push(DEVMSG_LINK, Bytes(24), options);
    EXPECT_FALSE(BecomesOnline(device, 0, 200));

    device.Heartbeat();
    ASSERT_TRUE(BecomesOnline(device, 0));
    bench->IoBox(0).Faults().DropAnswers(DEVMSG_LINK, 10);
    Sleep(20); // links are seconds apart; here the tick must move on at least
    device.Heartbeat();
    EXPECT_TRUE(device.Online(0)) << "its answer to this heartbeat may still come";
    device.Heartbeat();
    EXPECT_FALSE(device.Online(0)) << "no answer since the previous heartbeat";
}
