// The configuration file's grammar, over 8-bit text or UTF-16 text.
#pragma once

#include <cstddef>

#include "comtrade_config.h"

class CComtradeCfgReader {
public:
    // Configuration errors.
    static constexpr HRESULT kChannelCountError = 3;  // TT, A, D do not add up
    static constexpr HRESULT kTimeMultError = 5;      // timemult below 0.000001

    // 8-bit text: each field is read as UTF-8 when it is valid UTF-8 and as
    // Latin-1 otherwise. Fills config as far as the text goes; 0 or the error.
    static HRESULT ReadNarrow(const unsigned char* text, size_t size, ComtradeConfig* config);
    // UTF-16 little-endian text after its byte-order mark: units = bytes / 2.
    static HRESULT ReadWide(const unsigned char* text, size_t units, ComtradeConfig* config);
};
