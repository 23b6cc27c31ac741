// Misbehaviour on request: what the next answers to a message id do wrong.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

namespace sim {

// How one answer goes out.
struct AnswerPlan {
    bool send = true;
    uint16_t status = 0;
    bool corruptCrc = false;
    uint32_t delayMs = 0;
};

class FaultKnobs {
public:
    // After `after` answers to msgId, the next count are not sent.
    void DropAnswers(uint16_t msgId, uint32_t count, uint32_t after = 0);
    // After `after` answers to msgId, the next count carry status instead of their own.
    void AnswerWithStatus(uint16_t msgId, uint16_t status, uint32_t count = 1, uint32_t after = 0);
    // The next count answers to msgId go out with a wrong CRC.
    void CorruptCrc(uint16_t msgId, uint32_t count = 1);
    // Every answer to msgId waits delayMs before it goes out (0 ends it).
    void DelayAnswers(uint16_t msgId, uint32_t delayMs);
    void Clear();

    // The plan for one answer to msgId with its own status; uses up one of
    // each counted knob that applies.
    AnswerPlan Take(uint16_t msgId, uint16_t status);

private:
    struct Knob {
        uint32_t dropAfter = 0;
        uint32_t drops = 0;
        uint32_t statusAfter = 0;
        uint32_t statusCount = 0;
        uint16_t status = 0;
        uint32_t corruptions = 0;
        uint32_t delayMs = 0;
    };
    std::mutex mutex_;
    std::map<uint16_t, Knob> knobs_;
};

} // namespace sim
