// The synchronisation test: the tester outputs a system-side and a
// generator-side voltage, follows the synchronising device's frequency and
// voltage adjustment pulses by moving the generator side at set rates, and
// reports the phases at the device's closing command and the pulses it saw.
// From that report the module works out the closing lead angle and lead
// time and the adjustment pulses' widths and periods.
#pragma once

#include "dsptest/document_module.h"

#include <cstdint>

struct VarelTest_Syn {
    int32_t testType;
    float vsMag;      // V
    float vsAng;      // degrees
    float vsFre;      // Hz
    float vgMag;      // V
    float vgAng;      // degrees
    float vgFre;      // Hz
    float vsAngShift; // degrees; not sent, it enters only the lead angle
    float resetTime;  // seconds
    float sureTime;   // seconds
    int32_t vsLinkMode;
    int32_t vgLinkMode;
    float dVgDt; // V/s
    float dFgDt; // Hz/s
    // Results.
    int32_t tripFlag;
    float aheadTime;      // seconds, -1000 without a frequency difference
    float aheadAng;       // degrees
    float closingVgMag;   // V
    float closingVgFre;   // Hz
    float adjustFreWidth; // seconds, -1000 without a whole pulse and pause
    float adjustFreCycle;
    float adjustVWidth;
    float adjustVCycle;
};
static_assert(sizeof(VarelTest_Syn) == 92, "VarelTest_Syn is 92 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Syn& test);
void Walk(FieldWalker& w, VarelTest_Syn& test);

class CDspTest_Syn final : public CStructModule<VarelTest_Syn> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
    // The tester's state word as it comes, then four values x 0.0001.
    const char* ReportFields() const override { return "itttt"; }
};
