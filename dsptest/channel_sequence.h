// The channel-sequence test: a variant of the state sequence in which every
// output channel and every binary output has its own list of up to 50 timed
// entries, each channel entry with one superimposed harmonic. Its result
// reaches the host as the tester sent it.
#pragma once

#include "dsptest/document_module.h"

#include <cstdint>

struct SeqChannelEntry {
    float timeStart; // seconds from the test's start
    float mag;       // V or A
    float ang;       // degrees
    float harmMag;   // V or A
    float harmAng;   // degrees
    float harmFre;   // Hz
};
static_assert(sizeof(SeqChannelEntry) == 24, "SeqChannelEntry is 24 bytes");

struct SeqOutputEntry {
    float timeStart; // seconds from the test's start
    int32_t state;
};
static_assert(sizeof(SeqOutputEntry) == 8, "SeqOutputEntry is 8 bytes");

// Entry j of every channel and output.
struct SeqEntryRecord {
    SeqChannelEntry up[16];
    SeqChannelEntry ip[16];
    SeqOutputEntry bout[16];
};
static_assert(sizeof(SeqEntryRecord) == 896, "SeqEntryRecord is 896 bytes");

constexpr uint32_t kSeqEntries = 50;
constexpr uint32_t kSeqTripRows = 51;

struct VarelTest_SzVove_State {
    SeqEntryRecord entries[kSeqEntries];
    int32_t upEntries[16]; // entries each voltage channel uses, from entry 0
    int32_t ipEntries[16];
    int32_t boutEntries[16];
    int32_t powerMode;
    // Results.
    float realTestTime; // seconds
    int32_t binEndState[16];
    float binTripTime[kSeqTripRows][16]; // seconds, -1000 when not tripped
};
// The image never crosses to the host or the tester: the field list alone
// fixes its size.
static_assert(sizeof(VarelTest_SzVove_State) == 48328, "VarelTest_SzVove_State is 48328 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_SzVove_State& test);
void Walk(FieldWalker& w, VarelTest_SzVove_State& test);

class CDspTest_SzVove_State final : public CStructModule<VarelTest_SzVove_State> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;
};
