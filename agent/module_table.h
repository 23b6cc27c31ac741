// The module table: every test type by ProgID, with its struct, its DSP
// program, its id and the module that plays it.
#pragma once

#include "dsptest/document_module.h"
#include "text.h"

#include <varel/vts_gdata.h>

#include <memory>
#include <span>

// Every row, in the order the factory compares ProgIDs.
std::span<const ModuleEntry> ModuleTable();

// A new module for progId: E_INVALIDARG for an unknown ProgID or when
// memory runs out, E_NOTIMPL for a test type whose module has not landed.
HRESULT CreateTestModule(WideStringView progId, std::unique_ptr<CDspTest>* module);

// Fills document with the default parameters of progId's test type:
// E_INVALIDARG for a null document and for a ProgID it does not know.
HRESULT InitTestParams(IGenericData* document, WideStringView progId);
