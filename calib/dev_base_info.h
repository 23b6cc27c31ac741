// The tester's identity block (DEVBASEINFO): the 112-byte payload of its
// answer to the link message, little-endian on the wire. The calibration
// store keeps the last one read; the agent keeps its own copy for the host.
#pragma once

#include <cstddef>
#include <cstdint>

struct DEVBASEINFO {
    uint32_t reserved0[2];
    uint32_t model;      // 8: hardware model; its upper 16 bits are the series code
    uint8_t name[32];    // 12: copied to the host's block as it is
    uint32_t capability; // 0x2C: bits 29, 30, 31 name the signal types it can output
    uint32_t word30;     // 0x30, 0x34, 0x38: copied to the host's block
    uint32_t word34;
    uint32_t word38;
    uint16_t reserved3C;
    uint16_t word3E; // 0x3E, 0x40: copied (widened) to the host's block
    uint16_t word40;
    uint16_t voltageChannels; // 0x42
    uint16_t currentChannels; // 0x44
    uint16_t value46;         // 0x46 to 0x4C and 0x50: given to the host as floats
    uint16_t value48;
    uint16_t value4A;
    uint16_t value4C;
    uint16_t dspVersion; // 0x4E: the DSP program's version
    uint16_t value50;
    uint16_t testSampRate; // 0x52
    uint8_t reserved54[28];
};
static_assert(sizeof(DEVBASEINFO) == 112, "DEVBASEINFO is 112 bytes");
static_assert(offsetof(DEVBASEINFO, capability) == 0x2C && offsetof(DEVBASEINFO, voltageChannels) == 0x42 &&
                  offsetof(DEVBASEINFO, dspVersion) == 0x4E && offsetof(DEVBASEINFO, testSampRate) == 0x52,
              "DEVBASEINFO offsets");

constexpr uint32_t kDevBaseInfoBytes = sizeof(DEVBASEINFO);

// The block from the first length bytes of an answer (at most 112); the
// bytes it lacks read as zero.
DEVBASEINFO DecodeDevBaseInfo(const uint8_t* data, uint32_t length);
// The agent's block before any link: zero but 6 voltage and 6 current
// channels and TestSampRate 200.
DEVBASEINFO DefaultDevBaseInfo();
