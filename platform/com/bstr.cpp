// BSTR: a 32-bit byte length, then the UTF-16 text and a NUL character.
#include "live_strings.h"

#include <varel/vts_platform.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
std::atomic<int64_t> g_liveBstrs{0};

BSTR Allocate(const void* bytes, UINT byteLength) {
    if (byteLength > 0x7FFFFFF0u) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(uint32_t) + byteLength + 2 + 1));
    if (!block) return nullptr;
    uint32_t length = byteLength;
    std::memcpy(block, &length, sizeof length);
    unsigned char* text = block + sizeof(uint32_t);
    if (bytes)
        std::memcpy(text, bytes, byteLength);
    else
        std::memset(text, 0, byteLength);
    std::memset(text + byteLength, 0, 3); // NUL character, whatever the parity of the length
    ++g_liveBstrs;
    return reinterpret_cast<BSTR>(text);
}

unsigned char* Block(BSTR text) { return reinterpret_cast<unsigned char*>(text) - sizeof(uint32_t); }
} // namespace

int64_t LiveBstrCount() { return g_liveBstrs.load(); }

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    UINT n = 0;
    while (text[n]) ++n;
    return SysAllocStringLen(text, n);
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > 0x3FFFFFF0u) return nullptr;
    return Allocate(text, length * 2);
}

BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength) { return Allocate(bytes, byteLength); }

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
    if (!target) return FALSE;
    BSTR fresh = SysAllocStringLen(text, length); // text may lie inside the old string
    if (!fresh) return FALSE;
    SysFreeString(*target);
    *target = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    UINT n = 0;
    if (text)
        while (text[n]) ++n;
    return SysReAllocStringLen(target, text, n);
}

void SysFreeString(BSTR text) {
    if (!text) return;
    --g_liveBstrs;
    std::free(Block(text));
}

UINT SysStringByteLen(BSTR text) {
    if (!text) return 0;
    uint32_t length;
    std::memcpy(&length, Block(text), sizeof length);
    return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / 2; }
