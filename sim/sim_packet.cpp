#include "sim/sim_packet.h"

#include <algorithm>
#include <array>

namespace sim {
namespace {

uint16_t Load16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

void Store16(std::span<uint8_t> bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// CRC-16/XMODEM bit by bit (polynomial 0x1021, no reflection), run once per
// byte value at compile time so that a packet costs one lookup a byte.
constexpr std::array<uint16_t, 256> kCrcOfByte = [] {
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
        table[byte] = crc;
    }
    return table;
}();

uint16_t CrcStep(uint16_t crc, uint8_t byte) {
    return static_cast<uint16_t>(crc << 8 ^ kCrcOfByte[(crc >> 8 ^ byte) & 0xFF]);
}

} // namespace

Head DecodeHead(std::span<const uint8_t> datagram) {
    Head head;
    uint16_t* fields[] = {&head.crc,    &head.totalLength, &head.headLength, &head.msgId,
                          &head.testId, &head.count,       &head.index,      &head.flags};
    for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = Load16(datagram, 2 * i);
    return head;
}

void EncodeHead(const Head& head, std::span<uint8_t, kHeadBytes> out) {
    const uint16_t fields[] = {head.crc,    head.totalLength, head.headLength, head.msgId,
                               head.testId, head.count,       head.index,      head.flags};
    for (size_t i = 0; i < std::size(fields); ++i) Store16(out, 2 * i, fields[i]);
}

uint16_t Crc16(std::span<const uint8_t> bytes) {
    uint16_t crc = 0;
    for (uint8_t byte : bytes) crc = CrcStep(crc, byte);
    return crc;
}

uint16_t PacketCrc(std::span<const uint8_t> packet) {
    uint16_t crc = CrcStep(CrcStep(0, 0), 0); // the CRC field counts as zero
    for (uint8_t byte : packet.subspan(2)) crc = CrcStep(crc, byte);
    return crc;
}

Bytes BuildPacket(uint16_t msgId, uint16_t testId, uint16_t count, uint16_t index, uint16_t flags,
                  std::span<const uint8_t> payload) {
    Bytes packet(kHeadBytes + payload.size());
    Head head;
    head.totalLength = static_cast<uint16_t>(packet.size());
    head.headLength = kHeadBytes;
    head.msgId = msgId;
    head.testId = testId;
    head.count = count;
    head.index = index;
    head.flags = flags;
    EncodeHead(head, std::span<uint8_t, kHeadBytes>(packet.data(), kHeadBytes));
    std::copy(payload.begin(), payload.end(), packet.begin() + kHeadBytes);
    Store16(packet, 0, PacketCrc(packet));
    return packet;
}

std::vector<Bytes> SplitMessage(uint16_t msgId, uint16_t testId, uint16_t flags,
                                std::span<const uint8_t> payload) {
    const size_t count = payload.empty() ? 1 : (payload.size() + kPieceBytes - 1) / kPieceBytes;
    std::vector<Bytes> packets;
    for (size_t i = 0; i < count; ++i) {
        auto piece = payload.subspan(std::min(payload.size(), i * kPieceBytes));
        piece = piece.first(std::min(piece.size(), kPieceBytes));
        packets.push_back(BuildPacket(msgId, testId, static_cast<uint16_t>(count),
                                      static_cast<uint16_t>(i + 1), flags, piece));
    }
    return packets;
}

const char* PacketFaultName(PacketFault fault) {
    switch (fault) {
    case PacketFault::None: return "valid";
    case PacketFault::Short: return "shorter than a head";
    case PacketFault::Oversized: return "longer than 1450 bytes";
    case PacketFault::HeadLength: return "head length not 16";
    case PacketFault::TotalLength: return "total length wrong";
    case PacketFault::TrailingBytes: return "bytes after the packet";
    case PacketFault::Count: return "packet count 0";
    case PacketFault::Index: return "packet index out of range";
    case PacketFault::EmptyInner: return "inner packet without data";
    case PacketFault::Crc: return "CRC mismatch";
    case PacketFault::Flags: return "answer flags in a request";
    case PacketFault::Framing: return "message framing wrong";
    case PacketFault::Unknown: return "message id not served";
    }
    return "?";
}

PacketFault CheckPacket(std::span<const uint8_t> datagram) {
    if (datagram.size() < kHeadBytes) return PacketFault::Short;
    if (datagram.size() > kLongestDatagram) return PacketFault::Oversized;
    const Head head = DecodeHead(datagram);
    if (head.headLength != kHeadBytes) return PacketFault::HeadLength;
    if (head.totalLength < kHeadBytes || head.totalLength > datagram.size()) return PacketFault::TotalLength;
    if (head.totalLength < datagram.size()) return PacketFault::TrailingBytes;
    if (head.count == 0) return PacketFault::Count;
    if (head.index == 0 || head.index > head.count) return PacketFault::Index;
    if (head.index < head.count && head.totalLength == kHeadBytes) return PacketFault::EmptyInner;
    if (head.crc != PacketCrc(datagram.first(head.totalLength))) return PacketFault::Crc;
    if (head.flags != 0) return PacketFault::Flags;
    return PacketFault::None;
}

} // namespace sim
