// The tester's identity block as last read (DEVBASEINFO) and the block
// handed to the host (BaseDeviceInfo), with their values before any link.
#pragma once

#include <varel/vts.h>

#include <cstdint>

struct DEVBASEINFO {
    uint8_t bytes[112]; // as the tester sends it; fields are read at fixed offsets
};
static_assert(sizeof(DEVBASEINFO) == 112, "DEVBASEINFO is 112 bytes");

constexpr uint32_t kDevBaseInfoModel = 8;
constexpr uint32_t kDevBaseInfoVoltageChannels = 0x42;
constexpr uint32_t kDevBaseInfoCurrentChannels = 0x44;
constexpr uint32_t kDevBaseInfoTestSampRate = 0x52;

// Zero but 6 voltage and 6 current channels and TestSampRate 200.
DEVBASEINFO DefaultDevBaseInfo();
BaseDeviceInfo DefaultBaseDeviceInfo();
// The block handed to the host, rebuilt from the identity after a link.
BaseDeviceInfo BaseDeviceInfoFrom(const DEVBASEINFO& info);
