// The request engine and receive thread over real UDP sockets, against the
// tester simulator, which checks every packet the engine sends.
#include "device/message_ids.h"
#include "device/varel_device_comm.h"
#include "sim/tester_simulator.h"
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

using sim::Bytes;
using sim::kAnswerBit;

struct Delivered {
    bool link;
    uint16_t msgId;
    Bytes payload;
    DWORD thread = GetCurrentThreadId();
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
    using CVarelDeviceComm::SetUpQueueLimit;
    // The handler keeps the receive thread until Release, once it has
    // recorded the next up-message.
    void Hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = true;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            held_ = false;
        }
        arrived_.notify_all();
    }

protected:
    void OnLinkAnswer(uint32_t, uint16_t, const uint8_t* data, uint32_t length) override {
        Record({true, 0, Bytes(data, data + length)});
    }
    void OnUpMessage(uint32_t, uint16_t, uint16_t msgId, const uint8_t* data, uint32_t length) override {
        Record({false, msgId, Bytes(data, data + length)});
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait(lock, [&] { return !held_; });
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
    bool held_ = false;
};

Bytes Pattern(size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    return bytes;
}

class DeviceTransport : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        std::string error;
        ASSERT_TRUE(bench.Start(&error)) << error;
        ASSERT_EQ(comm.Open(0), S_OK);
        ASSERT_NE(comm.LocalPort(), 0);
    }
    void TearDown() override {
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            EXPECT_FALSE(d.received && d.fault != sim::PacketFault::None)
                << "the engine sent a faulty packet: " << sim::DescribeDatagram(d);
    }
    // The packets the tester received, in order.
    std::vector<Bytes> Sent() {
        std::vector<Bytes> packets;
        for (const sim::Datagram& d : bench.Traffic().Snapshot())
            if (d.received) packets.push_back(d.bytes);
        return packets;
    }
    bool WaitSent(size_t count, uint32_t timeoutMs = 1000) {
        return bench.Traffic().WaitFor(
            count, [](const sim::Datagram& d) { return d.received; }, timeoutMs);
    }
    // Pushes a message from the tester to the engine's socket.
    void Push(uint16_t msgId, const Bytes& payload, std::vector<uint16_t> order = {}, uint16_t flags = 0) {
        sim::PushOptions options;
        options.to = comm.Self();
        options.order = std::move(order);
        options.flags = flags;
        ASSERT_TRUE(tester.Push(msgId, payload, options));
    }
    void SendRaw(const Bytes& datagram) { ASSERT_TRUE(tester.SendRaw(datagram, comm.Self())); }
    // A request sent from a thread of its own while the test goes on.
    struct Request {
        uint16_t msgId;
        Bytes payload;
        DWORD timeoutMs;
        HRESULT result = E_FAIL;
        DWORD thread = 0; // the sending thread's id
        RecordingComm* comm = nullptr;
        sockaddr_in to{};
    };
    // Starts sending request; the sending thread's handle.
    HANDLE SendFromThread(Request& request) {
        request.comm = &comm;
        request.to = to;
        return CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                auto* r = static_cast<Request*>(p);
                r->thread = GetCurrentThreadId();
                r->result =
                    r->comm->SendDevMessage(0, r->msgId, r->payload.data(),
                                            static_cast<uint32_t>(r->payload.size()), r->to, r->timeoutMs);
                return 0;
            },
            &request, 0, nullptr);
    }

    sim::TesterSimulator bench;
    sim::SimDevice& tester = bench.Tester();
    const sockaddr_in to = Ipv4Endpoint(sim::kTesterAddress, sim::kTesterPort);
    RecordingComm comm;
    Bytes outputs = Pattern(32); // a payload the tester takes for 0x0209
};

} // namespace

