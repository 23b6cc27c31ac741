#include "device/packet_head.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[byte] = crc;
    }
    return table;
}
constexpr auto kCrcTable = MakeCrcTable();

} // namespace

uint16_t Crc16Xmodem(const uint8_t* data, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

void FillPacketHead(PacketHead& head, uint16_t msgId, uint16_t testId, uint16_t count, uint16_t index,
                    uint16_t totalLength) {
    head.crc = 0;
    head.totalLength = totalLength;
    head.headLength = kPacketHeadLength;
    head.msgId = msgId;
    head.testId = testId;
    head.packetCount = count;
    head.packetIndex = index;
    head.flags = 0;
}

void StampPacketCrc(uint8_t* packet) {
    uint16_t totalLength;
    std::memcpy(&totalLength, packet + 2, sizeof totalLength);
    uint16_t crc = Crc16Xmodem(packet + 2, totalLength - 2u); // as if the field were zero
    std::memcpy(packet, &crc, sizeof crc);
}

PacketCheck CheckMsgHead(const uint8_t* packet, uint32_t receivedLength) {
    if (receivedLength < kPacketHeadLength) return PacketCheck::BadHead;
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    if (head.headLength != kPacketHeadLength || head.totalLength < kPacketHeadLength ||
        head.totalLength > receivedLength || head.packetIndex > head.packetCount)
        return PacketCheck::BadHead;
    if (head.packetIndex < head.packetCount && head.totalLength == kPacketHeadLength)
        return PacketCheck::EmptyInnerPacket;
    // The CRC covers the packet with its own field as zero; from the initial
    // value 0, leading zero bytes leave the CRC 0, so the field can be skipped.
    uint16_t crc = Crc16Xmodem(packet + 2, head.totalLength - 2u);
    return head.crc == crc ? PacketCheck::Valid : PacketCheck::BadCrc;
}
