#include "calib/dev_base_info.h"

#include "little_endian.h"

#include <algorithm>
#include <cstring>
#include <iterator>

DEVBASEINFO DecodeDevBaseInfo(const uint8_t* data, uint32_t length) {
    uint8_t bytes[kDevBaseInfoBytes] = {};
    std::memcpy(bytes, data, std::min(length, kDevBaseInfoBytes));
    DEVBASEINFO info;
    uint32_t* const words[] = {&info.reserved0[0], &info.reserved0[1], &info.model};
    for (size_t i = 0; i < std::size(words); ++i) *words[i] = LoadLe32(bytes + 4 * i);
    std::memcpy(info.name, bytes + offsetof(DEVBASEINFO, name), sizeof info.name);
    uint32_t* const flags[] = {&info.capability, &info.word30, &info.word34, &info.word38};
    for (size_t i = 0; i < std::size(flags); ++i)
        *flags[i] = LoadLe32(bytes + offsetof(DEVBASEINFO, capability) + 4 * i);
    uint16_t* const halves[] = {&info.reserved3C,      &info.word3E,     &info.word40,  &info.voltageChannels,
                                &info.currentChannels, &info.value46,    &info.value48, &info.value4A,
                                &info.value4C,         &info.dspVersion, &info.value50, &info.testSampRate};
    for (size_t i = 0; i < std::size(halves); ++i)
        *halves[i] = LoadLe16(bytes + offsetof(DEVBASEINFO, reserved3C) + 2 * i);
    std::memcpy(info.reserved54, bytes + offsetof(DEVBASEINFO, reserved54), sizeof info.reserved54);
    return info;
}

DEVBASEINFO DefaultDevBaseInfo() {
    DEVBASEINFO info{};
    info.voltageChannels = 6;
    info.currentChannels = 6;
    info.testSampRate = 200;
    return info;
}
