// DllMain hands every notification to the library's entry. Linked into a
// program instead of the DLL (the tests, the tools), DllMain is never called:
// process attach and detach then come from a static object, and each
// thread's start and end from a TLS callback, which the loader calls for a
// program's threads as it calls DllMain for a DLL's.
#include "library_entry.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    LibraryEntry(reason);
    return TRUE;
}

namespace {
bool LinkedIntoProgram() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&DllMain), &self);
    return self == GetModuleHandleW(nullptr);
}

struct ProgramEntry {
    const bool program = LinkedIntoProgram();
    ProgramEntry() {
        if (program) LibraryEntry(DLL_PROCESS_ATTACH);
    }
    ~ProgramEntry() {
        if (program) LibraryEntry(DLL_PROCESS_DETACH);
    }
} g_programEntry;

// Called in the DLL too, where DllMain has the threads already; before the
// static object is made, program reads false.
void NTAPI ProgramThreadEntry(PVOID, DWORD reason, PVOID) {
    if (g_programEntry.program && (reason == DLL_THREAD_ATTACH || reason == DLL_THREAD_DETACH))
        LibraryEntry(reason);
}

// The loader walks the callbacks between .CRT$XLA and .CRT$XLZ.
__attribute__((section(".CRT$XLV"), used)) PIMAGE_TLS_CALLBACK g_programThreadEntry = ProgramThreadEntry;
} // namespace
