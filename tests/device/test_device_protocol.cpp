// Packet heads, the checksum, validation, splitting, the id tables and the
// reassembly of split messages from the device.
#include "device/message_ids.h"
#include "device/msg_record.h"
#include "device/multi_packet_cache.h"
#include "device/packet_head.h"

#include <varel/vts_errors.h>

#include <debug_log.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Packet index of count of message msgId, stamped; payload bytes are index * 16 + i.
std::vector<uint8_t> Packet(uint16_t msgId, uint16_t count, uint16_t index, uint32_t payload = 5,
                            uint16_t flags = 0) {
    std::vector<uint8_t> packet(kPacketHeadLength + payload);
    PacketHead head;
    FillPacketHead(head, msgId, 0, count, index, static_cast<uint16_t>(packet.size()));
    head.flags = flags;
    std::memcpy(packet.data(), &head, sizeof head);
    for (uint32_t i = 0; i < payload; ++i)
        packet[kPacketHeadLength + i] = static_cast<uint8_t>(index * 16 + i);
    StampPacketCrc(packet.data());
    return packet;
}

PacketHead HeadOf(const std::vector<uint8_t>& packet) {
    PacketHead head;
    std::memcpy(&head, packet.data(), sizeof head);
    return head;
}

std::vector<uint8_t> Merged(CMultiPacketCache& cache, HRESULT expected = S_OK) {
    MsgRecord record;
    EXPECT_EQ(cache.Merge(record, true), expected);
    return {record.Data(), record.Data() + record.Length()};
}

} // namespace

TEST(DeviceProtocol, CrcIsXmodem) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16Xmodem(reinterpret_cast<const uint8_t*>(digits), 9), 0x31C3);
    EXPECT_EQ(Crc16Xmodem(nullptr, 0), 0);
    // Eight bytes a step and the tail a byte at a time agree with the CRC
    // worked out bit by bit, for every split of a packet's length.
    std::vector<uint8_t> bytes(980);
    uint32_t state = 12345;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 16);
    uint16_t bitwise = 0;
    for (size_t length = 0; length <= bytes.size(); ++length) {
        ASSERT_EQ(Crc16Xmodem(bytes.data(), length), bitwise) << length << " bytes";
        if (length == bytes.size()) break;
        bitwise ^= static_cast<uint16_t>(bytes[length] << 8);
        for (int bit = 0; bit < 8; ++bit)
            bitwise = static_cast<uint16_t>(bitwise & 0x8000 ? bitwise << 1 ^ 0x1021 : bitwise << 1);
    }
}

TEST(DeviceProtocol, HeadOnlyPacketIsStampedWithItsCrcFieldZero) {
    auto packet = Packet(DEVMSG_ASK_IO, 1, 1, 0);
    PacketHead head = HeadOf(packet);
    EXPECT_EQ(head.totalLength, 16);
    EXPECT_EQ(head.headLength, 16);
    EXPECT_EQ(head.msgId, 0x0206);
    std::vector<uint8_t> zeroed = packet;
    zeroed[0] = zeroed[1] = 0;
    EXPECT_EQ(head.crc, Crc16Xmodem(zeroed.data(), 16));
    EXPECT_EQ(CheckMsgHead(packet.data(), 16), PacketCheck::Valid);
    // Wire bytes are little-endian: total length 16 at offset 2.
    EXPECT_EQ(packet[2], 16);
    EXPECT_EQ(packet[3], 0);
    EXPECT_EQ(packet[6], 0x06);
    EXPECT_EQ(packet[7], 0x02);
}

TEST(DeviceProtocol, CheckMsgHeadSortsFaults) {
    auto with = [](std::vector<uint8_t> packet, auto change) {
        change(packet);
        return packet;
    };
    const std::vector<uint8_t> packet = Packet(0x0207, 1, 1, 20);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        PacketCheck check;
    } cases[] = {
        {"valid", packet, PacketCheck::Valid},
        {"datagram bytes beyond the total length", with(packet, [](auto& p) { p.resize(40); }),
         PacketCheck::Valid},
        {"truncated", with(packet, [](auto& p) { p.resize(30); }), PacketCheck::BadHead},
        {"empty inner packet", Packet(0x0207, 3, 2, 0), PacketCheck::EmptyInnerPacket},
        {"empty last packet", Packet(0x0207, 3, 3, 0), PacketCheck::Valid},
        {"index above count", Packet(0x0207, 2, 3, 4), PacketCheck::BadHead},
        {"head length 12", with(packet, [](auto& p) { p[4] = 12, StampPacketCrc(p.data()); }),
         PacketCheck::BadHead},
        {"total length 15", with(packet, [](auto& p) { p[2] = 15; }), PacketCheck::BadHead},
        {"bad crc", with(packet, [](auto& p) { p[18] ^= 0x01; }), PacketCheck::BadCrc},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckMsgHead(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.check) << c.what;
}

TEST(DeviceProtocol, SplittingCountsPacketsOf964Bytes) {
    EXPECT_EQ(PacketCountFor(0), 1u);
    EXPECT_EQ(PacketCountFor(1), 1u);
    EXPECT_EQ(PacketCountFor(964), 1u);
    EXPECT_EQ(PacketCountFor(965), 2u);
    EXPECT_EQ(PacketCountFor(964 * 3), 3u);
    EXPECT_EQ(kMaxPacketLength, 980u);
}

