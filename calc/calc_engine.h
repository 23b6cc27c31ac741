// CCalcEngine: the calculation engine class.
#pragma once

#include <varel/vts_calc.h>

// The class table's creator: a new engine queried for iid.
HRESULT CreateCalcEngine(REFIID iid, void** out);
