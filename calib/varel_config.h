// The main device's calibration store: the calibration file, the signal
// type and scale of each of the 32 output channels, and the tester's
// identity block. It combines, channel by channel, the calibration of the
// channel's own signal type and downloads it before each test.
#pragma once

#include "calib/adj_page.h"
#include "calib/dev_base_info.h"
#include "calib/varel_adj_file.h"

#include <varel/vts_platform.h>

#include <array>
#include <cstdint>
#include <functional>

struct AdjChannel {
    uint32_t signalType = 0; // the page the channel takes its calibration from
    float scale = 1.0f;      // multiplies the channel's gain code
};

class CVarelConfig {
public:
    // Sends one compensation item's payload to the tester (message 0x020D)
    // and returns the tester's answer.
    using ItemSender = std::function<HRESULT(const uint8_t* payload, uint32_t length)>;

    // send reaches the tester; without it nothing can be downloaded.
    explicit CVarelConfig(ItemSender send);

    // The compensation download before a test: the combined page in numbered
    // items (message 0x020D), stopping at the first failure.
    // VTS_E_ADJ_UNINIT without a sender; GetADJData's failures.
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
    // The last link answer's identity block (zero before any); written by
    // the device's receive thread before the identify request returns.
    void SetDevBaseInfo(const DEVBASEINFO& info) { devBaseInfo_ = info; }
    const DEVBASEINFO& DevBaseInfo() const { return devBaseInfo_; }

private:
    HRESULT SendItem(uint16_t item, const uint32_t* words, uint16_t count);

    ItemSender send_;
    CVarelADJFile adjFile_;
    std::array<AdjChannel, kOutputChannels> channels_{};
    DEVBASEINFO devBaseInfo_{};
};