TEST(DeviceProtocol, TimeoutsFollowTheId) {
    for (uint16_t id : {0x0201, 0x0203, 0x0204, 0x020F}) EXPECT_EQ(AnswerTimeoutMs(id), 3000u) << id;
    for (uint16_t id : {0x0205, 0x0206, 0x0208, 0x0210}) EXPECT_EQ(AnswerTimeoutMs(id), 100u) << id;
    for (uint16_t id : {0x0000, 0x0101, 0x0202, 0x0209, 0x0500, 0x0607})
        EXPECT_EQ(AnswerTimeoutMs(id), 1000u) << id;
}

TEST(DeviceProtocol, StatusesBecomeTheServerFamily) {
    EXPECT_EQ(StatusToResult(0), S_OK);
    EXPECT_EQ(StatusToResult(4), static_cast<HRESULT>(0xA0190104));
    EXPECT_EQ(StatusToResult(2), VTS_E_CRC);
    EXPECT_EQ(StatusToResult(10), static_cast<HRESULT>(0xA019010A));
    auto answer = Packet(0x0209, 1, 1, 0, 0x8004);
    PacketHead head = HeadOf(answer);
    EXPECT_TRUE(IsAnswer(head));
    EXPECT_EQ(StatusToResult(AnswerStatus(head)), VTS_E_UNSUPPORTED);
}

TEST(MsgRecord, StoreReusesTheBufferThatFitsAndAppendRespectsAFixedCapacity) {
    MsgRecord record;
    ASSERT_EQ(record.Reserve(8), S_OK);
    const uint8_t bytes[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_EQ(record.Store(bytes, 6), S_OK);
    const uint8_t* buffer = record.Data();
    ASSERT_EQ(record.Store(bytes, 8), S_OK);
    EXPECT_EQ(record.Data(), buffer);
    EXPECT_EQ(record.Append(bytes, 1, false), E_OUTOFMEMORY);
    EXPECT_EQ(record.Length(), 8u);
    ASSERT_EQ(record.Append(bytes, 4, true), S_OK);
    EXPECT_EQ(record.Length(), 12u);
    EXPECT_EQ(record.Data()[11], 4);
    ASSERT_EQ(record.Store(bytes, 12), S_OK);
    EXPECT_EQ(std::memcmp(record.Data(), bytes, 12), 0);
}

TEST(MultiPacketCache, MergesInIndexOrderWhateverTheArrival) {
    CMultiPacketCache cache;
    EXPECT_EQ(cache.Push(Packet(0x207, 3, 2).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.Push(Packet(0x207, 3, 3).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.MsgId(), 0x207);
    EXPECT_EQ(cache.Push(Packet(0x207, 3, 1).data()), S_OK);
    auto bytes = Merged(cache);
    ASSERT_EQ(bytes.size(), 15u);
    EXPECT_EQ(bytes[0], 0x10);
    EXPECT_EQ(bytes[5], 0x20);
    EXPECT_EQ(bytes[14], 0x34);
    EXPECT_TRUE(cache.Empty());
}

TEST(MultiPacketCache, RefusesOtherMessagesCountsAndEmptyPackets) {
    DebugLogCapture log;
    CMultiPacketCache cache;
    ASSERT_EQ(cache.Push(Packet(0x207, 3, 1).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.Push(Packet(0x208, 3, 2).data()), E_INVALIDARG);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: push mismatch msg id.\n"));
    EXPECT_EQ(cache.Push(Packet(0x207, 4, 2).data()), E_INVALIDARG);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: push MaxCount error.\n"));
    EXPECT_EQ(cache.Push(Packet(0x207, 3, 3, 0).data()), E_INVALIDARG);
    // The partial message cannot be merged, and the cache starts over.
    Merged(cache, E_FAIL);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: GetMergeMsg MaxCount error.\n"));
    EXPECT_TRUE(cache.Empty());
    EXPECT_EQ(cache.Push(Packet(0x209, 2, 2).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.Push(Packet(0x209, 2, 1).data()), S_OK);
    EXPECT_EQ(Merged(cache).size(), 10u);
}

TEST(MultiPacketCache, RepeatedIndexFailsTheMerge) {
    DebugLogCapture log;
    CMultiPacketCache cache;
    cache.Push(Packet(0x207, 3, 1).data());
    cache.Push(Packet(0x207, 3, 3).data());
    EXPECT_EQ(cache.Push(Packet(0x207, 3, 3).data()), S_OK); // three packets, one missing
    Merged(cache, E_FAIL);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: GetMergeMsg index error.\n"));
    EXPECT_TRUE(cache.Empty());
}

TEST(MultiPacketCache, StorageHolds66FullPacketsAndIsReused) {
    CMultiPacketCache cache;
    for (uint16_t round = 0; round < 3; ++round) {
        for (uint16_t i = 1; i <= 66; ++i)
            ASSERT_EQ(cache.Push(Packet(0x207, 66, i, kMaxPacketPayload).data()),
                      i == 66 ? S_OK : CACHE_S_INCOMPLETE);
        EXPECT_EQ(Merged(cache).size(), 66u * kMaxPacketPayload);
    }
    for (uint16_t i = 1; i <= 66; ++i) cache.Push(Packet(0x207, 67, i, kMaxPacketPayload).data());
    EXPECT_EQ(cache.Push(Packet(0x207, 67, 67, kMaxPacketPayload).data()), E_OUTOFMEMORY);
}

TEST(MultiPacketCache, FixedRecordRefusesAMessageBeyondItsCapacity) {
    CMultiPacketCache cache;
    cache.Push(Packet(0x207, 2, 1, 10).data());
    cache.Push(Packet(0x207, 2, 2, 10).data());
    MsgRecord record;
    record.Reserve(15);
    EXPECT_EQ(cache.Merge(record, false), E_OUTOFMEMORY);
    EXPECT_TRUE(cache.Empty());
}
