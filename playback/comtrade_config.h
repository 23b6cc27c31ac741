// What a COMTRADE configuration file says: the recording's identity, its
// channels, sample rates, time stamps and data format.
#pragma once

#include <cstdint>
#include <vector>

#include "text.h"

// One analog channel. The converted value of a raw sample x is
// gain * x + offset, in volts and amperes (see CComtradeParser::ChannelScale).
struct ComtradeAnalogChannel {
    WideString ch_id; // at most 63 characters
    WideString ph;    // at most 2
    WideString ccbm;  // at most 63
    WideString uu;    // at most 31
    float a = 0.0f;
    float b = 0.0f;
    float skew = 0.0f;
    int32_t min = 0; // as written in the file
    int32_t max = 0;
    float point_min = 0.0f; // overall minimum of the converted values of the last data file
    float point_max = 0.0f;
    uint32_t point_missing = 0; // missing values of the last data file (read as interpolated)
    float primary = 1.0f;
    float secondary = 1.0f;
    WCHAR ps = 'S'; // 'P' or 'p': the values are primary values
};

struct ComtradeDigitalChannel {
    WideString ch_id; // at most 63
    WideString ph;    // at most 2
    WideString ccbm;  // at most 63
    int32_t y = 0;    // normal state
};

struct ComtradeSampleRate {
    float samp = 0.0f;   // samples per second
    int32_t endsamp = 0; // number of the last sample at this rate
};

// How the data file stores a sample. Any file type but "ASCII" is binary; of
// the binary ones, "BINARY32" and "FLOAT32" (2013) carry 32-bit analog values.
enum class ComtradeDataFormat { kAscii, kBinary16, kBinary32, kFloat32 };

struct ComtradeConfig {
    WideString station_name;
    WideString rec_dev_id;
    WideString rev_year;
    std::vector<ComtradeAnalogChannel> analog;
    std::vector<ComtradeDigitalChannel> digital;
    float lf = 50.0f;
    std::vector<ComtradeSampleRate> rates; // empty when nrates is 0
    WideString firstTime;                  // the whole first time stamp line
    WideString triggerTime;                // the whole trigger time stamp line
    int32_t binary = 0;                    // 0 for "ASCII", 1 for any other file type
    ComtradeDataFormat format = ComtradeDataFormat::kAscii;
    float timemult = 1.0f;
};
