// Reassembly of split messages from the device.
#include "device/multi_packet_cache.h"
#include "device/packet_head.h"

#include <debug_log.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Packet `index` of `count` of message id; payload bytes are index*16+i.
std::vector<uint8_t> Piece(uint16_t id, uint16_t count, uint16_t index, uint32_t payload = 5) {
    std::vector<uint8_t> packet(kPacketHeadLength + payload);
    PacketHead head;
    FillPacketHead(head, id, 0, count, index, static_cast<uint16_t>(packet.size()));
    std::memcpy(packet.data(), &head, sizeof head);
    for (uint32_t i = 0; i < payload; ++i) packet[kPacketHeadLength + i] = static_cast<uint8_t>(index * 16 + i);
    return packet;
}

std::vector<uint8_t> Merged(CMultiPacketCache& cache, HRESULT expected = S_OK) {
    MsgRecord record;
    EXPECT_EQ(cache.Merge(record, true), expected);
    return {record.Data(), record.Data() + record.Length()};
}

} // namespace

TEST(MultiPacketCache, MergesInIndexOrderWhateverTheArrival) {
    CMultiPacketCache cache;
    EXPECT_EQ(cache.Push(Piece(0x207, 3, 2).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.Push(Piece(0x207, 3, 3).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.MsgId(), 0x207);
    EXPECT_EQ(cache.Push(Piece(0x207, 3, 1).data()), S_OK);
    auto bytes = Merged(cache);
    ASSERT_EQ(bytes.size(), 15u);
    EXPECT_EQ(bytes[0], 0x10);
    EXPECT_EQ(bytes[5], 0x20);
    EXPECT_EQ(bytes[14], 0x34);
    EXPECT_TRUE(cache.Empty());
}

TEST(MultiPacketCache, RefusesOtherMessagesCountsAndEmptyPackets) {
    DebugLogCapture log;
    CMultiPacketCache cache;
    ASSERT_EQ(cache.Push(Piece(0x207, 3, 1).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.Push(Piece(0x208, 3, 2).data()), E_INVALIDARG);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: push mismatch msg id.\n"));
    EXPECT_EQ(cache.Push(Piece(0x207, 4, 2).data()), E_INVALIDARG);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: push MaxCount error.\n"));
    EXPECT_EQ(cache.Push(Piece(0x207, 3, 3, 0).data()), E_INVALIDARG);
    // The partial message cannot be merged, and the cache starts over.
    Merged(cache, E_FAIL);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: GetMergeMsg MaxCount error.\n"));
    EXPECT_TRUE(cache.Empty());
    EXPECT_EQ(cache.Push(Piece(0x209, 2, 2).data()), CACHE_S_INCOMPLETE);
    EXPECT_EQ(cache.Push(Piece(0x209, 2, 1).data()), S_OK);
    EXPECT_EQ(Merged(cache).size(), 10u);
}

TEST(MultiPacketCache, RepeatedIndexFailsTheMerge) {
    DebugLogCapture log;
    CMultiPacketCache cache;
    cache.Push(Piece(0x207, 3, 1).data());
    cache.Push(Piece(0x207, 3, 3).data());
    EXPECT_EQ(cache.Push(Piece(0x207, 3, 3).data()), S_OK); // three packets, one missing
    Merged(cache, E_FAIL);
    EXPECT_TRUE(log.Contains("CMultiPacketCache: GetMergeMsg index error.\n"));
    EXPECT_TRUE(cache.Empty());
}

TEST(MultiPacketCache, StorageHolds66FullPacketsAndIsReused) {
    CMultiPacketCache cache;
    for (uint16_t round = 0; round < 3; ++round) {
        for (uint16_t i = 1; i <= 66; ++i)
            ASSERT_EQ(cache.Push(Piece(0x207, 66, i, kMaxPacketPayload).data()),
                      i == 66 ? S_OK : CACHE_S_INCOMPLETE);
        EXPECT_EQ(Merged(cache).size(), 66u * kMaxPacketPayload);
    }
    for (uint16_t i = 1; i <= 66; ++i) cache.Push(Piece(0x207, 67, i, kMaxPacketPayload).data());
    EXPECT_EQ(cache.Push(Piece(0x207, 67, 67, kMaxPacketPayload).data()), E_OUTOFMEMORY);
}

TEST(MultiPacketCache, FixedRecordRefusesAMessageBeyondItsCapacity) {
    CMultiPacketCache cache;
    cache.Push(Piece(0x207, 2, 1, 10).data());
    cache.Push(Piece(0x207, 2, 2, 10).data());
    MsgRecord record;
    record.Reserve(15);
    EXPECT_EQ(cache.Merge(record, false), E_OUTOFMEMORY);
    EXPECT_TRUE(cache.Empty());
}
