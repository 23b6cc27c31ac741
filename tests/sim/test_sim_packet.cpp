// The simulator's own reading of the wire rules, and that it agrees with the
// PC side's packets byte for byte.
#include "device/packet_head.h"
#include "sim/sim_messages.h"
#include "sim/sim_packet.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace sim;

namespace {

Bytes Pattern(size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
    return bytes;
}

// A packet as the PC side builds it.
Bytes PcPacket(uint16_t msgId, uint16_t count, uint16_t index, const Bytes& payload) {
    Bytes packet(kHeadBytes + payload.size());
    PacketHead head;
    FillPacketHead(head, msgId, 5, count, index, static_cast<uint16_t>(packet.size()));
    std::memcpy(packet.data(), &head, sizeof head);
    std::copy(payload.begin(), payload.end(), packet.begin() + kHeadBytes);
    StampPacketCrc(packet.data());
    return packet;
}

} // namespace

// The check value of the CRC; then each packet byte for byte as the PC side builds and checks it.
TEST(SimPacket, AgreesWithThePcSideInBothDirections) {
    EXPECT_EQ(Crc16(std::span(reinterpret_cast<const uint8_t*>("123456789"), 9)), 0x31C3);
    for (size_t length : {0u, 1u, 2u, 17u, 100u, 963u, 964u}) {
        SCOPED_TRACE(length);
        Bytes payload = Pattern(length);
        Bytes ours = BuildPacket(0x0204, 5, 1, 1, 0, payload);
        EXPECT_EQ(ours, PcPacket(0x0204, 1, 1, payload));
        EXPECT_EQ(CheckMsgHead(ours.data(), static_cast<uint32_t>(ours.size())), PacketCheck::Valid);
        EXPECT_EQ(CheckPacket(PcPacket(0x0204, 1, 1, payload)), PacketFault::None);
    }
}

TEST(SimPacket, SplitsAt964Bytes) {
    auto sizes = [](size_t length) {
        std::vector<size_t> out;
        for (const Bytes& p : SplitMessage(0x0207, 0, 0, Pattern(length))) out.push_back(p.size());
        return out;
    };
    EXPECT_EQ(sizes(0), (std::vector<size_t>{16}));
    EXPECT_EQ(sizes(964), (std::vector<size_t>{980}));
    EXPECT_EQ(sizes(965), (std::vector<size_t>{980, 17}));
    auto packets = SplitMessage(0x0207, 3, kAnswerBit | 4, Pattern(2000));
    ASSERT_EQ(packets.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        Head head = DecodeHead(packets[i]);
        EXPECT_EQ(head.count, 3);
        EXPECT_EQ(head.index, i + 1);
        EXPECT_EQ(head.testId, 3);
        EXPECT_TRUE(head.IsAnswer());
        EXPECT_EQ(head.Status(), 4);
    }
    EXPECT_EQ(packets[2][16], Pattern(2000)[1928]);
}

