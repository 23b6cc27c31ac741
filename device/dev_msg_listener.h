// How device objects and the GPS receiver hand the agent what they did not
// ask for: transfer progress and unsolicited messages.
#pragma once

#include <varel/vts_platform.h>

#include <cstdint>

class CDevMsgListener {
public:
    // Progress of a long transfer, on the sending thread.
    virtual HRESULT OnProgress(uint32_t total, uint32_t done) = 0;
    // A whole message the device sent on its own, on the device's receive
    // thread (or the GPS port thread for time records, id 0x0105).
    virtual HRESULT OnDevUpMessage(uint32_t address, uint16_t port, uint16_t id, const uint8_t* data,
                                   uint32_t length) = 0;

protected:
    ~CDevMsgListener() = default;
};
