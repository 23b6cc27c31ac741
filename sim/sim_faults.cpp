#include "sim/sim_faults.h"

namespace sim {

void FaultKnobs::DropAnswers(uint16_t msgId, uint32_t count, uint32_t after) {
    std::lock_guard<std::mutex> lock(mutex_);
    knobs_[msgId].drops = count;
    knobs_[msgId].dropAfter = after;
}

void FaultKnobs::AnswerWithStatus(uint16_t msgId, uint16_t status, uint32_t count, uint32_t after) {
    std::lock_guard<std::mutex> lock(mutex_);
    Knob& knob = knobs_[msgId];
    knob.status = status;
    knob.statusCount = count;
    knob.statusAfter = after;
}

void FaultKnobs::CorruptCrc(uint16_t msgId, uint32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    knobs_[msgId].corruptions = count;
}

void FaultKnobs::DelayAnswers(uint16_t msgId, uint32_t delayMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    knobs_[msgId].delayMs = delayMs;
}

void FaultKnobs::Randomly(const RandomFaults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    random_ = faults;
    draw_ = std::mt19937(faults.run);
}

void FaultKnobs::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    knobs_.clear();
    random_ = {};
}

bool FaultKnobs::Chance(double p) { return p > 0 && std::uniform_real_distribution<double>(0, 1)(draw_) < p; }

bool FaultKnobs::LoseRequest() {
    std::lock_guard<std::mutex> lock(mutex_);
    return Chance(random_.requestLoss);
}

AnswerPlan FaultKnobs::Take(uint16_t msgId, uint16_t status) {
    AnswerPlan plan;
    plan.status = status;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Chance(random_.answerLoss)) {
        plan.send = false;
        return plan;
    }
    plan.corruptCrc = Chance(random_.corrupt);
    plan.twice = Chance(random_.duplicate);
    if (Chance(random_.late)) plan.delayMs = random_.lateMs;
    auto it = knobs_.find(msgId);
    if (it == knobs_.end()) return plan;
    Knob& knob = it->second;
    if (knob.dropAfter > 0) {
        --knob.dropAfter;
    } else if (knob.drops > 0) {
        --knob.drops;
        plan.send = false;
        return plan;
    }
    if (knob.statusAfter > 0) {
        --knob.statusAfter;
    } else if (knob.statusCount > 0) {
        --knob.statusCount;
        plan.status = knob.status;
    }
    if (knob.corruptions > 0) {
        --knob.corruptions;
        plan.corruptCrc = true;
    }
    if (knob.delayMs) plan.delayMs = knob.delayMs;
    return plan;
}

} // namespace sim
