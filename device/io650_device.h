// The optional I/O extension box: two network targets on one socket, each
// online while it answers the heartbeat sent at every link.
#pragma once

#include "device/varel_device_comm.h"

#include <atomic>
#include <cstdint>

struct IoBoxArm {
    sockaddr_in target{};
    std::atomic<bool> online{false};  // written by the receive thread
    DWORD lastHeartbeat = 0;          // tick count
    std::atomic<DWORD> lastAnswer{0}; // tick count, written by the receive thread
};

constexpr uint32_t kPtCtRecordLength = 136;

class CIO650Device : public CVarelDeviceComm {
public:
    CIO650Device();
    ~CIO650Device() override;

    // Sets the two targets (port 7000), then opens on localPort.
    HRESULT Open(uint16_t localPort) override;

    // Sends the link message to both targets without waiting; a target that
    // did not answer the previous heartbeat goes offline. Returns 0.
    HRESULT Heartbeat();
    HRESULT StartOutput();
    HRESULT StopOutput();
    // The PT/CT record to every online target; failures are skipped. Returns 0.
    HRESULT SendPTCT(const uint8_t record[kPtCtRecordLength]);

    bool Online(int arm) const { return arms_[arm].online.load(); }
    bool OutputStopped() const { return outputStopped_; }

protected:
    void OnLinkAnswer(uint32_t address, uint16_t port, const uint8_t* data, uint32_t length) override;
    void OnUpMessage(uint32_t, uint16_t, uint16_t, const uint8_t*, uint32_t) override {}
    // Only the two targets' addresses.
    bool FromDevice(uint32_t address) const override;

private:
    HRESULT SendOutputMode(uint32_t mode, const char* failure1, const char* failure2);

    IoBoxArm arms_[2]; // ARM1 192.168.253.3, ARM2 192.168.253.4
    bool outputStopped_ = false;
};
