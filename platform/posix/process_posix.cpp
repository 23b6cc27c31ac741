// Programs started with posix_spawn and waited for with waitpid.
#include "process.h"

#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

HRESULT RunProgramAndWait(const WideString& path) {
    const std::string file = Utf16ToUtf8(path);
    const std::string folder = file.substr(0, file.find_last_of('/') + 1);
    // The child changes to the program's folder itself: posix_spawn has no
    // working-folder attribute, so the shell starts the program there.
    const char* argv[] = {
        "/bin/sh",    "-c",   "cd \"$1\" && exec \"$2\"", "sh", folder.empty() ? "." : folder.c_str(),
        file.c_str(), nullptr};
    if (access(file.c_str(), F_OK) != 0) return static_cast<HRESULT>(0x80070002);
    if (access(file.c_str(), X_OK) != 0) return E_ACCESSDENIED;
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return E_FAIL;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return S_OK;
}
