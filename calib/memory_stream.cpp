#include "calib/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <new>

HRESULT CMemoryStream::Size(uint64_t* bytes) {
    if (!bytes) return E_POINTER;
    *bytes = bytes_.size();
    return S_OK;
}

HRESULT CMemoryStream::Seek(uint64_t position) {
    position_ = position;
    return S_OK;
}

HRESULT CMemoryStream::Read(void* destination, uint32_t length, uint32_t* done) {
    const uint64_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(length, left));
    if (count) std::memcpy(destination, bytes_.data() + position_, count);
    position_ += count;
    if (done) *done = count;
    return S_OK;
}

HRESULT CMemoryStream::Write(const void* source, uint32_t length) {
    try {
        if (position_ + length > bytes_.size()) bytes_.resize(position_ + length);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (length) std::memcpy(bytes_.data() + position_, source, length);
    position_ += length;
    return S_OK;
}
