// The state sequence test: up to 50 output states played one after another.
#pragma once

#include "dsptest/dsp_document_test.h"
#include "dsptest/varel_test_state.h"

class CDspTest_State final : public CDspDocumentTest {
public:
    CDspTest_State();

    HRESULT ExecuteCmd(int32_t command, VARIANT* value, int32_t arg) override;
    HRESULT OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload) override;
    HRESULT BuildTestParams() override;

protected:
    void ResetStruct() override { test_ = DefaultState(); }
    void WalkStruct(FieldWalker& walker) override { WalkState(walker, test_); }

private:
    void AddState(uint32_t index, const StateParaRecord& state);
    void AddChannel(uint32_t number, const ChannelPara& channel, bool voltage);

    VarelTest_State test_ = DefaultState();
};
