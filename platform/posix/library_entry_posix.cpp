// A shared object's constructor and destructor stand in for DllMain's
// process attach and detach.
#include "library_entry.h"

__attribute__((constructor)) static void LibraryLoaded() { LibraryEntry(DLL_PROCESS_ATTACH); }
__attribute__((destructor)) static void LibraryUnloaded() { LibraryEntry(DLL_PROCESS_DETACH); }
