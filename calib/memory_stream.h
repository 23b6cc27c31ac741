// A growable byte stream in memory.
#pragma once

#include "calib/byte_stream.h"

#include <vector>

class CMemoryStream : public CByteStream {
public:
    CMemoryStream() = default;
    explicit CMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    HRESULT Size(uint64_t* bytes) override;
    HRESULT Seek(uint64_t position) override;
    HRESULT Read(void* destination, uint32_t length, uint32_t* done) override;
    // E_OUTOFMEMORY when the stream cannot grow.
    HRESULT Write(const void* source, uint32_t length) override;

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint64_t position_ = 0;
};
