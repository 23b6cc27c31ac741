// vts: the command-line face of the library.
#include "subcommand.h"

#include "socket.h"

#include <varel/vts.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
std::vector<Subcommand>& Commands() {
    static std::vector<Subcommand> commands;
    return commands;
}

void PrintHelp() {
    std::printf("usage: vts [--log] COMMAND [ARGS]\n\n"
                "  --log   show the library's debug output on stderr\n\n"
                "commands:\n");
    auto commands = Commands();
    std::sort(commands.begin(), commands.end(),
              [](const Subcommand& a, const Subcommand& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const Subcommand& c : commands) std::printf("  %s %s\n      %s\n", c.name, c.usage, c.summary);
}

void LogToStderr(void*, const char* line) { std::fputs(line, stderr); }
} // namespace

void RegisterSubcommand(const Subcommand& command) { Commands().push_back(command); }

int UsageError(const char* message) {
    std::fprintf(stderr, "vts: %s (see vts --help)\n", message);
    return 2;
}

bool ParseNumber32(const std::string& text, unsigned long long limit, unsigned long long* value) {
    if (text.empty() || text[0] == '-') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno || *end || v > limit) return false;
    *value = v;
    return true;
}

int main(int argc, char** argv) {
    // A host starts the socket layer before the library opens a socket.
    WSADATA sockets;
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) {
        std::fprintf(stderr, "vts: the socket layer did not start\n");
        return 1;
    }
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--log") {
        VTS_SetDebugOutputHandler(LogToStderr, nullptr);
        args.erase(args.begin());
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return args.empty() ? 2 : 0;
    }
    for (const Subcommand& c : Commands()) {
        if (args[0] != c.name) continue;
        args.erase(args.begin());
        return c.run(args);
    }
    return UsageError(("unknown command '" + args[0] + "'").c_str());
}
