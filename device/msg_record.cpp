#include "device/msg_record.h"

#include <cstring>
#include <new>

HRESULT MsgRecord::Grow(uint32_t capacity) {
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[capacity]);
    if (!bigger) return E_OUTOFMEMORY;
    if (length_) std::memcpy(bigger.get(), data_.get(), length_);
    data_ = std::move(bigger);
    capacity_ = capacity;
    return S_OK;
}

HRESULT MsgRecord::Reserve(uint32_t capacity) {
    return capacity <= capacity_ ? S_OK : Grow(capacity);
}

HRESULT MsgRecord::Store(const uint8_t* data, uint32_t length) {
    length_ = 0;
    if (length > capacity_) {
        data_.reset();
        capacity_ = 0;
        if (HRESULT hr = Grow(length); FAILED(hr)) return hr;
    }
    if (length) std::memcpy(data_.get(), data, length);
    length_ = length;
    return S_OK;
}

HRESULT MsgRecord::Append(const uint8_t* data, uint32_t length, bool growable) {
    if (length > capacity_ - length_) {
        if (!growable) return E_OUTOFMEMORY;
        if (HRESULT hr = Grow(length_ + length); FAILED(hr)) return hr;
    }
    if (length) std::memcpy(data_.get() + length_, data, length);
    length_ += length;
    return S_OK;
}
