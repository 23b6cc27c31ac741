#include "comtrade_single_file.h"

#include <cstring>
#include <string_view>

#include "comtrade_number.h"

namespace {

constexpr std::string_view kHead = "--- file type:";

bool SameIgnoringCase(const char* text, std::string_view word) {
    for (size_t i = 0; i < word.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        char w = word[i];
        if (w >= 'a' && w <= 'z') w = static_cast<char>(w - 'a' + 'A');
        if (c != w) return false;
    }
    return true;
}

// A head line at offset at: its type word follows "--- file type:".
bool IsHead(const char* text, size_t size, size_t at, std::string_view type, size_t* lineEnd) {
    if (size - at < kHead.size() || !SameIgnoringCase(text + at, kHead)) return false;
    size_t i = at + kHead.size();
    while (i < size && text[i] == ' ') ++i;
    if (size - i < type.size() || !SameIgnoringCase(text + i, type)) return false;
    const char* feed = static_cast<const char*>(std::memchr(text + i, '\n', size - i));
    *lineEnd = feed ? static_cast<size_t>(feed - text) + 1 : size;
    return true;
}

// The next head line at or after from (a line start), or size.
size_t NextHead(const char* text, size_t size, size_t from, std::string_view type, size_t* lineEnd) {
    for (size_t at = from; at < size;) {
        if (IsHead(text, size, at, type, lineEnd)) return at;
        const char* feed = static_cast<const char*>(std::memchr(text + at, '\n', size - at));
        if (!feed) break;
        at = static_cast<size_t>(feed - text) + 1;
    }
    return size;
}

}  // namespace

bool CComtradeSingleFile::IsSingleFile(const unsigned char* data, size_t size) {
    size_t lineEnd;
    return size > 0 && IsHead(reinterpret_cast<const char*>(data), size, 0, "CFG", &lineEnd);
}

bool CComtradeSingleFile::FindConfiguration(const unsigned char* data, size_t size,
                                            ComtradeSection* section) {
    const char* text = reinterpret_cast<const char*>(data);
    size_t lineEnd;
    if (size == 0 || !IsHead(text, size, 0, "CFG", &lineEnd)) return false;
    size_t ignored;
    section->begin = lineEnd;
    section->end = NextHead(text, size, lineEnd, "", &ignored);
    return true;
}

bool CComtradeSingleFile::FindData(const unsigned char* data, size_t size, ComtradeSection* section) {
    const char* text = reinterpret_cast<const char*>(data);
    size_t lineEnd;
    size_t head = NextHead(text, size, 0, "DAT", &lineEnd);
    if (head == size) return false;
    section->begin = lineEnd;
    section->end = size;
    // "DAT BINARY: 4214 ---": the byte count after the second ":".
    std::string_view line(text + head + kHead.size(), lineEnd - head - kHead.size());
    size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
        int32_t bytes = -1;
        comtrade::ParseInt(line.data() + colon + 1, line.data() + line.size(), &bytes);
        if (bytes >= 0 && static_cast<size_t>(bytes) < size - lineEnd)
            section->end = lineEnd + static_cast<size_t>(bytes);
    }
    return true;
}
