// Reassembles a message the device sent in several packets. All packets live
// in one 64 KiB storage block taken at the first push and reused after each
// merge: nothing is allocated or freed per packet.
#pragma once

#include "device/msg_record.h"

#include <varel/vts_platform.h>

#include <cstdint>
#include <memory>

// Result of a push that leaves the message incomplete.
#define CACHE_S_INCOMPLETE ((HRESULT)0x8002000E)

class CMultiPacketCache {
public:
    static constexpr uint32_t kStorageBytes = 65536;

    // 0 when the message is complete, CACHE_S_INCOMPLETE while packets are
    // missing, E_INVALIDARG for a packet of another message or count or one
    // without payload, E_OUTOFMEMORY when the storage is full (the packet is
    // dropped: the message can no longer complete and is discarded when the
    // next one begins).
    HRESULT Push(const uint8_t* packet);

    // Appends the whole message in index order to record and empties the
    // cache; E_FAIL (cache emptied) when packets are missing or doubled.
    HRESULT Merge(MsgRecord& record, bool growable);

    bool Empty() const { return msgId_ == 0; }
    uint16_t MsgId() const { return msgId_; }

private:
    // A node heads each packet's payload in the storage; links are byte
    // offsets into the storage.
    struct Node {
        uint32_t next;
        uint32_t previous;
        uint32_t index;
        uint32_t length;
    };
    static_assert(sizeof(Node) == 16, "cache node is 16 bytes");
    static constexpr uint32_t kNoNode = 0xFFFFFFFFu;

    uint8_t* At(uint32_t offset) { return storage_.get() + offset; }
    void Reset();

    uint16_t msgId_ = 0;
    uint32_t first_ = kNoNode;
    uint32_t last_ = kNoNode;
    uint32_t received_ = 0;
    uint32_t maxCount_ = 0;
    std::unique_ptr<uint8_t[]> storage_;
    uint32_t used_ = 0;
};
