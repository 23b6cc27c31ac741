// The one object behind the exported API: it turns API calls into device
// commands and test-module calls, and turns what the tester sends on its own
// into notifications for the host window.
#pragma once

#include <varel/vts.h>

#include "agent/device_info.h"
#include "agent/msg_queue.h"
#include "com/com_ptr.h"
#include "config/varel_config_struct.h"
#include "device/dev_msg_listener.h"
#include "device/io650_device.h"
#include "device/io_main_device.h"
#include "dsptest/module_base.h"
#include "dsptest/tester_port.h"
#include "gps/varel_dev_gps.h"
#include "text.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int32_t kGpsCommand = 5; // Execute's own command: the GPS receiver
constexpr uint32_t kIoStateBytes = 64;
constexpr uint32_t kExtendedIoRecordBytes = 1024;

// The agent is the test modules' port to the tester (the main device).
class CTestAgent : public CDevMsgListener, public CTesterPort {
public:
    explicit CTestAgent(MsgQueue& queue);
    virtual ~CTestAgent();

    // Operations in slot order.
    HRESULT OnProgress(uint32_t total, uint32_t done) override;
    HRESULT OnDevUpMessage(uint32_t address, uint16_t port, uint16_t id, const uint8_t* data,
                           uint32_t length) override;
    // Copies of the host's channel entries and system settings (either may be
    // null: that block stays), applied to the calibration store.
    virtual HRESULT SetConfig(const ChannelConfigEntry* channels, const SystemSettings* settings);
    virtual HRESULT SetGPSTimeMode(uint32_t low, uint32_t high);
    virtual HRESULT Unused5(int32_t);
    virtual HRESULT GetCalcEngine(IDispatch** engine);
    virtual HRESULT GetDeviceInfo(BSTR name, VARIANT* value);
    virtual HRESULT LinkDevice(BSTR link);
    virtual HRESULT ActiveTest(BSTR progId);
    virtual HRESULT BeginTest(IUnknown* params);
    virtual HRESULT StopTest(int32_t arg);
    virtual HRESULT GetTestResult(IUnknown** result);
    virtual HRESULT Execute(int32_t command, VARIANT* value, int32_t arg);
    virtual HRESULT SwitchTestPoint(IUnknown* params);
    virtual HRESULT TransBoutState(const uint16_t* states, int32_t count);
    virtual HRESULT AskIoState();
    virtual HRESULT Create(int32_t reserved);
    virtual HRESULT Destroy();
    virtual HRESULT AskIoStateEx();
    virtual HRESULT TransBoutStateEx(const uint16_t* states, int32_t count);

    const WideString& BaseFolder() const { return baseFolder_; }
    const DEVBASEINFO& DevBaseInfo() const { return devBaseInfo_; }
    // Where VTS_GetBaseDeviceInfo finds the block; rebuilt at each link.
    const BaseDeviceInfo& BaseInfo() const { return baseDeviceInfo_; }
    bool HasCalcEngine() const { return static_cast<bool>(calcEngine_); }
    // The time-synchronisation mode of the current system settings.
    uint64_t GpsTimeMode() const { return settings_.GPS_TimeMode; }

    // The test modules' port, over the main device.
    HRESULT Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) override;
    HRESULT SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count) override;
    HRESULT SetDownloadLock(uint16_t testId, bool locked) override;
    HRESULT SendBout(uint16_t testId, const uint16_t* states, uint32_t count) override;
    uint32_t VoltageChannels() const override;
    uint32_t CurrentChannels() const override;
    int16_t TestSampRate() const override;
    HRESULT TransFile(const WCHAR* sourcePath, const WCHAR* destinationName) override;
    HRESULT SendWavePlayData(const float* samples, uint32_t channels, uint32_t count) override;

private:
    // The link message to the tester; its answer is the identity block.
    HRESULT Identify();
    // The "LINK" item: a document with the link state and addresses.
    HRESULT LinkDocument(VARIANT* value);
    // The I/O box's PT/CT record from the channel entries; false when a
    // secondary value is 0.
    bool BuildPtCtRecord(uint8_t record[kPtCtRecordLength]) const;
    // Where the tester's series keeps file; empty for an unknown series.
    WideString ProgramPath(WideStringView file) const;
    // Replaces (or with null deletes) the current module; the receive thread
    // never sees it half gone.
    void ReplaceModule(std::unique_ptr<CDspTest> module);
    // Execute's command 5: (re)starts GPS time reception from a "GPSParams" document.
    HRESULT GpsCommand(VARIANT* value);

    MsgQueue& queue_;
    CIOMainDevice mainDevice_;
    CIO650Device ioBox_;
    ComPtr<ICalcEngine> calcEngine_;
    // Used on host threads under the server lock; moduleMutex_ orders its
    // replacement against the receive thread's result conversion.
    std::unique_ptr<CDspTest> module_;
    std::mutex moduleMutex_;
    uint32_t dspTestId_ = 0;
    WideString progId_;
    WideString baseFolder_;
    uint32_t pcIp_ = 0;
    uint32_t pcPort_ = 2001;
    uint32_t devIp_ = 0;
    uint32_t devPort_ = 2001;
    uint32_t linked_ = 0;
    uint32_t testRunning_ = 0;
    ChannelConfigEntry channels_[kConfigChannels] = {};
    SystemSettings settings_ = {};
    DEVBASEINFO devBaseInfo_ = DefaultDevBaseInfo();
    BaseDeviceInfo baseDeviceInfo_ = DefaultBaseDeviceInfo();
    std::unique_ptr<CVarelDev_GPS> gps_; // created on the first GPS command
};

// The folder two levels above the library file, with its separator: the
// parent of the folder holding the library.
WideString BaseFolderOf(const WideString& libraryPath, WCHAR separator);

// The 16-byte time record of a 0x0105 message (seven 32-bit words: valid,
// year, month, day, hour, minute, second); false when it is shorter than 28 bytes.
bool BuildTimeRecord(const uint8_t* data, uint32_t length, uint8_t record[16]);
// The 1024-byte extended I/O record of a 0x0210 message (nBI, nBO, then the
// states); false when the message is too short for its counts.
bool BuildExtendedIoRecord(const uint8_t* data, uint32_t length, uint8_t record[1024]);
