// Arbitrary datagrams through validation and reassembly: never a crash, and a
// merged message never holds more than the packets pushed.
#include "device/multi_packet_cache.h"
#include "device/packet_head.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMultiPacketCache cache;
    static MsgRecord record;
    // Each input is a run of datagrams, each preceded by its 16-bit length.
    size_t offset = 0;
    while (offset + 2 <= size) {
        uint16_t length;
        std::memcpy(&length, data + offset, 2);
        offset += 2;
        if (length > size - offset) length = static_cast<uint16_t>(size - offset);
        if (length > kMaxDatagramLength) length = kMaxDatagramLength;
        std::vector<uint8_t> datagram(data + offset, data + offset + length);
        offset += length;
        if (length < kPacketHeadLength || CheckMsgHead(datagram.data(), length) != PacketCheck::Valid) continue;
        PacketHead head;
        std::memcpy(&head, datagram.data(), sizeof head);
        if (head.packetCount <= 1) continue;
        HRESULT pushed = cache.Push(datagram.data());
        if (pushed == CACHE_S_INCOMPLETE || pushed == E_OUTOFMEMORY) continue;
        record.Clear();
        cache.Merge(record, true);
    }
    return 0;
}
