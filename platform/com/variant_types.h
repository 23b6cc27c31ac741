#pragma once

#include <varel/vts_platform.h>

// The VARTYPEs this library's VARIANT functions accept.
bool IsSupportedVarType(VARTYPE vt);