TEST_F(DeviceTransport, RequestIsAnsweredAndItsPayloadCopied) {
    tester.On(DEVMSG_BOUT, [](const sim::Request&) { return sim::Reply{0, {1, 2, 3, 4}, {}}; });
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 1000), S_OK);
    uint8_t answer[4] = {};
    EXPECT_EQ(comm.CopyAnswer(answer, 3), E_FAIL);
    ASSERT_EQ(comm.CopyAnswer(answer, 4), S_OK);
    EXPECT_EQ(answer[3], 4);

    auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 48u);
    sim::Head head = sim::DecodeHead(sent[0]);
    EXPECT_EQ(head.msgId, DEVMSG_BOUT);
    EXPECT_EQ(head.count, 1);
    EXPECT_EQ(head.index, 1);
    EXPECT_EQ(Bytes(sent[0].begin() + 16, sent[0].end()), outputs);
}

TEST_F(DeviceTransport, NonzeroStatusBecomesTheResult) {
    DebugLogCapture log;
    tester.Faults().AnswerWithStatus(DEVMSG_BOUT, 4);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 1000), VTS_E_UNSUPPORTED);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> SendMsgToDev(0x0209) = 0xA0190104\n "));
}

TEST_F(DeviceTransport, UnansweredRequestIsSentTwiceAndTimesOut) {
    DebugLogCapture log;
    tester.Faults().DropAnswers(DEVMSG_ASK_IO, 2);
    const DWORD start = GetTickCount();
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_ASK_IO, nullptr, 0, to, 100), VTS_E_TIMEOUT);
    EXPECT_GE(GetTickCount() - start, 195u) << "twice the time-out";
    auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], sent[1]);
    EXPECT_EQ(log.Count(" SendMsgToDev(0x0206) time out\n "), 1);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> SendMsgToDev(0x0206) = 0xA0190105\n "));
    // A lost first answer costs one time-out; the retry is answered.
    tester.Faults().DropAnswers(DEVMSG_ASK_IO, 1);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_ASK_IO, nullptr, 0, to, 100), S_OK);
    EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(DeviceTransport, MessagesAreSplitInto964ByteBitsEachAnswered) {
    for (size_t length : {0u, 964u, 965u}) {
        Bytes payload = Pattern(length);
        bench.Traffic().Clear();
        Bytes seen;
        tester.On(DEVMSG_MODULE_COMMAND, [&seen](const sim::Request& r) {
            seen.assign(r.payload.begin(), r.payload.end());
            return sim::Reply{};
        });
        ASSERT_EQ(comm.SendDevMessage(3, DEVMSG_MODULE_COMMAND, payload.data(), static_cast<uint32_t>(length),
                                      to, 1000),
                  S_OK);
        std::vector<size_t> sizes;
        for (const Bytes& packet : Sent()) {
            sizes.push_back(packet.size());
            EXPECT_EQ(sim::DecodeHead(packet).testId, 3);
        }
        const std::vector<size_t> expected =
            length == 965 ? std::vector<size_t>{980, 17} : std::vector<size_t>{16 + length};
        EXPECT_EQ(sizes, expected);
        EXPECT_EQ(seen, payload) << "reassembled by the tester";
        EXPECT_EQ(bench.Traffic().Count(sim::SentWithId(DEVMSG_MODULE_COMMAND)), sizes.size())
            << "each packet answered";
    }
}

TEST_F(DeviceTransport, FailingPacketEndsASplitMessage) {
    tester.Faults().AnswerWithStatus(DEVMSG_MODULE_COMMAND, 1, 1, 1);
    Bytes payload = Pattern(964 * 4);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_MODULE_COMMAND, payload.data(), 964 * 4, to, 1000),
              VTS_E_EXEC_FAILED);
    EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(DeviceTransport, AnswerToAnEarlierIdIsAnUpMessage) {
    ASSERT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 1000), S_OK);
    Push(DEVMSG_ASK_IO, {5, 6}, {}, kAnswerBit);
    ASSERT_TRUE(comm.WaitDelivered(1));
    auto messages = comm.Messages();
    EXPECT_FALSE(messages[0].link);
    EXPECT_EQ(messages[0].msgId, DEVMSG_ASK_IO);
    EXPECT_EQ(messages[0].payload, (Bytes{5, 6}));
}

