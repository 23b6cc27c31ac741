// The library's own COM classes, as CoCreateInstance and CLSIDFromProgID find
// them. The module (api/) defines the table; CoCreateInstance goes through
// DllGetClassObject of the library itself.
#pragma once

#include <varel/vts_platform.h>

struct ComClassEntry {
    const CLSID* clsid;
    const OLECHAR* progId;                  // version-bound, "X.Y.1"
    const OLECHAR* versionIndependentProgId; // "X.Y"
    const OLECHAR* description;
    // Creates a new object and queries it for iid (the object's own reference
    // is dropped again, so on failure nothing stays alive).
    HRESULT (*createInstance)(REFIID iid, void** out);
};

// The table, ended by an entry with a null clsid.
extern const ComClassEntry kComClassTable[];

const ComClassEntry* FindComClass(REFCLSID clsid);
const ComClassEntry* FindComClassByProgId(LPCOLESTR progId);
