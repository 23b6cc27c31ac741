// Programs started with CreateProcess and waited for on their handle.
#include "process.h"

#include <windows.h>

HRESULT RunProgramAndWait(const WideString& path) {
    const size_t cut = path.find_last_of(L'\\');
    const WideString folder = cut == WideString::npos ? WideString() : path.substr(0, cut + 1);
    WideString commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? static_cast<HRESULT>(0x80070002)
               : error == ERROR_ACCESS_DENIED ? E_ACCESSDENIED
                                              : E_FAIL;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return S_OK;
}
