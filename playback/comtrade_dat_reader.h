// Reads the samples of a mapped data file one at a time, in the text or one of
// the binary layouts, converting analog values and keeping their running
// minimum and maximum. Never reads outside the given bytes.
//
// A binary sample's values are converted only when Complete asks for them:
// most samples of a recording played slower than it was taken are never
// interpolated. Their extremes are tracked on the raw values, which give the
// same converted extremes since gain * raw + offset is monotonic.
//
// A missing value (the markers 0x8000 and 0x80000000 of the binary layouts,
// 99999 or an empty field in text) is not a value: it is counted, left out of
// the extremes, and read as the value interpolated between the channel's
// nearest present samples before and after it (by sample position), or the
// nearer one at either end; a channel with no value at all reads 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "comtrade_config.h"
#include "comtrade_data_line.h"

class CComtradeDatReader {
public:
    // gain and offset per analog channel; line must be sized by Resize(A, D).
    void Begin(const unsigned char* data, size_t size, ComtradeDataFormat format, std::vector<float> gain,
               std::vector<float> offset, size_t digital);
    // Back to the first sample; the running minimum and maximum start again.
    void Rewind();
    // The next whole sample; false when the data ends before one is complete.
    // The data must stay mapped until the line is completed.
    bool Read(CComtradeDataLine* line) {
        bool ok = format_ == ComtradeDataFormat::kAscii ? ReadText(line) : ReadBinary(line);
        if (ok) ++samples_;
        return ok;
    }

    // Converts the values of a binary sample that Read left in its record.
    void Complete(CComtradeDataLine* line) {
        if (line->pending) Convert(line);
    }

    size_t Samples() const { return samples_; } // read since Begin or Rewind
    // Running extremes of a channel's converted values (meaningful once Samples() > 0).
    float Minimum(size_t channel) const { return Extreme(channel, false); }
    float Maximum(size_t channel) const { return Extreme(channel, true); }
    // Missing values of a channel among the samples read.
    size_t Missing(size_t channel) const;
    // Bytes of one binary sample.
    size_t RecordSize() const { return recordSize_; }

private:
    // One text sample from p on, without side effects: values, missing flags
    // and where the next sample starts; false when the data ends first.
    bool ParseText(const char*& p, int32_t* sample, double* stamp, float* analog, unsigned char* missing,
                   float* digital) const;
    bool ReadText(CComtradeDataLine* line);
    // The value of a missing text value of channel c in the sample numbered
    // index (counted from 0), from the last present one and the next one
    // ahead (found once per gap).
    float FillText(size_t c, size_t index);
    // The same for a binary record: the present raw values around it.
    float FillBinary(size_t c, const char* record) const;
    bool MissingRaw(const char* value) const;
    float RawAt(const char* value) const;
    bool ReadBinary(CComtradeDataLine* line);
    bool Stop(); // the data ends here
    void Convert(CComtradeDataLine* line) const;
    float Extreme(size_t channel, bool highest) const;
    void Track(size_t channel, float value) {
        min_[channel] = value < min_[channel] ? value : min_[channel];
        max_[channel] = value > max_[channel] ? value : max_[channel];
    }

    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    const char* pos_ = nullptr;
    ComtradeDataFormat format_ = ComtradeDataFormat::kAscii;
    std::vector<float> gain_, offset_;
    // Binary records are tracked a block at a time, channel by channel, with
    // the extremes in registers; up to tracked_ they are in the arrays.
    void TrackRecords() const;
    mutable std::vector<float> min_, max_;         // converted (text) or raw (FLOAT32) extremes
    mutable std::vector<int32_t> rawMin_, rawMax_; // raw extremes of the integer layouts
    mutable const char* tracked_ = nullptr;
    mutable std::vector<size_t> missing_; // per channel (binary: of the records tracked)
    // Text: each channel's last present value and its sample, and the next
    // present one ahead of a gap (kNone: none).
    static constexpr size_t kNone = static_cast<size_t>(-1);
    std::vector<float> lastValue_, nextValue_;
    std::vector<size_t> lastAt_, nextAt_;
    std::vector<unsigned char> missingNow_, scratchMissing_;
    std::vector<float> scratch_;
    // Binary: the records of the last gap found per channel (its present
    // neighbours; -1 and the record count when there are none).
    mutable std::vector<int64_t> gapLow_, gapHigh_;
    size_t digital_ = 0;
    size_t recordSize_ = 0;
    size_t samples_ = 0;
};
