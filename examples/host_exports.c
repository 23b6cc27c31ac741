#include "host_exports.h"

#include <stdio.h>

typedef void (*AnyFunction)(void);

static AnyFunction FindExport(HMODULE dll, const char* name, int* missing) {
    AnyFunction address = (AnyFunction)GetProcAddress(dll, name);
    if (!address) {
        printf("missing export: %s\n", name);
        ++*missing;
    }
    return address;
}

/* The sizeof operand is never evaluated, so nothing links to the export; it
 * holds the pointer's type to the header's declaration at compile time. */
#define FIND_EXPORT(field, name)                                    \
    do {                                                            \
        (void)sizeof(exports->field = &name);                       \
        exports->field = (name##_Fn)FindExport(dll, #name, &missing); \
    } while (0)

int FindHostExports(HMODULE dll, HostExports* exports) {
    int missing = 0;
    FIND_EXPORT(CreateServer, VTS_CreateServer);
    FIND_EXPORT(DestroyServer, VTS_DestroyServer);
    FIND_EXPORT(GetTestServer, VTS_GetTestServer);
    FIND_EXPORT(GetFaultMsg_Com_W, VTS_GetFaultMsg_Com_W);
    FIND_EXPORT(GetBaseDeviceInfo, VTS_GetBaseDeviceInfo);
    FIND_EXPORT(GetDAAM, VTS_GetDAAM);
    FIND_EXPORT(GetCalcEngine, VTS_GetCalcEngine);
    FIND_EXPORT(LinkDevice_A, VTS_LinkDevice_A);
    FIND_EXPORT(AskIoState, VTS_AskIoState);
    FIND_EXPORT(GetClassObject, DllGetClassObject);
    return missing;
}
