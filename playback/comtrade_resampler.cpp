#include "comtrade_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

HRESULT CComtradeResampler::Run(const ComtradeConfig& config, CComtradeDatReader* reader,
                                CSampMappingFile* mapping, float playbackRate) {
    config_ = &config;
    reader_ = reader;
    mapping_ = mapping;
    rate_ = playbackRate;
    first_.Resize(config.analog.size(), config.digital.size());
    second_.Resize(config.analog.size(), config.digital.size());
    endsampReached_.clear();
    int32_t reached = INT32_MIN;
    for (const ComtradeSampleRate& rate : config.rates)
        endsampReached_.push_back(reached = std::max(reached, rate.endsamp));

    // A recording without channels has no frames (of no values) to write.
    if (config.analog.empty() && config.digital.empty()) {
        mapping->BeginWrite(0.0, playbackRate);
        reader->Rewind();
        if (!reader->Read(&first_)) return kNoData;
        while (reader->Read(&first_)) {
        }
        return 0;
    }

    // Without sample rates only the time stamps can serve. Otherwise the time
    // stamps are tried first and the pass starts again on sample numbers as
    // soon as a sample shows them unusable.
    base_ = TimeBase::kStamps;
    decided_ = config.rates.empty();
    HRESULT result = Pass();
    if (result == kRestart) {
        base_ = TimeBase::kSampleNumbers;
        decided_ = true;
        result = Pass();
    }
    return result;
}

// The interval before a sample: that of the first rate segment whose endsamp
// is not below its number, 0 when none is.
double CComtradeResampler::SampleIntervalUs(int32_t sample) const {
    auto it = std::lower_bound(endsampReached_.begin(), endsampReached_.end(), sample);
    if (it == endsampReached_.end()) return 0.0;
    return 1000000.0 / config_->rates[static_cast<size_t>(it - endsampReached_.begin())].samp;
}

int CComtradeResampler::Next(CComtradeDataLine* line, double previousTimeUs, double* timeUs) {
    if (!reader_->Read(line)) return kEnd;
    if (!decided_) {
        // A negative sample number settles it for the time stamps; a stamp not
        // above the one before, or two in a row below 1, for the sample numbers.
        if (line->nSample < 0)
            decided_ = true;
        else if (line->fTime <= previousStamp_ ||
                 (std::fabs(line->fTime) < 1.0f && std::fabs(previousStamp_) < 1.0f))
            return kRestart;
    }
    previousStamp_ = line->fTime;
    if (base_ == TimeBase::kStamps) {
        *timeUs = static_cast<double>(line->fTime) * config_->timemult;
        return kRead;
    }
    if (line->nSample < 0) {
        error_ = kNoData;
        return kFailed;
    }
    *timeUs = previousTimeUs + SampleIntervalUs(line->nSample);
    return kRead;
}

bool CComtradeResampler::WriteLine(CComtradeDataLine& line) {
    reader_->Complete(&line);
    size_t analog = config_->analog.size(), digital = config_->digital.size();
    float* frame = mapping_->Append(analog + digital);
    if (!frame) return false;
    std::copy_n(line.Analog(), analog, frame);
    std::copy_n(line.Digital(), digital, frame + analog);
    return true;
}

// The block is full. While the time base is still open the rest of the data
// decides it: on sample numbers the pass starts again.
HRESULT CComtradeResampler::Overflow() {
    double unused = 0.0;
    while (!decided_) {
        int r = Next(&second_, 0.0, &unused);
        if (r == kRestart) return kRestart;
        if (r != kRead) break;
    }
    return kBlockFull;
}

HRESULT CComtradeResampler::Pass() {
    reader_->Rewind();
    CComtradeDataLine* a = &first_;
    CComtradeDataLine* b = &second_;
    if (!reader_->Read(a)) return kNoData;
    if (a->nSample < 0) {
        if (base_ == TimeBase::kSampleNumbers) return kNoData;
        decided_ = true;
    }
    previousStamp_ = a->fTime;
    double ta = base_ == TimeBase::kStamps ? static_cast<double>(a->fTime) * config_->timemult : 0.0;
    mapping_->BeginWrite(ta, rate_);
    const double stepUs = 1000000.0 / rate_;
    const size_t analog = config_->analog.size(), digital = config_->digital.size();
    double t = ta;  // the output instant
    double tb;
    int r = Next(b, ta, &tb);
    for (;;) {
        while (r == kRead && t > tb) {
            std::swap(a, b);
            ta = tb;
            r = Next(b, ta, &tb);
        }
        if (r == kRestart) return kRestart;
        if (r == kFailed) return error_;
        if (r == kEnd) {
            if (t - ta < kEndToleranceUs && !WriteLine(*a)) return Overflow();
            return 0;
        }
        float* frame = mapping_->Append(analog + digital);
        if (!frame) return Overflow();
        reader_->Complete(a);
        reader_->Complete(b);
        const float fraction = tb > ta ? static_cast<float>((t - ta) / (tb - ta)) : 0.0f;
        const float* ya = a->Analog();
        const float* yb = b->Analog();
        for (size_t i = 0; i < analog; ++i) frame[i] = ya[i] + (yb[i] - ya[i]) * fraction;
        std::copy_n(a->Digital(), digital, frame + analog);
        t += stepUs;
    }
}
