// The link string: "PC-IP:a.b.c.d;PC-PORT:n;DEV-IP:a.b.c.d;DEV-PORT:n", each
// key found anywhere in it, in any order, with any separator between.
#pragma once

#include "text.h"

#include <cstdint>

struct LinkAddresses {
    uint32_t pcIp = 0; // host byte order
    uint32_t pcPort = 2001;
    uint32_t devIp = 0; // host byte order
    uint32_t devPort = 2001;
};

// A key that is missing keeps its value in `out`; a key without digits after
// it (blanks skipped) reads as 0. False when a byte passes 255 or a port 65535.
bool ParseLinkString(WideStringView text, LinkAddresses* out);
// The port after key: 0 when missing; false above 65535.
bool LinkPort(WideStringView text, WideStringView key, uint32_t* port);
