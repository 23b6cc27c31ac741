/* The exports the C host example calls, found by name in the loaded DLL. */
#ifndef HOST_EXPORTS_H
#define HOST_EXPORTS_H

#include <varel/vts.h>

/* Their types, as vts.h declares them; only the link and the I/O-state
 * request need a tester. */
typedef HRESULT(VTS_CALL* VTS_CreateServer_Fn)(HWND hostWindow);
typedef HRESULT(VTS_CALL* VTS_DestroyServer_Fn)(void);
typedef HRESULT(VTS_CALL* VTS_GetTestServer_Fn)(void);
typedef void(VTS_CALL* VTS_GetFaultMsg_Com_W_Fn)(HRESULT code, WCHAR* buffer, int32_t length);
typedef const BaseDeviceInfo*(VTS_CALL* VTS_GetBaseDeviceInfo_Fn)(void);
typedef float(VTS_CALL* VTS_GetDAAM_Fn)(void);
typedef HRESULT(VTS_CALL* VTS_GetCalcEngine_Fn)(ICalcEngine** engine);
typedef HRESULT(VTS_CALL* VTS_LinkDevice_A_Fn)(const char* link);
typedef HRESULT(VTS_CALL* VTS_AskIoState_Fn)(void);
typedef HRESULT(STDMETHODCALLTYPE* DllGetClassObject_Fn)(REFCLSID clsid, REFIID riid, LPVOID* object);

typedef struct HostExports {
    VTS_CreateServer_Fn CreateServer;
    VTS_DestroyServer_Fn DestroyServer;
    VTS_GetTestServer_Fn GetTestServer;
    VTS_GetFaultMsg_Com_W_Fn GetFaultMsg_Com_W;
    VTS_GetBaseDeviceInfo_Fn GetBaseDeviceInfo;
    VTS_GetDAAM_Fn GetDAAM;
    VTS_GetCalcEngine_Fn GetCalcEngine;
    VTS_LinkDevice_A_Fn LinkDevice_A;
    VTS_AskIoState_Fn AskIoState;
    DllGetClassObject_Fn GetClassObject;
} HostExports;

/* Fills every entry, null where the DLL lacks the name; prints each missing
 * name and returns how many are missing (0: all found). */
int FindHostExports(HMODULE dll, HostExports* exports);

#endif
