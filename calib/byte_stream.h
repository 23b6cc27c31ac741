// A seekable byte stream: what the calibration file is loaded from and saved to.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>

class CByteStream {
public:
    virtual ~CByteStream() = default;
    // The stream's length in bytes.
    virtual HRESULT Size(uint64_t* bytes) = 0;
    // Moves to an absolute byte position (at most the length for a reader).
    virtual HRESULT Seek(uint64_t position) = 0;
    // Reads up to length bytes at the position; *done tells how many came.
    virtual HRESULT Read(void* destination, uint32_t length, uint32_t* done) = 0;
    // Writes length bytes at the position, growing the stream as needed.
    virtual HRESULT Write(const void* source, uint32_t length) = 0;
};
