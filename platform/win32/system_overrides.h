// Included ahead of every source of the Windows build. The system's headers
// come first; then three system names are bound to the backend's versions:
//  - CoCreateInstance and CLSIDFromProgID ask ole32 first and fall back to the
//    library's own class table, so its classes work without registration;
//  - MessageBoxW goes to the handler set with VTS_SetMessageBoxHandler when
//    there is one, else to user32's.
#pragma once

#ifdef __cplusplus
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

// The system's headers take the source as const; mingw's do not.
inline HRESULT VariantCopy(VARIANTARG* target, const VARIANTARG* source) {
    return VariantCopy(target, const_cast<VARIANTARG*>(source));
}
inline HRESULT VariantChangeType(VARIANTARG* target, const VARIANTARG* source, USHORT flags, VARTYPE type) {
    return VariantChangeType(target, const_cast<VARIANTARG*>(source), flags, type);
}

HRESULT VtsCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, LPVOID* object);
HRESULT VtsCLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
int VtsMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

#ifndef VTS_SYSTEM_NAMES_UNBOUND
#define CoCreateInstance VtsCoCreateInstance
#define CLSIDFromProgID VtsCLSIDFromProgID
#undef MessageBoxW
#define MessageBoxW VtsMessageBoxW
#endif
#endif
