// Arbitrary bytes from a serial GPS receiver: the frame parser never reads or
// writes outside its frame, and every record it delivers is one that the
// bytes hold: a status character followed by 14 bytes, read as the fields'
// leading digits.
#include "gps/varel_dev_gps.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class Expecting : public CDevMsgListener {
public:
    HRESULT OnProgress(uint32_t, uint32_t) override { return S_OK; }
    HRESULT OnDevUpMessage(uint32_t, uint16_t, uint16_t id, const uint8_t* data, uint32_t length) override {
        if (id != 0x0105 || length != kGpsTimeRecordBytes) std::abort();
        records.emplace_back(data, data + length);
        return S_OK;
    }
    std::vector<std::vector<uint8_t>> records;
};

// The frames of bytes as the parser's rules find them, independently written.
std::vector<std::vector<uint8_t>> Expected(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> records;
    std::vector<uint8_t> frame;
    bool open = false;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        if (b == 'A' || b == 'V') {
            frame.assign(1, b);
            open = true;
        } else if (open) {
            frame.push_back(b);
            if (frame.size() == kGpsFrameBytes) {
                std::vector<uint8_t> record(kGpsTimeRecordBytes);
                GpsTimeRecordOf(frame.data(), record.data());
                records.push_back(record);
                open = false;
            }
        }
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Expecting listener;
    CVarelDev_GPS gps;
    gps.Attach(&listener, nullptr);
    for (size_t i = 0; i < size; ++i) gps.OnReceiveChar(data[i]);
    if (listener.records != Expected(data, size)) std::abort();
    for (const auto& record : listener.records) {
        uint32_t valid;
        std::memcpy(&valid, record.data(), 4);
        if (valid > 1) std::abort();
        for (int field = 1; field < 7; ++field) {
            int32_t value;
            std::memcpy(&value, record.data() + 4 * field, 4);
            if (value < 0 || value > (field == 1 ? 9999 : 99)) std::abort();
        }
    }
    return 0;
}