TEST_F(DeviceTransport, LinkAnswerGoesToItsHandlerWhateverWasSentLast) {
    // The tester answers 0x0209 only with a link answer, which releases the sender too.
    tester.Faults().DropAnswers(DEVMSG_BOUT, 2);
    tester.On(DEVMSG_BOUT, [this](const sim::Request& r) {
        sim::PushOptions options;
        options.to = r.from;
        options.flags = kAnswerBit;
        tester.Push(DEVMSG_LINK, Bytes{1, 2, 3}, options);
        return sim::Reply{};
    });
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 3000), S_OK);
    ASSERT_TRUE(comm.WaitDelivered(1));
    EXPECT_TRUE(comm.Messages()[0].link);
    EXPECT_EQ(comm.Messages()[0].payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(DeviceTransport, SplitUpMessageIsMergedOnceInIndexOrder) {
    Bytes whole = Pattern(964 * 2 + 100);
    Push(DEVMSG_TEST_RESULT, whole, {2, 3, 1});
    ASSERT_TRUE(comm.WaitDelivered(1));
    Push(DEVMSG_TEST_STOP, {}); // everything before it has been dispatched once it arrives
    ASSERT_TRUE(comm.WaitDelivered(2));
    auto messages = comm.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].msgId, DEVMSG_TEST_RESULT);
    EXPECT_EQ(messages[0].payload, whole);
}

TEST_F(DeviceTransport, InterruptedReassemblyDeliversTheIntruderEmpty) {
    Push(DEVMSG_TEST_RESULT, Pattern(964 * 2 + 10), {1});
    // A single packet in the middle passes and leaves the reassembly alone.
    Push(DEVMSG_TEST_VALUE, {4, 0, 0, 0});
    Push(DEVMSG_TEST_RESULT, Pattern(964 * 2 + 10), {2});
    Push(DEVMSG_TEST_EVENT, Pattern(964 + 10), {1});
    ASSERT_TRUE(comm.WaitDelivered(2));
    auto messages = comm.Messages();
    EXPECT_EQ(messages[0].msgId, DEVMSG_TEST_VALUE);
    EXPECT_EQ(messages[0].payload, (Bytes{4, 0, 0, 0}));
    EXPECT_EQ(messages[1].msgId, DEVMSG_TEST_EVENT);
    EXPECT_TRUE(messages[1].payload.empty());
    // The cache starts over: a whole message after it is merged again.
    Push(DEVMSG_TEST_RESULT, Pattern(965));
    ASSERT_TRUE(comm.WaitDelivered(3));
    EXPECT_EQ(comm.Messages()[2].payload, Pattern(965));
}

TEST_F(DeviceTransport, MessageBeyondTheStoreIsDroppedAndTheNextStartsOver) {
    DebugLogCapture log;
    Push(DEVMSG_TEST_RESULT, Pattern(kMaxPacketPayload * 67));
    // The next split message ends the one that could never complete.
    Push(DEVMSG_TEST_EVENT, Pattern(965), {1});
    Push(DEVMSG_TEST_VALUES, Pattern(970));
    ASSERT_TRUE(comm.WaitDelivered(2));
    auto messages = comm.Messages();
    EXPECT_EQ(messages[0].msgId, DEVMSG_TEST_EVENT);
    EXPECT_TRUE(messages[0].payload.empty());
    EXPECT_EQ(messages[1].msgId, DEVMSG_TEST_VALUES);
    EXPECT_EQ(messages[1].payload, Pattern(970));
    EXPECT_TRUE(log.Contains("CMultiPacketCache: storage full, packet 67 of message 0x0207 dropped.\n"));
}

