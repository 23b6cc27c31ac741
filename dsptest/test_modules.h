// The test types by ProgID: which module plays each, its struct, its DSP
// program and its id.
#pragma once

#include "dsptest/dsp_test.h"
#include "text.h"

#include <varel/vts_gdata.h>

#include <memory>

// A new module for progId: E_INVALIDARG for an unknown ProgID and for a test
// type whose module has not landed yet (a debug line tells which).
HRESULT CreateTestModule(WideStringView progId, std::unique_ptr<CDspTest>* module);

// Fills document with the default parameters of progId's test type.
HRESULT InitTestParams(IGenericData* document, WideStringView progId);
