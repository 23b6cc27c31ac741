#include "playback/wave_play.h"

#include "com/bstr.h"
#include "com/com_ptr.h"
#include "debug_output.h"
#include "playback/comtrade_description.h"
#include "tick.h"

#include <varel/vts.h>
#include <varel/vts_errors.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace {

constexpr uint32_t kMaxPointsPerCycle = 10000;
constexpr HRESULT kBlockFull = 14; // a frame would pass the playback block

void WalkOutputs(FieldWalker& w, const WCHAR* key, WaveOutput (&outputs)[16]) {
    w.Array(key, 16, [&](uint32_t k) {
        w.Int(OLESTR("ChIndex"), outputs[k].chIndex);
        w.Real(OLESTR("Factor"), outputs[k].factor);
    });
}

bool SameFileName(const WCHAR* a, const WCHAR* b) {
    for (uint32_t i = 0; i < kWaveFileChars; ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
        if (!a[i]) return true;
    }
    return true;
}

bool SameOutputs(const WaveOutput (&a)[16], const WaveOutput (&b)[16]) {
    for (uint32_t k = 0; k < 16; ++k)
        if (a[k].chIndex != b[k].chIndex || std::fabs(a[k].factor - b[k].factor) >= 0.001f) return false;
    return true;
}

// The text of a VT_BSTR variant, or of one that converts to it.
bool TextOf(const VARIANT* value, WideString* text) {
    if (!value) return false;
    if (value->vt == VT_BSTR) {
        text->assign(BstrView(value->bstrVal));
        return true;
    }
    VARIANT copy;
    VariantInit(&copy);
    const bool ok = SUCCEEDED(VariantChangeType(&copy, value, 0, VT_BSTR));
    if (ok) text->assign(BstrView(copy.bstrVal));
    VariantClear(&copy);
    return ok;
}

// A frame index of a time in ms on a block starting at t0 seconds at rate R.
int32_t FrameAt(float ms, double t0, double rate) {
    return static_cast<int32_t>((ms / 1000.0 - t0) * rate + 0.5);
}

} // namespace

void Defaults(VarelTest_WavePlay& t) {
    t = VarelTest_WavePlay{};
    for (WaveOutput& o : t.uPara) o = {-1, 1.0f};
    for (WaveOutput& o : t.iPara) o = {-1, 1.0f};
    t.bAutoPreFault = 1;
    for (WaveSection& s : t.sectionRepeat) s.repeatNumbers = 1;
    t.preFaultTime = 1.0f;
    t.gpsPos = 2;
    t.sureTime = 0.01f;
    t.outputSwitchMode = 1;
    t.breakerBreakTime = 0.02f;
    t.breakerCloseTime = 0.02f;
    t.outputKeepTime = 0.02f;
    for (auto& times : t.binTripTime)
        for (float& time : times) time = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_WavePlay& t) {
    w.Text(OLESTR("strCfgFileName"), t.strCfgFileName, kWaveFileChars);
    WalkOutputs(w, OLESTR("uPara"), t.uPara);
    WalkOutputs(w, OLESTR("iPara"), t.iPara);
    w.Real(OLESTR("Test_timeFrom"), t.timeFrom);
    w.Real(OLESTR("Test_timeTo"), t.timeTo);
    w.Int(OLESTR("bAutoPreFault"), t.bAutoPreFault);
    w.Array(OLESTR("SectionRepeat"), 2, [&](uint32_t k) {
        WaveSection& s = t.sectionRepeat[k];
        w.Int(OLESTR("bSelect"), s.bSelect);
        w.Real(OLESTR("TimeFrom"), s.timeFrom);
        w.Real(OLESTR("TimeLength"), s.timeLength);
        w.Int(OLESTR("RepeatNumbers"), s.repeatNumbers);
    });
    w.Int(OLESTR("FaultTrigMode"), t.faultTrigMode);
    w.Real(OLESTR("PreFaultTime"), t.preFaultTime);
    w.Int(OLESTR("GPSPos"), t.gpsPos);
    w.Int(OLESTR("bAndOr"), t.bAndOr);
    w.Ints(OLESTR("bBinSelect"), t.bBinSelect);
    // The confirmation time is read before Time0.
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Real(OLESTR("Time0"), t.time0);
    w.Ints(OLESTR("Output_0"), t.output);
    w.Int(OLESTR("OutputSwitchMode"), t.outputSwitchMode);
    w.Real(OLESTR("Breaker_BreakTime"), t.breakerBreakTime);
    w.Real(OLESTR("Breaker_CloseTime"), t.breakerCloseTime);
    w.Real(OLESTR("OutputDelayTime"), t.outputDelayTime);
    w.Real(OLESTR("OutputKeepTime"), t.outputKeepTime);
    w.Int(OLESTR("PowerMode"), t.powerMode);
    w.Child(OLESTR("Result"), [&] {
        w.Ints(OLESTR("Bin_0"), t.binEndState);
        w.Array(OLESTR("BinTripTime"), kWaveTripTimes,
                [&](uint32_t i) { w.Reals(OLESTR("Bin"), t.binTripTime[i]); });
    });
}

