// The serial functions are kernel32's; only the error texts are made here.
#include "serial.h"
#include "text.h"

std::string SystemErrorText(DWORD error) {
    WCHAR* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (n == 0 || !text) return "error " + std::to_string(error);
    WideStringView view(text, n);
    while (!view.empty() && (view.back() == L'\r' || view.back() == L'\n' || view.back() == L' '))
        view.remove_suffix(1);
    std::string utf8 = Utf16ToUtf8(view);
    LocalFree(text);
    return utf8;
}
