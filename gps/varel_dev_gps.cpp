#include "varel_dev_gps.h"

#include "debug_output.h"
#include "little_endian.h"

#include <cstring>

namespace {

int32_t LeadingDigits(const uint8_t* field, int width) {
    int32_t value = 0;
    for (int i = 0; i < width && field[i] >= '0' && field[i] <= '9'; ++i)
        value = value * 10 + (field[i] - '0');
    return value;
}

// The receiver's stop bits code (0 one and a half, 1 one, 2 two) as the port's.
uint8_t PortStopBits(int32_t stopBits) {
    switch (stopBits) {
    case 0: return ONE5STOPBITS;
    case 2: return TWOSTOPBITS;
    default: return ONESTOPBIT;
    }
}

} // namespace

void GpsTimeRecordOf(const uint8_t frame[kGpsFrameBytes], uint8_t record[kGpsTimeRecordBytes]) {
    // Year 4 digits, then month, day, hour, minute, second 2 each.
    static const int kOffsets[6] = {1, 5, 7, 9, 11, 13};
    static const int kWidths[6] = {4, 2, 2, 2, 2, 2};
    StoreLe32(record, frame[0] == 'A' ? 1 : 0);
    for (int i = 0; i < 6; ++i)
        StoreLe32(record + 4 * (i + 1),
                  static_cast<uint32_t>(LeadingDigits(frame + kOffsets[i], kWidths[i])));
}

CVarelDev_GPS::CVarelDev_GPS() = default;
CVarelDev_GPS::~CVarelDev_GPS() { Stop(); }

void CVarelDev_GPS::Attach(CDevMsgListener* listener, CIOMainDevice* tester) {
    listener_ = listener;
    tester_ = tester;
}

void CVarelDev_GPS::OnReceiveChar(uint8_t byte) {
    if (byte == 'A' || byte == 'V') { // a status character starts a frame, even inside one
        framePosition_ = 0;
        frame_[framePosition_++] = byte;
        return;
    }
    if (framePosition_ < 0) return; // junk between frames
    frame_[framePosition_++] = byte;
    if (framePosition_ < static_cast<int32_t>(kGpsFrameBytes)) return;
    uint8_t record[kGpsTimeRecordBytes];
    GpsTimeRecordOf(frame_, record);
    std::memset(frame_, 0, sizeof frame_);
    framePosition_ = -1;
    if (listener_) listener_->OnDevUpMessage(0, 0, 0x0105, record, sizeof record);
}

HRESULT CVarelDev_GPS::SendToTester() {
    if (!tester_) return E_FAIL;
    uint8_t payload[kGpsTesterParamsBytes];
    const int32_t values[5] = {params_.GpsPos, params_.BaudRate, params_.Parity, params_.StopBits,
                               params_.DataBits};
    for (int i = 0; i < 5; ++i) StoreLe32(payload + 4 * i, static_cast<uint32_t>(values[i]));
    return tester_->SendGPSTime(0, payload);
}

void CVarelDev_GPS::Stop() {
    if (!active_) return;
    if (params_.GpsPos > 1) {
        params_.GpsPos = 0;
        ClosePort();
    } else {
        params_.GpsPos = 2; // tells the tester to stop reading its receiver
        SendToTester();
    }
    active_ = false;
}

bool CVarelDev_GPS::Start(const GpsParams& params) {
    params_ = params;
    framePosition_ = -1;
    bool active = false;
    if (params.GpsPos == 0 || params.GpsPos == 1) {
        active = SendToTester() == S_OK;
    } else if (params.GpsPos == 2) {
        active = InitPort(static_cast<uint32_t>(params.nComNo), static_cast<uint32_t>(params.BaudRate),
                          static_cast<uint8_t>(params.Parity), static_cast<uint8_t>(params.DataBits),
                          PortStopBits(params.StopBits));
    }
    active_ = active;
    return active;
}
