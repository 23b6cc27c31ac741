#include "server.h"

#include "library_entry.h"
#include "module_path.h"

VarelServer::VarelServer() { InitializeCriticalSection(&lock); }
VarelServer::~VarelServer() { DeleteCriticalSection(&lock); }

VarelServer& Server() {
    // Made on first use, so that the entry point may run before other statics.
    static VarelServer* server = new VarelServer;
    return *server;
}

namespace {
// The folder of the library file, in its short form where the system has one.
WideString ConfigFolderOf(const WideString& libraryPath) {
    WideString path = ShortPathName(libraryPath);
    size_t cut = path.find_last_of(kPathSeparator);
    return cut == WideString::npos ? WideString() : path.substr(0, cut + 1);
}
} // namespace

void LibraryEntry(DWORD reason) {
    if (reason == DLL_PROCESS_DETACH) return;
    VarelServer& server = Server();
    if (server.initialised) return;
    server.configFolder = ConfigFolderOf(LibraryFilePath());
    server.initialised = 1;
}