CDspTest_WavePlay::CDspTest_WavePlay(const ModuleEntry& entry)
    : CStructModule(entry), frames_(OLESTR("VAREL_BXHF_TEST_MAPPING")) {
    std::memset(&downloaded_, 0, sizeof downloaded_);
}

bool CDspTest_WavePlay::WaveChanged() const {
    return !waveDownloaded_ || !SameFileName(test_.strCfgFileName, downloaded_.strCfgFileName) ||
           std::fabs(test_.timeFrom - downloaded_.timeFrom) >= 0.001f ||
           std::fabs(test_.timeTo - downloaded_.timeTo) >= 0.001f ||
           !SameOutputs(test_.uPara, downloaded_.uPara) || !SameOutputs(test_.iPara, downloaded_.iPara);
}

HRESULT CDspTest_WavePlay::BeforeDownload() {
    HRESULT hr = S_OK;
    // The tester's points per cycle; a negative word gives samples per second.
    const int16_t word = SampRateWord();
    const float lf = Config().lf;
    int64_t points = word;
    if (word < 0 && lf > 0) points = static_cast<int64_t>(std::abs(static_cast<int32_t>(word)) / lf);
    if (points <= 0 || points > kMaxPointsPerCycle) points = kDefaultPointsPerCycle;

    std::unique_lock<std::mutex> lock(structMutex_);
    if (WaveChanged()) {
        // A failed download leaves the wave marked as not downloaded: the
        // next start tries again.
        waveDownloaded_ = false;
        downloaded_ = test_;
        const VarelTest_WavePlay wanted = test_;
        lock.unlock();
        hr = Resample(wanted.uPara, wanted.iPara, wanted.timeFrom, wanted.timeTo,
                      lf * static_cast<float>(points));
        if (hr == S_OK)
            hr = SendWaveFrames(frames_.Floats(), kWaveFrameValues,
                                static_cast<uint32_t>(frames_.FloatCount()));
        if (hr != S_OK) {
            DebugPrintf("CDspTest_WavePlay::SendWaveData failed: 0x%08X \n", static_cast<unsigned>(hr));
            return hr;
        }
        lock.lock();
        waveDownloaded_ = true;
    }
    lineFrequency_ = lf;
    pointsWord_ = word;
    frameCount_ = static_cast<uint32_t>(frames_.FloatCount() / kWaveFrameValues);
    const double t0 = frames_.StartTimeUs() / 1000000.0, rate = frames_.SampleRate();
    for (uint32_t k = 0; k < 2; ++k) {
        const WaveSection& s = test_.sectionRepeat[k];
        sectionFrames_[k][0] = FrameAt(s.timeFrom, t0, rate);
        sectionFrames_[k][1] = FrameAt(s.timeFrom + s.timeLength, t0, rate) - 1;
    }
    return S_OK;
}

