#include "device/io_main_device.h"

#include "debug_output.h"
#include "device/link_string.h"
#include "device/message_ids.h"
#include "little_endian.h"
#include "text.h"
#include "tick.h"

#include <varel/vts_errors.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kSecondHeaderLength = 8;
constexpr uint32_t kCalibrationHeadLength = 36;
constexpr uint32_t kMaxCalibrationImage = 16 * 1024 * 1024; // far beyond any tester's image

} // namespace

CIOMainDevice::CIOMainDevice()
    : m_cfg([this](const uint8_t* payload, uint32_t length) {
          return Send(0, DEVMSG_ADJ_DATA, payload, length);
      }),
      target_(Ipv4Endpoint("192.168.253.231", 2001)),
      deviceAddress_(target_.sin_addr.s_addr) {}

CIOMainDevice::~CIOMainDevice() { CIOMainDevice::Close(); }

HRESULT CIOMainDevice::Close() {
    CVarelDeviceComm::Close();
    opened_ = false;
    return S_OK;
}

HRESULT CIOMainDevice::Init(const WCHAR* linkString) {
    LinkAddresses addresses;
    if (linkString && ParseLinkString(linkString, &addresses) && addresses.pcIp)
        ownAddress_ = htonl(addresses.pcIp);
    if (opened_) return S_OK;
    uint32_t port = 0;
    if (linkString && !LinkPort(linkString, OLESTR("PC-PORT:"), &port)) return E_INVALIDARG;
    HRESULT hr = Open(static_cast<uint16_t>(port));
    if (hr == S_OK) opened_ = true;
    return hr;
}

HRESULT CIOMainDevice::Release() { return Close(); }

void CIOMainDevice::SetTarget(uint32_t address, uint16_t port) {
    target_ = sockaddr_in{};
    target_.sin_family = AF_INET;
    target_.sin_addr.s_addr = htonl(address);
    target_.sin_port = htons(port);
    deviceAddress_ = target_.sin_addr.s_addr;
}

bool CIOMainDevice::FromDevice(uint32_t address) const {
    const uint32_t own = ownAddress_.load();
    return address == deviceAddress_.load() || (own != 0 && address == own);
}

void CIOMainDevice::OnLinkAnswer(uint32_t, uint16_t, const uint8_t* data, uint32_t length) {
    lastLinkAnswerTick_ = GetTickCount();
    linkAnswered_ = true;
    // A longer answer is not an identity block this system knows: kept out.
    if (length <= kDevBaseInfoBytes) m_cfg.SetDevBaseInfo(DecodeDevBaseInfo(data, length));
}

void CIOMainDevice::OnUpMessage(uint32_t address, uint16_t port, uint16_t msgId, const uint8_t* data,
                                uint32_t length) {
    if (CDevMsgListener* listener = listener_.load())
        listener->OnDevUpMessage(address, port, msgId, data, length);
}

HRESULT CIOMainDevice::Send(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) {
    return SendDevMessage(testId, msgId, data, length, target_, AnswerTimeoutMs(msgId));
}

HRESULT CIOMainDevice::Send8(uint16_t testId, uint16_t msgId, const uint8_t data[8]) {
    return Send(testId, msgId, data, 8);
}

HRESULT CIOMainDevice::SendNoWait(uint16_t testId, uint16_t msgId, const void* data, uint32_t length) {
    return SendSinglePacket(testId, msgId, data, length, target_);
}

HRESULT CIOMainDevice::SendSecondHeaderPacket(uint16_t testId, uint16_t msgId, uint16_t count, uint16_t index,
                                              uint32_t address, uint32_t declared, const void* data,
                                              uint32_t length) {
    if (length > kMaxPacketPayload - kSecondHeaderLength) return E_INVALIDARG;
    uint8_t packet[kMaxPacketLength] = {};
    PacketHead head;
    FillPacketHead(head, msgId, testId, count, index,
                   static_cast<uint16_t>(kPacketHeadLength + kSecondHeaderLength + length));
    std::memcpy(packet, &head, sizeof head);
    StoreLe32(packet + kPacketHeadLength, address);
    StoreLe32(packet + kPacketHeadLength + 4, declared);
    if (length) std::memcpy(packet + kPacketHeadLength + kSecondHeaderLength, data, length);
    return SendMsgToDev(packet, target_, 1000);
}

HRESULT CIOMainDevice::SendWithOffset(uint16_t testId, uint16_t msgId, uint32_t offset, const void* data,
                                      uint32_t length) {
    return SendSecondHeaderPacket(testId, msgId, 1, 1, offset, length, data, length);
}

