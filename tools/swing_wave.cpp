#include "tools/swing_wave.h"

#include "dsptest/osc.h"
#include "tools/document_values.h"

#include <cmath>
#include <cstring>
#include <iterator>
#include <numbers>
#include <string>

namespace {

using Complex = std::complex<double>;

constexpr double kDeg = std::numbers::pi / 180;
// The most points a host makes: 72 MB, nine minutes at the tester's rate.
constexpr size_t kMaxSwingPoints = 1000000;

Complex Polar(double mag, double angDeg) { return std::polar(mag, angDeg * kDeg); }

// The value at path under "TestParams"; false when it is missing.
bool Value(IGenericData* document, const char* path, double* value) {
    *value = DocumentValue(document, std::string("TestParams.") + path);
    return !std::isnan(*value);
}

} // namespace

bool SwingSettingsOf(IGenericData* document, SwingSettings* s) {
    const char* keys[] = {
        "PreOscTime", "Em",          "En",          "Ztotal_Mag",    "Ztotal_Ang",       "Zm_Mag",
        "Zm_Ang",     "nOscMode",    "OscAng_From", "OscAng_To",     "nRotateDirection", "OscTs",
        "Fre",        "nOscNumbers", "bFault",      "FaultTrigTime", "FaultKeepTime_Max"};
    double v[std::size(keys)];
    for (size_t k = 0; k < std::size(keys); ++k)
        if (!Value(document, keys[k], &v[k])) return false;
    for (int p = 0; p < 3; ++p) {
        double mag, ang;
        const std::string index = "." + std::to_string(p) + ".";
        if (!Value(document, ("Up" + index + "Mag").c_str(), &mag) ||
            !Value(document, ("Up" + index + "Ang").c_str(), &ang))
            return false;
        s->preU[p] = Polar(mag, ang);
        if (!Value(document, ("Ip" + index + "Mag").c_str(), &mag) ||
            !Value(document, ("Ip" + index + "Ang").c_str(), &ang))
            return false;
        s->preI[p] = Polar(mag, ang);
    }
    s->preSeconds = v[0];
    s->em = v[1];
    s->en = v[2];
    s->zTotal = Polar(v[3], v[4]);
    s->zm = Polar(v[5], v[6]);
    s->mode = static_cast<int>(v[7]);
    s->fromDeg = v[8];
    s->toDeg = v[9];
    s->reverse = v[10] != 0;
    s->periodSeconds = v[11];
    s->fre = v[12];
    s->swings = static_cast<int>(v[13]);
    s->fault = v[14] != 0;
    s->faultAtSeconds = v[15];
    s->faultSeconds = v[16];
    return s->preSeconds >= 0 && v[3] > 0 && s->periodSeconds > 0 && s->fre > 0 && s->swings >= 0 &&
           (!s->fault || (v[5] > 0 && s->faultAtSeconds >= 0 && s->faultSeconds >= 0));
}

double SwingAngle(const SwingSettings& s, double seconds) {
    const double turns = seconds / s.periodSeconds;
    if (s.mode == 0)
        return s.fromDeg + (s.toDeg - s.fromDeg) * (1 - std::cos(2 * std::numbers::pi * turns)) / 2;
    return s.fromDeg + (s.reverse ? -360 : 360) * turns;
}

SwingPoint SwingAt(const SwingSettings& s, double deltaDeg) {
    const Complex m = Polar(s.em, deltaDeg);
    const Complex i = (m - Complex(s.en)) / s.zTotal;
    return {m - i * s.zm, i};
}

std::vector<float> SwingWave(const SwingSettings& s, size_t maxPoints) {
    const double pre = std::round(s.preSeconds * kOscPointsPerSecond);
    const double swing = std::round(s.swings * s.periodSeconds * kOscPointsPerSecond);
    if (!(pre + swing <= static_cast<double>(maxPoints))) return {};
    const size_t prePoints = static_cast<size_t>(pre), points = prePoints + static_cast<size_t>(swing);
    std::vector<float> wave(points * kOscPointFloats, 0.0f);
    const double w = 2 * std::numbers::pi * s.fre;
    // The instantaneous value of an RMS phasor at time t.
    const auto sample = [w](Complex x, double t) {
        return static_cast<float>(std::sqrt(2.0) * std::abs(x) * std::sin(w * t + std::arg(x)));
    };
    for (size_t n = 0; n < points; ++n) {
        const double t = static_cast<double>(n) / kOscPointsPerSecond;
        float* frame = &wave[n * kOscPointFloats];
        if (n < prePoints) {
            for (int p = 0; p < 3; ++p) {
                frame[p] = sample(s.preU[p], t);
                frame[9 + p] = sample(s.preI[p], t);
            }
            continue;
        }
        const double intoSwing = t - s.preSeconds, delta = SwingAngle(s, intoSwing);
        SwingPoint a = SwingAt(s, delta);
        if (s.fault && intoSwing >= s.faultAtSeconds && intoSwing < s.faultAtSeconds + s.faultSeconds)
            a = {Complex(0), Polar(s.em, delta) / s.zm};
        for (int p = 0; p < 3; ++p) {
            const Complex shift = Polar(1, -120.0 * p);
            frame[p] = sample(a.u * shift, t);
            frame[9 + p] = sample(a.i * shift, t);
        }
    }
    return wave;
}

HRESULT PrepareSwingWave(IGenericData* document, SharedMemory& block) {
    SwingSettings s;
    if (!SwingSettingsOf(document, &s)) return E_INVALIDARG;
    const std::vector<float> wave = SwingWave(s, kMaxSwingPoints);
    if (wave.empty()) return E_INVALIDARG;
    const size_t bytes = wave.size() * sizeof(float);
    if (!block.Create(kOscMapping, bytes) || block.size() < bytes) return E_OUTOFMEMORY;
    std::memcpy(block.data(), wave.data(), bytes);
    const double points = static_cast<double>(wave.size() / kOscPointFloats);
    const double swingBegin = std::round(s.preSeconds * kOscPointsPerSecond);
    const struct {
        const char* key;
        double value;
    } counts[] = {
        {"OSCWavePTCount", points},
        {"OSCWaveFileSize", static_cast<double>(bytes)},
        {"PreOSCWaveBegin", 0},
        {"OSCWaveBegin", swingBegin},
        {"OSCFaultWaveBegin", s.fault ? swingBegin + std::round(s.faultAtSeconds * kOscPointsPerSecond) : 0}};
    for (const auto& count : counts)
        if (SetDocumentValue(document, std::string("TestParams.") + count.key, VT_INT, count.value) != S_OK)
            return E_INVALIDARG;
    return S_OK;
}
