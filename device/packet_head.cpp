#include "device/packet_head.h"

#include <array>
#include <cstring>

namespace {

// Eight tables: kCrcTables[k][b] is the remainder of byte b followed by k
// zero bytes, so eight bytes take eight independent lookups instead of a
// chain of eight. Every packet is checked on the way out and on the way in,
// and a full one is nearly a kilobyte.
using CrcTables = std::array<std::array<uint16_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        tables[0][byte] = crc;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (unsigned byte = 0; byte < 256; ++byte) {
            const uint16_t previous = tables[k - 1][byte];
            tables[k][byte] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    return tables;
}
constexpr CrcTables kCrcTables = MakeCrcTables();

} // namespace

uint16_t Crc16Xmodem(const uint8_t* data, size_t length) {
    const auto& t = kCrcTables;
    uint16_t crc = 0;
    for (; length >= 8; data += 8, length -= 8) {
        const unsigned high = (crc >> 8) ^ data[0], low = (crc & 0xFF) ^ data[1];
        crc = static_cast<uint16_t>(t[7][high] ^ t[6][low] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^
                                    t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
    }
    for (; length > 0; ++data, --length)
        crc = static_cast<uint16_t>((crc << 8) ^ t[0][((crc >> 8) ^ *data) & 0xFF]);
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
