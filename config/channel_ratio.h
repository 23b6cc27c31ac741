// The channel ratio: what multiplies a channel's calibration gain, from the
// slot's signal type, its transformer and the bench settings.
#pragma once

#include "calib/varel_config.h"
#include "config/varel_config_struct.h"

#include <cstdint>

constexpr uint32_t kModelDigital = 0x00030001; // the hardware model whose 9-2 output follows the transformers

// slot: the index within its group (0 to 15); model: the tester's hardware
// model word. A small-signal slot with a zero denominator gets 1.
float ChannelRatio(const ChannelConfigEntry& entry, uint32_t slot, const SystemSettings& settings,
                   uint32_t model);

// Writes every channel's signal type and ratio into the calibration store.
void ApplyChannelConfig(CVarelConfig& store, const ChannelConfigEntry (&channels)[kConfigChannels],
                        const SystemSettings& settings, uint32_t model);
