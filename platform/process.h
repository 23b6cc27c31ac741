// Starting another program.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

// Starts the program at path (no arguments, its own folder as the working
// folder) and waits until it ends, whatever its exit code: S_OK. When it
// cannot be started, the system's reason as an HRESULT (0x80070002 for a
// missing file, 0x80070005 for one that may not be run, else E_FAIL).
HRESULT RunProgramAndWait(const WideString& path);