TEST(SimPacket, EveryHeadFaultIsNamed) {
    auto with = [](auto change, bool restamp = true) {
        Bytes packet = BuildPacket(0x0209, 0, 1, 1, 0, Pattern(32));
        change(packet);
        if (restamp) {
            packet[0] = packet[1] = 0;
            uint16_t crc = PacketCrc(
                std::span(packet).first(std::min<size_t>(packet.size(), DecodeHead(packet).totalLength)));
            packet[0] = static_cast<uint8_t>(crc);
            packet[1] = static_cast<uint8_t>(crc >> 8);
        }
        return CheckPacket(packet);
    };
    const std::pair<PacketFault, PacketFault> cases[] = {
        {with([](Bytes& p) { p.resize(10); }, false), PacketFault::Short},
        {with([](Bytes& p) { p.resize(1451); }, false), PacketFault::Oversized},
        {with([](Bytes& p) { p[4] = 12; }), PacketFault::HeadLength},
        {with([](Bytes& p) { p[2] = 15; }, false), PacketFault::TotalLength},
        {with([](Bytes& p) { p[2] = 60; }, false), PacketFault::TotalLength},
        {with([](Bytes& p) { p.push_back(0); }), PacketFault::TrailingBytes},
        {with([](Bytes& p) { p[10] = 0; }), PacketFault::Count},
        {with([](Bytes& p) { p[12] = 0; }), PacketFault::Index},
        {with([](Bytes& p) { p[12] = 2; }), PacketFault::Index},
        {with([](Bytes& p) { p.resize(16), p[2] = 16, p[10] = 3, p[12] = 2; }), PacketFault::EmptyInner},
        {with([](Bytes& p) { p[20] ^= 1; }, false), PacketFault::Crc},
        {with([](Bytes& p) { p[15] = 0x80; }), PacketFault::Flags},
        {with([](Bytes&) {}), PacketFault::None},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i << ": " << PacketFaultName(cases[i].first);
}

TEST(SimMessages, PiecesAndLengthsFollowTheirMessage) {
    const MessageRule* params = FindRule(DeviceKind::Tester, 0x0204);
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(CheckMessageLength(*params, 480), PacketFault::None);
    EXPECT_EQ(CheckMessageLength(*params, 481), PacketFault::Framing);
    EXPECT_EQ(CheckMessageLength(*params, 486), PacketFault::Framing);
    EXPECT_EQ(FindRule(DeviceKind::IoBox, 0x0204), nullptr);
    EXPECT_NE(FindRule(DeviceKind::IoBox, 0x0408), nullptr);
    EXPECT_EQ(FindRule(DeviceKind::Tester, 0x0207), nullptr) << "an up-message is not a request";

    // A split message's inner packets carry 964 bytes each.
    const MessageRule* bout = FindRule(DeviceKind::Tester, 0x0211);
    EXPECT_EQ(CheckPiece(*bout, BuildPacket(0x0211, 0, 2, 1, 0, Pattern(964))), PacketFault::None);
    EXPECT_EQ(CheckPiece(*bout, BuildPacket(0x0211, 0, 2, 1, 0, Pattern(500))), PacketFault::Framing);
    EXPECT_EQ(CheckPiece(*bout, BuildPacket(0x0211, 0, 1, 1, 0, Pattern(965))), PacketFault::Framing);

    // Second-header packets declare what they carry; a read asks for a count.
    auto secondHeader = [](uint32_t address, uint32_t count, size_t data) {
        Bytes payload = Pattern(8 + data);
        for (int i = 0; i < 4; ++i) payload[i] = static_cast<uint8_t>(address >> 8 * i);
        for (int i = 0; i < 4; ++i) payload[4 + i] = static_cast<uint8_t>(count >> 8 * i);
        return payload;
    };
    const MessageRule* program = FindRule(DeviceKind::Tester, 0x0101);
    EXPECT_EQ(CheckPiece(*program, BuildPacket(0x0101, 0, 0xFFFF, 7, 0, secondHeader(0x8000, 956, 956))),
              PacketFault::None);
    EXPECT_EQ(CheckPiece(*program, BuildPacket(0x0101, 0, 0xFFFF, 7, 0, secondHeader(0x8000, 958, 958))),
              PacketFault::Framing);
    EXPECT_EQ(CheckPiece(*program, BuildPacket(0x0101, 0, 0xFFFF, 7, 0, secondHeader(0x8000, 10, 12))),
              PacketFault::Framing);
    EXPECT_EQ(CheckPiece(*program, BuildPacket(0x0101, 0, 8, 8, 0, secondHeader(126, 4, 4))),
              PacketFault::None);
    const MessageRule* read = FindRule(DeviceKind::Tester, 0x0102);
    EXPECT_EQ(CheckPiece(*read, BuildPacket(0x0102, 0, 1, 1, 0, secondHeader(0, 36, 0))), PacketFault::None);
    EXPECT_EQ(CheckPiece(*read, BuildPacket(0x0102, 0, 1, 1, 0, secondHeader(0, 36, 4))),
              PacketFault::Framing);
}
