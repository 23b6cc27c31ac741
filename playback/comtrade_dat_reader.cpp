#include "comtrade_dat_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "comtrade_number.h"

namespace {

inline uint32_t LoadLe32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline uint16_t LoadLe16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

// The eight states of a byte as floats, least significant bit first.
struct StateTable {
    float states[256][8];
    StateTable() {
        for (int b = 0; b < 256; ++b)
            for (int j = 0; j < 8; ++j) states[b][j] = static_cast<float>((b >> j) & 1);
    }
};
const StateTable kStates;

// The missing-value markers.
constexpr uint16_t kBinary16Missing = 0x8000;
constexpr uint32_t kBinary32Missing = 0x80000000u;
constexpr double kTextMissing = 99999.0;

size_t AnalogBytes(ComtradeDataFormat format) { return format == ComtradeDataFormat::kBinary16 ? 2 : 4; }

} // namespace

void CComtradeDatReader::Begin(const unsigned char* data, size_t size, ComtradeDataFormat format,
                               std::vector<float> gain, std::vector<float> offset, size_t digital) {
    begin_ = reinterpret_cast<const char*>(data);
    end_ = begin_ + size;
    format_ = format;
    gain_ = std::move(gain);
    offset_ = std::move(offset);
    digital_ = digital;
    recordSize_ = 8 + AnalogBytes(format) * gain_.size() + 2 * ((digital + 15) / 16);
    min_.resize(gain_.size());
    max_.resize(gain_.size());
    rawMin_.resize(gain_.size());
    rawMax_.resize(gain_.size());
    missing_.resize(gain_.size());
    lastValue_.resize(gain_.size());
    nextValue_.resize(gain_.size());
    lastAt_.resize(gain_.size());
    nextAt_.resize(gain_.size());
    missingNow_.resize(gain_.size());
    scratchMissing_.resize(gain_.size());
    scratch_.resize(gain_.size() + digital);
    gapLow_.resize(gain_.size());
    gapHigh_.resize(gain_.size());
    Rewind();
}

void CComtradeDatReader::Rewind() {
    pos_ = begin_;
    tracked_ = begin_;
    samples_ = 0;
    std::fill(min_.begin(), min_.end(), std::numeric_limits<float>::infinity());
    std::fill(max_.begin(), max_.end(), -std::numeric_limits<float>::infinity());
    std::fill(rawMin_.begin(), rawMin_.end(), INT32_MAX);
    std::fill(rawMax_.begin(), rawMax_.end(), INT32_MIN);
    std::fill(missing_.begin(), missing_.end(), 0);
    std::fill(lastAt_.begin(), lastAt_.end(), kNone);
    std::fill(nextAt_.begin(), nextAt_.end(), 0); // not looked for yet
    std::fill(gapLow_.begin(), gapLow_.end(), 0); // no gap known
    std::fill(gapHigh_.begin(), gapHigh_.end(), 0);
}

size_t CComtradeDatReader::Missing(size_t channel) const {
    if (format_ != ComtradeDataFormat::kAscii) TrackRecords();
    return missing_[channel];
}

float CComtradeDatReader::Extreme(size_t channel, bool highest) const {
    // A channel without a present value has no extremes: 0, as it plays.
    if (format_ == ComtradeDataFormat::kAscii)
        return !(min_[channel] <= max_[channel]) ? 0.0f : highest ? max_[channel] : min_[channel];
    TrackRecords();
    if (format_ == ComtradeDataFormat::kFloat32 ? !(min_[channel] <= max_[channel])
                                                : rawMin_[channel] > rawMax_[channel])
        return 0.0f;
    float gain = gain_[channel], offset = offset_[channel];
    // A negative gain turns the raw minimum into the converted maximum.
    bool fromHigh = highest == !(gain < 0.0f);
    if (format_ == ComtradeDataFormat::kFloat32)
        return gain * (fromHigh ? max_[channel] : min_[channel]) + offset;
    return gain * static_cast<float>(fromHigh ? rawMax_[channel] : rawMin_[channel]) + offset;
}

// A field ends at the next "," or line feed, whichever comes first, so a line
// with too few fields takes the rest from the next line. After the sample's
// last field a "," means the rest of the line is skipped.
bool CComtradeDatReader::ParseText(const char*& p, int32_t* sample, double* stamp, float* analog,
                                   unsigned char* missing, float* digital) const {
    const char* const end = end_;
    if (p == end) return false;
    char separator = ',';
    // Reads past the field's separator; false when the data ends inside the field.
    auto nextField = [&](const char* stop) {
        if (stop == end || (*stop != ',' && *stop != '\n')) stop = comtrade::FindSeparator(stop, end);
        if (stop == end) return false;
        separator = *stop;
        p = stop + 1;
        return true;
    };
    // A field of blanks only holds no value.
    auto blankField = [&] {
        const char* s = p;
        while (s < end && comtrade::IsBlank(*s)) ++s;
        return s == end || *s == ',' || *s == '\n';
    };

    if (!nextField(comtrade::ParseInt(p, end, sample))) return false;
    if (!nextField(comtrade::ParseFloat(p, end, stamp))) return false;
    const size_t analogCount = gain_.size();
    for (size_t i = 0; i < analogCount; ++i) {
        const bool blank = blankField();
        double raw;
        if (!nextField(comtrade::ParseFloat(p, end, &raw))) return false;
        missing[i] = blank || raw == kTextMissing;
        analog[i] = gain_[i] * static_cast<float>(raw) + offset_[i];
    }
    for (size_t i = 0; i < digital_; ++i) {
        int32_t state;
        if (!nextField(comtrade::ParseInt(p, end, &state))) return false;
        digital[i] = static_cast<float>(state);
    }
    if (separator == ',') p = comtrade::SkipLine(p, end);
    return true;
}

