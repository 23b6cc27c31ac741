// The tester as the rest of the system sees it: the transport with a fixed
// target and one sender per kind of command.
#pragma once

#include "calib/varel_config.h"
#include "device/dev_msg_listener.h"
#include "device/param_item.h"
#include "device/varel_device_comm.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kChunkBytes = 528;         // file and wave data per packet
constexpr uint32_t kProgramPacketBytes = 956; // DSP program words per packet

class CIOMainDevice;

// A message built in place: DISP_E_EXCEPTION, nothing sent, while its writer
// still holds it busy or it belongs to no device.
struct PreparedBuffer {
    CIOMainDevice* device = nullptr;
    bool busy = false;
    uint8_t data[65536];
    uint32_t used = 0;
};

// The 12-byte payload of the link message; addresses and ports in host order.
struct LinkInfo {
    uint32_t pcAddress;
    uint32_t deviceAddress;
    uint16_t pcPort;
    uint16_t devicePort;
};
static_assert(sizeof(LinkInfo) == 12, "LinkInfo is 12 bytes");

class CIOMainDevice : public CVarelDeviceComm {
public:
    CIOMainDevice();
    ~CIOMainDevice() override;

    HRESULT Close() override;
    // Opens once, on the port after "PC-PORT:" in the link string (any port
    // without one); takes the link's "PC-IP:" as this PC's own address.
    // Returns Open's result, or 0 when already open.
    virtual HRESULT Init(const WCHAR* linkString);
    virtual HRESULT Release();
    // Downloads a DSP program file (text of "0x"-prefixed 16-bit words).
    virtual HRESULT SendDspAPPFile(const WCHAR* path);

    void SetListener(CDevMsgListener* listener) { listener_ = listener; }
    // Address and port in host byte order. Only datagrams from the target's
    // address, or from this PC's own address (a program on this PC, such as
    // a simulated tester, is no other machine on the bench network), are taken.
    void SetTarget(uint32_t address, uint16_t port);
    const sockaddr_in& Target() const { return target_; }

    HRESULT Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length);
    HRESULT Send8(uint16_t testId, uint16_t msgId, const uint8_t data[8]);
    HRESULT SendNoWait(uint16_t testId, uint16_t msgId, const void* data, uint32_t length);
    // One packet with the second header (offset or address, length); 1000 ms.
    HRESULT SendWithOffset(uint16_t testId, uint16_t msgId, uint32_t offset, const void* data,
                           uint32_t length);
    // Packets of at most 528 bytes with their offsets, progress after each.
    HRESULT SendChunked(uint16_t testId, uint16_t msgId, const uint8_t* data, uint32_t length);

    HRESULT Identify(uint16_t testId, const LinkInfo& info);
    HRESULT SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count);
    HRESULT SetDownloadLock(uint16_t testId, bool locked);
    HRESULT TransBoutState(uint16_t testId, const uint16_t* states, uint32_t count);
    HRESULT TransBoutStateEx(uint16_t testId, const uint16_t* states, uint32_t count);
    HRESULT SendGPSTime(uint16_t testId, const uint8_t record[20]);
    // A message its writer assembled in place, sent through the buffer's own
    // device with the id's time-out.
    static HRESULT SendPrepared(const PreparedBuffer& buffer, uint16_t testId, uint16_t msgId);
    // Reads length bytes of tester memory at address into destination.
    HRESULT ReadMemory(uint32_t address, void* destination, uint32_t length);
    // Reads the calibration image and hands it to m_cfg's calibration file,
    // whose pages it replaces; 0 once the image is read, whatever the parse gave.
    HRESULT QueryADJData();
    HRESULT TransFile(const WCHAR* sourcePath, const WCHAR* destinationName);
    // Wave samples (frames of `channels` floats) scaled by the calibration
    // page into 16-bit output codes, sent as 528-byte pieces with progress.
    HRESULT SendWavePlayData(const float* samples, uint32_t channels, uint32_t count);

    // Whether a link answer came, and when (tick count).
    bool LinkAnswered() const { return linkAnswered_.load(); }
    DWORD LastLinkAnswerTick() const { return lastLinkAnswerTick_.load(); }
    // The last link answer's identity block (zero before any), kept in m_cfg.
    const DEVBASEINFO& DevBaseInfo() const { return m_cfg.DevBaseInfo(); }

    // The calibration store: the calibration file read at each link, the
    // channel entries the agent's SetConfig writes, the identity block;
    // InitADJDataPreTest downloads the compensation items before a test.
    CVarelConfig m_cfg;

protected:
    void OnLinkAnswer(uint32_t address, uint16_t port, const uint8_t* data, uint32_t length) override;
    void OnUpMessage(uint32_t address, uint16_t port, uint16_t msgId, const uint8_t* data,
                     uint32_t length) override;
    bool FromDevice(uint32_t address) const override;

private:
    // One packet with the second header (address, declared) and length data bytes.
    HRESULT SendSecondHeaderPacket(uint16_t testId, uint16_t msgId, uint16_t count, uint16_t index,
                                   uint32_t address, uint32_t declared, const void* data, uint32_t length);
    HRESULT SendProgramImage(const std::vector<uint8_t>& image);

    // The text of the last program file read and its image; the room the
    // next file is read into.
    std::string programText_;
    std::vector<uint8_t> programImage_;
    std::string fileText_;
    sockaddr_in target_;
    // The target's address and the PC's own, network byte order, for the receive thread.
    std::atomic<uint32_t> deviceAddress_;
    std::atomic<uint32_t> ownAddress_{0};
    std::atomic<bool> linkAnswered_{false};
    std::atomic<DWORD> lastLinkAnswerTick_{0};
    bool opened_ = false;
    // Set and cleared by the agent while the receive thread may be reading it.
    std::atomic<CDevMsgListener*> listener_{nullptr};
};