HRESULT CDspTest_WavePlay::Resample(const WaveOutput (&voltages)[16], const WaveOutput (&currents)[16],
                                    float fromMs, float toMs, float rate) {
    const CSampMappingFile& recording = Mapping();
    if (!frames_.Create()) return E_FAIL;
    if (!(rate > 0.001f)) rate = kDefaultRate;
    const DWORD started = GetTickCount();
    const size_t analog = Config().analog.size();
    const size_t width = analog + Config().digital.size();
    const double sourceRate = recording.SampleRate();
    const double t0s = recording.StartTimeUs() / 1000000.0;
    const size_t floats = recording.FloatCount();
    const int32_t i0 = static_cast<int32_t>((fromMs / 1000.0 - t0s) * sourceRate + 0.5);
    const int32_t i1 = static_cast<int32_t>((toMs / 1000.0 - t0s) * sourceRate + 0.5);
    // A window that starts before the recording is outside it as well.
    if (i1 < i0 || i0 < 0 || static_cast<size_t>(i1) > floats || !width || !(sourceRate > 0)) {
        DebugPrintf("WavePlay: TestTime is out of the Max Range.(lIndex0:%d, lIndex1:%d, MaxCount:%d)\r\n",
                    i0, i1, static_cast<int>(floats));
        return E_INVALIDARG;
    }
    const float* source = recording.Floats();
    if (!source) return E_POINTER;
    frames_.BeginWrite(static_cast<double>(fromMs) * 1000.0, rate);

    // Each output's channel (or none: it plays 0) and divisor.
    struct Pick {
        size_t channel;
        bool none;
        float factor;
    } picks[kWaveFrameValues];
    bool voltageZero = false;
    for (uint32_t j = 0; j < kWaveOutputs; ++j) {
        const WaveOutput& u = voltages[j];
        const WaveOutput& i = currents[j];
        voltageZero = voltageZero || u.factor == 0.0f;
        picks[j] = {static_cast<size_t>(u.chIndex), u.chIndex < 0 || static_cast<size_t>(u.chIndex) >= analog,
                    u.factor};
        // A current divisor of 0 plays the channel unscaled.
        picks[kWaveOutputs + j] = {static_cast<size_t>(i.chIndex),
                                   i.chIndex < 0 || static_cast<size_t>(i.chIndex) >= analog,
                                   i.factor == 0.0f ? 1.0f : i.factor};
    }

    HRESULT result = S_OK, error = S_OK;
    const double sourceStep = 1000000.0 / sourceRate, outputStep = 1000000.0 / rate;
    const double endUs = static_cast<double>(toMs) * 1000.0;
    double t = static_cast<double>(fromMs) * 1000.0, tk = t;
    for (size_t k = static_cast<size_t>(i0);; ++k) {
        if (!(tk < endUs)) break;
        if ((k + 2) * width > floats) {
            if (k != static_cast<size_t>(i1)) result = VTS_E_INTERPOLATION;
            break;
        }
        const float* yk = source + k * width;
        const float* yn = yk + width;
        const double next = tk + sourceStep;
        while (t <= next && error == S_OK) {
            if (voltageZero) {
                error = E_INVALIDARG;
                break;
            }
            float* frame = frames_.Append(kWaveFrameValues);
            if (!frame) {
                error = kBlockFull;
                break;
            }
            const float along = static_cast<float>((t - tk) / sourceStep);
            for (uint32_t j = 0; j < kWaveFrameValues; ++j) {
                const Pick& p = picks[j];
                frame[j] =
                    p.none ? 0.0f : (yk[p.channel] + (yn[p.channel] - yk[p.channel]) * along) / p.factor;
            }
            t += outputStep;
        }
        if (error != S_OK) break;
        tk = next;
    }
    if (error != S_OK) {
        DebugPrintf("WavePlay: SendWaveData Interpolation error: %08X\r\n", static_cast<unsigned>(error));
        result = E_FAIL;
    }
    DebugPrintf("WavePlay: Test Interpolation used %d ms\r\n", static_cast<int>(GetTickCount() - started));
    return result;
}

