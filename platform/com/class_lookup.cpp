#include "class_table.h"

#include <string_view>

const ComClassEntry* FindComClass(REFCLSID clsid) {
    for (const ComClassEntry* entry = kComClassTable; entry->clsid; ++entry)
        if (*entry->clsid == clsid) return entry;
    return nullptr;
}

const ComClassEntry* FindComClassByProgId(LPCOLESTR progId) {
    if (!progId) return nullptr;
    std::u16string_view wanted(progId);
    for (const ComClassEntry* entry = kComClassTable; entry->clsid; ++entry)
        if (wanted == entry->progId || wanted == entry->versionIndependentProgId) return entry;
    return nullptr;
}
