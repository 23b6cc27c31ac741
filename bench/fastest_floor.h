// A benchmark's ratio against its floor on a shared machine: the floor and
// the measured path run in interleaved passes, and the ratio is that of the
// pass whose floor was fastest, with the floor it used. Minimums taken from
// different passes would let a quiet moment for one and a busy one for the
// other decide the ratio; within a pass both saw the same machine.
#pragma once

#include <limits>

namespace bench {

class FastestFloor {
public:
    // One pass: the floor's time and the measured path's, in one unit; a
    // value that is not positive marks a failed run.
    void Add(double floor, double measured) {
        if (!(floor > 0) || !(measured > 0)) {
            failed_ = true;
            return;
        }
        if (floor < floor_) floor_ = floor, measured_ = measured;
    }
    bool Failed() const { return failed_ || floor_ == kNone; }
    double Floor() const { return floor_; }
    double Measured() const { return measured_; }
    // The measured time over the floor's: 1 at the floor, more above it.
    double Ratio() const { return measured_ / floor_; }

private:
    static constexpr double kNone = std::numeric_limits<double>::infinity();
    double floor_ = kNone, measured_ = kNone;
    bool failed_ = false;
};

} // namespace bench
