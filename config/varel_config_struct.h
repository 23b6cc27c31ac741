// The system configuration as blocks: 32 channel entries (16 voltage slots,
// then 16 current slots), the bench-wide settings and the identity block
// handed to the host.
#pragma once

#include <varel/vts.h>

#include <cstddef>
#include <cstdint>

struct ChannelConfigEntry {
    uint32_t uSignalType; // signal-type code (small signal, FT3, 9-2, internal amplifier)
    int32_t bIsVolt;      // non-zero: the slot outputs a voltage
    float fPrimary;       // transformer primary (kV for voltage slots, A for current slots)
    float fSecondary;     // transformer secondary (V or A)
};
static_assert(sizeof(ChannelConfigEntry) == 16, "a channel entry is 16 bytes");

constexpr uint32_t kConfigSlots = 16; // per group
constexpr uint32_t kConfigChannels = 32;

struct SystemSettings {
    int32_t bShowPrimary; // values shown as primary values by default
    float Fre;            // nominal frequency, Hz
    float U1[16];         // small-signal scaling of the voltage slots: numerator
    float U2[16];         // ... denominator
    float I1[16];         // small-signal scaling of the current slots: numerator
    float I2[16];         // ... denominator
    float U_Range;        // voltage range of digital output
    float I_Range;        // current range of digital output
    int32_t bStop61850;   // IEC 61850 output stops when a test ends
    uint32_t reserved;    // keeps GPS_TimeMode at byte 280
    // Bits 0-15 time source (0 GPS, 1 IRIG-B, 2 IEEE 1588), 16-23 the 1588
    // role, 24-31 its clock mode, 32-63 the 1588 offset correction in ns.
    uint64_t GPS_TimeMode;
};
static_assert(sizeof(SystemSettings) == 288, "the system settings are 288 bytes");
static_assert(offsetof(SystemSettings, U_Range) == 264 && offsetof(SystemSettings, I_Range) == 268 &&
                  offsetof(SystemSettings, bStop61850) == 272 &&
                  offsetof(SystemSettings, GPS_TimeMode) == 280,
              "system settings offsets");

class CVarelConfig_Struct {
public:
    virtual ~CVarelConfig_Struct() = default;

    ChannelConfigEntry channels[kConfigChannels]; // voltage slots 0-15, current slots 16-31
    SystemSettings settings;
    BaseDeviceInfo baseDeviceInfo;
};
static_assert(sizeof(ChannelConfigEntry[kConfigChannels]) == 512, "the channel configuration is 512 bytes");
