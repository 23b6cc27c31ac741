// The request engine and receive thread over real UDP sockets, against a bare
// peer that answers as each test tells it.
#include "device/message_ids.h"
#include "device/varel_device_comm.h"
#include "raw_peer.h"
#include "thread.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <debug_log.h>
#include <private_network.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr const char* kTester = "192.168.253.231";

struct Delivered {
    bool link;
    uint16_t msgId;
    Bytes payload;
};

// A device object that records what its handlers receive.
class RecordingComm : public CVarelDeviceComm {
public:
    ~RecordingComm() override { Close(); }

    bool WaitDelivered(size_t count, int timeoutMs = 3000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return delivered_.size() >= count; });
    }
    std::vector<Delivered> Messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return delivered_;
    }
    sockaddr_in Self() const { return Ipv4Endpoint("192.168.253.1", LocalPort()); }

protected:
    void OnLinkAnswer(uint32_t, uint16_t, const uint8_t* data, uint32_t length) override {
        Record({true, 0, Bytes(data, data + length)});
    }
    void OnUpMessage(uint32_t, uint16_t, uint16_t msgId, const uint8_t* data, uint32_t length) override {
        Record({false, msgId, Bytes(data, data + length)});
    }

private:
    void Record(Delivered message) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            delivered_.push_back(std::move(message));
        }
        arrived_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Delivered> delivered_;
};

PacketHead HeadOf(const Bytes& packet) {
    PacketHead head;
    std::memcpy(&head, packet.data(), sizeof head);
    return head;
}

Bytes Pattern(size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    return bytes;
}

class DeviceTransport : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        ASSERT_EQ(comm.Open(0), S_OK);
        ASSERT_NE(comm.LocalPort(), 0);
    }
    // Every request is answered with status and payload.
    void AnswerAll(uint16_t status = 0, Bytes payload = {}) {
        peer.SetHandler([status, payload](RawPeer& p, const Bytes& request, const sockaddr_in& from) {
            p.Answer(request, from, status, payload);
        });
    }

    RawPeer peer{kTester};
    RecordingComm comm;
};

} // namespace

TEST_F(DeviceTransport, RequestIsAnsweredAndItsPayloadCopied) {
    AnswerAll(0, {1, 2, 3, 4});
    uint8_t data[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, data, sizeof data, peer.Address(), 1000), S_OK);
    uint8_t answer[4] = {};
    EXPECT_EQ(comm.CopyAnswer(answer, 3), E_FAIL);
    ASSERT_EQ(comm.CopyAnswer(answer, 4), S_OK);
    EXPECT_EQ(answer[3], 4);

    auto sent = peer.Received();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 24u);
    EXPECT_EQ(CheckMsgHead(sent[0].data(), 24), PacketCheck::Valid);
    PacketHead head = HeadOf(sent[0]);
    EXPECT_EQ(head.msgId, DEVMSG_BOUT);
    EXPECT_EQ(head.packetCount, 1);
    EXPECT_EQ(head.packetIndex, 1);
    EXPECT_EQ(head.flags, 0);
    EXPECT_EQ(std::memcmp(sent[0].data() + 16, data, sizeof data), 0);
}

TEST_F(DeviceTransport, NonzeroStatusBecomesTheResult) {
    DebugLogCapture log;
    AnswerAll(4);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, nullptr, 0, peer.Address(), 1000), VTS_E_UNSUPPORTED);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> SendMsgToDev(0x0209) = 0xA0190104\n "));
}

TEST_F(DeviceTransport, SilentDeviceTimesOutAfterOneRetry) {
    DebugLogCapture log;
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_ASK_IO, nullptr, 0, peer.Address(), 100), VTS_E_TIMEOUT);
    ASSERT_TRUE(peer.WaitReceived(2, 1000));
    auto sent = peer.Received();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], sent[1]);
    EXPECT_EQ(log.Count(" SendMsgToDev(0x0206) time out\n "), 1);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> SendMsgToDev(0x0206) = 0xA0190105\n "));
}

