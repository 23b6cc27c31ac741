#include "no_type_info.h"

#include "debug_output.h"

HRESULT NoTypeInfo(const char* method) {
    DebugPrintf("GenericData: IDispatch::%s needs the type library, which is not implemented yet\n", method);
    return E_NOTIMPL;
}
