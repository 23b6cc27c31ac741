#include "sim/sim_gps_time.h"

namespace sim {

Bytes GpsTimeRecord(const GpsTime& time) {
    Bytes record(28);
    const uint32_t words[7] = {time.valid, time.year,   time.month, time.day,
                               time.hour,  time.minute, time.second};
    for (size_t i = 0; i < 28; ++i) record[i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
    return record;
}

bool PushGpsTime(SimDevice& tester, const GpsTime& time, const PushOptions& options) {
    return tester.Push(0x0105, GpsTimeRecord(time), options);
}

} // namespace sim
