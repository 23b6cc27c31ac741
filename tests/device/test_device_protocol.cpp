// Packet heads, the checksum, validation, splitting and the id tables.
#include "device/message_ids.h"
#include "device/packet_head.h"
#include "device/msg_record.h"

#include <varel/vts_errors.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> MakePacket(uint16_t msgId, uint16_t count, uint16_t index, uint32_t payload,
                                uint16_t flags = 0) {
    std::vector<uint8_t> packet(kPacketHeadLength + payload);
    PacketHead head;
    FillPacketHead(head, msgId, 0, count, index, static_cast<uint16_t>(packet.size()));
    head.flags = flags;
    std::memcpy(packet.data(), &head, sizeof head);
    for (uint32_t i = 0; i < payload; ++i) packet[kPacketHeadLength + i] = static_cast<uint8_t>(i * 7);
    StampPacketCrc(packet.data());
    return packet;
}

PacketHead HeadOf(const std::vector<uint8_t>& packet) {
    PacketHead head;
    std::memcpy(&head, packet.data(), sizeof head);
    return head;
}

} // namespace

TEST(DeviceProtocol, CrcIsXmodem) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc16Xmodem(reinterpret_cast<const uint8_t*>(digits), 9), 0x31C3);
    EXPECT_EQ(Crc16Xmodem(nullptr, 0), 0);
}

TEST(DeviceProtocol, HeadOnlyPacketIsStampedWithItsCrcFieldZero) {
    auto packet = MakePacket(DEVMSG_ASK_IO, 1, 1, 0);
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
    auto good = MakePacket(0x0207, 1, 1, 20);
    EXPECT_EQ(CheckMsgHead(good.data(), static_cast<uint32_t>(good.size())), PacketCheck::Valid);
    // Extra datagram bytes beyond the total length are allowed.
    good.resize(good.size() + 4);
    EXPECT_EQ(CheckMsgHead(good.data(), static_cast<uint32_t>(good.size())), PacketCheck::Valid);

    auto truncated = MakePacket(0x0207, 1, 1, 20);
    EXPECT_EQ(CheckMsgHead(truncated.data(), 30), PacketCheck::BadHead);

    auto innerEmpty = MakePacket(0x0207, 3, 2, 0);
    EXPECT_EQ(CheckMsgHead(innerEmpty.data(), 16), PacketCheck::EmptyInnerPacket);
    auto lastEmpty = MakePacket(0x0207, 3, 3, 0);
    EXPECT_EQ(CheckMsgHead(lastEmpty.data(), 16), PacketCheck::Valid);

    auto indexAbove = MakePacket(0x0207, 2, 3, 4);
    EXPECT_EQ(CheckMsgHead(indexAbove.data(), 20), PacketCheck::BadHead);

    auto headLength = MakePacket(0x0207, 1, 1, 4);
    headLength[4] = 12;
    StampPacketCrc(headLength.data());
    EXPECT_EQ(CheckMsgHead(headLength.data(), 20), PacketCheck::BadHead);

    auto shortTotal = MakePacket(0x0207, 1, 1, 4);
    shortTotal[2] = 15;
    EXPECT_EQ(CheckMsgHead(shortTotal.data(), 20), PacketCheck::BadHead);

    auto badCrc = MakePacket(0x0207, 1, 1, 4);
    badCrc[18] ^= 0x01;
    EXPECT_EQ(CheckMsgHead(badCrc.data(), 20), PacketCheck::BadCrc);
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
    for (uint16_t id : {0x0000, 0x0101, 0x0202, 0x0209, 0x0500, 0x0607}) EXPECT_EQ(AnswerTimeoutMs(id), 1000u) << id;
}

TEST(DeviceProtocol, StatusesBecomeTheServerFamily) {
    EXPECT_EQ(StatusToResult(0), S_OK);
    EXPECT_EQ(StatusToResult(4), static_cast<HRESULT>(0xA0190104));
    EXPECT_EQ(StatusToResult(2), VTS_E_CRC);
    EXPECT_EQ(StatusToResult(10), static_cast<HRESULT>(0xA019010A));
    auto answer = MakePacket(0x0209, 1, 1, 0, 0x8004);
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
