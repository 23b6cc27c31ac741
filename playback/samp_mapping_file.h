// A named shared-memory block of 32-bit float frames at one sample rate: the
// parsed recording ("VAREL_BXHF_MAPPING") or the playback frames
// ("VAREL_BXHF_TEST_MAPPING"). The block is created once and kept.
#pragma once

#include <cstddef>

#include "file_mapping.h"
#include "text.h"

class CSampMappingFile {
public:
    static constexpr size_t kBlockBytes = 0x4000000;  // 64 MiB

    explicit CSampMappingFile(WideString name) : name_(std::move(name)) {}

    // Creates the page-file-backed block under its name, or keeps the one made
    // before. false when it cannot be created and mapped.
    bool Create();
    // Starts a new content: nothing written, the given start time and rate.
    void BeginWrite(double startTimeUs, float sampleRate);
    // Room for count more floats, counted as written; null (nothing counted)
    // when they would pass the capacity or the block is not created.
    float* Append(size_t count) {
        if (count > capacity_ - written_) return nullptr;
        float* at = floats_ + written_;
        written_ += count;
        return at;
    }

    const WideString& Name() const { return name_; }
    const float* Floats() const { return floats_; }
    size_t FloatCount() const { return written_; }
    size_t Capacity() const { return capacity_; }  // in floats
    size_t SizeBytes() const { return memory_.size(); }
    double StartTimeUs() const { return startTimeUs_; }
    float SampleRate() const { return sampleRate_; }

private:
    WideString name_;
    SharedMemory memory_;  // the handle and the view
    float* floats_ = nullptr;
    size_t written_ = 0;
    size_t capacity_ = 0;
    double startTimeUs_ = 0.0;
    float sampleRate_ = 0.0f;
};
