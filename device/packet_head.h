// The packet of the device protocol: a 16-byte head, then the payload. All
// fields are little-endian, as the host's own layout on every target we build.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "the wire layout is the host's own");

struct PacketHead {
    uint16_t crc;         // CRC-16/XMODEM of the whole packet, computed with this field 0
    uint16_t totalLength; // head + payload
    uint16_t headLength;  // always 16
    uint16_t msgId;
    uint16_t testId;      // the test module's DSP test id, 0 for agent and device messages
    uint16_t packetCount; // 0xFFFF while a program download does not know its count yet
    uint16_t packetIndex; // 1-based
    uint16_t flags;       // bit 15: answer; bits 0-14: its status
};
static_assert(sizeof(PacketHead) == 16, "PacketHead is 16 bytes");

constexpr uint16_t kPacketHeadLength = 16;
constexpr uint32_t kMaxPacketPayload = 964;                             // per packet of a split message
constexpr uint32_t kMaxPacketLength = kPacketHeadLength + kMaxPacketPayload; // 980
constexpr uint32_t kMaxDatagramLength = 1450;                           // sent or received
constexpr uint16_t kAnswerFlag = 0x8000;
constexpr uint16_t kStatusMask = 0x7FFF;
constexpr uint16_t kStatusCrcError = 2;

uint16_t Crc16Xmodem(const uint8_t* data, size_t length);

void FillPacketHead(PacketHead& head, uint16_t msgId, uint16_t testId, uint16_t count, uint16_t index,
                    uint16_t totalLength);

// Zeroes the CRC field, computes the CRC over totalLength bytes and stores it.
void StampPacketCrc(uint8_t* packet);

enum class PacketCheck {
    Valid,
    EmptyInnerPacket, // an inner packet of a split message without data: dropped, no CRC status
    BadHead,          // head length, total length or index wrong
    BadCrc,
};
// Validates a received packet against the number of bytes that arrived.
PacketCheck CheckMsgHead(const uint8_t* packet, uint32_t receivedLength);

// Packets for a payload of length bytes (1 for an empty payload).
constexpr uint32_t PacketCountFor(uint32_t length) {
    return length == 0 ? 1 : (length + kMaxPacketPayload - 1) / kMaxPacketPayload;
}

inline bool IsAnswer(const PacketHead& head) { return (head.flags & kAnswerFlag) != 0; }
inline uint16_t AnswerStatus(const PacketHead& head) { return head.flags & kStatusMask; }
