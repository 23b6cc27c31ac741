// DllMain hands every notification to the library's entry. Linked into a
// program instead of the DLL (the tests, the tools), DllMain is never called:
// process attach and detach then come from a static object.
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
} // namespace
