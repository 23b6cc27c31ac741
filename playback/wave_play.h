// The wave playback test: a COMTRADE recording replayed on the tester. The
// host describes a recording (command 3), picks a window of it and, for each
// of 9 voltage and 9 current outputs, a recording channel and a divisor; the
// start resamples the window to the tester's playback rate into the playback
// block, downloads it as output codes once per recording, window and output
// map, then sends the parameters and starts.
#pragma once

#include "dsptest/document_module.h"
#include "playback/comtrade_parser.h"
#include "playback/samp_mapping_file.h"

#include <cstdint>

struct WaveOutput {
    int32_t chIndex; // recording channel; outside the recording's analog channels plays 0
    float factor;    // the recording's value is divided by it
};
static_assert(sizeof(WaveOutput) == 8, "WaveOutput is 8 bytes");

struct WaveSection {
    int32_t bSelect;
    float timeFrom;   // ms, recording time
    float timeLength; // ms
    int32_t repeatNumbers;
};
static_assert(sizeof(WaveSection) == 16, "WaveSection is 16 bytes");

constexpr uint32_t kWaveFileChars = 260;
constexpr uint32_t kWaveOutputs = 9; // played outputs of each group
constexpr uint32_t kWaveFrameValues = 2 * kWaveOutputs;
constexpr uint32_t kWaveInputs = 16;
constexpr uint32_t kWaveTripTimes = 21;

struct VarelTest_WavePlay {
    WCHAR strCfgFileName[kWaveFileChars];
    WaveOutput uPara[16];
    WaveOutput iPara[16];
    float timeFrom; // ms
    float timeTo;   // ms
    int32_t bAutoPreFault;
    WaveSection sectionRepeat[2];
    int32_t faultTrigMode;
    float preFaultTime; // seconds
    int32_t gpsPos;
    int32_t bAndOr;
    int32_t bBinSelect[kWaveInputs];
    float time0;    // seconds
    float sureTime; // seconds
    int32_t output[16];
    int32_t outputSwitchMode;
    float breakerBreakTime; // seconds
    float breakerCloseTime;
    float outputDelayTime;
    float outputKeepTime;
    int32_t powerMode;
    // Results.
    int32_t binEndState[kWaveInputs];
    float binTripTime[kWaveTripTimes][kWaveInputs]; // seconds, -1000 when not tripped
};
static_assert(sizeof(VarelTest_WavePlay) == 2404, "VarelTest_WavePlay is 2404 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_WavePlay& test);
void Walk(FieldWalker& w, VarelTest_WavePlay& test);

class CDspTest_WavePlay final : public CStructModule<VarelTest_WavePlay>, public CComtradeParser {
public:
    explicit CDspTest_WavePlay(const ModuleEntry& entry);

    static constexpr int32_t kDescribe = 3; // ExecuteCmd: describe a recording
    static constexpr int32_t kTransfer = 4; // ExecuteCmd: copy a recording's files to the tester
    static constexpr uint32_t kDefaultPointsPerCycle = 200;
    static constexpr float kDefaultRate = 5000.0f;

    // 0 and 1 send 0x020E. 3: value holds "path[;rate]"; the recording is
    // read and, when arg is nonzero, value becomes the description document
    // (VT_DISPATCH). 4: value holds the configuration file's path; both
    // files go to the tester. Other commands are taken as done.
    HRESULT ExecuteCmd(int32_t command, VARIANT* value, int32_t arg) override;
    // A new link (16) means a tester that may not keep the wave: the next
    // start downloads it again. The result (3) as every module converts it.
    HRESULT OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload) override;
    HRESULT BuildTestParams() override;

    // The playback frames of the last download (18 values a frame).
    const CSampMappingFile& PlaybackFrames() const { return frames_; }
    // The window [fromMs, toMs] of the recording read last, resampled at
    // rate into the playback frames, each output its channel over its
    // divisor. 0, E_FAIL (no block, or an error while resampling: a voltage
    // divisor of 0, a full block), E_INVALIDARG (a window outside the
    // recording), E_POINTER (no recording read), or VTS_E_INTERPOLATION (the recording ends inside
    // the window).
    HRESULT Resample(const WaveOutput (&voltages)[16], const WaveOutput (&currents)[16], float fromMs,
                     float toMs, float rate);

protected:
    // The recording's window resampled into the playback block and
    // downloaded, unless the last download holds it already.
    HRESULT BeforeDownload() override;
    bool ConvertResult(ResultWords& words) override;

private:
    HRESULT Describe(VARIANT* value, int32_t arg);
    HRESULT Transfer(const VARIANT* value);
    // Whether the file, window or output map differs from the last download.
    bool WaveChanged() const;

    CSampMappingFile frames_;
    VarelTest_WavePlay downloaded_; // the struct as it was at the last download
    bool waveDownloaded_ = false;
    // The values of the parameter list besides the struct's.
    float lineFrequency_ = 50.0f;
    int32_t pointsWord_ = 0; // the tester's points-per-cycle word as read
    uint32_t frameCount_ = 0;
    int32_t sectionFrames_[2][2] = {}; // [section][start, end]
};
