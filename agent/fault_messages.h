// The texts behind the tester's alarm bits and every result code.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <cstdint>
#include <string>

// Alarm text for the 64 alarm bits (high word above low word) of a tester
// whose model word is model; the family is the model's upper 16 bits.
WideString AlarmText(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh);
// Text of a result code: the server family by its low 8 bits, anything else
// as "执行失败，错误码: 0先XXXXXXXX".
WideString ResultCodeText(HRESULT code);
