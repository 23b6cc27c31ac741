// The six GPS receiver parameters, their text form (VTS_QueryGPSTime) and
// their document form (the "GPSParams" node).
#pragma once

#include <varel/vts_gdata.h>

#include "text.h"

#include <cstdint>

struct GpsParams {
    int32_t GpsPos = 1; // 0 or 1: the tester reads the receiver; 2: a serial port of the PC
    int32_t BaudRate = 9600;
    int32_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t StopBits = 1; // 0 one and a half, 1 one, 2 two
    int32_t DataBits = 8; // 5 to 8
    int32_t nComNo = 1;   // port "COM<nComNo>"
};

// Where a parameter text is malformed; offset is in characters.
struct GpsTextStatus {
    enum Reason { Ok, EmptyItem, MissingEquals, MissingSemicolon } reason = Ok;
    size_t offset = 0;
};

// "GPSPOS=2;COM=1;BAUDRATE=9600;PARITY=NO;STOPBITS=1;DATABITS=8;": every
// item ends with ";" and holds "="; keys not named are 0. Values are
// decimal (leading digits, saturated to 32 bits); PARITY takes the words NO,
// ODD, EVEN, a later match winning. On a malformed text *params is untouched.
GpsTextStatus ParseGpsParamText(WideStringView text, GpsParams* params);

// A new document whose node "GPSParams" (value "VarelStruct_GPS") holds the six values.
HRESULT WriteGpsParamsDocument(const GpsParams& params, IGenericData** document);
// The six values under the document's "GPSParams" node, each left as it is
// when missing or not an integer; false when object is no document with that node.
bool ReadGpsParamsDocument(IUnknown* object, GpsParams* params);
