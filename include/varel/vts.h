/* VarelTSS: the test server of a relay-protection test set.
 *
 * The one header a host program includes. It declares every exported
 * function (C linkage, cdecl on Windows), the notification record and codes
 * sent to the host window, the device information block, and the platform
 * vocabulary of vts_platform.h. All results are HRESULTs; the server's own
 * family is in vts_errors.h, and VTS_GetFaultMsg_Com turns any code into its
 * (Chinese) text. Strings: wide = NUL-terminated UTF-16, narrow (_A) = UTF-8.
 *
 * Life cycle: VTS_CreateServer(window) → VTS_LinkDevice(link) →
 * VTS_ActiveTest(progId) → VTS_BeginTest(document) … VTS_StopTest(0) →
 * VTS_DestroyServer(). The exports may be called from any thread; those that
 * talk to a device are serialised by one server lock and may block for the
 * device's answer time-outs. */
#ifndef VAREL_VTS_H
#define VAREL_VTS_H

#include "vts_errors.h"
#include "vts_platform.h"
#include "vts_gdata.h"
#include "vts_calc.h"

#if defined(_WIN32) && !defined(__cplusplus)
#define VTS_EXPORT extern
#elif defined(_WIN32)
#define VTS_EXPORT extern "C"
#else
#define VTS_EXPORT extern "C" __attribute__((visibility("default")))
#endif
#define VTS_CALL __cdecl

/* The window message number of every notification: WM_USER + 0x1000. */
#define VTS_WM_NOTIFY 0x1400u

/* Notification codes (wParam, and HostNotifyRecord.code). */
enum VTS_NotifyCode {
    VTS_NOTIFY_IO_STATE = 2,        /* 64-byte I/O state */
    VTS_NOTIFY_TEST_RESULT = 3,     /* the test's result as the tester sent it */
    VTS_NOTIFY_TEST_EVENT = 4,      /* test event, module-specific payload */
    VTS_NOTIFY_TEST_STOPPED = 6,    /* the tester ended the test */
    VTS_NOTIFY_VALUE = 7,           /* value1 = first word of the tester's message */
    VTS_NOTIFY_VALUES = 8,          /* value1, value2 = first two words */
    VTS_NOTIFY_EVENT = 9,           /* no data */
    VTS_NOTIFY_LINKED = 16,         /* value1 = 1, data = the 104-byte BaseDeviceInfo */
    VTS_NOTIFY_PROGRESS = 19,       /* kind 1, value1 = done, value2 = total */
    VTS_NOTIFY_TIME = 21,           /* 16-byte SYSTEMTIME-layout time record */
    VTS_NOTIFY_IO_STATE_EX = 22     /* 1024 bytes: 256 input states, 256 output states (16-bit) */
};

#ifndef __cplusplus
/* C names the types without "struct" or "enum", as C++ does. */
typedef enum VTS_NotifyCode VTS_NotifyCode;
typedef struct HostNotifyRecord HostNotifyRecord;
typedef struct BaseDeviceInfo BaseDeviceInfo;
#endif

/* The record whose address is the notification's lParam. It lives only while
 * the window procedure runs: copy what you keep. On 32-bit Windows it is 24
 * bytes; on 64-bit hosts data is 8 bytes wide and sits at offset 16, so the
 * record is 32 bytes (length at offset 24, then 4 bytes of padding). */
struct HostNotifyRecord {
    uint32_t code;     /* also the wParam */
    uint32_t kind;     /* 1 for progress and for notifications a test module sends itself, else 0 */
    int32_t value1;
    int32_t value2;
    const void* data;  /* may be null */
    uint32_t length;   /* data bytes */
};
static_assert(sizeof(HostNotifyRecord) == (sizeof(void*) == 4 ? 24 : 32),
              "HostNotifyRecord layout");

/* The tester's identity as handed to the host (104 bytes, little-endian). */
struct BaseDeviceInfo {
    uint32_t model;            /* hardware model; upper 16 bits = series (2 N, 3 R, 4 RW) */
    uint8_t identity[32];      /* the tester's identity text as it sends it */
    uint32_t word36;
    uint32_t capability;       /* capability word */
    uint32_t word44;
    uint32_t word48;
    uint32_t voltageChannels;  /* number of voltage outputs */
    uint32_t currentChannels;  /* number of current outputs */
    uint32_t word60;
    uint32_t word64;
    float value68;
    float value72;
    float value76;
    float dspVersion;          /* DSP program version */
    float value84;
    float value88;
    float value92;             /* 57.735 */
    float value96;             /* 0.0 */
    float value100;            /* 50.0 */
};
static_assert(sizeof(BaseDeviceInfo) == 104, "BaseDeviceInfo is 104 bytes");

/* Server life cycle */
VTS_EXPORT HRESULT VTS_CALL VTS_CreateServer(HWND hostWindow); /* 1 when already created */
VTS_EXPORT HRESULT VTS_CALL VTS_DestroyServer(void);           /* always 0 */

/* Linking: "PC-IP:a.b.c.d PC-PORT:n DEV-IP:a.b.c.d DEV-PORT:n" */
VTS_EXPORT HRESULT VTS_CALL VTS_LinkDevice(const WCHAR* link);
VTS_EXPORT HRESULT VTS_CALL VTS_LinkDevice_W(const WCHAR* link);
VTS_EXPORT HRESULT VTS_CALL VTS_LinkDevice_A(const char* link);

