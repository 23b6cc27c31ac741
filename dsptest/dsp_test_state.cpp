#include "dsptest/dsp_test_state.h"

#include "device/message_ids.h"

#include <varel/vts.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kStateTestId = 7;
constexpr int32_t kMagnitudeEnd = 4;       // the end mode whose trigger is a magnitude
constexpr float kTesterTimeUnit = 0.0001f; // the tester counts in 100 us

// Signed 32-bit words of a payload; a word past its end reads as INT32_MIN.
class Words {
public:
    explicit Words(const std::vector<uint8_t>& payload) : payload_(payload) {}
    int32_t Next() {
        int32_t word = INT32_MIN;
        if (at_ + 4 <= payload_.size()) std::memcpy(&word, payload_.data() + at_, 4);
        at_ += 4;
        return word;
    }

private:
    const std::vector<uint8_t>& payload_;
    size_t at_ = 0;
};

uint32_t Count(int32_t word, uint32_t limit) { return word < 0 ? 0 : std::min<uint32_t>(word, limit); }

} // namespace

CDspTest_State::CDspTest_State()
    : CDspDocumentTest(kStateTestId, OLESTR("VarelTest_State"), OLESTR("State.new")) {}

HRESULT CDspTest_State::ExecuteCmd(int32_t command, VARIANT*, int32_t) {
    return command == 0 || command == 1 ? SendTestCommand(DEVMSG_MODULE_COMMAND) : S_OK;
}

HRESULT CDspTest_State::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    // A count above the 50 records is played as 50.
    const uint32_t states = Count(test_.stateNumbers, kMaxStates);
    AddUint(0, states);
    AddUint(42, test_.repeatNumbers);
    AddUint(43, test_.bFaultId);
    AddUint(44, test_.faultIdMode);
    AddReal(45, test_.faultIdId0);
    AddUint(46, test_.bFaultUd);
    AddUint(47, test_.faultUdMode);
    AddReal(48, test_.faultUdUd0);
    AddReal(49, test_.tao == 0 ? 1.0f : 1.0f / test_.tao);
    AddUint(50, test_.binTripRef);
    AddReal(51, test_.sureTime);
    AddUint(52, test_.powerMode);
    AddUint(53, test_.phaseMode);
    AddUint(54, test_.bSyn61850);
    for (uint32_t s = 0; s < states; ++s) AddState(s, test_.statePara[s]);
    lock.unlock();
    return SendTestParamList();
}

void CDspTest_State::AddState(uint32_t index, const StateParaRecord& state) {
    AddUint(1, index);
    for (uint32_t k = 0; k < 8; ++k) AddUint(13 + k, state.outputState[k]);
    for (uint32_t k = 0; k < 8; ++k) AddReal(21 + k, state.outputDelayTime[k]);
    AddUint(29, state.endMode);
    AddReal(30, state.endDelayTime);
    AddReal(31, state.maxLastTime);
    AddUint(32, state.bAndOr);
    uint32_t mask = 0;
    for (uint32_t k = 0; k < 16; ++k)
        if (state.bBinSelect[k]) mask |= 1u << k;
    AddUint(33, mask);
    const bool magnitude = state.endMode == kMagnitudeEnd;
    const int32_t group = magnitude ? state.magGroup : state.freGroup;
    const int32_t channel = magnitude ? state.magIndex : state.freIndex;
    AddUint(34, channel + (group ? 16 : 0));
    AddReal(35, magnitude ? state.magValue : state.freValue);
    for (uint32_t k = 0; k < VoltageChannels(); ++k) AddChannel(k, state.up[k], true);
    for (uint32_t k = 0; k < CurrentChannels(); ++k) AddChannel(16 + k, state.ip[k], false);
    AddUint(36, state.gpsPos);
}

void CDspTest_State::AddChannel(uint32_t number, const ChannelPara& c, bool voltage) {
    AddUint(2, number);
    AddReal(3, c.mag);
    AddReal(4, c.ang);
    AddReal(5, c.fre);
    AddUint(6, c.bDC);
    // Current channels ramp too, but their ramp flags are not sent.
    if (voltage) AddUint(7, c.bDMag);
    AddReal(8, c.bDMag ? c.dMag_dt : 0.0f);
    AddReal(9, c.endMag);
    if (voltage) AddUint(10, c.bDFre);
    AddReal(11, c.bDFre ? c.dFre_dt : 0.0f);
    AddReal(12, c.endFre);
}

HRESULT CDspTest_State::OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload) {
    if (code != VTS_NOTIFY_TEST_RESULT) return E_NOTIMPL;
    Words words(payload);
    std::lock_guard<std::mutex> lock(structMutex_);
    const uint32_t inputs = Count(words.Next(), kBinaryInputs);
    const uint32_t entries = Count(words.Next(), kStateTimes);
    test_.realTestTime = words.Next() * kTesterTimeUnit;
    for (uint32_t i = 0; i < entries; ++i) test_.stateEnterTime[i] = words.Next() * kTesterTimeUnit;
    for (uint32_t k = 0; k < inputs; ++k) test_.binEndState[k] = words.Next();
    for (uint32_t k = 0; k < inputs; ++k)
        for (uint32_t i = 0; i < entries; ++i) test_.binTripTime[i][k] = words.Next() * kTesterTimeUnit;
    payload.resize(sizeof test_);
    std::memcpy(payload.data(), &test_, sizeof test_);
    return E_NOTIMPL;
}
