#include "samp_mapping_file.h"

bool CSampMappingFile::Create() {
    if (floats_) return true;
    if (!memory_.Create(name_, kBlockBytes)) return false;
    floats_ = reinterpret_cast<float*>(memory_.data());
    capacity_ = memory_.size() / sizeof(float);
    return true;
}

void CSampMappingFile::BeginWrite(double startTimeUs, float sampleRate) {
    written_ = 0;
    startTimeUs_ = startTimeUs;
    sampleRate_ = sampleRate;
}
