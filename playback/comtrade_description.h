// The description document of a recording, as the playback test hands it to
// the host: what the configuration says and, once the data file is read, each
// analog channel's extremes and where the resampled frames are.
#pragma once

#include <varel/vts_gdata.h>

#include "comtrade_parser.h"

// The data file of a configuration: its path with the extension ".dat"
// (".DAT" beside an upper-case extension); a ".cff" file is its own.
WideString ComtradeDataPath(const WideString& cfgPath);

// OpenCfgFile on cfgPath, then a new document under *document (the caller
// releases it), then ParseDatFile on the data file at requestedRate. Returns
// OpenCfgFile's failure (no document) or ParseDatFile's result; the extremes
// and "mapping_memory" are added only when the data file was read.
HRESULT DescribeComtradeRecording(CComtradeParser* parser, const WideString& cfgPath, float requestedRate,
                                  IGenericData** document);
