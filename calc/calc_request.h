// Calculation requests inside a GenericData document: each child of the root
// whose value is a request code carries one structure, its inputs as
// children named after the fields and its results under "Result".
#pragma once

#include <varel/vts_calc.h>
#include <varel/vts_gdata.h>

// What ICalcEngine::Calculate does, running each request through engine.
// E_POINTER: document null or not a GenericData document.
HRESULT CalculateDocument(ICalcEngine* engine, IDispatch* document);

// Empties the document and writes one blank request "CalcParams" for code
// (0-7, 100-105), its value the code as VT_UI4. Any other code or a null
// document: nothing happens.
void WriteBlankRequest(IGenericData* document, int32_t code);
