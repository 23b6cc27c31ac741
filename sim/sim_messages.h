// The requests each device serves and how their packets must be cut.
#pragma once

#include "sim/sim_packet.h"

#include <cstdint>

namespace sim {

enum class DeviceKind { Tester, IoBox };

enum class Framing {
    Split,        // the generic splitter: 964 bytes a packet, reassembled by index
    SecondHeader, // each packet carries (address or offset, byte count) and stands alone
    Notice,       // not a request: never answered
};

struct MessageRule {
    uint16_t msgId;
    Framing framing;
    uint32_t minLength; // Split: payload bytes of the whole message; SecondHeader: data bytes a packet
    uint32_t maxLength;
    uint32_t unit; // the payload is a whole number of these
};

// The rule for a request to this device; null for an id it does not serve.
const MessageRule* FindRule(DeviceKind device, uint16_t msgId);

// A packet's place in its message: inner packets of a split message carry a
// full 964 bytes, no packet is longer than 980, and a second-header packet
// declares the byte count it carries.
PacketFault CheckPiece(const MessageRule& rule, std::span<const uint8_t> packet);
// A whole split message's payload length.
PacketFault CheckMessageLength(const MessageRule& rule, size_t payloadLength);

} // namespace sim
