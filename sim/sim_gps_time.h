// The tester's GPS receiver: the time records it pushes (message 0x0105),
// once the PC has sent it the receiver's parameters (0x0104, kept in the
// tester's record as gpsTimes).
#pragma once

#include "sim/sim_device.h"

namespace sim {

struct GpsTime {
    uint32_t valid = 1; // 0: the receiver has no fix (status 'V')
    uint32_t year = 2026, month = 1, day = 1;
    uint32_t hour = 12, minute = 0, second = 0;
};

// The 28-byte record: seven little-endian words in the order of GpsTime.
Bytes GpsTimeRecord(const GpsTime& time);
// Pushes one time record from the tester; false as SimDevice::Push says.
bool PushGpsTime(SimDevice& tester, const GpsTime& time, const PushOptions& options = {});

} // namespace sim