TEST_F(DeviceTransport, LongMessageIsSplitAndEachPacketAnswered) {
    AnswerAll();
    Bytes payload = Pattern(965);
    EXPECT_EQ(comm.SendDevMessage(3, DEVMSG_TEST_PARAMS, payload.data(), 965, peer.Address(), 1000), S_OK);
    auto sent = peer.Received();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].size(), 980u);
    EXPECT_EQ(sent[1].size(), 17u);
    PacketHead first = HeadOf(sent[0]), second = HeadOf(sent[1]);
    EXPECT_EQ(first.packetCount, 2);
    EXPECT_EQ(first.packetIndex, 1);
    EXPECT_EQ(second.packetIndex, 2);
    EXPECT_EQ(first.testId, 3);
    EXPECT_EQ(sent[1][16], payload[964]);
}

TEST_F(DeviceTransport, FailingPacketEndsASplitMessage) {
    peer.SetHandler([](RawPeer& p, const Bytes& request, const sockaddr_in& from) {
        p.Answer(request, from, HeadOf(request).packetIndex == 2 ? 1 : 0);
    });
    Bytes payload = Pattern(964 * 4);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_FILE_DATA, payload.data(), 964 * 4, peer.Address(), 1000),
              VTS_E_EXEC_FAILED);
    EXPECT_EQ(peer.Received().size(), 2u);
}

TEST_F(DeviceTransport, AnswerToAnEarlierIdIsAnUpMessage) {
    AnswerAll();
    ASSERT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, nullptr, 0, peer.Address(), 1000), S_OK);
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_ASK_IO, 1, 1, {5, 6}, kAnswerFlag));
    ASSERT_TRUE(comm.WaitDelivered(1));
    auto messages = comm.Messages();
    EXPECT_FALSE(messages[0].link);
    EXPECT_EQ(messages[0].msgId, DEVMSG_ASK_IO);
    EXPECT_EQ(messages[0].payload, (Bytes{5, 6}));
}

TEST_F(DeviceTransport, LinkAnswerGoesToItsHandlerWhateverWasSentLast) {
    peer.SetHandler([](RawPeer& p, const Bytes&, const sockaddr_in& from) {
        p.SendTo(from, BuildPacket(DEVMSG_LINK, 1, 1, {1, 2, 3}, kAnswerFlag));
    });
    // The link answer releases the waiting sender too.
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, nullptr, 0, peer.Address(), 3000), S_OK);
    ASSERT_TRUE(comm.WaitDelivered(1));
    EXPECT_TRUE(comm.Messages()[0].link);
    EXPECT_EQ(comm.Messages()[0].payload, (Bytes{1, 2, 3}));
}

TEST_F(DeviceTransport, SplitUpMessageIsMergedOnceInIndexOrder) {
    Bytes whole = Pattern(964 * 2 + 100);
    auto piece = [&](uint16_t index) {
        size_t begin = (index - 1) * 964u, end = std::min(whole.size(), begin + 964u);
        return BuildPacket(DEVMSG_TEST_RESULT, 3, index, Bytes(whole.begin() + begin, whole.begin() + end));
    };
    for (uint16_t index : {2, 3, 1}) peer.SendTo(comm.Self(), piece(index));
    ASSERT_TRUE(comm.WaitDelivered(1));
    Sleep(50);
    auto messages = comm.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].msgId, DEVMSG_TEST_RESULT);
    EXPECT_EQ(messages[0].payload, whole);
}

