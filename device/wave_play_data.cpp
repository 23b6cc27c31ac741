// Wave data for playback: the tester's flash is asked for room first, then
// each frame's samples become output codes through the calibration page and
// go out in 528-byte pieces with their byte offsets.
#include "debug_output.h"
#include "device/io_main_device.h"
#include "device/message_ids.h"

#include <varel/vts_errors.h>

#include <cstring>

namespace {

constexpr uint32_t kFlashCheckWord = 0x1071; // sent as it is; the tester knows what it means
constexpr uint16_t kWavePlayTestId = 6;
constexpr uint32_t kSlots = 32;
constexpr const char* kChannelNames[18] = {"Ua", "Ub", "Uc", "Ux", "Uy", "Uz", "Uu", "Uv", "Uw",
                                           "Ia", "Ib", "Ic", "Ix", "Iy", "Iz", "Iu", "Iv", "Iw"};

} // namespace

HRESULT CIOMainDevice::SendWavePlayData(const float* samples, uint32_t channels, uint32_t count) {
    if (!samples || channels == 0 || channels > kSlots) return E_INVALIDARG;
    const uint32_t waveBytes = 2 * count;
    uint8_t check[8];
    std::memcpy(check, &kFlashCheckWord, 4);
    std::memcpy(check + 4, &waveBytes, 4);
    HRESULT hr = Send(0, DEVMSG_FLASH_CHECK, check, sizeof check);
    if (hr != S_OK) {
        DebugPrintf("WavePlay: Arm doesn't have enough space to store Wave Data (Size : %u).\r\n", waveBytes);
        DebugPrintf("SendWavePlayData->IsFlashSizeEnough failed.\n");
        return hr;
    }
    AdjPage page;
    hr = m_cfg.GetADJData(&page);
    if (hr != S_OK) {
        DebugPrintf("SendWavePlayData->m_cfg.GetADJData failed.\n");
        return hr;
    }
    // Zero offsets are signed, gains in units of 1/10000.
    int32_t offsets[kSlots];
    const uint32_t* gains = page.words + kAdjGain;
    for (uint32_t k = 0; k < kSlots; ++k) offsets[k] = static_cast<int32_t>(page.words[kAdjZeroDrift + k]);

    uint8_t piece[kChunkBytes];
    uint32_t filled = 0, sentBytes = 0, lastPercent = 0;
    HRESULT lastSend = S_OK;
    auto sendPiece = [&] {
        lastSend = SendWithOffset(kWavePlayTestId, DEVMSG_WAVE_DATA, sentBytes, piece, filled);
        sentBytes += filled;
        filled = 0;
    };
    const uint32_t half = channels / 2;
    // Whole frames only: a partial frame at the end is left out.
    for (uint64_t first = 0; first + channels <= count; first += channels) {
        for (uint32_t c = 0; c < channels; ++c) {
            // Voltages fill the first slots, currents the slots from 16 on.
            const uint32_t k = c < half ? c : 16 + c - half;
            const float sample = samples[first + c];
            const float value = sample / 1.414213f * (static_cast<float>(gains[k]) / 10000.0f) +
                                static_cast<float>(offsets[k]);
            if (!(value >= 0.0f && value <= 65535.0f)) {
                if (c < 18)
                    DebugPrintf(
                        "VARELDS: SendWavePlayData-> %s越界: 计算前: %.3f, 计算后: %.3f, 比例: %d, 零漂: %d "
                        "\n",
                        kChannelNames[c], sample, value, static_cast<int>(gains[k]), offsets[k]);
                return VTS_E_RANGE;
            }
            const uint16_t code = static_cast<uint16_t>(value);
            std::memcpy(piece + filled, &code, 2);
            filled += 2;
            if (filled < kChunkBytes) continue;
            sendPiece();
            const uint32_t percent = static_cast<uint32_t>(uint64_t(sentBytes) * 100 / waveBytes);
            CDevMsgListener* listener = listener_.load();
            if (percent > lastPercent && listener) listener->OnProgress(100, percent);
            if (percent > lastPercent) lastPercent = percent;
        }
    }
    if (filled) sendPiece();
    if (CDevMsgListener* listener = listener_.load()) listener->OnProgress(100, 100);
    return lastSend;
}