HRESULT CIOMainDevice::SendChunked(uint16_t testId, uint16_t msgId, const uint8_t* data, uint32_t length) {
    if (length < 1) return VTS_E_DEVICE_FAILED;
    const uint32_t count = (length + kChunkBytes - 1) / kChunkBytes;
    if (count > 0xFFFF) return E_INVALIDARG;
    for (uint32_t index = 1; index <= count; ++index) {
        const uint32_t offset = (index - 1) * kChunkBytes;
        const uint32_t piece = std::min(kChunkBytes, length - offset);
        HRESULT hr =
            SendSecondHeaderPacket(testId, msgId, static_cast<uint16_t>(count), static_cast<uint16_t>(index),
                                   offset, piece, data + offset, piece);
        if (CDevMsgListener* listener = listener_.load()) listener->OnProgress(count, index);
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT CIOMainDevice::Identify(uint16_t testId, const LinkInfo& info) {
    uint8_t payload[sizeof(LinkInfo)];
    std::memcpy(payload, &info, sizeof payload);
    return Send(testId, DEVMSG_LINK, payload, sizeof payload);
}

HRESULT CIOMainDevice::SetDownloadLock(uint16_t testId, bool locked) {
    uint8_t payload[8] = {};
    StoreLe32(payload, locked ? 1 : 0);
    return Send8(testId, DEVMSG_DOWNLOAD_LOCK, payload);
}

HRESULT CIOMainDevice::TransBoutState(uint16_t testId, const uint16_t* states, uint32_t count) {
    uint8_t payload[32] = {};
    if (states) std::memcpy(payload, states, 2 * std::min<uint32_t>(count, 16));
    return Send(testId, DEVMSG_BOUT, payload, sizeof payload);
}

HRESULT CIOMainDevice::TransBoutStateEx(uint16_t testId, const uint16_t* states, uint32_t count) {
    if (count > kMaxDatagramLength - 4) return DISP_E_EXCEPTION;
    uint8_t payload[kMaxDatagramLength];
    StoreLe32(payload, count);
    for (uint32_t i = 0; i < count; ++i) payload[4 + i] = static_cast<uint8_t>(states[i]);
    return Send(testId, DEVMSG_BOUT_EX, payload, 4 + count);
}

HRESULT CIOMainDevice::SendGPSTime(uint16_t testId, const uint8_t record[20]) {
    return Send(testId, DEVMSG_GPS_TIME, record, 20);
}

HRESULT CIOMainDevice::SendPrepared(const PreparedBuffer& buffer, uint16_t testId, uint16_t msgId) {
    if (buffer.busy || !buffer.device) return DISP_E_EXCEPTION;
    if (buffer.used > sizeof buffer.data) return E_INVALIDARG;
    return buffer.device->Send(testId, msgId, buffer.data, buffer.used);
}

HRESULT CIOMainDevice::ReadMemory(uint32_t address, void* destination, uint32_t length) {
    // The request's second header names what is asked for; no data follows.
    HRESULT hr = SendSecondHeaderPacket(0, DEVMSG_READ_MEM, 1, 1, address, length, nullptr, 0);
    if (hr != S_OK) return hr;
    return ReadAnswer([&](const uint8_t* answer, uint32_t answerLength) {
        if (answerLength < length + kSecondHeaderLength || LoadLe32(answer) != address ||
            LoadLe32(answer + 4) != length)
            return E_FAIL;
        std::memcpy(destination, answer + kSecondHeaderLength, length);
        return S_OK;
    });
}

HRESULT CIOMainDevice::QueryADJData() {
    std::vector<uint8_t> image;
    try {
        image.resize(kCalibrationHeadLength);
    } catch (const std::bad_alloc&) {
        DebugPrintf("VARELDS: QueryADJData: CreateStreamOnHGlobal failed.\n");
        return E_OUTOFMEMORY;
    }
    HRESULT hr = ReadMemory(0, image.data(), kCalibrationHeadLength);
    if (hr != S_OK) return hr;
    const uint32_t length = LoadLe32(image.data() + 8);
    if (length == 0) return VTS_E_ADJ_UNINIT;
    if (length > kMaxCalibrationImage) return VTS_E_READ_DATA;
    for (uint32_t address = kCalibrationHeadLength; address < length; address += kChunkBytes) {
        const uint32_t piece = std::min(kChunkBytes, length - address);
        try {
            image.resize(address + piece);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        hr = ReadMemory(address, image.data() + address, piece);
        if (hr != S_OK) return hr;
    }
    // Each link's image replaces the last one's pages; a bad image is logged
    // by the parse and leaves the pages it could read.
    m_cfg.AdjFile().Clear();
    m_cfg.AdjFile().PraseADJSetData(image.data(), static_cast<uint32_t>(image.size()));
    return S_OK;
}

HRESULT CIOMainDevice::SendTestParams(uint16_t testId, TestParamItem* items, uint32_t count) {
    constexpr uint32_t kPairsPerMessage = 80, kPairBytes = 6;
    uint8_t buffer[kPairsPerMessage * kPairBytes];
    uint32_t pairs = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t tag;
        uint32_t word;
        if (!EncodeTestParam(items[i], &tag, &word)) {
            DebugPrintf("VARELDS: SendTestParams: type not support.\n");
            return DISP_E_TYPEMISMATCH;
        }
        std::memcpy(buffer + pairs * kPairBytes, &tag, 2);
        StoreLe32(buffer + pairs * kPairBytes + 2, word);
        if (++pairs == kPairsPerMessage) {
            HRESULT hr = Send(testId, DEVMSG_TEST_PARAMS, buffer, sizeof buffer);
            if (hr != S_OK) return hr;
            pairs = 0;
        }
    }
    if (pairs == 0 && count > 0) return S_OK;
    return Send(testId, DEVMSG_TEST_PARAMS, buffer, pairs * kPairBytes);
}
