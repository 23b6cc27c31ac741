#include "dsptest/module_base.h"

#include <new>

CDspTest::CDspTest(uint32_t dspTestId) : dspTestId_(dspTestId) {}

CDspTest::~CDspTest() { ClearParams(); }

HRESULT CDspTest::Attach(CTesterPort* owner) {
    owner_ = owner;
    return S_OK;
}

HRESULT CDspTest::BeginTest(IUnknown*) { return E_NOINTERFACE; }
HRESULT CDspTest::StopTest(int32_t) { return E_NOINTERFACE; }
HRESULT CDspTest::GetTestResult(IUnknown** result) { return result ? E_NOINTERFACE : E_INVALIDARG; }
HRESULT CDspTest::SwitchTestPoint(IUnknown*) { return E_NOINTERFACE; }
HRESULT CDspTest::ExecuteCmd(int32_t, VARIANT*, int32_t) { return S_OK; }
HRESULT CDspTest::GetDspProgram(BSTR*, uint32_t*) { return E_NOINTERFACE; }
HRESULT CDspTest::OnDeviceEvent(uint32_t, std::vector<uint8_t>&) { return E_NOINTERFACE; }
HRESULT CDspTest::BuildTestParams() { return E_NOINTERFACE; }
HRESULT CDspTest::PrepareTestParams() { return S_OK; }

uint32_t CDspTest::VoltageChannels() const { return owner_ ? owner_->VoltageChannels() : 0; }
uint32_t CDspTest::CurrentChannels() const { return owner_ ? owner_->CurrentChannels() : 0; }

int16_t CDspTest::SampRateWord() const { return owner_ ? owner_->TestSampRate() : 0; }

HRESULT CDspTest::SendWaveFrames(const float* samples, uint32_t channels, uint32_t count) {
    return owner_ ? owner_->SendWavePlayData(samples, channels, count) : E_NOINTERFACE;
}

HRESULT CDspTest::TransferFile(const WCHAR* sourcePath, const WCHAR* destinationName) {
    return owner_ ? owner_->TransFile(sourcePath, destinationName) : E_NOINTERFACE;
}

// Numbers own nothing: they go into the list as they are, without a copy call.
VARIANT& CDspTest::NewParam(uint32_t id, VARTYPE type) {
    params_.push_back({id, {}});
    params_.back().value.vt = type;
    return params_.back().value;
}

void CDspTest::AddUint(uint32_t id, uint32_t value) { NewParam(id, VT_UI4).ulVal = value; }

void CDspTest::AddReal(uint32_t id, float value) { NewParam(id, VT_R4).fltVal = value; }

void CDspTest::AddDouble(uint32_t id, double value) { NewParam(id, VT_R8).dblVal = value; }

// The list holds numbers only (NewParam makes nothing else): nothing to free.
void CDspTest::ClearParams() { params_.clear(); }

HRESULT CDspTest::SendTestParamList() {
    if (!owner_) return E_NOINTERFACE;
    if (params_.empty()) return DISP_E_BADPARAMCOUNT;
    HRESULT hr = owner_->SendTestParams(static_cast<uint16_t>(dspTestId_), params_.data(),
                                        static_cast<uint32_t>(params_.size()));
    ClearParams();
    return hr;
}

HRESULT CDspTest::SendTestCommand(uint16_t code) {
    return owner_ ? owner_->Send(static_cast<uint16_t>(dspTestId_), code, nullptr, 0) : E_NOINTERFACE;
}

HRESULT CDspTest::SendBoutState(const int32_t* states, uint32_t count) {
    if (count < 1 || count > 16) return E_INVALIDARG;
    if (!owner_) return E_NOINTERFACE;
    uint16_t words[16] = {};
    for (uint32_t k = 0; k < count; ++k) words[k] = static_cast<uint16_t>(states[k]);
    return owner_->SendBout(0, words, 16);
}

HRESULT CDspTest::DownloadTestParams() {
    if (owner_) owner_->SetDownloadLock(static_cast<uint16_t>(dspTestId_), true);
    HRESULT hr = PrepareTestParams();
    if (hr == S_OK) {
        try {
            hr = BuildTestParams();
        } catch (const std::bad_alloc&) {
            // The unfinished list is dropped unsent; the lock is still
            // released below and the start goes on.
            ClearParams();
        }
    }
    if (owner_) owner_->SetDownloadLock(static_cast<uint16_t>(dspTestId_), false);
    return hr;
}
