/* The platform vocabulary a host program shares with the library.
 *
 * On Windows these are the system's own types and functions (windows.h,
 * oleauto.h). On Linux the library supplies them under the same names and
 * with the same layout and rules, so host code reads the same on both:
 * 32-bit LONG/ULONG/DWORD, UTF-16 OLECHAR, length-prefixed BSTR, VARIANT,
 * IUnknown/IDispatch in their slot order, and the few functions a host calls.
 * This is the one public header that looks at the platform. On Windows the
 * public headers compile as C17 as well as C++; on Linux they are C++ only,
 * since the stand-ins are C++ (interfaces with virtual functions, GUIDs
 * passed by reference). */
#ifndef VAREL_VTS_PLATFORM_H
#define VAREL_VTS_PLATFORM_H

#if defined(_WIN32)
#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#else
#include <assert.h> /* static_assert */
#include <stddef.h>
#include <stdint.h>
#endif
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
/* Not exported by the DLL: a Windows host has the system's own. */
#ifdef __cplusplus
#define VTS_PLATFORM_API extern "C"
#else
#define VTS_PLATFORM_API extern
#endif
#else
#include <cstddef>
#include <cstdint>

#define VTS_PLATFORM_API extern "C" __attribute__((visibility("default")))
#define STDMETHODCALLTYPE
#define WINAPI
#define __cdecl

typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef uint8_t BYTE;
typedef char CHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef float FLOAT;
typedef double DOUBLE;
typedef void* PVOID;
typedef void* LPVOID;
typedef DWORD LCID;
typedef LONG DISPID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef char16_t WCHAR;
typedef char16_t OLECHAR;
/* A wide literal, as Windows spells it: OLESTR("text"). */
#define OLESTR(str) u##str
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR; /* data pointer; a 32-bit byte length precedes it */
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* HANDLE;
typedef struct HWND__* HWND;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    const uint8_t* x = reinterpret_cast<const uint8_t*>(&a);
    const uint8_t* y = reinterpret_cast<const uint8_t*>(&b);
    for (int i = 0; i < 16; ++i)
        if (x[i] != y[i]) return false;
    return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
#define IsEqualIID IsEqualGUID
#define IsEqualCLSID IsEqualGUID

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

/* Standard result codes (the library's own family is in vts_errors.h). */
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_ABORT ((HRESULT)0x80004004)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_ACCESSDENIED ((HRESULT)0x80070005)
#define E_HANDLE ((HRESULT)0x80070006)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
/* OLE Automation */
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000E)
/* COM runtime */
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000
};

/* VariantChangeType flags */
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02

struct IUnknown;
struct IDispatch;
struct ITypeInfo; /* never handed out by this library */

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        PVOID byref;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } brecVal;
    };
};
typedef VARIANT VARIANTARG;
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*), "VARIANT layout as on Windows");

#define V_VT(v) ((v)->vt)
#define V_I1(v) ((v)->cVal)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_I8(v) ((v)->llVal)
#define V_UI1(v) ((v)->bVal)
#define V_UI2(v) ((v)->uiVal)
#define V_UI4(v) ((v)->ulVal)
#define V_UI8(v) ((v)->ullVal)
#define V_INT(v) ((v)->intVal)
#define V_UINT(v) ((v)->uintVal)
#define V_R4(v) ((v)->fltVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_ERROR(v) ((v)->scode)

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

#define DISPID_VALUE 0
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                    LCID lcid, DISPID* ids) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                             DISPPARAMS* params, VARIANT* result,
                                             EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                                     void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

/* The system's own interface ids. */
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

