// advapi32's registry under HKEY_CLASSES_ROOT, or HKEY_CURRENT_USER's
// Software\Classes for a registration of the current user.
#include "com/registry.h"

#include <windows.h>

namespace {

HKEY ClassesRoot(bool perUser, HKEY* opened) {
    *opened = nullptr;
    if (!perUser) return HKEY_CLASSES_ROOT;
    LONG error = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, opened, nullptr);
    return error == ERROR_SUCCESS ? *opened : nullptr;
}

class RootKey {
public:
    explicit RootKey(bool perUser) : root_(ClassesRoot(perUser, &opened_)) {}
    ~RootKey() {
        if (opened_) RegCloseKey(opened_);
    }
    RootKey(const RootKey&) = delete;
    RootKey& operator=(const RootKey&) = delete;
    HKEY Get() const { return root_; }

private:
    HKEY opened_;
    HKEY root_;
};

HRESULT FromError(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

} // namespace

HRESULT RegistryWrite(bool perUser, const std::vector<RegistryLine>& lines) {
    RootKey root(perUser);
    if (!root.Get()) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    for (const RegistryLine& line : lines) {
        HKEY key = nullptr;
        LONG error = RegCreateKeyExW(root.Get(), line.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                     &key, nullptr);
        if (error != ERROR_SUCCESS) return FromError(error);
        if (line.hasValue) {
            DWORD bytes = static_cast<DWORD>((line.value.size() + 1) * sizeof(WCHAR));
            error = RegSetValueExW(key, line.name.empty() ? nullptr : line.name.c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(line.value.c_str()), bytes);
        }
        RegCloseKey(key);
        if (error != ERROR_SUCCESS) return FromError(error);
    }
    return S_OK;
}

HRESULT RegistryRemoveTree(bool perUser, const WideString& key) {
    RootKey root(perUser);
    if (!root.Get()) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    LONG error = RegDeleteTreeW(root.Get(), key.c_str()); // the key itself too
    return error == ERROR_FILE_NOT_FOUND ? S_OK : FromError(error);
}

SystemThreadLocale::SystemThreadLocale() : saved_(GetThreadLocale()) {
    SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
}
SystemThreadLocale::~SystemThreadLocale() { SetThreadLocale(saved_); }
