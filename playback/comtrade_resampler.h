// Puts the samples of a data file onto an even time grid at the playback rate,
// linearly interpolated, as frames of A analog then D digital floats.
#pragma once

#include "comtrade_config.h"
#include "comtrade_dat_reader.h"
#include "samp_mapping_file.h"

class CComtradeResampler {
public:
    static constexpr HRESULT kBlockFull = 14;             // a frame would pass the block's capacity
    static constexpr HRESULT kNoData = DISP_E_EXCEPTION;  // no first sample, or a negative sample number
    static constexpr double kEndToleranceUs = 10.0;       // the last sample is written once more within this

    // Chooses the time base, then fills mapping (already created). 0 or an error.
    HRESULT Run(const ComtradeConfig& config, CComtradeDatReader* reader, CSampMappingFile* mapping,
                float playbackRate);

private:
    enum class TimeBase { kStamps, kSampleNumbers };
    static constexpr int kRead = 1, kEnd = 0, kRestart = -1, kFailed = -2;

    HRESULT Pass();
    // Reads the next sample into line and its time; kRead, kEnd, kRestart (the
    // time stamps cannot serve) or kFailed (error_ set).
    int Next(CComtradeDataLine* line, double previousTimeUs, double* timeUs);
    double SampleIntervalUs(int32_t sample) const;
    HRESULT Overflow();
    bool WriteLine(CComtradeDataLine& line);

    const ComtradeConfig* config_ = nullptr;
    CComtradeDatReader* reader_ = nullptr;
    CSampMappingFile* mapping_ = nullptr;
    float rate_ = 0.0f;
    TimeBase base_ = TimeBase::kStamps;
    bool decided_ = false;
    float previousStamp_ = 0.0f;
    HRESULT error_ = 0;
    std::vector<int32_t> endsampReached_;  // running maximum of the segments' endsamp
    CComtradeDataLine first_, second_;
};
