// The simulator over real UDP, seen from a bare PC socket: how it answers,
// reassembles, misbehaves on request and pushes messages of its own.
#include "pc_socket.h"
#include "sim/tester_simulator.h"

#include <private_network.h>

#include <gtest/gtest.h>

using namespace sim;

namespace {

Bytes Pattern(size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 5 + 3);
    return bytes;
}

class SimDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
    }
    // Sends a request (to the tester unless told) and returns the head of its answer (msgId 0xFFFF
    // and status 0x7FFF when none came).
    Head Ask(const Bytes& request, DWORD timeoutMs = 1000, Bytes* payload = nullptr,
             const sockaddr_in* to = nullptr) {
        pc.Send(request, to ? *to : tester);
        auto answer = pc.Receive(timeoutMs);
        // The simulator records an answer before it sends it: taking the log's
        // lock orders what its behaviour did before this point.
        bench.Traffic().Count(ReceivedFaulty());
        if (!answer) return Head{0, 0, 0, 0xFFFF, 0, 0, 0, 0x7FFF};
        EXPECT_EQ(CheckPacket(*answer), PacketFault::Flags)
            << "an answer is a valid packet with its answer bit";
        if (payload) payload->assign(answer->begin() + kHeadBytes, answer->end());
        return DecodeHead(*answer);
    }
    size_t Faulty() { return bench.Traffic().Count(ReceivedFaulty()); }

    TesterSimulator bench;
    PcSocket pc;
    sockaddr_in tester = Ipv4Endpoint(kTesterAddress, kTesterPort);
};

} // namespace

TEST_F(SimDeviceTest, AnswersWithTheIdTheTestIdAndTheBehavioursStatus) {
    bench.Tester().On(0x0209, [](const Request& r) {
        EXPECT_EQ(r.payload.size(), 32u);
        return Reply{0, {r.payload[0], r.payload[31]}, {}};
    });
    Bytes states = Pattern(32);
    Bytes payload;
    Head head = Ask(BuildPacket(0x0209, 7, 1, 1, 0, states), 1000, &payload);
    EXPECT_EQ(head.msgId, 0x0209);
    EXPECT_EQ(head.testId, 7);
    EXPECT_TRUE(head.IsAnswer());
    EXPECT_EQ(head.Status(), 0);
    EXPECT_EQ(payload, (Bytes{states[0], states[31]}));
    EXPECT_EQ(Faulty(), 0u);
    sockaddr_in peer{};
    ASSERT_TRUE(bench.Tester().Peer(&peer));
    EXPECT_EQ(peer.sin_port, pc.Address().sin_port);
}

TEST_F(SimDeviceTest, RefusesWhatATesterWouldRefuse) {
    EXPECT_EQ(Ask(BuildPacket(0x0777, 0, 1, 1, 0, {})).Status(), 4) << "not a command of the tester";
    EXPECT_EQ(Ask(BuildPacket(0x0209, 0, 1, 1, 0, Pattern(31))).Status(), 1) << "outputs are 32 bytes";
    Bytes corrupt = BuildPacket(0x0209, 0, 1, 1, 0, Pattern(32));
    corrupt[30] ^= 4;
    EXPECT_EQ(Ask(corrupt).Status(), 2);
    // A broken head has no id to answer: it is only recorded.
    Bytes broken = BuildPacket(0x0209, 0, 1, 1, 0, Pattern(32));
    broken[4] = 8;
    EXPECT_EQ(Ask(broken, 200).msgId, 0xFFFF);
    // The link notice is not a request.
    EXPECT_EQ(Ask(BuildPacket(0x0205, 0, 1, 1, 0, {}), 200).msgId, 0xFFFF);
    EXPECT_EQ(Faulty(), 4u);
    auto log = bench.Traffic().Snapshot();
    EXPECT_EQ(log[0].fault, PacketFault::Unknown);
    EXPECT_EQ(log[2].fault, PacketFault::Framing);
}

TEST_F(SimDeviceTest, ReassemblesASplitRequestAnsweringEachPacket) {
    Bytes whole = Pattern(1400);
    Bytes seen;
    bench.Tester().On(0x0211, [&seen](const Request& r) {
        seen.assign(r.payload.begin(), r.payload.end());
        return Reply{};
    });
    auto packets = SplitMessage(0x0211, 0, 0, whole);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(Ask(packets[0]).Status(), 0);
    EXPECT_TRUE(seen.empty());
    // A packet sent again because its answer was lost is answered again, not added.
    EXPECT_EQ(Ask(packets[0]).Status(), 0);
    EXPECT_EQ(Ask(packets[1]).Status(), 0);
    EXPECT_EQ(seen, whole);
    EXPECT_EQ(Faulty(), 0u);
    // A packet out of its turn ends the message.
    EXPECT_EQ(Ask(packets[1]).Status(), 0) << "the last one again";
    EXPECT_EQ(Ask(SplitMessage(0x0211, 0, 0, Pattern(1300))[1]).Status(), 1);
    EXPECT_EQ(Faulty(), 1u);
}

