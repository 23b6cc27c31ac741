// Misbehaviour on request: what the next answers to a message id do wrong.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <random>

namespace sim {

// How one answer goes out.
struct AnswerPlan {
    bool send = true;
    uint16_t status = 0;
    bool corruptCrc = false;
    uint32_t delayMs = 0;
    bool twice = false; // sent again right after
};

// Faults at random on every message, each with its own chance (0 to 1),
// drawn by run number: the same number draws the same faults again.
struct RandomFaults {
    double requestLoss = 0; // a packet from the PC never arrives
    double answerLoss = 0;  // an answer never leaves
    double duplicate = 0;   // an answer goes out twice
    double late = 0;        // an answer goes out lateMs later
    double corrupt = 0;     // an answer goes out with a wrong CRC
    uint32_t lateMs = 0;
    uint32_t run = 1;
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
    // Random faults from now on, besides the counted ones (all chances 0 ends them).
    void Randomly(const RandomFaults& faults);
    void Clear();

    // Whether the packet that just came from the PC is lost on its way.
    bool LoseRequest();

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
    bool Chance(double p); // with mutex_ held
    std::mutex mutex_;
    std::map<uint16_t, Knob> knobs_;
    RandomFaults random_;
    std::mt19937 draw_;
};

} // namespace sim
