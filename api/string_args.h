// How exports take their string arguments.
#pragma once

#include <varel/vts_platform.h>

#include "com/bstr.h"

// A fresh BSTR copy of a wide argument; null stays null. false when out of memory.
bool CopyWideArgument(const WCHAR* text, BStr* out);
// A narrow (_A) argument: UTF-8 text, or a nonzero value below 65536 naming a
// string resource of the library (100 is "VarelTSS"; others are empty).
bool CopyNarrowArgument(const char* text, BStr* out);
