#include "device_info.h"

#include <cstring>

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

namespace {
void StoreLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
} // namespace

DEVBASEINFO DefaultDevBaseInfo() {
    DEVBASEINFO info{};
    StoreLe16(info.bytes + kDevBaseInfoVoltageChannels, 6);
    StoreLe16(info.bytes + kDevBaseInfoCurrentChannels, 6);
    StoreLe16(info.bytes + kDevBaseInfoTestSampRate, 200);
    return info;
}

BaseDeviceInfo DefaultBaseDeviceInfo() {
    BaseDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    info.capability = 1;
    info.voltageChannels = 16;
    info.currentChannels = 16;
    info.word60 = 16;
    info.word64 = 16;
    info.value68 = 120.0f;
    info.value72 = 30.0f;
    info.value76 = 10.0f;
    info.dspVersion = 1000.0f;
    info.value84 = 300.0f;
    info.value88 = 20.0f;
    info.value92 = 57.735f;
    info.value96 = 0.0f;
    info.value100 = 50.0f;
    return info;
}

BaseDeviceInfo BaseDeviceInfoFrom(const DEVBASEINFO& dev) {
    const uint8_t* b = dev.bytes;
    BaseDeviceInfo info = DefaultBaseDeviceInfo();
    info.model = ReadLe32(b + 8);
    std::memcpy(info.identity, b + 12, sizeof info.identity);
    info.word36 = ReadLe32(b + 0x30);
    info.capability = ReadLe32(b + 0x2C);
    info.word44 = ReadLe32(b + 0x34);
    info.word48 = ReadLe32(b + 0x38);
    info.voltageChannels = ReadLe16(b + kDevBaseInfoVoltageChannels);
    info.currentChannels = ReadLe16(b + kDevBaseInfoCurrentChannels);
    info.word60 = ReadLe16(b + 0x3E);
    info.word64 = ReadLe16(b + 0x40);
    info.value68 = ReadLe16(b + 0x46);
    info.value72 = ReadLe16(b + 0x48);
    info.value76 = ReadLe16(b + 0x50);
    info.dspVersion = ReadLe16(b + 0x4E);
    info.value84 = ReadLe16(b + 0x4A) ? ReadLe16(b + 0x4A) : 200.0f;
    info.value88 = ReadLe16(b + 0x4C) ? ReadLe16(b + 0x4C) : 15.0f;
    return info;
}
