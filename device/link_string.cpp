#include "device/link_string.h"

namespace {

// The digits at text[at...] as a number (0 when none); `at` moves past them.
uint32_t DigitRun(WideStringView text, size_t& at) {
    uint64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = value < 0x100000000ull ? value * 10 + (text[at] - '0') : value;
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

// Where the value of key begins (blanks after it skipped), or npos.
size_t ValueOf(WideStringView text, WideStringView key) {
    size_t at = text.find(key);
    if (at == WideStringView::npos) return at;
    at += key.size();
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    return at;
}

// Up to four numbers, most significant first, each after the next '.'.
bool Address(WideStringView text, WideStringView key, uint32_t* address) {
    size_t at = ValueOf(text, key);
    if (at == WideStringView::npos) return true;
    uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        uint32_t byte = DigitRun(text, at);
        if (byte > 255) return false;
        value |= byte << (24 - 8 * part);
        at = text.find('.', at);
        if (at == WideStringView::npos) break;
        ++at;
    }
    *address = value;
    return true;
}

} // namespace

bool LinkPort(WideStringView text, WideStringView key, uint32_t* port) {
    size_t at = ValueOf(text, key);
    if (at == WideStringView::npos) return true;
    uint32_t value = DigitRun(text, at);
    if (value > 0xFFFF) return false;
    *port = value;
    return true;
}

bool ParseLinkString(WideStringView text, LinkAddresses* out) {
    return Address(text, OLESTR("PC-IP:"), &out->pcIp) && LinkPort(text, OLESTR("PC-PORT:"), &out->pcPort) &&
           Address(text, OLESTR("DEV-IP:"), &out->devIp) &&
           LinkPort(text, OLESTR("DEV-PORT:"), &out->devPort);
}
