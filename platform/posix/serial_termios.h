// How the line settings of a DCB become termios flags and back.
#pragma once

#include "serial.h"

#include <termios.h>

// Applies baud, parity, data bits and stop bits of dcb to settings, keeping
// the raw-mode flags; 0, or ERROR_INVALID_PARAMETER for settings the line
// cannot take (settings is then unchanged).
DWORD ApplyDcbToTermios(const DCB& dcb, termios* settings);
// The baud, parity, data bits and stop bits that settings hold.
void ReadDcbFromTermios(const termios& settings, DCB* dcb);
