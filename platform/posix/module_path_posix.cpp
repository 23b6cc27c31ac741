// The library's path through dladdr, and ini files read by hand.
#include "module_path.h"

#include "text.h"

#include <cctype>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <string>

const WCHAR kPathSeparator = OLESTR('/');

WideString LibraryFilePath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&LibraryFilePath), &info) || !info.dli_fname) return OLESTR("");
    char* resolved = realpath(info.dli_fname, nullptr);
    WideString path = Utf8ToUtf16(resolved ? resolved : info.dli_fname);
    std::free(resolved);
    return path;
}

WideString ShortPathName(const WideString& path) { return path; }

namespace {
std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
} // namespace

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR file) {
    if (!section || !key || !file) return static_cast<UINT>(defaultValue);
    std::ifstream in(Utf16ToUtf8(file));
    std::string wantedSection = Utf16ToUtf8(section), wantedKey = Utf16ToUtf8(key);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            inSection = close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), wantedSection);
            continue;
        }
        size_t eq = line.find('=');
        if (!inSection || eq == std::string::npos || !SameName(Trim(line.substr(0, eq)), wantedKey))
            continue;
        std::string value = Trim(line.substr(eq + 1));
        // As the system does: an optional sign and the leading digits; none gives 0.
        return static_cast<UINT>(std::strtol(value.c_str(), nullptr, 10));
    }
    return static_cast<UINT>(defaultValue);
}
