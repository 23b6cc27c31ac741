// Arbitrary datagrams through the receive path of a real device object:
// validation, classification, reassembly and delivery. Never a crash, and
// nothing delivered is longer than the bytes that came in.
#include "device/packet_head.h"
#include "device/varel_device_comm.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class FuzzComm final : public CVarelDeviceComm {
public:
    ~FuzzComm() override { Close(); }
    using CVarelDeviceComm::Dispatch;
    size_t inputBytes = 0;

protected:
    void OnLinkAnswer(uint32_t, uint16_t, const uint8_t* data, uint32_t length) override {
        Touch(data, length);
    }
    void OnUpMessage(uint32_t, uint16_t, uint16_t, const uint8_t* data, uint32_t length) override {
        Touch(data, length);
    }

private:
    void Touch(const uint8_t* data, uint32_t length) {
        if (length > inputBytes) std::abort();
        volatile uint8_t sum = 0;
        for (uint32_t i = 0; i < length; ++i) sum = sum + data[i];
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One object for the whole run: the cache and records must survive any
    // sequence of inputs, as they do on a long-running link.
    static FuzzComm* comm = [] {
        auto* c = new FuzzComm;
        if (c->Open(0) != S_OK) std::abort();
        return c;
    }();
    comm->inputBytes = size;
    // Each input is a run of datagrams, each preceded by its 16-bit length.
    size_t offset = 0;
    std::vector<uint8_t> datagram;
    while (offset + 2 <= size) {
        uint16_t length;
        std::memcpy(&length, data + offset, 2);
        offset += 2;
        if (length > size - offset) length = static_cast<uint16_t>(size - offset);
        if (length > kMaxDatagramLength) length = kMaxDatagramLength;
        datagram.assign(data + offset, data + offset + length);
        offset += length;
        if (length >= kPacketHeadLength) comm->Dispatch(datagram.data(), length, 0, 0);
    }
    return 0;
}
