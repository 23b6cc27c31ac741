#include "dsptest/syn.h"

#include <cmath>

void Defaults(VarelTest_Syn& t) {
    t = VarelTest_Syn{};
    t.vsMag = 100.0f;
    t.vsFre = 50.0f;
    t.vgMag = 90.0f;
    t.vgFre = 49.9f;
    t.resetTime = 2.0f;
    t.sureTime = 0.01f;
    t.dVgDt = 0.1f;
    t.dFgDt = 0.1f;
    t.aheadTime = kNotHappened;
    t.closingVgMag = kNotHappened;
    t.closingVgFre = kNotHappened;
    t.adjustFreWidth = kNotHappened;
    t.adjustFreCycle = kNotHappened;
    t.adjustVWidth = kNotHappened;
    t.adjustVCycle = kNotHappened;
}

void Walk(FieldWalker& w, VarelTest_Syn& t) {
    w.Int(OLESTR("TestType"), t.testType);
    w.Real(OLESTR("Vs_Mag"), t.vsMag);
    w.Real(OLESTR("Vs_Ang"), t.vsAng);
    w.Real(OLESTR("Vs_Fre"), t.vsFre);
    w.Real(OLESTR("Vg_Mag"), t.vgMag);
    w.Real(OLESTR("Vg_Ang"), t.vgAng);
    w.Real(OLESTR("Vg_Fre"), t.vgFre);
    w.Real(OLESTR("Vs_AngShift"), t.vsAngShift);
    w.Real(OLESTR("ResetTime"), t.resetTime);
    w.Real(OLESTR("SureTime"), t.sureTime);
    w.Int(OLESTR("Vs_LinkMode"), t.vsLinkMode);
    w.Int(OLESTR("Vg_LinkMode"), t.vgLinkMode);
    w.Real(OLESTR("dVg_dt"), t.dVgDt);
    w.Real(OLESTR("dFg_dt"), t.dFgDt);
    // "Vg_Mag" and "Vg_Fre" again: here the generator side at closing.
    w.Child(OLESTR("Result"), [&] {
        w.Int(OLESTR("TripFlag"), t.tripFlag);
        w.Real(OLESTR("AheadTime"), t.aheadTime);
        w.Real(OLESTR("AheadAng"), t.aheadAng);
        w.Real(OLESTR("Vg_Mag"), t.closingVgMag);
        w.Real(OLESTR("Vg_Fre"), t.closingVgFre);
        w.Real(OLESTR("AdjustFre_Width"), t.adjustFreWidth);
        w.Real(OLESTR("AdjustFre_Cycle"), t.adjustFreCycle);
        w.Real(OLESTR("AdjustV_Width"), t.adjustVWidth);
        w.Real(OLESTR("AdjustV_Cycle"), t.adjustVCycle);
    });
}

HRESULT CDspTest_Syn::BuildTestParams() {
    std::unique_lock<std::mutex> lock(structMutex_);
    const VarelTest_Syn& t = test_;
    AddUint(0, t.testType);
    AddReal(1, t.vsMag);
    AddReal(2, t.vsAng);
    AddReal(3, t.vsFre);
    AddReal(4, t.vgMag);
    AddReal(5, t.vgAng);
    AddReal(6, t.vgFre);
    AddReal(11, t.resetTime);
    AddReal(10, t.sureTime);
    AddUint(12, t.vsLinkMode);
    AddUint(13, t.vgLinkMode);
    AddReal(8, t.dVgDt);
    AddReal(7, t.dFgDt);
    lock.unlock();
    return SendTestParamList();
}

namespace {

// The first of two pulse kinds (raise, lower) with both a width and a pause
// gives the width and the period (width and pause); none gives -1000 for
// both.
void TakePulse(const double (&width)[4], const double (&pause)[4], int first, float& outWidth,
               float& outPeriod) {
    outWidth = outPeriod = kNotHappened;
    for (int i = first; i < first + 2; ++i) {
        if (width[i] > 0 && pause[i] > 0) {
            outWidth = static_cast<float>(width[i]);
            outPeriod = static_cast<float>(width[i] + pause[i]);
            return;
        }
    }
}

} // namespace

bool CDspTest_Syn::ConvertResult(ResultWords& words) {
    // Angles, frequency, voltage and times all come in units of 0.0001.
    const auto scaled = [&] { return words.Next() * 0.0001; };
    test_.tripFlag = words.Next();
    const double systemAngle = scaled(), generatorAngle = scaled();
    const double frequency = scaled(), voltage = scaled();
    double width[4], pause[4];
    for (double& w : width) w = scaled();
    for (double& p : pause) p = scaled();

    // How far the generator's phase still had to travel to meet the system's
    // (shifted) phase when the device closed, in the direction the slip
    // moves it.
    const double slip = frequency - test_.vsFre;
    double angle = std::fmod(generatorAngle - (test_.vsAngShift + systemAngle), 360.0);
    if (slip > 0) {
        if (angle > 0) angle -= 360;
        angle = -angle;
    } else if (angle < 0) {
        angle += 360;
    }
    test_.aheadAng = static_cast<float>(angle);
    // No slip, no time to meet: not a division by zero.
    test_.aheadTime =
        std::fabs(slip) < 0.0001 ? kNotHappened : static_cast<float>(std::fabs(angle / (360 * slip)));
    TakePulse(width, pause, 0, test_.adjustFreWidth, test_.adjustFreCycle);
    TakePulse(width, pause, 2, test_.adjustVWidth, test_.adjustVCycle);
    test_.closingVgMag = static_cast<float>(voltage);
    test_.closingVgFre = static_cast<float>(frequency);
    return true;
}