/* Test control */
VTS_EXPORT HRESULT VTS_CALL VTS_ActiveTest(const WCHAR* progId);
VTS_EXPORT HRESULT VTS_CALL VTS_ActiveTest_W(const WCHAR* progId);
VTS_EXPORT HRESULT VTS_CALL VTS_ActiveTest_A(const char* progId);
VTS_EXPORT HRESULT VTS_CALL VTS_BeginTest(IUnknown* params);
VTS_EXPORT HRESULT VTS_CALL VTS_StopTest(int32_t arg);
VTS_EXPORT HRESULT VTS_CALL VTS_SwitchTestPoint(IUnknown* params);
VTS_EXPORT HRESULT VTS_CALL VTS_Execute(int32_t command, VARIANT* value, int32_t arg);
VTS_EXPORT HRESULT VTS_CALL VTS_GetTestResult(IGenericData** result);
VTS_EXPORT HRESULT VTS_CALL VTS_GetTestServer(void); /* always E_NOINTERFACE */

/* Test parameter documents */
VTS_EXPORT HRESULT VTS_CALL VTS_InitTestParams(IGenericData* document, const WCHAR* progId);
VTS_EXPORT HRESULT VTS_CALL VTS_InitTestParams_W(IGenericData* document, const WCHAR* progId);
VTS_EXPORT HRESULT VTS_CALL VTS_InitTestParams_A(IGenericData* document, const char* progId);

/* Binary outputs and I/O state (answers arrive as notifications 2 and 22
 * before these return) */
VTS_EXPORT HRESULT VTS_CALL VTS_TransBoutState(const uint16_t* states, int32_t count);
VTS_EXPORT HRESULT VTS_CALL VTS_TransBoutState_Ex(const uint16_t* states, int32_t count);
VTS_EXPORT HRESULT VTS_CALL VTS_AskIoState(void);
VTS_EXPORT HRESULT VTS_CALL VTS_AskIoState_Ex(void);

/* Device information ("LINK", "DEVBASEINFO.TestSampRate") */
VTS_EXPORT HRESULT VTS_CALL VTS_GetDeviceInfo(const WCHAR* item, VARIANT* value);
VTS_EXPORT HRESULT VTS_CALL VTS_GetDeviceInfo_W(const WCHAR* item, VARIANT* value);
VTS_EXPORT HRESULT VTS_CALL VTS_GetDeviceInfo_A(const char* item, VARIANT* value);
VTS_EXPORT const BaseDeviceInfo* VTS_CALL VTS_GetBaseDeviceInfo(void);
VTS_EXPORT float VTS_CALL VTS_GetDAAM(void); /* 5.0 for an N-series tester, else 20.0 */

/* System configuration */
VTS_EXPORT const void* VTS_CALL VTS_GetCFGPTCT(void);    /* 512-byte channel configuration */
VTS_EXPORT const void* VTS_CALL VTS_GetSystemSet(void);  /* 288-byte system settings */
VTS_EXPORT HRESULT VTS_CALL VTS_SetVarelConfigInfo(IGenericData* document);
VTS_EXPORT HRESULT VTS_CALL VTS_DoConfigDataExchange(IGenericData* document, int32_t direction);
VTS_EXPORT HRESULT VTS_CALL VTS_OnSystemConfig(HWND owner);

/* GPS time */
VTS_EXPORT HRESULT VTS_CALL VTS_SetGPSTimeMode(int32_t mode);
VTS_EXPORT HRESULT VTS_CALL VTS_QueryGPSTime(const WCHAR* params);
VTS_EXPORT HRESULT VTS_CALL VTS_QueryGPSTime_W(const WCHAR* params);
VTS_EXPORT HRESULT VTS_CALL VTS_QueryGPSTime_A(const char* params);

/* Calculation engine */
VTS_EXPORT HRESULT VTS_CALL VTS_GetCalcEngine(ICalcEngine** engine);
VTS_EXPORT void VTS_CALL VTS_InitCalcParams(IGenericData* document, int32_t code);

/* COMTRADE recordings: the description document of a recording, as the
 * playback test gives it to the host (README "COMTRADE recordings"): what the
 * configuration says and, once the data file is read at the playback rate
 * asked for (0: a rate of the recording's own), each analog channel's
 * extremes and the resampled block. 0, or the reader's result: 1 (the
 * configuration cannot be opened) and 2 (it is no configuration) with no
 * document; 11, 12, 13, DISP_E_EXCEPTION (the data file) with the document of
 * the configuration alone. The caller releases *document. E_POINTER: null
 * document; E_INVALIDARG: null path. */
VTS_EXPORT HRESULT VTS_CALL VTS_DescribeComtrade(const WCHAR* cfgPath, float rate, IGenericData** document);

/* Message texts. The text is truncated to length - 1 characters (bytes for
 * _A, UTF-8) and NUL-terminated; buffer must not be null, length not 0. */
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh,
                                         WCHAR* buffer, int32_t length);
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_W(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh,
                                           WCHAR* buffer, int32_t length);
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_A(uint32_t model, uint32_t alarmLow, uint32_t alarmHigh,
                                           char* buffer, int32_t length);
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_Com(HRESULT code, WCHAR* buffer, int32_t length);
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_Com_W(HRESULT code, WCHAR* buffer, int32_t length);
VTS_EXPORT void VTS_CALL VTS_GetFaultMsg_Com_A(HRESULT code, char* buffer, int32_t length);

/* COM entry points (the platform's COM calling convention) */
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllCanUnloadNow(void);
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object);
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer(void);
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer(void);
VTS_EXPORT HRESULT STDMETHODCALLTYPE DllInstall(BOOL install, const WCHAR* commandLine);

#endif
