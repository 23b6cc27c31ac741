#include "sim/sim_messages.h"

#include <algorithm>
#include <iterator>

namespace sim {
namespace {

constexpr uint32_t kAny = 0xFFFFFFFF;

// Payload lengths as the PC must send them.
constexpr MessageRule kTesterRules[] = {
    {0x0000, Framing::Split, 12, 12, 1},        // link: PC and device address and port
    {0x0002, Framing::Split, 8, 8, 1},          // flash check
    {0x0101, Framing::SecondHeader, 2, 956, 2}, // DSP program words
    {0x0102, Framing::SecondHeader, 0, 0, 1},   // read memory: the second header only
    {0x0104, Framing::Split, 20, 20, 1},        // GPS time record
    {0x0106, Framing::SecondHeader, 2, 528, 2}, // wave samples
    {0x0200, Framing::Split, 8, 8, 1},          // select program
    {0x0201, Framing::Split, 0, kAny, 1},       // test start sequence
    {0x0202, Framing::Split, 0, kAny, 1},       {0x0203, Framing::Split, 0, kAny, 1}, // test stop
    {0x0204, Framing::Split, 0, 480, 6},        // test parameters: (tag, value) pairs, maybe none
    {0x0205, Framing::Notice, 0, 0, 1},         // link notice
    {0x0206, Framing::Split, 0, 0, 1},          // ask I/O state
    {0x0208, Framing::Split, 0, kAny, 1},       // test event
    {0x0209, Framing::Split, 32, 32, 1},        // 16 binary outputs
    {0x020D, Framing::Split, 0, kAny, 1},       // compensation data
    {0x020E, Framing::Split, 0, kAny, 1},       // module command
    {0x020F, Framing::Split, 8, 8, 1},          // download lock
    {0x0210, Framing::Split, 0, 0, 1},          // ask extended I/O state
    {0x0211, Framing::Split, 4, 1450, 1},       // extended binary outputs
    {0x0500, Framing::Split, 288, 288, 1},      // file header
    {0x0501, Framing::SecondHeader, 1, 528, 1}, // file bytes
    {0x0502, Framing::Split, 0, 0, 1},          // file end
    {0x0607, Framing::Split, 8, 8, 1},          // GPS time mode
};

constexpr MessageRule kIoBoxRules[] = {
    {0x0000, Framing::Split, 12, 12, 1},
    {0x0405, Framing::Split, 8, 8, 1},     // start or stop output
    {0x0408, Framing::Split, 136, 136, 1}, // PT/CT record
};

uint32_t Load32(std::span<const uint8_t> bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool LengthFits(const MessageRule& rule, size_t length) {
    return length >= rule.minLength && length <= rule.maxLength && length % rule.unit == 0;
}

} // namespace

const MessageRule* FindRule(DeviceKind device, uint16_t msgId) {
    auto find = [msgId](const auto& rules) -> const MessageRule* {
        auto it = std::find_if(std::begin(rules), std::end(rules),
                               [msgId](const MessageRule& rule) { return rule.msgId == msgId; });
        return it == std::end(rules) ? nullptr : &*it;
    };
    return device == DeviceKind::Tester ? find(kTesterRules) : find(kIoBoxRules);
}

PacketFault CheckPiece(const MessageRule& rule, std::span<const uint8_t> packet) {
    const Head head = DecodeHead(packet);
    if (rule.framing != Framing::SecondHeader) {
        const bool inner = head.index < head.count;
        if (head.totalLength > kHeadBytes + kPieceBytes ||
            (inner && head.totalLength != kHeadBytes + kPieceBytes))
            return PacketFault::Framing;
        return PacketFault::None;
    }
    constexpr size_t kSecondHeaderEnd = kHeadBytes + 8;
    if (head.totalLength < kSecondHeaderEnd) return PacketFault::Framing;
    const size_t data = head.totalLength - kSecondHeaderEnd;
    const uint32_t declared = Load32(packet, kHeadBytes + 4);
    // A read request declares the count it asks for; the others what follows.
    if (rule.maxLength == 0) return data == 0 && declared > 0 ? PacketFault::None : PacketFault::Framing;
    return declared == data && LengthFits(rule, data) ? PacketFault::None : PacketFault::Framing;
}

PacketFault CheckMessageLength(const MessageRule& rule, size_t payloadLength) {
    return LengthFits(rule, payloadLength) ? PacketFault::None : PacketFault::Framing;
}

} // namespace sim
