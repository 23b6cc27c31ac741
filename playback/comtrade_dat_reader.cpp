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

size_t AnalogBytes(ComtradeDataFormat format) {
    return format == ComtradeDataFormat::kBinary16 ? 2 : 4;
}

}  // namespace

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
}

float CComtradeDatReader::Extreme(size_t channel, bool highest) const {
    if (format_ == ComtradeDataFormat::kAscii) return highest ? max_[channel] : min_[channel];
    TrackRecords();
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
bool CComtradeDatReader::ReadText(CComtradeDataLine* line) {
    const char* p = pos_;
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

    int32_t sample;
    if (!nextField(comtrade::ParseInt(p, end, &sample))) return Stop();
    double stamp;
    if (!nextField(comtrade::ParseFloat(p, end, &stamp))) return Stop();
    float* analog = line->Analog();
    const size_t analogCount = gain_.size();
    for (size_t i = 0; i < analogCount; ++i) {
        double raw;
        if (!nextField(comtrade::ParseFloat(p, end, &raw))) return Stop();
        float value = gain_[i] * static_cast<float>(raw) + offset_[i];
        analog[i] = value;
        Track(i, value);
    }
    float* digital = line->Digital();
    for (size_t i = 0; i < digital_; ++i) {
        int32_t state;
        if (!nextField(comtrade::ParseInt(p, end, &state))) return Stop();
        digital[i] = static_cast<float>(state);
    }
    if (separator == ',') p = comtrade::SkipLine(p, end);
    line->nSample = sample;
    line->fTime = static_cast<float>(stamp);
    line->pending = nullptr;
    pos_ = p;
    return true;
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
        if (format_ == ComtradeDataFormat::kBinary16) {
            for (; r < to; r += stride) {
                int32_t raw = static_cast<int16_t>(LoadLe16(r));
                low = raw < low ? raw : low;
                high = raw > high ? raw : high;
            }
        } else {
            for (; r < to; r += stride) {
                int32_t raw = static_cast<int32_t>(LoadLe32(r));
                low = raw < low ? raw : low;
                high = raw > high ? raw : high;
            }
        }
        rawMin_[c] = low;
        rawMax_[c] = high;
    }
}

void CComtradeDatReader::Convert(CComtradeDataLine* line) const {
    const char* p = line->pending + 8;
    line->pending = nullptr;
    float* analog = line->Analog();
    const size_t analogCount = gain_.size();
    switch (format_) {
        case ComtradeDataFormat::kBinary16:
            for (size_t i = 0; i < analogCount; ++i, p += 2)
                analog[i] = gain_[i] * static_cast<float>(static_cast<int16_t>(LoadLe16(p))) + offset_[i];
            break;
        case ComtradeDataFormat::kBinary32:
            for (size_t i = 0; i < analogCount; ++i, p += 4)
                analog[i] = gain_[i] * static_cast<float>(static_cast<int32_t>(LoadLe32(p))) + offset_[i];
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