TEST_F(DeviceTransport, SplitAnswerIsMergedIntoTheAnswerRecord) {
    const Bytes whole = Pattern(1500);
    tester.On(DEVMSG_READ_MEM, [whole](const sim::Request&) { return sim::Reply{0, whole, {2, 1}}; });
    const uint8_t read[8] = {0, 0, 0, 0, 0xDC, 0x05, 0, 0}; // address 0, 1500 bytes
    ASSERT_EQ(comm.SendDevMessage(0, DEVMSG_READ_MEM, read, sizeof read, to, 1000), S_OK);
    Bytes answer(1500);
    ASSERT_EQ(comm.CopyAnswer(answer.data(), 1500), S_OK);
    EXPECT_EQ(answer, whole);
}

TEST_F(DeviceTransport, InvalidAnswerEndsTheRequestWithACrcError) {
    DebugLogCapture log;
    tester.Faults().CorruptCrc(DEVMSG_BOUT);
    DWORD start = GetTickCount();
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 5000), VTS_E_CRC);
    EXPECT_LT(GetTickCount() - start, 5000u) << "released by the invalid answer, not the time-out";
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_TRUE(comm.Messages().empty());
}

TEST_F(DeviceTransport, BadHeadIsLoggedAndDropped) {
    DebugLogCapture log;
    Bytes bad = sim::BuildPacket(DEVMSG_TEST_RESULT, 0, 1, 1, 0, Bytes{1, 2, 3});
    bad[4] = 8; // head length
    SendRaw(bad);
    SendRaw(sim::BuildPacket(DEVMSG_TEST_RESULT, 0, 3, 2, 0, {}));
    Push(DEVMSG_TEST_STOP, {});
    ASSERT_TRUE(comm.WaitDelivered(1));
    EXPECT_EQ(comm.Messages().size(), 1u);
    EXPECT_EQ(comm.Messages()[0].msgId, DEVMSG_TEST_STOP);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> CheckMsgHead: Invalid packet head !!!\n"));
    EXPECT_TRUE(
        log.Contains("VarelDeviceTarget >> CheckMsgHead: Invalid packet head: multiple packets no data ?\n"));
    EXPECT_TRUE(log.Contains("{MsgID:0x0203<Last Send MsgID:0x0000>}\n\n"));
}

TEST_F(DeviceTransport, ShortDatagramIsAReceiveErrorAndTheThreadGoesOn) {
    DebugLogCapture log;
    SendRaw(Bytes(10, 0));
    Push(DEVMSG_TEST_STOP, {});
    ASSERT_TRUE(comm.WaitDelivered(1, 4000));
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> Socket receive error: "));
}

// While a sender waits for its answer it reads the socket itself; the
// up-messages it reads meanwhile still reach the handler on the receive
// thread, in the order the device sent them and before the request returns,
// and the answer is its own.
TEST_F(DeviceTransport, UpMessagesReadByAWaitingSenderReachTheHandlerInOrder) {
    tester.Faults().DelayAnswers(DEVMSG_BOUT, 200);
    tester.On(DEVMSG_BOUT, [](const sim::Request&) { return sim::Reply{0, {9}, {}}; });
    Request call{DEVMSG_BOUT, outputs, 3000};
    HANDLE sender = SendFromThread(call);
    ASSERT_TRUE(WaitSent(1, 3000));
    for (uint8_t i = 0; i < 5; ++i) Push(DEVMSG_TEST_RESULT, {i});
    ASSERT_EQ(WaitForSingleObject(sender, 5000), WAIT_OBJECT_0);
    CloseHandle(sender);
    EXPECT_EQ(call.result, S_OK);
    uint8_t answer = 0;
    EXPECT_EQ(comm.CopyAnswer(&answer, 1), S_OK);
    EXPECT_EQ(answer, 9);
    auto messages = comm.Messages(); // handed on before the request returned
    ASSERT_EQ(messages.size(), 5u);
    for (uint8_t i = 0; i < 5; ++i) {
        EXPECT_EQ(messages[i].payload, Bytes{i});
        EXPECT_NE(messages[i].thread, call.thread) << "handed on by the receive thread";
    }
}