TEST_F(SimDeviceTest, SplitsLongAnswersInTheOrderAsked) {
    bench.Tester().On(0x0102, [](const Request&) { return Reply{0, Pattern(1000), {2, 1}}; });
    Bytes read = BuildPacket(0x0102, 0, 1, 1, 0, Bytes{0, 0, 0, 0, 0xE8, 3, 0, 0});
    pc.Send(read, tester);
    auto first = pc.Receive(1000), second = pc.Receive(1000);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(DecodeHead(*first).index, 2);
    EXPECT_EQ(DecodeHead(*first).count, 2);
    EXPECT_EQ(second->size(), 980u);
}

TEST_F(SimDeviceTest, FaultKnobsDropCorruptReplaceAndDelay) {
    FaultKnobs& faults = bench.Tester().Faults();
    faults.DropAnswers(0x0206, 2);
    Bytes ask = BuildPacket(0x0206, 0, 1, 1, 0, {});
    EXPECT_EQ(Ask(ask, 150).msgId, 0xFFFF);
    EXPECT_EQ(Ask(ask, 150).msgId, 0xFFFF);
    EXPECT_EQ(Ask(ask).msgId, 0x0206) << "two dropped, the third answered";

    faults.AnswerWithStatus(0x0206, 9, 1, 1);
    EXPECT_EQ(Ask(ask).Status(), 0);
    EXPECT_EQ(Ask(ask).Status(), 9);
    EXPECT_EQ(Ask(ask).Status(), 0);

    faults.CorruptCrc(0x0206);
    pc.Send(ask, tester);
    auto corrupted = pc.Receive(1000);
    ASSERT_TRUE(corrupted);
    EXPECT_EQ(CheckPacket(*corrupted), PacketFault::Crc);

    faults.DelayAnswers(0x0206, 300);
    EXPECT_EQ(Ask(ask, 100).msgId, 0xFFFF) << "not yet";
    EXPECT_EQ(Ask(ask, 1000).msgId, 0x0206) << "the delayed answer";
    faults.Clear();
}

TEST_F(SimDeviceTest, PushesMessagesInAnyPacketOrder) {
    EXPECT_FALSE(bench.Tester().Push(0x0207, Pattern(10))) << "nobody to push to yet";
    PushOptions options;
    options.to = pc.Address();
    options.order = {2, 3, 1, 1};
    options.testId = 2;
    ASSERT_TRUE(bench.Tester().Push(0x0207, Pattern(2000), options));
    std::vector<uint16_t> indices;
    for (int i = 0; i < 4; ++i) {
        auto packet = pc.Receive(1000);
        ASSERT_TRUE(packet);
        EXPECT_EQ(CheckPacket(*packet), PacketFault::None);
        indices.push_back(DecodeHead(*packet).index);
    }
    EXPECT_EQ(indices, (std::vector<uint16_t>{2, 3, 1, 1}));
    EXPECT_EQ(bench.Traffic().Count(SentWithId(0x0207)), 4u);
}

TEST_F(SimDeviceTest, TheIoBoxServesItsOwnCommandsOnBothTargets) {
    REQUIRE_ADDRESS_BOUND_UDP();
    for (const char* box : kIoBoxAddresses) {
        const sockaddr_in to = Ipv4Endpoint(box, kIoBoxPort);
        EXPECT_EQ(Ask(BuildPacket(0x0405, 0, 1, 1, 0, Pattern(8)), 1000, nullptr, &to).Status(), 0);
        EXPECT_EQ(Ask(BuildPacket(0x0209, 0, 1, 1, 0, Pattern(32)), 1000, nullptr, &to).Status(), 4)
            << "binary outputs are the tester's";
    }
    auto log = bench.Traffic().Snapshot();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_STREQ(log[0].device, "iobox1");
    EXPECT_STREQ(log[4].device, "iobox2");
}

TEST(SimBench, AnAbsentTargetIsNotBoundAndATakenAddressIsReported) {
    REQUIRE_PRIVATE_NETWORK();
    REQUIRE_ADDRESS_BOUND_UDP();
    BenchOptions options;
    options.ioBox[1] = false;
    TesterSimulator first(options);
    std::string error;
    ASSERT_TRUE(first.Start(&error)) << error;
    BenchOptions onlySecond;
    onlySecond.tester = false;
    onlySecond.ioBox[0] = false;
    TesterSimulator second(onlySecond);
    EXPECT_TRUE(second.Start(&error)) << "the second target was left free: " << error;
    TesterSimulator third;
    EXPECT_FALSE(third.Start(&error));
    EXPECT_NE(error.find("tester: cannot bind 192.168.253.231:2001"), std::string::npos) << error;
}