/* BSTR: every string made here must be freed with SysFreeString. */
VTS_PLATFORM_API BSTR SysAllocString(const OLECHAR* text);
VTS_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
VTS_PLATFORM_API BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength);
VTS_PLATFORM_API INT SysReAllocString(BSTR* target, const OLECHAR* text);
VTS_PLATFORM_API INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
VTS_PLATFORM_API void SysFreeString(BSTR text);
VTS_PLATFORM_API UINT SysStringLen(BSTR text);     /* characters; 0 for null */
VTS_PLATFORM_API UINT SysStringByteLen(BSTR text); /* bytes; 0 for null */

/* VARIANT, with OLE Automation's conversion rules ("." is the decimal point). */
VTS_PLATFORM_API void VariantInit(VARIANT* value);
VTS_PLATFORM_API HRESULT VariantClear(VARIANT* value);
VTS_PLATFORM_API HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
VTS_PLATFORM_API HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags,
                                           VARTYPE type);

/* COM runtime: the library's own classes are served from its class table. */
VTS_PLATFORM_API HRESULT CoInitialize(LPVOID reserved);
VTS_PLATFORM_API HRESULT CoInitializeEx(LPVOID reserved, DWORD model);
VTS_PLATFORM_API void CoUninitialize(void);
VTS_PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context,
                                          REFIID riid, LPVOID* object);
VTS_PLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

/* Named shared memory, as Windows keeps it in the page file: a host fills the
 * blocks some tests read (the power swing test's "VAREL_OSC_TEST_MAPPING")
 * the same way on both systems. file must be INVALID_HANDLE_VALUE and the
 * block named; protection and access are always read and write. A block
 * lives while a handle or a view of it is open; a second create of a name
 * opens the block and sets ERROR_ALREADY_EXISTS for GetLastError. On Linux
 * the block is POSIX shared memory "/" + its name, and the test modules
 * also find such a block that a host made with shm_open itself. */
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define PAGE_READWRITE 0x04
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
#define ERROR_ALREADY_EXISTS 183
VTS_PLATFORM_API HANDLE CreateFileMappingW(HANDLE file, void* security, DWORD protect,
                                           DWORD sizeHigh, DWORD sizeLow, LPCWSTR name);
VTS_PLATFORM_API HANDLE OpenFileMappingW(DWORD access, BOOL inherit, LPCWSTR name);
/* bytes 0: from the offset to the block's end; null beyond the block. */
VTS_PLATFORM_API LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh,
                                      DWORD offsetLow, size_t bytes);
VTS_PLATFORM_API BOOL UnmapViewOfFile(const void* view);
/* Closes a mapping (or any other handle of the library's). */
VTS_PLATFORM_API BOOL CloseHandle(HANDLE handle);
VTS_PLATFORM_API DWORD GetLastError(void);
#endif /* !_WIN32 */

/* Host windows. A Linux host has no window system in common with the library,
 * so it registers a window procedure and receives an HWND for it; the library
 * sends notifications to that HWND as it would to a real window: one message
 * at a time per window, the sender waiting until the procedure returns. */
typedef intptr_t (*VTS_WindowProc)(void* context, HWND window, uint32_t message,
                                   uintptr_t wParam, intptr_t lParam);
/* title may be null; returns null when out of memory. */
VTS_PLATFORM_API HWND VTS_CreateHostWindow(const WCHAR* title, VTS_WindowProc proc,
                                           void* context);
/* Waits for a delivery in progress on another thread; afterwards the handle
 * is dead and messages sent to it are dropped. */
VTS_PLATFORM_API void VTS_DestroyHostWindow(HWND window);

/* Where message boxes go (UTF-8 text and caption; the return value is the
 * button pressed, IDOK 1). Without a handler they are the system's own
 * message boxes on Windows and are written to stderr elsewhere. A null
 * handler restores that. */
typedef int (*VTS_MessageBoxHandler)(void* context, const char* text, const char* caption);
VTS_PLATFORM_API void VTS_SetMessageBoxHandler(VTS_MessageBoxHandler handler, void* context);

