// Where the main device finds the calibration page that scales wave data:
// the configuration object that holds the tester's calibration.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>

class CAdjDataSource {
public:
    // The first 64 words of the combined calibration page: 32 signed zero
    // offsets, then 32 gains in units of 1/10000.
    virtual HRESULT GetADJData(int32_t offsets[32], uint32_t gains[32]) = 0;

protected:
    ~CAdjDataSource() = default;
};
