#include "device/io650_device.h"

#include "debug_output.h"
#include "device/io_main_device.h"
#include "device/message_ids.h"
#include "tick.h"

#include <cstring>

namespace {

constexpr const char* kArmAddresses[2] = {"192.168.253.3", "192.168.253.4"};
constexpr uint16_t kArmPort = 7000;
constexpr uint32_t kStartOutput = 2, kStopOutput = 0;

} // namespace

CIO650Device::CIO650Device() = default;

CIO650Device::~CIO650Device() { Close(); }

HRESULT CIO650Device::Open(uint16_t localPort) {
    for (int i = 0; i < 2; ++i) arms_[i].target = Ipv4Endpoint(kArmAddresses[i], kArmPort);
    return CVarelDeviceComm::Open(localPort);
}

bool CIO650Device::FromDevice(uint32_t address) const {
    return address == arms_[0].target.sin_addr.s_addr || address == arms_[1].target.sin_addr.s_addr;
}

void CIO650Device::OnLinkAnswer(uint32_t address, uint16_t, const uint8_t*, uint32_t) {
    for (IoBoxArm& arm : arms_) {
        if (arm.target.sin_addr.s_addr != address) continue;
        arm.lastAnswer = GetTickCount();
        arm.online = true;
    }
}

HRESULT CIO650Device::Heartbeat() {
    for (IoBoxArm& arm : arms_) {
        // The box's socket is bound to any address and port: both sent as 0.
        LinkInfo info{0, ntohl(arm.target.sin_addr.s_addr), 0, ntohs(arm.target.sin_port)};
        uint8_t payload[sizeof info];
        std::memcpy(payload, &info, sizeof payload);
        SendSinglePacket(0, DEVMSG_LINK, payload, sizeof payload, arm.target);
        // No answer since the previous heartbeat: offline.
        if (static_cast<int32_t>(arm.lastAnswer.load() - arm.lastHeartbeat) < 0) arm.online = false;
        arm.lastHeartbeat = GetTickCount();
    }
    return S_OK;
}

HRESULT CIO650Device::SendOutputMode(uint32_t mode, const char* failure1, const char* failure2) {
    uint8_t payload[8] = {};
    std::memcpy(payload, &mode, 4);
    bool anyOnline = false;
    const char* failures[2] = {failure1, failure2};
    for (int i = 0; i < 2; ++i) {
        if (!arms_[i].online) continue;
        anyOnline = true;
        if (SendDevMessage(0, DEVMSG_IOBOX_OUTPUT, payload, sizeof payload, arms_[i].target, 1000) != S_OK) {
            DebugPrintf("%s", failures[i]);
            return E_FAIL;
        }
    }
    if (!anyOnline) DebugPrintf("没有连接的IO设备\n");
    return S_OK;
}

HRESULT CIO650Device::StartOutput() {
    HRESULT hr = SendOutputMode(kStartOutput, "ARM1 启动输出失败!\n", "ARM2 启动输出失败!\n");
    if (hr == S_OK) outputStopped_ = false;
    return hr;
}

HRESULT CIO650Device::StopOutput() {
    HRESULT hr = SendOutputMode(kStopOutput, "ARM1 停止输出失败!\n", "ARM2 停止输出失败!\n");
    if (hr == S_OK) outputStopped_ = true;
    return hr;
}

HRESULT CIO650Device::SendPTCT(const uint8_t record[kPtCtRecordLength]) {
    for (IoBoxArm& arm : arms_)
        if (arm.online) SendDevMessage(0, DEVMSG_IOBOX_PTCT, record, kPtCtRecordLength, arm.target, 1000);
    return S_OK;
}
