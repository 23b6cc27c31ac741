#include "class_table.h"
#include "text.h"

#include <string_view>

const ComClassEntry* FindComClass(REFCLSID clsid) {
    for (const ComClassEntry* entry = kComClassTable; entry->clsid; ++entry)
        if (*entry->clsid == clsid) return entry;
    return nullptr;
}

const ComClassEntry* FindComClassByProgId(LPCOLESTR progId) {
    if (!progId) return nullptr;
    WideStringView wanted(progId);
    for (const ComClassEntry* entry = kComClassTable; entry->clsid; ++entry)
        if (wanted == entry->progId || wanted == entry->versionIndependentProgId) return entry;
    return nullptr;
}
