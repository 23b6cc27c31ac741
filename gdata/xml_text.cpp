#include "xml_text.h"

#include "text.h"

BSTR Utf8ToBstr(std::string_view text) {
    // ASCII, the common case of names and numbers, widens unit by unit.
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    if (i == text.size()) {
        BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
        if (out)
            for (size_t k = 0; k < text.size(); ++k) out[k] = static_cast<OLECHAR>(text[k]);
        return out;
    }
    WideString wide = Utf8ToUtf16(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

void AppendUtf8(WideStringView text, std::string* out) {
    size_t i = 0;
    while (i < text.size() && text[i] < 0x80) ++i;
    if (i == text.size()) {
        out->append(text.begin(), text.end());
        return;
    }
    out->append(Utf16ToUtf8(text));
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        uint32_t code;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[k] & 0x3F);
        }
        if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        p += extra + 1;
    }
    return true;
}