// A sender that has read as many up-message bytes as the queue takes, while
// the receive thread is kept by a handler, leaves the rest in the socket and
// reads on once the queue has been handed on: nothing lost, the order kept.
TEST_F(DeviceTransport, ASenderWithAFullQueueWaitsForTheReceiveThread) {
    comm.Close();
    comm.SetUpQueueLimit(16384);
    ASSERT_EQ(comm.Open(0), S_OK);
    comm.Hold();
    Push(DEVMSG_TEST_RESULT, {0});
    ASSERT_TRUE(comm.WaitDelivered(1));
    tester.Faults().DelayAnswers(DEVMSG_BOUT, 100);
    Request call{DEVMSG_BOUT, outputs, 3000};
    HANDLE sender = SendFromThread(call);
    ASSERT_TRUE(WaitSent(1, 3000));
    Bytes big(900);
    for (uint8_t i = 1; i <= 30; ++i) {
        big[0] = i;
        Push(DEVMSG_TEST_RESULT, big); // 27 KB in all
    }
    EXPECT_EQ(WaitForSingleObject(sender, 300), static_cast<DWORD>(WAIT_TIMEOUT));
    comm.Release();
    ASSERT_EQ(WaitForSingleObject(sender, 5000), WAIT_OBJECT_0);
    CloseHandle(sender);
    EXPECT_EQ(call.result, S_OK);
    EXPECT_EQ(Sent().size(), 1u) << "answered the first time, well within its time-out";
    auto messages = comm.Messages();
    ASSERT_EQ(messages.size(), 31u);
    for (uint8_t i = 1; i <= 30; ++i) EXPECT_EQ(messages[i].payload[0], i);
}

TEST_F(DeviceTransport, CloseReleasesAWaitingSenderAtOnce) {
    tester.Faults().DropAnswers(DEVMSG_TEST_START, 2);
    Request call{DEVMSG_TEST_START, {}, 10000};
    HANDLE sender = SendFromThread(call);
    ASSERT_TRUE(WaitSent(1, 3000));
    EXPECT_EQ(comm.Close(), S_OK);
    ASSERT_EQ(WaitForSingleObject(sender, 3000), WAIT_OBJECT_0);
    CloseHandle(sender);
    EXPECT_EQ(call.result, S_OK) << "the status it found: none";
    EXPECT_EQ(Sent().size(), 1u) << "released, not retried";
}

TEST_F(DeviceTransport, SendLimitsAndAClosedSocket) {
    DebugLogCapture log;
    Bytes big(1451);
    EXPECT_EQ(comm.SendDatagram(big.data(), 1451, 0, to), E_OUTOFMEMORY);
    EXPECT_EQ(comm.SendSinglePacket(0, DEVMSG_BOUT_EX, big.data(), 965, to), E_INVALIDARG);
    EXPECT_EQ(comm.SendSinglePacket(0, DEVMSG_LINK_NOTICE, nullptr, 0, to), S_OK);
    EXPECT_EQ(comm.SendMsgToDev(nullptr, to, 100), E_INVALIDARG);
    comm.Close();
    EXPECT_EQ(comm.LocalPort(), 0);
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 100), VTS_E_SEND_FAILED);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> send error: Socket invalid\n"));
    ASSERT_TRUE(WaitSent(1));
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_EQ(sim::DecodeHead(Sent()[0]).msgId, DEVMSG_LINK_NOTICE);
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
    EXPECT_EQ(comm.SendDevMessage(0, DEVMSG_BOUT, outputs.data(), 32, to, 1000), S_OK);
    EXPECT_TRUE(log.Contains("VarelDeviceTarget >> MsgRecvThread quit!\n"));
    // The sender reads its own answer, so the new thread may announce itself later.
    for (int waited = 0;
         log.Count("VarelDeviceTarget >> MsgRecvThread begin!\n") <= begunBefore && waited < 3000;
         waited += 10)
        Sleep(10);
    EXPECT_EQ(log.Count("VarelDeviceTarget >> MsgRecvThread begin!\n"), begunBefore + 1);
}
