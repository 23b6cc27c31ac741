// The block handed to the host (BaseDeviceInfo), with its values before any
// link and as rebuilt from the tester's identity block.
#pragma once

#include "calib/dev_base_info.h"

#include <varel/vts.h>

BaseDeviceInfo DefaultBaseDeviceInfo();
// The block handed to the host, rebuilt from the identity after a link.
BaseDeviceInfo BaseDeviceInfoFrom(const DEVBASEINFO& info);
