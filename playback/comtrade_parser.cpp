#include "comtrade_parser.h"

#include <new>
#include <vector>

#include "comtrade_cfg_reader.h"
#include "comtrade_single_file.h"
#include "debug_output.h"
#include "file_mapping.h"
#include "tick.h"

namespace {

// The system's texts of the error codes the parser raises.
const char* ErrorText(HRESULT code) {
    switch (code) {
    case CComtradeCfgReader::kChannelCountError: return "The system cannot find the path specified.";
    case CComtradeCfgReader::kTimeMultError: return "Access is denied.";
    case CComtradeResampler::kBlockFull: return "Not enough storage is available to complete this operation.";
    default: return "Unknown error.";
    }
}

// 1, or the decimal prefix in front of the unit letter: "kV" 1000, "mA" 0.001.
float UnitFactor(const WideString& uu) {
    auto isUnit = [](WCHAR c) { return c == 'V' || c == 'A' || c == 'v' || c == 'a'; };
    for (size_t i = 0; i < uu.size(); ++i) {
        if (!isUnit(uu[i])) continue;
        if (i == 0) return 1.0f;
        switch (uu[i - 1]) {
        case 'K':
        case 'k': return 1000.0f;
        case 'M': return 1000000.0f;
        case 'm': return 0.001f;
        default: return 1.0f;
        }
    }
    return 1.0f;
}

} // namespace

CComtradeParser::CComtradeParser() : mapping_(OLESTR("VAREL_BXHF_MAPPING")) {}

void CComtradeParser::Reset() {
    config_ = ComtradeConfig{};
    dataLength_ = 0;
    samplesRead_ = 0;
}

void CComtradeParser::ChannelScale(const ComtradeAnalogChannel& channel, float* gain, float* offset) {
    float f = UnitFactor(channel.uu);
    float k = channel.ps == 'P' || channel.ps == 'p' ? 1.0f / (channel.primary / channel.secondary) : 1.0f;
    *gain = channel.a * f * k;
    *offset = channel.b * f * k;
}

HRESULT CComtradeParser::OpenCfgFile(const WideString& path) {
    std::string name = Utf16ToUtf8(path);
    DebugPrintf("Open Cfg File: %s ... \n", name.c_str());
    DWORD start = GetTickCount();
    ReadOnlyFileMapping file;
    if (!file.Open(path)) {
        DebugPrintf("File could not be opened.\n");
        return kCfgNotOpened;
    }
    // A single-file recording: its configuration section.
    ComtradeSection cfg{0, file.size()};
    CComtradeSingleFile::FindConfiguration(file.data(), file.size(), &cfg);
    HRESULT result = ParseCfg(file.data() + cfg.begin, cfg.end - cfg.begin);
    if (result == 0) DebugPrintf("OpenCfgFile Time:%d ms\n", static_cast<int>(GetTickCount() - start));
    return result;
}

HRESULT CComtradeParser::ParseCfg(const unsigned char* data, size_t size) {
    Reset();
    if (size < 2) return kCfgInvalid;
    HRESULT error;
    try {
        // A byte-order mark 0xFF 0xFE: UTF-16 text follows.
        if (data[0] == 0xFF && data[1] == 0xFE)
            error = CComtradeCfgReader::ReadWide(data + 2, (size - 2) / 2, &config_);
        else
            error = CComtradeCfgReader::ReadNarrow(data, size, &config_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (error) {
        DebugPrintf("OpenCfgFile error %s\n", ErrorText(error));
        return kCfgInvalid;
    }
    return 0;
}

float CComtradeParser::ChoosePlaybackRate(float requestedRate) const {
    float rate = requestedRate;
    if (!(requestedRate > 0.001f)) {
        if (config_.rates.empty()) {
            rate = config_.lf * 100.0f;
        } else {
            for (const ComtradeSampleRate& segment : config_.rates)
                if (segment.samp > rate) rate = segment.samp;
        }
    }
    // Also catches rates that are no number at all.
    return rate > 0.001f ? rate : kDefaultPlaybackRate;
}

HRESULT CComtradeParser::ParseDatFile(const WideString& path, float requestedRate) {
    std::string name = Utf16ToUtf8(path);
    DebugPrintf("Open Dat File: %s ... \n", name.c_str());
    DWORD start = GetTickCount();
    ReadOnlyFileMapping file;
    if (!file.Open(path)) {
        DebugPrintf("File could not be opened.\n");
        return kDatNotOpened;
    }
    // A single-file recording: its data section.
    ComtradeSection dat{0, file.size()};
    if (CComtradeSingleFile::IsSingleFile(file.data(), file.size()) &&
        !CComtradeSingleFile::FindData(file.data(), file.size(), &dat))
        dat = {file.size(), file.size()};
    HRESULT result = ParseDat(file.data() + dat.begin, dat.end - dat.begin, requestedRate);
    file.Close();
    if (result != 0) return result;
    DWORD elapsedMs = GetTickCount() - start;
    double seconds = (elapsedMs ? elapsedMs : 1) / 1000.0;
    DebugPrintf("OpenDataFile Length = %d, Time:%d ms, Speed : %.0f M/s\n ", static_cast<int>(dataLength_),
                static_cast<int>(elapsedMs), static_cast<double>(dataLength_ >> 20) / seconds);
    return 0;
}

HRESULT CComtradeParser::ParseDat(const unsigned char* data, size_t size, float requestedRate) {
    playbackRate_ = ChoosePlaybackRate(requestedRate);
    dataLength_ = size;
    samplesRead_ = 0;
    if (!mapping_.Create()) return kDatMappingFailed;
    HRESULT result;
    try {
        std::vector<float> gain(config_.analog.size()), offset(config_.analog.size());
        for (size_t i = 0; i < config_.analog.size(); ++i)
            ChannelScale(config_.analog[i], &gain[i], &offset[i]);
        reader_.Begin(data, size, config_.format, std::move(gain), std::move(offset), config_.digital.size());
        result = resampler_.Run(config_, &reader_, &mapping_, playbackRate_);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // The channels keep the overall extremes of what was read.
    samplesRead_ = reader_.Samples();
    for (size_t i = 0; i < config_.analog.size(); ++i) {
        config_.analog[i].point_min = samplesRead_ ? reader_.Minimum(i) : 0.0f;
        config_.analog[i].point_max = samplesRead_ ? reader_.Maximum(i) : 0.0f;
        config_.analog[i].point_missing = static_cast<uint32_t>(reader_.Missing(i));
    }
    if (result == CComtradeResampler::kBlockFull) {
        DebugPrintf("ParseDatFile error %s\n", ErrorText(result));
        return kDatMappingFailed;
    }
    return result;
}
