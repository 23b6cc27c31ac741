#include "device_info.h"

#include "little_endian.h"

#include <cstring>

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
    info.model = LoadLe32(b + 8);
    std::memcpy(info.identity, b + 12, sizeof info.identity);
    info.word36 = LoadLe32(b + 0x30);
    info.capability = LoadLe32(b + 0x2C);
    info.word44 = LoadLe32(b + 0x34);
    info.word48 = LoadLe32(b + 0x38);
    info.voltageChannels = LoadLe16(b + kDevBaseInfoVoltageChannels);
    info.currentChannels = LoadLe16(b + kDevBaseInfoCurrentChannels);
    info.word60 = LoadLe16(b + 0x3E);
    info.word64 = LoadLe16(b + 0x40);
    info.value68 = LoadLe16(b + 0x46);
    info.value72 = LoadLe16(b + 0x48);
    info.value76 = LoadLe16(b + 0x50);
    info.dspVersion = LoadLe16(b + 0x4E);
    info.value84 = LoadLe16(b + 0x4A) ? LoadLe16(b + 0x4A) : 200.0f;
    info.value88 = LoadLe16(b + 0x4C) ? LoadLe16(b + 0x4C) : 15.0f;
    return info;
}
