#include "config/channel_ratio.h"

#include "calib/adj_page.h"

float ChannelRatio(const ChannelConfigEntry& entry, uint32_t slot, const SystemSettings& settings,
                   uint32_t model) {
    const uint32_t i = slot % kConfigSlots;
    const bool volt = entry.bIsVolt != 0;
    switch (entry.uSignalType) {
    case kSignalSmall: {
        const float numerator = volt ? settings.U1[i] : settings.I1[i];
        const float denominator = volt ? settings.U2[i] : settings.I2[i];
        return denominator != 0.0f ? numerator / (1000.0f * denominator) : 1.0f;
    }
    case kSignalFt3:
    case kSignal92:
        if (model != kModelDigital) {
            if (volt) return settings.U_Range > 0.0f ? 130.0f / settings.U_Range : 1.0f;
            return settings.I_Range > 0.0f ? 40.0f / settings.I_Range : 1.0f;
        }
        if (entry.uSignalType == kSignalFt3 || entry.fSecondary == 0.0f) return 1.0f;
        return volt ? entry.fPrimary / entry.fSecondary / 10.0f
                    : entry.fPrimary / (1000.0f * entry.fSecondary);
    default: return 1.0f;
    }
}

void ApplyChannelConfig(CVarelConfig& store, const ChannelConfigEntry (&channels)[kConfigChannels],
                        const SystemSettings& settings, uint32_t model) {
    for (uint32_t ch = 0; ch < kConfigChannels; ++ch)
        store.SetChannel(ch, channels[ch].uSignalType,
                         ChannelRatio(channels[ch], ch % kConfigSlots, settings, model));
}
