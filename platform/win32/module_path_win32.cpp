// The module holding this code (the DLL, or the program it is linked into).
#include "module_path.h"

#include <windows.h>

const WCHAR kPathSeparator = L'\\';

WideString LibraryFilePath() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&LibraryFilePath), &self))
        return L"";
    WideString path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2); // truncated
    }
}

WideString ShortPathName(const WideString& path) {
    DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return path;
    WideString shortPath(n, L'\0');
    n = GetShortPathNameW(path.c_str(), shortPath.data(), n);
    if (n == 0 || n >= shortPath.size()) return path;
    shortPath.resize(n);
    return shortPath;
}
