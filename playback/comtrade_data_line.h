// One sample of a data file: its number, its time stamp and the values of
// every channel, analog ones converted (gain * raw + offset).
#pragma once

#include <cstdint>
#include <vector>

class CComtradeDataLine {
public:
    void Resize(size_t analog, size_t digital) {
        analog_.assign(analog, 0.0f);
        digital_.assign(digital, 0.0f);
        pending = nullptr;
    }

    int32_t nSample = 0;
    float fTime = 0.0f;  // the file's time stamp, before timemult
    // A binary sample whose values are still in its record (see
    // CComtradeDatReader::Complete); null once they are converted.
    const char* pending = nullptr;
    float* Analog() { return analog_.data(); }
    const float* Analog() const { return analog_.data(); }
    float* Digital() { return digital_.data(); }
    const float* Digital() const { return digital_.data(); }

private:
    std::vector<float> analog_;   // converted values
    std::vector<float> digital_;  // 0 or 1 (binary); the integer as read (text)
};
