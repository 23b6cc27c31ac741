// CNamedData: the GenericData document class.
#pragma once

#include <varel/vts_gdata.h>

// The class table's creator: a new empty document queried for iid.
HRESULT CreateGenericData(REFIID iid, void** out);
