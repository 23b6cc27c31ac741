// Reads the samples of a mapped data file one at a time, in the text or one of
// the binary layouts, converting analog values and keeping their running
// minimum and maximum. Never reads outside the given bytes.
#pragma once

#include "comtrade_config.h"
#include "comtrade_data_line.h"

#include <cstddef>
#include <vector>

class CComtradeDatReader {
public:
    // gain and offset per analog channel; line must be sized by Resize(A, D).
    void Begin(const unsigned char* data, size_t size, ComtradeDataFormat format, std::vector<float> gain,
               std::vector<float> offset, size_t digital);
    // Back to the first sample; the running minimum and maximum start again.
    void Rewind();
    // The next whole sample; false when the data ends before one is complete.
    bool Read(CComtradeDataLine* line) {
        bool ok = format_ == ComtradeDataFormat::kAscii ? ReadText(line) : ReadBinary(line);
        if (ok) ++samples_;
        return ok;
    }

    size_t Samples() const { return samples_; } // read since Begin or Rewind
    // Running extremes of the converted values (meaningful once Samples() > 0).
    const std::vector<float>& Minimum() const { return min_; }
    const std::vector<float>& Maximum() const { return max_; }
    // Bytes of one binary sample.
    size_t RecordSize() const { return recordSize_; }

private:
    bool ReadText(CComtradeDataLine* line);
    bool ReadBinary(CComtradeDataLine* line);
    bool Stop(); // the data ends here
    void Track(size_t channel, float value) {
        min_[channel] = value < min_[channel] ? value : min_[channel];
        max_[channel] = value > max_[channel] ? value : max_[channel];
    }

    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    const char* pos_ = nullptr;
    ComtradeDataFormat format_ = ComtradeDataFormat::kAscii;
    std::vector<float> gain_, offset_, min_, max_;
    size_t digital_ = 0;
    size_t recordSize_ = 0;
    size_t samples_ = 0;
};