HRESULT CDspTest_WavePlay::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_WavePlay& t = test_;
    AddUint(0, t.faultTrigMode);
    AddReal(1, t.preFaultTime);
    AddReal(8, lineFrequency_);
    AddUint(9, static_cast<uint32_t>(pointsWord_));
    AddUint(11, frameCount_);
    AddUint(22, t.bAutoPreFault);
    for (uint32_t k = 0; k < 2; ++k) {
        AddUint(23 + 4 * k, t.sectionRepeat[k].bSelect);
        AddUint(24 + 4 * k, static_cast<uint32_t>(sectionFrames_[k][0]));
        AddUint(25 + 4 * k, static_cast<uint32_t>(sectionFrames_[k][1]));
        AddUint(26 + 4 * k, t.sectionRepeat[k].repeatNumbers);
    }
    AddUint(20, t.bAndOr);
    AddUint(21, BinSelectMask(t.bBinSelect));
    AddReal(53, t.time0);
    AddReal(31, t.sureTime);
    for (uint32_t k = 0; k < 16; ++k) AddUint(33 + k, t.output[k]);
    AddUint(32, t.outputSwitchMode);
    AddReal(49, t.breakerBreakTime);
    AddReal(50, t.breakerCloseTime);
    AddReal(51, t.outputDelayTime);
    AddReal(52, t.outputKeepTime);
    AddUint(19, t.powerMode);
    AddUint(2, t.gpsPos);
    lock.unlock();
    return SendTestParamList();
}

bool CDspTest_WavePlay::ConvertResult(ResultWords& words) {
    const uint32_t inputs = words.Count(kWaveInputs);
    const uint32_t times = words.Count(kWaveTripTimes);
    for (uint32_t i = 0; i < inputs; ++i) test_.binEndState[i] = words.Next();
    words.TimesByInput(inputs, times, test_.binTripTime);
    return true;
}

HRESULT CDspTest_WavePlay::OnDeviceEvent(uint32_t code, std::vector<uint8_t>& payload) {
    if (code == VTS_NOTIFY_LINKED) {
        std::lock_guard<std::mutex> lock(structMutex_);
        std::memset(&downloaded_, 0, sizeof downloaded_);
        waveDownloaded_ = false;
        return E_NOTIMPL;
    }
    return CStructModule::OnDeviceEvent(code, payload);
}

HRESULT CDspTest_WavePlay::ExecuteCmd(int32_t command, VARIANT* value, int32_t arg) {
    if (command == kDescribe) return Describe(value, arg);
    if (command == kTransfer) return Transfer(value);
    return ModuleCommand(command);
}

// "path" or "path;rate": the text before the first ";" (unless it comes
// first) is the path, the text after it the rate.
HRESULT CDspTest_WavePlay::Describe(VARIANT* value, int32_t arg) {
    WideString text;
    if (!TextOf(value, &text)) return E_INVALIDARG;
    float rate = 0.0f;
    const size_t semicolon = text.find(';');
    if (semicolon != WideString::npos && semicolon > 0) {
        rate = static_cast<float>(std::strtod(Utf16ToUtf8(text.substr(semicolon + 1)).c_str(), nullptr));
        text.resize(semicolon);
    }
    ComPtr<IGenericData> document;
    const HRESULT result = DescribeComtradeRecording(this, text, rate, document.Put());
    // The document comes back in place of the path: arg only asks for it,
    // as a 32-bit argument cannot carry a pointer on every platform.
    if (arg && document) {
        VariantClear(value);
        if (SUCCEEDED(document->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&value->pdispVal))))
            value->vt = VT_DISPATCH;
    }
    return result;
}

HRESULT CDspTest_WavePlay::Transfer(const VARIANT* value) {
    if (!Attached()) return E_NOINTERFACE;
    if (!value || value->vt != VT_BSTR) return E_INVALIDARG;
    const WideString cfg(BstrView(value->bstrVal));
    const WideString dat = ComtradeDataPath(cfg);
    // A single-file recording is its own data file: it goes once.
    for (const WideString* path : {&cfg, &dat}) {
        if (path == &dat && dat == cfg) break;
        const size_t slash = path->find_last_of(OLESTR("/\\"));
        const WideString name = slash == WideString::npos ? *path : path->substr(slash + 1);
        const HRESULT hr = TransferFile(path->c_str(), name.c_str());
        if (hr != S_OK) return hr;
    }
    return S_OK;
}
