// The single-file form of a recording (".cff", 2013): sections headed by
// lines "--- file type: CFG ---", "INF", "HDR" and "--- file type: DAT
// <type>[: <bytes>] ---", the data last.
#pragma once

#include <cstddef>

struct ComtradeSection {
    size_t begin = 0;  // the first byte after the section's head line
    size_t end = 0;    // the next head line, the byte count or the end of the file
};

class CComtradeSingleFile {
public:
    // Whether the bytes begin with a CFG section head.
    static bool IsSingleFile(const unsigned char* data, size_t size);
    // The configuration section (up to the next head line).
    static bool FindConfiguration(const unsigned char* data, size_t size, ComtradeSection* section);
    // The data section: a binary one as long as its head's byte count says
    // (never past the file), a text one to the end of the file.
    static bool FindData(const unsigned char* data, size_t size, ComtradeSection* section);
};
