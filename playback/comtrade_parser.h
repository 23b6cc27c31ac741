// CComtradeParser: reads a COMTRADE recording (configuration and data file)
// and resamples every channel onto an even grid at one playback rate, into the
// shared block "VAREL_BXHF_MAPPING". The playback test derives from it.
#pragma once

#include <cstddef>

#include "comtrade_config.h"
#include "comtrade_dat_reader.h"
#include "comtrade_resampler.h"
#include "samp_mapping_file.h"
#include "text.h"

class CComtradeParser {
public:
    // OpenCfgFile results.
    static constexpr HRESULT kCfgNotOpened = 1;
    static constexpr HRESULT kCfgInvalid = 2;  // no mapping, under 2 bytes, or a configuration error
    // ParseDatFile results.
    static constexpr HRESULT kDatNotOpened = 11;
    static constexpr HRESULT kDatMappingFailed = 12;  // file or block mapping, or the block is full
    static constexpr HRESULT kDatViewFailed = 13;
    static constexpr HRESULT kDatNoData = CComtradeResampler::kNoData;
    static constexpr float kDefaultPlaybackRate = 5000.0f;

    CComtradeParser();
    virtual ~CComtradeParser() = default;
    CComtradeParser(const CComtradeParser&) = delete;
    CComtradeParser& operator=(const CComtradeParser&) = delete;

    // Reads a configuration file (after Reset). 0 or a result above; memory
    // exhaustion gives E_OUTOFMEMORY.
    HRESULT OpenCfgFile(const WideString& path);
    // Reads and resamples the data file of the configuration read last, at
    // requestedRate when it is above 0.001 (else a rate of the recording).
    HRESULT ParseDatFile(const WideString& path, float requestedRate);
    // Empty strings and arrays, lf 50, ASCII, no data, timemult 1.
    void Reset();

    // The same from bytes in memory (the files' mapped contents).
    HRESULT ParseCfg(const unsigned char* data, size_t size);
    HRESULT ParseDat(const unsigned char* data, size_t size, float requestedRate);

    const ComtradeConfig& Config() const { return config_; }
    const CSampMappingFile& Mapping() const { return mapping_; }
    float PlaybackRate() const { return playbackRate_; }
    size_t DataLength() const { return dataLength_; }  // bytes of the last data file
    size_t SamplesRead() const { return samplesRead_; }

    // The rate ParseDatFile plays at for a requested rate.
    float ChoosePlaybackRate(float requestedRate) const;
    // Gain and offset that turn the channel's raw values into volts and amperes.
    static void ChannelScale(const ComtradeAnalogChannel& channel, float* gain, float* offset);

private:
    ComtradeConfig config_;
    size_t dataLength_ = 0;
    CSampMappingFile mapping_;
    float playbackRate_ = 0.0f;
    size_t samplesRead_ = 0;
    CComtradeDatReader reader_;
    CComtradeResampler resampler_;
};
