#include "calib/adj_page.h"

#include <algorithm>

uint32_t SignalCapabilityBit(uint32_t signalType) {
    switch (signalType) {
    case kSignalSmall: return 1u << 30;
    case kSignalFt3:
    case kSignal92: return 1u << 29;
    case kSignalAmplifier: return 1u << 31;
    default: return 0;
    }
}

AdjPage DefaultAdjPage() {
    AdjPage page{};
    for (uint32_t ch = 0; ch < kOutputChannels; ++ch) {
        page.words[kAdjZeroDrift + ch] = 32767;
        page.words[kAdjGain + ch] = ch < kGroupChannels ? 11785 : 39284;
    }
    std::fill(page.words + kAdjTableT1, page.words + kAdjPageWords, 10000u);
    return page;
}
