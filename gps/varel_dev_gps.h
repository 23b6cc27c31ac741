// The GPS receiver: read by the tester (parameters sent as message 0x0104)
// or on a serial port of the PC, where its frames ('A' or 'V' and 14 digits,
// YYYYMMDDhhmmss) become time records for the listener (id 0x0105).
#pragma once

#include "device/dev_msg_listener.h"
#include "device/io_main_device.h"
#include "gps_params.h"
#include "serial_port.h"

#include <atomic>
#include <cstdint>

constexpr uint32_t kGpsFrameBytes = 15;      // status character and 14 digits
constexpr uint32_t kGpsTimeRecordBytes = 28; // valid, year, month, day, hour, minute, second
constexpr uint32_t kGpsTesterParamsBytes = 20;

// The 28-byte time record of a whole frame (15 bytes, status first):
// valid 1 for 'A', each number from its field's leading digits.
void GpsTimeRecordOf(const uint8_t frame[kGpsFrameBytes], uint8_t record[kGpsTimeRecordBytes]);

class CVarelDev_GPS : public CSerialPort {
public:
    CVarelDev_GPS();
    // Slot 0, the frame parser: one received byte; a completed frame goes to
    // the listener as message 0x0105 on the calling thread.
    void OnReceiveChar(uint8_t byte) override;
    // Slot 1: stops reception.
    ~CVarelDev_GPS() override;

    // Who gets the time records, and the tester that reads a receiver of its own.
    void Attach(CDevMsgListener* listener, CIOMainDevice* tester);
    // Ends a running reception: the port is closed, or the tester is told
    // to stop reading (GpsPos 2). An inactive receiver is left alone.
    void Stop();
    // GpsPos 0 or 1: the parameters go to the tester (answer within 1000 ms);
    // 2: the PC's port opens. Active when that worked; other GpsPos values
    // leave it inactive. Returns whether it is active.
    bool Start(const GpsParams& params);
    bool Active() const { return active_.load(); }
    const GpsParams& Params() const { return params_; }

private:
    HRESULT SendToTester();

    CDevMsgListener* listener_ = nullptr;
    CIOMainDevice* tester_ = nullptr;
    std::atomic<bool> active_{false};
    GpsParams params_;
    uint8_t frame_[100] = {};
    int32_t framePosition_ = -1; // -1 while waiting for a status character
};
