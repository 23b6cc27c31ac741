// The process's system configuration: defaults, the file "SysCfgData.xml"
// and the two forms of the host's configuration document.
#pragma once

#include "config/varel_config_struct.h"
#include "text.h"

#include <varel/vts_gdata.h>

// The file's name; it lies in the folder that holds the library.
constexpr const WCHAR* kSysCfgFileName = OLESTR("SysCfgData.xml");

class CVarelSystemConfig : public CVarelConfig_Struct {
public:
    // The defaults: every slot an internal amplifier, 220 kV / 100 V voltage
    // and 1000 A / 1 A current transformers, 50 Hz, IRIG-B time.
    CVarelSystemConfig();

    // Reads "SysCfgData.xml" at path; every failure shows the "提示" message
    // box and leaves the values read so far. E_FAIL for a missing or
    // malformed file or one without "VarelSystemSet".
    HRESULT LoadFile(const WideString& path);
    // Writes the file at path, clearing its read-only attribute first; a
    // failure shows the "提示" message box.
    HRESULT SaveFile(const WideString& path);

    // The layout of "SysCfgData.xml" in a host document (root child
    // "VarelSystemSet"): read what is there (E_FAIL without the node) or write it all.
    HRESULT LoadFromDocument(IGenericData* document);
    HRESULT SaveToDocument(IGenericData* document);
    // The "VarelConfig" form of a host document: values present are read
    // into this object, missing ones leave it as it is.
    HRESULT ReadVarelConfigInfo(IGenericData* document);

    // VTS_SetVarelConfigInfo: the document (null: nothing) read over the
    // defaults replaces the channel entries and settings, then the file is
    // saved. Always 0.
    HRESULT SetVarelConfigInfo(IGenericData* document, const WideString& path);
    // VTS_DoConfigDataExchange: direction 0 loads from the document and saves
    // the file (the load's result); any other writes into the document.
    HRESULT DoConfigDataExchange(IGenericData* document, int32_t direction, const WideString& path);

private:
    // The one routine for both directions over the "VarelSystemSet" node.
    HRESULT Exchange(IGenericDataNode* set, bool storing);
};
