// Message boxes during tests: nobody is there to press a button, so each box
// is written to stderr and answered OK, on Windows as on Linux.
#pragma once

void WriteMessageBoxesToStderr();
