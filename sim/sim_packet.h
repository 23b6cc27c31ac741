// The device's side of the packet format, written on its own from the wire
// rules so that it checks the PC's packets instead of agreeing with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

constexpr size_t kHeadBytes = 16;
constexpr size_t kPieceBytes = 964;       // payload per packet of a split message
constexpr size_t kLongestDatagram = 1450; // sent or read by either side
constexpr uint16_t kAnswerBit = 0x8000;

// The 16-byte head, decoded; on the wire every field is 16-bit little-endian.
struct Head {
    uint16_t crc = 0;
    uint16_t totalLength = 0;
    uint16_t headLength = 0;
    uint16_t msgId = 0;
    uint16_t testId = 0;
    uint16_t count = 0;
    uint16_t index = 0;
    uint16_t flags = 0;

    bool IsAnswer() const { return (flags & kAnswerBit) != 0; }
    uint16_t Status() const { return flags & 0x7FFF; }
};
static_assert(sizeof(Head) == kHeadBytes, "a head is 16 bytes");

// Reads the head of a datagram of at least 16 bytes.
Head DecodeHead(std::span<const uint8_t> datagram);
void EncodeHead(const Head& head, std::span<uint8_t, kHeadBytes> out);

// CRC-16/XMODEM: polynomial 0x1021, start 0, most significant bit first.
uint16_t Crc16(std::span<const uint8_t> bytes);
// The CRC a packet must carry: over its total length with the CRC field as 0.
uint16_t PacketCrc(std::span<const uint8_t> packet);

// One packet: the head's lengths and CRC are filled from the payload.
Bytes BuildPacket(uint16_t msgId, uint16_t testId, uint16_t count, uint16_t index, uint16_t flags,
                  std::span<const uint8_t> payload);
// A whole message as the generic splitter cuts it: 964 bytes a packet, one
// head-only packet for an empty payload.
std::vector<Bytes> SplitMessage(uint16_t msgId, uint16_t testId, uint16_t flags,
                                std::span<const uint8_t> payload);

// What is wrong with a packet that reached the device.
enum class PacketFault {
    None,
    Short,         // fewer than 16 bytes
    Oversized,     // longer than 1450 bytes
    HeadLength,    // head length not 16
    TotalLength,   // total length under 16 or longer than the datagram
    TrailingBytes, // the datagram is longer than the packet says
    Count,         // packet count 0
    Index,         // index 0 or beyond the count
    EmptyInner,    // an inner packet of a split message without data
    Crc,
    Flags,   // answer bit or status set in a request
    Framing, // a split or second-header message cut against its rules
    Unknown, // a message id this device does not serve
};
const char* PacketFaultName(PacketFault fault);

// The head and CRC rules every packet from the PC must keep.
PacketFault CheckPacket(std::span<const uint8_t> datagram);

} // namespace sim
