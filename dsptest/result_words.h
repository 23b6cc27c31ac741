// The tester's result messages as modules read them: signed 32-bit words
// from offset 0, counts clamped to the struct's arrays, times in its 100 us.
#pragma once

#include "little_endian.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// A result time of an event that did not happen, and the default of every
// result time.
constexpr float kNotHappened = -1000.0f;

// A time of the tester (a count of 100 us) in seconds; reals it reports
// are counts of 0.0001 the same way.
inline float TesterSeconds(int32_t ticks) { return static_cast<float>(ticks) * 0.0001f; }

// A count as the struct's arrays take it: clamped to 0..limit.
inline uint32_t ClampCount(int32_t count, uint32_t limit) {
    return count < 0 ? 0 : std::min<uint32_t>(static_cast<uint32_t>(count), limit);
}

class ResultWords {
public:
    explicit ResultWords(const std::vector<uint8_t>& payload) : payload_(payload) {}

    // The next word; one past the payload's end reads as INT32_MIN, and
    // reading goes on, so a short result still fills every field it names.
    int32_t Next() {
        int32_t word = INT32_MIN;
        if (at_ + 4 <= payload_.size()) word = static_cast<int32_t>(LoadLe32(payload_.data() + at_));
        at_ += 4;
        return word;
    }
    // A count, clamped to 0..limit (the size of the array it counts).
    uint32_t Count(uint32_t limit) { return ClampCount(Next(), limit); }
    // A time in seconds: the word counts 100 us.
    float Time() { return TesterSeconds(Next()); }
    // The tester's table of times input by input (times times of each of
    // inputs inputs) into the struct's, which keeps them time by time:
    // table[j][k] is input k's time j. Both counts within the table.
    template <size_t Times, size_t Inputs>
    void TimesByInput(uint32_t inputs, uint32_t times, float (&table)[Times][Inputs]) {
        for (uint32_t k = 0; k < inputs && k < Inputs; ++k)
            for (uint32_t j = 0; j < times && j < Times; ++j) table[j][k] = Time();
    }

private:
    const std::vector<uint8_t>& payload_;
    size_t at_ = 0;
};

// The trip of a test with two candidate times: the first when it is not
// negative (flag 1), else the second (flag 2), else none (flag 0 and
// kNotHappened).
inline void TakeTripTimes(ResultWords& words, int32_t& flag, float& time) {
    const int32_t first = words.Next(), second = words.Next();
    flag = 0;
    time = kNotHappened;
    if (first >= 0) {
        flag = 1;
        time = TesterSeconds(first);
    } else if (second >= 0) {
        flag = 2;
        time = TesterSeconds(second);
    }
}
