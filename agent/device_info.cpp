#include "agent/device_info.h"

#include <cstring>

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
    BaseDeviceInfo info = DefaultBaseDeviceInfo();
    info.model = dev.model;
    std::memcpy(info.identity, dev.name, sizeof info.identity);
    info.word36 = dev.word30;
    info.capability = dev.capability;
    info.word44 = dev.word34;
    info.word48 = dev.word38;
    info.voltageChannels = dev.voltageChannels;
    info.currentChannels = dev.currentChannels;
    info.word60 = dev.word3E;
    info.word64 = dev.word40;
    info.value68 = dev.value46;
    info.value72 = dev.value48;
    info.value76 = dev.value50;
    info.dspVersion = dev.dspVersion;
    info.value84 = dev.value4A ? dev.value4A : 200.0f;
    info.value88 = dev.value4C ? dev.value4C : 15.0f;
    return info;
}