bool CComtradeDatReader::ReadText(CComtradeDataLine* line) {
    const char* p = pos_;
    int32_t sample;
    double stamp;
    float* analog = line->Analog();
    unsigned char* missing = missingNow_.data();
    if (!ParseText(p, &sample, &stamp, analog, missing, line->Digital())) return Stop();
    pos_ = p;
    const size_t index = samples_; // this sample's position
    const size_t analogCount = gain_.size();
    bool any = false;
    for (size_t i = 0; i < analogCount; ++i) {
        if (missing[i]) {
            any = true;
            continue;
        }
        Track(i, analog[i]);
        lastValue_[i] = analog[i];
        lastAt_[i] = index;
    }
    if (any)
        for (size_t i = 0; i < analogCount; ++i)
            if (missing[i]) {
                ++missing_[i];
                analog[i] = FillText(i, index);
            }
    line->nSample = sample;
    line->fTime = static_cast<float>(stamp);
    line->pending = nullptr;
    return true;
}

float CComtradeDatReader::FillText(size_t c, size_t index) {
    if (nextAt_[c] != kNone && nextAt_[c] <= index) {
        // The first present value ahead; the samples after this one start at pos_.
        nextAt_[c] = kNone;
        const char* q = pos_;
        const size_t analogCount = gain_.size();
        int32_t sample;
        double stamp;
        for (size_t at = index + 1; ParseText(q, &sample, &stamp, scratch_.data(), scratchMissing_.data(),
                                              scratch_.data() + analogCount);
             ++at)
            if (!scratchMissing_[c]) {
                nextAt_[c] = at;
                nextValue_[c] = scratch_[c];
                break;
            }
    }
    const bool before = lastAt_[c] != kNone, after = nextAt_[c] != kNone;
    if (before && after)
        return lastValue_[c] + (nextValue_[c] - lastValue_[c]) * static_cast<float>(index - lastAt_[c]) /
                                   static_cast<float>(nextAt_[c] - lastAt_[c]);
    return before ? lastValue_[c] : after ? nextValue_[c] : 0.0f;
}

bool CComtradeDatReader::MissingRaw(const char* value) const {
    switch (format_) {
    case ComtradeDataFormat::kBinary16: return LoadLe16(value) == kBinary16Missing;
    case ComtradeDataFormat::kBinary32: return LoadLe32(value) == kBinary32Missing;
    default: return false;
    }
}

float CComtradeDatReader::RawAt(const char* value) const {
    switch (format_) {
    case ComtradeDataFormat::kBinary16: return static_cast<float>(static_cast<int16_t>(LoadLe16(value)));
    case ComtradeDataFormat::kBinary32: return static_cast<float>(static_cast<int32_t>(LoadLe32(value)));
    default: {
        uint32_t bits = LoadLe32(value);
        float raw;
        std::memcpy(&raw, &bits, 4);
        return raw;
    }
    }
}

// The present raw values around a missing one, by record; the gap found is
// kept for the channel's next missing values.
float CComtradeDatReader::FillBinary(size_t c, const char* record) const {
    const size_t offset = 8 + AnalogBytes(format_) * c;
    const int64_t records = static_cast<int64_t>(static_cast<size_t>(end_ - begin_) / recordSize_);
    const int64_t at = static_cast<int64_t>(static_cast<size_t>(record - begin_) / recordSize_);
    if (!(gapLow_[c] < at && at < gapHigh_[c])) {
        int64_t low = at - 1, high = at + 1;
        while (low >= 0 && MissingRaw(begin_ + static_cast<size_t>(low) * recordSize_ + offset)) --low;
        while (high < records && MissingRaw(begin_ + static_cast<size_t>(high) * recordSize_ + offset))
            ++high;
        gapLow_[c] = low;
        gapHigh_[c] = high;
    }
    const int64_t low = gapLow_[c], high = gapHigh_[c];
    const bool before = low >= 0, after = high < records;
    float raw = 0.0f;
    if (before && after) {
        const float a = RawAt(begin_ + static_cast<size_t>(low) * recordSize_ + offset);
        const float b = RawAt(begin_ + static_cast<size_t>(high) * recordSize_ + offset);
        raw = a + (b - a) * static_cast<float>(at - low) / static_cast<float>(high - low);
    } else if (before || after) {
        raw = RawAt(begin_ + static_cast<size_t>(before ? low : high) * recordSize_ + offset);
    } else {
        return 0.0f;
    }
    return gain_[c] * raw + offset_[c];
}

