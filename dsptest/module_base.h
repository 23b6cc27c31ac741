// A test module: turns one kind of protection test into traffic with the
// tester. The base class alone is the empty module the agent holds before
// the first test is chosen: everything it is asked answers E_NOINTERFACE.
#pragma once

#include "dsptest/tester_port.h"

#include <varel/vts_platform.h>

#include <cstdint>
#include <vector>

class CDspTest {
public:
    explicit CDspTest(uint32_t dspTestId = 0);
    virtual ~CDspTest();
    CDspTest(const CDspTest&) = delete;
    CDspTest& operator=(const CDspTest&) = delete;

    // Operations in slot order.
    virtual HRESULT Attach(CTesterPort* owner);
    virtual HRESULT BeginTest(IUnknown* params);
    virtual HRESULT StopTest(int32_t mode);
    virtual HRESULT GetTestResult(IUnknown** result);
    virtual HRESULT SwitchTestPoint(IUnknown* params);
    virtual HRESULT ExecuteCmd(int32_t command, VARIANT* value, int32_t arg);
    virtual HRESULT GetDspProgram(BSTR* file, uint32_t* dspTestId);
    // Converts a notification's payload in place (the test result becomes
    // the whole struct); E_NOTIMPL for codes the module leaves alone.
    virtual HRESULT OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload);
    virtual HRESULT BuildTestParams();
    virtual HRESULT PrepareTestParams();

    uint32_t DspTestId() const { return dspTestId_; }

protected:
    // Append one parameter; std::bad_alloc when memory runs out.
    void AddUint(uint32_t id, uint32_t value);
    void AddReal(uint32_t id, float value);
    // A real of double precision (VT_R8); on the wire as a real.
    void AddDouble(uint32_t id, double value);
    // Sends the gathered parameters (0x0204) and empties the list whatever
    // happens. DISP_E_BADPARAMCOUNT for an empty list.
    HRESULT SendTestParamList();
    // Message code for this module without payload.
    HRESULT SendTestCommand(uint16_t code);
    // 0x0209 with up to 16 output states.
    HRESULT SendBoutState(const int32_t* states, uint32_t count);
    // Lock, prepare and build the parameters, unlock whatever happened.
    HRESULT DownloadTestParams();

    // Voltage and current channels the tester reports, at most 16 each; 0
    // before Attach.
    uint32_t VoltageChannels() const;
    uint32_t CurrentChannels() const;
    // The tester's points-per-cycle word; 0 before Attach.
    int16_t SampRateWord() const;
    bool Attached() const { return owner_ != nullptr; }
    // Wave frames through the calibration to the tester's flash; a file
    // copied to the tester. E_NOINTERFACE before Attach.
    HRESULT SendWaveFrames(const float* samples, uint32_t channels, uint32_t count);
    HRESULT TransferFile(const WCHAR* sourcePath, const WCHAR* destinationName);

private:
    // A new item of the type at the end of the list, for its value to be set.
    VARIANT& NewParam(uint32_t id, VARTYPE type);
    void ClearParams();

    CTesterPort* owner_ = nullptr;
    std::vector<TestParamItem> params_;
    const uint32_t dspTestId_;
};
