#include "no_type_info.h"

#include "debug_output.h"

HRESULT NoTypeInfo(const char* method) { return NotImplemented("GenericData: IDispatch", method); }