bool CComtradeDatReader::Stop() {
    pos_ = end_;
    return false;
}

// Little-endian records: 32-bit sample number, 32-bit time stamp, the analog
// values, then the digital states sixteen to a word, least significant bit first.
bool CComtradeDatReader::ReadBinary(CComtradeDataLine* line) {
    if (static_cast<size_t>(end_ - pos_) < recordSize_) return Stop();
    line->nSample = static_cast<int32_t>(LoadLe32(pos_));
    line->fTime = static_cast<float>(LoadLe32(pos_ + 4));
    line->pending = pos_;
    // The records further on, while this one is worked on.
    if (static_cast<size_t>(end_ - pos_) > 4096) __builtin_prefetch(pos_ + 4096);
    pos_ += recordSize_;
    // About 64 KiB at a time, while the records are still in the cache.
    if (static_cast<size_t>(pos_ - tracked_) >= 65536) TrackRecords();
    return true;
}

void CComtradeDatReader::TrackRecords() const {
    const char* const from = tracked_;
    // Whole records only: a reader stopped by a short last record stands at
    // the data's end, inside that record.
    const char* const to = from + static_cast<size_t>(pos_ - from) / recordSize_ * recordSize_;
    tracked_ = to;
    if (to == from) return; // no whole record since the last time (or no data at all)
    const size_t analogCount = gain_.size();
    const size_t stride = recordSize_;
    for (size_t c = 0; c < analogCount; ++c) {
        const char* r = from + 8 + AnalogBytes(format_) * c;
        if (format_ == ComtradeDataFormat::kFloat32) {
            float low = min_[c], high = max_[c];
            for (; r < to; r += stride) {
                uint32_t bits = LoadLe32(r);
                float raw;
                std::memcpy(&raw, &bits, 4);
                low = raw < low ? raw : low;
                high = raw > high ? raw : high;
            }
            min_[c] = low;
            max_[c] = high;
            continue;
        }
        int32_t low = rawMin_[c], high = rawMax_[c];
        size_t missing = 0;
        if (format_ == ComtradeDataFormat::kBinary16) {
            for (; r < to; r += stride) {
                int32_t raw = static_cast<int16_t>(LoadLe16(r));
                if (raw == -32768) { // the missing-value marker
                    ++missing;
                    continue;
                }
                low = raw < low ? raw : low;
                high = raw > high ? raw : high;
            }
        } else {
            for (; r < to; r += stride) {
                int32_t raw = static_cast<int32_t>(LoadLe32(r));
                if (raw == INT32_MIN) { // the missing-value marker
                    ++missing;
                    continue;
                }
                low = raw < low ? raw : low;
                high = raw > high ? raw : high;
            }
        }
        missing_[c] += missing;
        rawMin_[c] = low;
        rawMax_[c] = high;
    }
}

void CComtradeDatReader::Convert(CComtradeDataLine* line) const {
    const char* const record = line->pending;
    const char* p = record + 8;
    line->pending = nullptr;
    float* analog = line->Analog();
    const size_t analogCount = gain_.size();
    switch (format_) {
    case ComtradeDataFormat::kBinary16:
        for (size_t i = 0; i < analogCount; ++i, p += 2) {
            const uint16_t raw = LoadLe16(p);
            analog[i] = raw == kBinary16Missing
                            ? FillBinary(i, record)
                            : gain_[i] * static_cast<float>(static_cast<int16_t>(raw)) + offset_[i];
        }
        break;
    case ComtradeDataFormat::kBinary32:
        for (size_t i = 0; i < analogCount; ++i, p += 4) {
            const uint32_t raw = LoadLe32(p);
            analog[i] = raw == kBinary32Missing
                            ? FillBinary(i, record)
                            : gain_[i] * static_cast<float>(static_cast<int32_t>(raw)) + offset_[i];
        }
        break;
    default:
        for (size_t i = 0; i < analogCount; ++i, p += 4) {
            uint32_t bits = LoadLe32(p);
            float raw;
            std::memcpy(&raw, &bits, 4);
            analog[i] = gain_[i] * raw + offset_[i];
        }
        break;
    }
    float* digital = line->Digital();
    size_t i = 0;
    for (; i + 8 <= digital_; i += 8)
        std::memcpy(digital + i, kStates.states[static_cast<unsigned char>(*p++)], 8 * sizeof(float));
    if (i < digital_)
        std::memcpy(digital + i, kStates.states[static_cast<unsigned char>(*p)],
                    (digital_ - i) * sizeof(float));
}
