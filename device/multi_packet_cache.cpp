#include "device/multi_packet_cache.h"

#include "debug_output.h"
#include "device/packet_head.h"

#include <cstring>
#include <new>

void CMultiPacketCache::Reset() {
    msgId_ = 0;
    first_ = last_ = kNoNode;
    received_ = maxCount_ = 0;
    used_ = 0;
}

HRESULT CMultiPacketCache::Push(const uint8_t* packet) {
    PacketHead head;
    std::memcpy(&head, packet, sizeof head);
    if (Empty()) {
        msgId_ = head.msgId;
        maxCount_ = head.packetCount;
    } else if (head.msgId != msgId_) {
        DebugPrintf("CMultiPacketCache: push mismatch msg id.\n");
        return E_INVALIDARG;
    } else if (head.packetCount != maxCount_) {
        DebugPrintf("CMultiPacketCache: push MaxCount error.\n");
        return E_INVALIDARG;
    }
    uint32_t length = head.totalLength - kPacketHeadLength;
    if (length == 0) return E_INVALIDARG;

    if (!storage_) {
        storage_.reset(new (std::nothrow) uint8_t[kStorageBytes]);
        if (!storage_) return E_OUTOFMEMORY;
    }
    if (sizeof(Node) + length > kStorageBytes - used_) return E_OUTOFMEMORY;
    uint32_t offset = used_;
    used_ += static_cast<uint32_t>(sizeof(Node)) + length;
    // Payloads have any length, so nodes may sit unaligned: they are always
    // copied through a local.
    Node node{kNoNode, kNoNode, head.packetIndex, length};
    std::memcpy(storage_.get() + offset + sizeof(Node), packet + kPacketHeadLength, length);

    // Insert before the first node whose index is not below this one: the
    // list stays ascending, a repeated index goes before its twin.
    uint32_t after = last_;
    while (after != kNoNode) {
        Node other;
        std::memcpy(&other, At(after), sizeof other);
        if (other.index < node.index) break;
        after = other.previous;
    }
    node.previous = after;
    if (after == kNoNode) {
        node.next = first_;
        first_ = offset;
    } else {
        Node other;
        std::memcpy(&other, At(after), sizeof other);
        node.next = other.next;
        other.next = offset;
        std::memcpy(At(after), &other, sizeof other);
    }
    if (node.next == kNoNode) {
        last_ = offset;
    } else {
        Node other;
        std::memcpy(&other, At(node.next), sizeof other);
        other.previous = offset;
        std::memcpy(At(node.next), &other, sizeof other);
    }
    std::memcpy(At(offset), &node, sizeof node);
    ++received_;
    return received_ == maxCount_ ? S_OK : CACHE_S_INCOMPLETE;
}

HRESULT CMultiPacketCache::Merge(MsgRecord& record, bool growable) {
    if (received_ != maxCount_) {
        DebugPrintf("CMultiPacketCache: GetMergeMsg MaxCount error.\n");
        Reset();
        return E_FAIL;
    }
    uint32_t expected = 1;
    for (uint32_t offset = first_; offset != kNoNode; ++expected) {
        Node node;
        std::memcpy(&node, At(offset), sizeof node);
        if (node.index != expected) {
            DebugPrintf("CMultiPacketCache: GetMergeMsg index error.\n");
            Reset();
            return E_FAIL;
        }
        if (HRESULT hr = record.Append(storage_.get() + offset + sizeof(Node), node.length, growable);
            FAILED(hr)) {
            Reset();
            return hr;
        }
        offset = node.next;
    }
    Reset();
    return S_OK;
}
