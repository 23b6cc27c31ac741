#include "comtrade_dat_reader.h"

#include "comtrade_number.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

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
    Rewind();
}

void CComtradeDatReader::Rewind() {
    pos_ = begin_;
    samples_ = 0;
    std::fill(min_.begin(), min_.end(), std::numeric_limits<float>::infinity());
    std::fill(max_.begin(), max_.end(), -std::numeric_limits<float>::infinity());
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
    const char* p = pos_;
    line->nSample = static_cast<int32_t>(LoadLe32(p));
    line->fTime = static_cast<float>(LoadLe32(p + 4));
    p += 8;
    float* analog = line->Analog();
    const float* gain = gain_.data();
    const float* offset = offset_.data();
    float* low = min_.data();
    float* high = max_.data();
    const size_t analogCount = gain_.size();
    // Converted and tracked in one go (minss/maxss, no branches).
    auto put = [&](size_t i, float raw) {
        float value = gain[i] * raw + offset[i];
        analog[i] = value;
        low[i] = value < low[i] ? value : low[i];
        high[i] = value > high[i] ? value : high[i];
    };
    switch (format_) {
    case ComtradeDataFormat::kBinary16:
        for (size_t i = 0; i < analogCount; ++i, p += 2) put(i, static_cast<float>(static_cast<int16_t>(LoadLe16(p))));
        break;
    case ComtradeDataFormat::kBinary32:
        for (size_t i = 0; i < analogCount; ++i, p += 4) put(i, static_cast<float>(static_cast<int32_t>(LoadLe32(p))));
        break;
    default:
        for (size_t i = 0; i < analogCount; ++i, p += 4) {
            uint32_t bits = LoadLe32(p);
            float raw;
            std::memcpy(&raw, &bits, 4);
            put(i, raw);
        }
        break;
    }
    float* digital = line->Digital();
    size_t i = 0;
    for (; i + 8 <= digital_; i += 8) std::memcpy(digital + i, kStates.states[static_cast<unsigned char>(*p++)], 8 * sizeof(float));
    if (i < digital_) std::memcpy(digital + i, kStates.states[static_cast<unsigned char>(*p)], (digital_ - i) * sizeof(float));
    pos_ += recordSize_;
    return true;
}