TEST_F(DeviceTransport, InterruptedReassemblyDeliversTheIntruderEmpty) {
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_RESULT, 3, 1, Pattern(10)));
    // A single packet in the middle passes and leaves the reassembly alone.
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_VALUE, 1, 1, {4, 0, 0, 0}));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_RESULT, 3, 2, Pattern(10)));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_EVENT, 2, 1, Pattern(10)));
    ASSERT_TRUE(comm.WaitDelivered(2));
    auto messages = comm.Messages();
    EXPECT_EQ(messages[0].msgId, DEVMSG_TEST_VALUE);
    EXPECT_EQ(messages[0].payload, (Bytes{4, 0, 0, 0}));
    EXPECT_EQ(messages[1].msgId, DEVMSG_TEST_EVENT);
    EXPECT_TRUE(messages[1].payload.empty());
    // The cache starts over: a whole message after it is merged again.
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_RESULT, 2, 1, {1}));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_RESULT, 2, 2, {2}));
    ASSERT_TRUE(comm.WaitDelivered(3));
    EXPECT_EQ(comm.Messages()[2].payload, (Bytes{1, 2}));
}

TEST_F(DeviceTransport, MessageBeyondTheStoreIsDroppedAndTheNextStartsOver) {
    DebugLogCapture log;
    Bytes full = Pattern(kMaxPacketPayload);
    for (uint16_t index = 1; index <= 67; ++index)
        peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_RESULT, 67, index, full));
    // The next split message ends the one that could never complete.
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_EVENT, 2, 1, {1}));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_VALUES, 2, 1, {7}));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_VALUES, 2, 2, {8}));
    ASSERT_TRUE(comm.WaitDelivered(2));
    auto messages = comm.Messages();
    EXPECT_EQ(messages[0].msgId, DEVMSG_TEST_EVENT);
    EXPECT_TRUE(messages[0].payload.empty());
    EXPECT_EQ(messages[1].msgId, DEVMSG_TEST_VALUES);
    EXPECT_EQ(messages[1].payload, (Bytes{7, 8}));
    EXPECT_TRUE(log.Contains("CMultiPacketCache: storage full, packet 67 of message 0x0207 dropped.\n"));
}

TEST_F(DeviceTransport, SplitAnswerIsMergedIntoTheAnswerRecord) {
    Bytes whole = Pattern(1500);
    // Captured by copy: the peer's thread only reaches the test through the
    // socket, an ordering the thread sanitizer cannot see.
    peer.SetHandler([whole](RawPeer& p, const Bytes& request, const sockaddr_in& from) {
        uint16_t id = HeadOf(request).msgId;
        p.SendTo(from, BuildPacket(id, 2, 2, Bytes(whole.begin() + 964, whole.end()), kAnswerFlag));
        p.SendTo(from, BuildPacket(id, 2, 1, Bytes(whole.begin(), whole.begin() + 964), kAnswerFlag));
    });
    ASSERT_EQ(comm.SendDevMessage(0, DEVMSG_READ_MEM, nullptr, 0, peer.Address(), 1000), S_OK);
    Bytes answer(1500);
    ASSERT_EQ(comm.CopyAnswer(answer.data(), 1500), S_OK);
    EXPECT_EQ(answer, whole);
}

TEST_F(DeviceTransport, InvalidAnswerEndsTheRequestWithACrcError) {
    DebugLogCapture log;
    peer.SetHandler([](RawPeer& p, const Bytes& request, const sockaddr_in& from) {
        Bytes answer = BuildPacket(HeadOf(request).msgId, 1, 1, {1, 2}, kAnswerFlag);
        answer[17] ^= 0xFF;
        p.SendTo(from, answer);
    });
    DWORD start = GetTickCount();
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, nullptr, 0, peer.Address(), 5000), VTS_E_CRC);
    EXPECT_LT(GetTickCount() - start, 5000u) << "released by the invalid answer, not the time-out";
    EXPECT_EQ(peer.Received().size(), 1u);
    EXPECT_TRUE(comm.Messages().empty());
}

