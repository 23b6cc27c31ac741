// A received payload: the answer record and the up-message record of a
// device object.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>
#include <memory>

class MsgRecord {
public:
    // Reserves capacity bytes up front (the up-message record takes 64 KiB
    // at open so the receive path never allocates).
    HRESULT Reserve(uint32_t capacity);

    // Replaces the payload; the buffer is reused when it fits, else replaced
    // by one of the payload's size. E_OUTOFMEMORY leaves the record empty.
    HRESULT Store(const uint8_t* data, uint32_t length);
    // Appends to the payload, growing the buffer when growable (the answer
    // record); a fixed record (growable false) refuses with E_OUTOFMEMORY.
    HRESULT Append(const uint8_t* data, uint32_t length, bool growable);
    void Clear() { length_ = 0; }

    const uint8_t* Data() const { return data_.get(); }
    uint32_t Length() const { return length_; }

private:
    HRESULT Grow(uint32_t capacity);

    std::unique_ptr<uint8_t[]> data_;
    uint32_t length_ = 0;
    uint32_t capacity_ = 0;
};
