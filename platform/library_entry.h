// The library's entry point (DllMain on Windows). The backend calls it at
// load (process attach), at unload (process detach), and as each thread made
// by CreateThread starts and ends; the library defines it.
#pragma once

#include <varel/vts_platform.h>

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

void LibraryEntry(DWORD reason);
