#include "calib/varel_config.h"

#include "debug_output.h"

#include <varel/vts_errors.h>

#include <cstring>

namespace {

constexpr uint32_t kOldT3Words = 22; // table T3 words a DSP program before version 1001 takes
constexpr uint16_t kFullT3DspVersion = 1001;

uint32_t ScaledGain(uint32_t gain, float scale) {
    const float value = static_cast<float>(gain) * scale;
    if (!(value > 0.0f)) return 0;
    if (value >= 4294967296.0f) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(value);
}

} // namespace

CVarelConfig::CVarelConfig(ItemSender send) : send_(std::move(send)) {}

void CVarelConfig::SetChannel(uint32_t channel, uint32_t signalType, float scale) {
    if (channel < kOutputChannels) channels_[channel] = AdjChannel{signalType, scale};
}

HRESULT CVarelConfig::GetADJData(AdjPage* combined) {
    const uint32_t capability = devBaseInfo_.capability;
    const uint32_t voltages = devBaseInfo_.voltageChannels, currents = devBaseInfo_.currentChannels;
    std::memset(combined, 0, sizeof *combined);
    AdjPage page;
    uint32_t pageType = 0;
    bool pageRead = false; // channels of one signal type share its page: read once
    for (uint32_t ch = 0; ch < kOutputChannels; ++ch) {
        const bool exists = ch < kGroupChannels ? ch < voltages : ch - kGroupChannels < currents;
        // A channel the tester does not have follows channel 0, whatever it is set to.
        uint32_t type = channels_[0].signalType;
        if (exists) {
            type = channels_[ch].signalType;
            const uint32_t bit = SignalCapabilityBit(type);
            if (!bit || !(capability & bit)) {
                DebugPrintf("VARELDS: GetADJData u_ch%d of 32 signal type not support.\n",
                            static_cast<int>(ch));
                return VTS_E_SIGNAL_TYPE;
            }
        }
        if (!pageRead || type != pageType) {
            std::memset(&page, 0, sizeof page);
            HRESULT hr = adjFile_.ReadPage(type, page.words, kAdjPageBytes);
            if (hr != S_OK) {
                DebugPrintf("VARELDS: GetADJData ReadADJPage 0x%08X failed.\n", type);
                return hr;
            }
            pageType = type;
            pageRead = true;
        }
        for (uint32_t base : {kAdjZeroDrift, kAdjWordSet1, kAdjWordSet2})
            combined->words[base + ch] = page.words[base + ch];
        combined->words[kAdjGain + ch] = ScaledGain(page.words[kAdjGain + ch], channels_[ch].scale);
        const struct {
            uint32_t base, perChannel;
        } tables[] = {{kAdjTableT1, kAdjT1Words}, {kAdjTableT2, kAdjT2Words}, {kAdjTableT3, kAdjT3Words}};
        for (const auto& t : tables)
            std::memcpy(combined->words + t.base + t.perChannel * ch, page.words + t.base + t.perChannel * ch,
                        4 * t.perChannel);
    }
    return S_OK;
}

HRESULT CVarelConfig::SendItem(uint16_t item, const uint32_t* words, uint16_t count) {
    uint8_t payload[4 + 4 * 208];
    std::memcpy(payload, &item, 2);
    std::memcpy(payload + 2, &count, 2);
    std::memcpy(payload + 4, words, 4u * count);
    return send_(payload, 4u + 4u * count);
}

HRESULT CVarelConfig::InitADJDataPreTest() {
    if (!send_) {
        DebugPrintf("VARELDS: InitADJDataPreTest failed, m_pADJFile=NULL ???\n");
        return VTS_E_ADJ_UNINIT;
    }
    AdjPage page;
    HRESULT hr = GetADJData(&page);
    if (hr != S_OK) return hr;
    const uint32_t* w = page.words;
    const struct {
        uint16_t item;
        uint32_t first;
        uint16_t count;
    } items[] = {{0, kAdjZeroDrift, 32}, {16, kAdjWordSet1, 32},      {32, kAdjWordSet2, 32},
                 {48, kAdjGain, 32},     {65, kAdjTableT1, 160},      {66, kAdjTableT1 + 160, 160},
                 {81, kAdjTableT2, 160}, {82, kAdjTableT2 + 160, 160}};
    for (const auto& item : items)
        if ((hr = SendItem(item.item, w + item.first, item.count)) != S_OK) return hr;

    if (devBaseInfo_.dspVersion < kFullT3DspVersion) {
        // Older programs take the first 22 words of each channel, 8 channels an item.
        uint32_t cut[kOutputChannels * kOldT3Words];
        for (uint32_t ch = 0; ch < kOutputChannels; ++ch)
            std::memcpy(cut + kOldT3Words * ch, w + kAdjTableT3 + kAdjT3Words * ch, 4 * kOldT3Words);
        for (uint16_t k = 0; k < 4; ++k)
            if ((hr = SendItem(static_cast<uint16_t>(97 + k), cut + 8 * kOldT3Words * k, 8 * kOldT3Words)) !=
                S_OK)
                return hr;
        return S_OK;
    }
    for (uint16_t k = 0; k < 8; ++k)
        if ((hr = SendItem(static_cast<uint16_t>(113 + k), w + kAdjTableT3 + 4 * kAdjT3Words * k,
                           4 * kAdjT3Words)) != S_OK)
            return hr;
    return S_OK;
}