/* Modal dialogs. A Linux host has no window system in common with the
 * library, so a dialog goes to a handler the host installs: it receives the
 * open dialog and drives its controls by their ids the way a user would
 * (typing into a field, moving the focus, picking a list entry, clicking).
 * The dialog ends when the handler clicks a button that ends it, or as closed
 * (IDCANCEL 2) when the handler returns. Without a handler a dialog ends at
 * once as closed, nothing changed, on Linux; on Windows it is the system's own
 * modal dialog. A null handler restores that. A handler may be installed on
 * Windows too (tests do): the dialog then goes to it instead. */
typedef struct VTS_Dialog VTS_Dialog;
typedef void (*VTS_DialogHandler)(void* context, VTS_Dialog* dialog);
VTS_PLATFORM_API void VTS_SetDialogHandler(VTS_DialogHandler handler, void* context);

#define VTS_CONTROL_LABEL 0
#define VTS_CONTROL_GROUP 1
#define VTS_CONTROL_EDIT 2
#define VTS_CONTROL_LIST 3  /* drop-down list */
#define VTS_CONTROL_CHECK 4 /* check box */
#define VTS_CONTROL_BUTTON 5
#define VTS_CONTROL_TABS 6 /* tab control: its entries are the pages */
typedef struct VTS_DialogControlState {
    int32_t kind;    /* VTS_CONTROL_... */
    int32_t page;    /* index of the page it is on, -1 on the dialog itself */
    int32_t visible; /* its page is the one shown */
    int32_t enabled;
    int32_t selection; /* list or tabs: the entry chosen, -1 none; check box: 1 checked */
    int32_t entries;   /* list or tabs: how many */
} VTS_DialogControlState;

/* Results: S_OK; E_INVALIDARG for an id the dialog does not have, a control
 * of another kind or an entry it does not have; E_ACCESSDENIED for a control
 * a user cannot reach (disabled, or on a page not shown); E_HANDLE once the
 * dialog has ended. Id 0 is the dialog itself (its title). */
VTS_PLATFORM_API HRESULT VTS_DialogGetControl(VTS_Dialog* dialog, int32_t id, VTS_DialogControlState* state);
/* The control's text (a list's: its chosen entry's) as UTF-8 into buffer,
 * cut to size - 1 bytes; the whole text's length in bytes, -1 for no such id. */
VTS_PLATFORM_API int32_t VTS_DialogGetText(VTS_Dialog* dialog, int32_t id, char* buffer, int32_t size);
/* The text of entry index of a list or tabs, as VTS_DialogGetText. */
VTS_PLATFORM_API int32_t VTS_DialogGetEntry(VTS_Dialog* dialog, int32_t id, int32_t index, char* buffer,
                                            int32_t size);
/* Puts the focus into an edit field and replaces its text (UTF-8). */
VTS_PLATFORM_API HRESULT VTS_DialogType(VTS_Dialog* dialog, int32_t id, const char* text);
/* Moves the focus to a control; the field that had it takes its text. */
VTS_PLATFORM_API HRESULT VTS_DialogFocus(VTS_Dialog* dialog, int32_t id);
/* Picks entry index of a list (or a page by its tab), the focus moving to it. */
VTS_PLATFORM_API HRESULT VTS_DialogChoose(VTS_Dialog* dialog, int32_t id, int32_t index);
/* Clicks a button or check box, the focus moving to it. */
VTS_PLATFORM_API HRESULT VTS_DialogClick(VTS_Dialog* dialog, int32_t id);
/* The Enter key: the focused field takes its text; the dialog stays open. */
VTS_PLATFORM_API HRESULT VTS_DialogPressEnter(VTS_Dialog* dialog);

/* Where debug output goes (one UTF-8 line per call, as the library wrote it,
 * line ends included). Without a handler nothing is shown. */
typedef void (*VTS_DebugOutputHandler)(void* context, const char* line);
VTS_PLATFORM_API void VTS_SetDebugOutputHandler(VTS_DebugOutputHandler handler, void* context);

#endif
