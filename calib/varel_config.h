// The main device's calibration store: the calibration file, the signal
// type and scale of each of the 32 output channels, and the tester's
// identity block. It combines, channel by channel, the calibration of the
// channel's own signal type and downloads it before each test.
#pragma once

#include "calib/adj_page.h"
#include "calib/varel_adj_file.h"

#include <varel/vts_platform.h>

#include <array>
#include <cstdint>

class CIOMainDevice;

constexpr uint32_t kDevBaseInfoBytes = 112;
// Fields of the identity block read here (byte offsets).
constexpr uint32_t kDevBaseCapability = 0x2C;      // 32-bit: bits 29, 30, 31 name the signal types
constexpr uint32_t kDevBaseVoltageChannels = 0x42; // 16-bit
constexpr uint32_t kDevBaseCurrentChannels = 0x44; // 16-bit
constexpr uint32_t kDevBaseDspVersion = 0x4E;      // 16-bit

struct AdjChannel {
    uint32_t signalType = 0; // the page the channel takes its calibration from
    float scale = 1.0f;      // multiplies the channel's gain code
};

class CVarelConfig {
public:
    // owner sends the compensation items; without one nothing can be downloaded.
    explicit CVarelConfig(CIOMainDevice* owner);

    // The compensation download before a test: the combined page in numbered
    // items (message 0x020D), stopping at the first failure.
    // VTS_E_ADJ_UNINIT without an owner; GetADJData's failures.
    virtual HRESULT InitADJDataPreTest();

    // The combined page: for every channel the words of its signal type's
    // page, the gain times the channel's scale. VTS_E_SIGNAL_TYPE for a
    // channel the tester has whose type it cannot output; the page read's
    // failure (E_OUTOFMEMORY) when the file has no page of that type.
    HRESULT GetADJData(AdjPage* page);

    CVarelADJFile& AdjFile() { return adjFile_; }
    // channel 0 to 31; others are ignored.
    void SetChannel(uint32_t channel, uint32_t signalType, float scale);
    AdjChannel Channel(uint32_t channel) const { return channels_[channel % kOutputChannels]; }
    // The last link answer's payload (zero before any); written by the
    // device's receive thread before the identify request returns.
    std::array<uint8_t, kDevBaseInfoBytes>& DevBaseInfo() { return devBaseInfo_; }
    const std::array<uint8_t, kDevBaseInfoBytes>& DevBaseInfo() const { return devBaseInfo_; }

private:
    HRESULT SendItem(uint16_t item, const uint32_t* words, uint16_t count);

    CIOMainDevice* owner_;
    CVarelADJFile adjFile_;
    std::array<AdjChannel, kOutputChannels> channels_{};
    std::array<uint8_t, kDevBaseInfoBytes> devBaseInfo_{};
};
