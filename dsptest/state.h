// The state sequence test: up to 50 output states of 16 voltage and 16
// current channels each, played one after another. Its parameter and result
// struct has 4-byte fields only; its byte image is also what the host
// receives with the test result.
#pragma once

#include "dsptest/document_module.h"

#include <cstdint>

struct ChannelPara {
    float mag; // V or A
    float ang; // degrees
    float fre; // Hz
    int32_t bDC;
    int32_t bDMag; // magnitude ramp on
    float dMag_dt; // units per second
    float endMag;
    int32_t bDFre; // frequency ramp on
    float dFre_dt; // Hz per second
    float endFre;  // Hz
};
static_assert(sizeof(ChannelPara) == 40, "ChannelPara is 40 bytes");

struct StateParaRecord {
    ChannelPara up[16];
    ChannelPara ip[16];
    int32_t outputState[16];
    float outputDelayTime[16]; // seconds
    int32_t endMode;
    float endDelayTime; // seconds
    float maxLastTime;  // seconds
    int32_t gpsPos;
    int32_t bAndOr;
    int32_t bBinSelect[16];
    int32_t magGroup; // 0 voltage, nonzero current
    int32_t magIndex;
    float magValue;
    int32_t freGroup;
    int32_t freIndex;
    float freValue; // Hz
};
static_assert(sizeof(StateParaRecord) == 1516, "StateParaRecord is 1516 bytes");

constexpr uint32_t kMaxStates = 50;
constexpr uint32_t kStateTimes = 51;
constexpr uint32_t kBinaryInputs = 16;

struct VarelTest_State {
    int32_t stateNumbers;
    StateParaRecord statePara[kMaxStates];
    int32_t repeatNumbers;
    int32_t bFaultId;
    int32_t faultIdMode;
    float faultIdId0; // A
    int32_t bFaultUd;
    int32_t faultUdMode;
    float faultUdUd0; // V
    float tao;        // seconds
    int32_t binTripRef;
    int32_t phaseMode;
    float sureTime; // seconds
    int32_t powerMode;
    // Results.
    float realTestTime;                // seconds
    float stateEnterTime[kStateTimes]; // seconds, -1000 when not entered
    int32_t binEndState[kBinaryInputs];
    float binTripTime[kStateTimes][kBinaryInputs]; // seconds, -1000 when not tripped
    int32_t bSyn61850;
};
static_assert(sizeof(VarelTest_State) == 79392, "VarelTest_State is 79392 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_State& test);
void Walk(FieldWalker& w, VarelTest_State& test);

class CDspTest_State final : public CStructModule<VarelTest_State> {
public:
    using CStructModule::CStructModule;

    HRESULT ExecuteCmd(int32_t command, VARIANT*, int32_t) override { return ModuleCommand(command); }
    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;

private:
    void AddState(uint32_t index, const StateParaRecord& state);
    void AddChannel(uint32_t number, const ChannelPara& channel, bool voltage);
};
