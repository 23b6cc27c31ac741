// The calibration page: 2432 words per output signal type, laid out by
// channel (0 to 15 voltage, 16 to 31 current), and the signal-type codes
// that name the pages.
#pragma once

#include <cstdint>

constexpr uint32_t kOutputChannels = 32;
constexpr uint32_t kGroupChannels = 16; // voltage channels, then as many current channels

// Signal-type codes, also the uSignalType of the channel configuration.
constexpr uint32_t kSignalSmall = 0x00010000;     // small signal
constexpr uint32_t kSignalFt3 = 0x00020000;       // digital 9-1 (FT3)
constexpr uint32_t kSignal92 = 0x00020001;        // digital 9-2
constexpr uint32_t kSignalAmplifier = 0x00030001; // internal amplifier

// The tester capability bit a signal type needs; 0 for an unknown code.
uint32_t SignalCapabilityBit(uint32_t signalType);

// Word offsets within a page; channel ch's words are at offset + ch (or
// offset + ch * per-channel words for the tables).
constexpr uint32_t kAdjZeroDrift = 0; // the output code of a zero value
constexpr uint32_t kAdjGain = 32;     // in units of 1/10000
constexpr uint32_t kAdjWordSet1 = 64;
constexpr uint32_t kAdjWordSet2 = 96;
constexpr uint32_t kAdjTableT1 = 128; // 10 words a channel
constexpr uint32_t kAdjTableT2 = 448; // 10 words a channel
constexpr uint32_t kAdjTableT3 = 768; // 52 words a channel
constexpr uint32_t kAdjT1Words = 10, kAdjT2Words = 10, kAdjT3Words = 52;
constexpr uint32_t kAdjPageWords = 2432;
constexpr uint32_t kAdjPageBytes = kAdjPageWords * 4;
// A page's record in memory and in the file: the page, then 512 zero bytes.
constexpr uint32_t kAdjRecordBytes = 10240;

struct AdjPage {
    uint32_t words[kAdjPageWords];
};
static_assert(sizeof(AdjPage) == 9728, "AdjPage is 9728 bytes");

// A page in its neutral state: zero drift 32767, gains 11785 (voltage) and
// 39284 (current), word sets 0, every table word 10000.
AdjPage DefaultAdjPage();
