// What a test module may ask of the tester. The agent implements it over the
// main device; a module holds it from Attach on and never sees the agent.
#pragma once

#include "device/param_item.h"

#include <varel/vts_platform.h>

#include <cstdint>

class CTesterPort {
public:
    // One message for test testId; the answer's status as a result code.
    virtual HRESULT Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) = 0;
    // The parameter list as (tag, value) pairs in 0x0204 messages of at most
    // 80 pairs; DISP_E_TYPEMISMATCH for an item of a type that cannot be sent.
    virtual HRESULT SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count) = 0;
    // 0x020F: the parameter download begins (locked) or ends.
    virtual HRESULT SetDownloadLock(uint16_t testId, bool locked) = 0;
    // 0x0209 with 16 output words, the states beyond count 0.
    virtual HRESULT SendBout(uint16_t testId, const uint16_t* states, uint32_t count) = 0;
    // The voltage and current channels the tester reports, at most 16 each.
    virtual uint32_t VoltageChannels() const = 0;
    virtual uint32_t CurrentChannels() const = 0;
    // The tester's playback points per cycle (negative: samples per second)
    // as its identity gives them.
    virtual int16_t TestSampRate() const = 0;
    // A file of the PC copied to the tester under destinationName.
    virtual HRESULT TransFile(const WCHAR* sourcePath, const WCHAR* destinationName) = 0;
    // Wave samples (frames of `channels` floats) through the calibration into
    // output codes, downloaded with progress notifications.
    virtual HRESULT SendWavePlayData(const float* samples, uint32_t channels, uint32_t count) = 0;

protected:
    ~CTesterPort() = default;
};