TEST_F(DeviceTransport, BadHeadIsLoggedAndDropped) {
    DebugLogCapture log;
    Bytes bad = BuildPacket(DEVMSG_TEST_RESULT, 1, 1, {1, 2, 3});
    bad[4] = 8; // head length
    peer.SendTo(comm.Self(), bad);
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_RESULT, 3, 2, {}));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_STOP, 1, 1, {}));
    ASSERT_TRUE(comm.WaitDelivered(1));
    EXPECT_EQ(comm.Messages().size(), 1u);
    EXPECT_EQ(comm.Messages()[0].msgId, DEVMSG_TEST_STOP);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> CheckMsgHead: Invalid packet head !!!\n"));
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> CheckMsgHead: Invalid packet head: multiple packets no data ?\n"));
    EXPECT_TRUE(log.Contains("{MsgID:0x0203<Last Send MsgID:0x0000>}\n\n"));
}

TEST_F(DeviceTransport, ShortDatagramIsAReceiveErrorAndTheThreadGoesOn) {
    DebugLogCapture log;
    peer.SendTo(comm.Self(), Bytes(10, 0));
    peer.SendTo(comm.Self(), BuildPacket(DEVMSG_TEST_STOP, 1, 1, {}));
    ASSERT_TRUE(comm.WaitDelivered(1, 4000));
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> Socket receive error: "));
}

TEST_F(DeviceTransport, CloseReleasesAWaitingSenderAtOnce) {
    struct Call {
        RecordingComm* comm;
        sockaddr_in to;
        HRESULT result = E_FAIL;
    } call{&comm, peer.Address()};
    HANDLE sender = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* c = static_cast<Call*>(p);
            c->result = c->comm->SendDevMessage(0, DEVMSG_TEST_START, nullptr, 0, c->to, 10000);
            return 0;
        },
        &call, 0, nullptr);
    ASSERT_TRUE(peer.WaitReceived(1, 3000));
    EXPECT_EQ(comm.Close(), S_OK);
    ASSERT_EQ(WaitForSingleObject(sender, 3000), WAIT_OBJECT_0);
    CloseHandle(sender);
    EXPECT_EQ(call.result, S_OK) << "the status it found: none";
    EXPECT_EQ(peer.Received().size(), 1u) << "released, not retried";
}

TEST_F(DeviceTransport, SendLimitsAndAClosedSocket) {
    DebugLogCapture log;
    Bytes big(1451);
    EXPECT_EQ(comm.SendDatagram(big.data(), 1451, 0, peer.Address()), E_OUTOFMEMORY);
    EXPECT_EQ(comm.SendSinglePacket(0, DEVMSG_BOUT_EX, big.data(), 965, peer.Address()), E_INVALIDARG);
    EXPECT_EQ(comm.SendSinglePacket(0, DEVMSG_LINK_NOTICE, nullptr, 0, peer.Address()), S_OK);
    EXPECT_EQ(comm.SendMsgToDev(nullptr, peer.Address(), 100), E_INVALIDARG);
    comm.Close();
    EXPECT_EQ(comm.LocalPort(), 0);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, nullptr, 0, peer.Address(), 100), VTS_E_SEND_FAILED);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> send error: Socket invalid\n"));
    ASSERT_TRUE(peer.WaitReceived(1, 1000));
    EXPECT_EQ(HeadOf(peer.Received()[0]).msgId, DEVMSG_LINK_NOTICE);
}

TEST_F(DeviceTransport, ReopensAfterCloseAndRefusesATakenPort) {
    DebugLogCapture log;
    uint16_t port = comm.LocalPort();
    RecordingComm other;
    EXPECT_EQ(other.Open(port), E_FAIL);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> Binding to port failed: 10048\n"));
    comm.Close();
    // The first receive thread may have announced itself before or after the
    // capture began; Close has joined it, so only the new thread counts now.
    const auto begunBefore = log.Count("VarelDeviceTarget >> MsgRecvThread begin!\n");
    ASSERT_EQ(comm.Open(port), S_OK);
    AnswerAll();
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, nullptr, 0, peer.Address(), 1000), S_OK);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> MsgRecvThread quit!\n"));
    EXPECT_EQ(log.Count("VarelDeviceTarget >> MsgRecvThread begin!\n"), begunBefore + 1);
}
