// Typed values of a generic data document by dotted path from its root,
// as host programs set and read them (the tool, the benchmarks, the tests).
#pragma once

#include <varel/vts_gdata.h>

#include <string>

// Sets the value of the node at path (E_INVALIDARG when there is none) to
// value as type: VT_R4 or VT_R8 as a real, any other type as a 32-bit
// integer of that type.
HRESULT SetDocumentValue(IGenericData* document, const std::string& path, VARTYPE type, double value);
// The number at path; NaN when there is none or it is not a number.
double DocumentValue(IGenericData* document, const std::string& path);
// Sets the node at path to text (UTF-8), as a string value.
HRESULT SetDocumentText(IGenericData* document, const std::string& path, const std::string& text);
// The value at path as text (UTF-8); empty when there is none.
std::string DocumentText(IGenericData* document, const std::string& path);
