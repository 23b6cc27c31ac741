// The harmonic test: on each of 16 voltage and 16 current channels any
// selection of the orders 0 to 50 of a base frequency, each with its own
// magnitude and angle, plus one inter-harmonic per channel at a free
// frequency. The tester reports whether and when the selected binary inputs
// operated.
#pragma once

#include "dsptest/document_module.h"

#include <cstdint>

struct HarmComponent {
    int32_t bSelect;
    float mag; // V or A
    float ang; // degrees
};
static_assert(sizeof(HarmComponent) == 12, "HarmComponent is 12 bytes");

struct InterHarmComponent {
    int32_t bSelect;
    float mag; // V or A
    float ang; // degrees
    float fre; // Hz
};
static_assert(sizeof(InterHarmComponent) == 16, "InterHarmComponent is 16 bytes");

constexpr uint32_t kHarmOrders = 51; // 0 (DC) to 50

struct VarelTest_Harm {
    HarmComponent uHarm[16][kHarmOrders];
    HarmComponent iHarm[16][kHarmOrders];
    float baseFre; // Hz
    int32_t bAndOr;
    int32_t bBinSelect[16];
    float sureTime; // seconds
    int32_t powerMode;
    // Results.
    int32_t tripFlag; // 0 none, 1 the first time, 2 only the second time
    float tripTime;   // seconds, -1000 when it did not trip
    // Parameters again.
    InterHarmComponent uInterHarm[16];
    InterHarmComponent iInterHarm[16];
    float timeLimit; // seconds; negative: none
};
static_assert(sizeof(VarelTest_Harm) == 20188, "VarelTest_Harm is 20188 bytes");

// Its defaults and its document walk.
void Defaults(VarelTest_Harm& test);
void Walk(FieldWalker& w, VarelTest_Harm& test);

class CDspTest_Harm final : public CStructModule<VarelTest_Harm> {
public:
    using CStructModule::CStructModule;

    HRESULT BuildTestParams() override;

protected:
    bool ConvertResult(ResultWords& words) override;
};
