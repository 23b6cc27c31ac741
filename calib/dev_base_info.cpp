#include "calib/dev_base_info.h"

#include "little_endian.h"

#include <algorithm>
#include <cstring>

namespace {

// Every field in declaration order with its width, for both directions.
template <typename Field>
void EachField(DEVBASEINFO& info, Field&& field) {
    field(info.reserved0[0]);
    field(info.reserved0[1]);
    field(info.model);
    for (uint8_t& byte : info.name) field(byte);
    for (uint32_t* word : {&info.capability, &info.word30, &info.word34, &info.word38}) field(*word);
    for (uint16_t* word : {&info.reserved3C, &info.word3E, &info.word40, &info.voltageChannels,
                           &info.currentChannels, &info.value46, &info.value48, &info.value4A, &info.value4C,
                           &info.dspVersion, &info.value50, &info.testSampRate})
        field(*word);
    for (uint8_t& byte : info.reserved54) field(byte);
}

} // namespace

DEVBASEINFO DecodeDevBaseInfo(const uint8_t* data, uint32_t length) {
    uint8_t bytes[kDevBaseInfoBytes] = {};
    std::memcpy(bytes, data, std::min(length, kDevBaseInfoBytes));
    DEVBASEINFO info;
    const uint8_t* at = bytes;
    EachField(info, [&](auto& value) {
        if constexpr (sizeof value == 4)
            value = LoadLe32(at);
        else if constexpr (sizeof value == 2)
            value = LoadLe16(at);
        else
            value = *at;
        at += sizeof value;
    });
    return info;
}

void EncodeDevBaseInfo(const DEVBASEINFO& info, uint8_t bytes[kDevBaseInfoBytes]) {
    DEVBASEINFO copy = info;
    uint8_t* at = bytes;
    EachField(copy, [&](auto& value) {
        if constexpr (sizeof value == 4)
            StoreLe32(at, value);
        else if constexpr (sizeof value == 2)
            StoreLe16(at, value);
        else
            *at = value;
        at += sizeof value;
    });
}

DEVBASEINFO DefaultDevBaseInfo() {
    DEVBASEINFO info{};
    info.voltageChannels = 6;
    info.currentChannels = 6;
    info.testSampRate = 200;
    return info;
}
