// The vts tool's subcommands register themselves by name.
#pragma once

#include <string>
#include <vector>

struct Subcommand {
    const char* name;
    const char* usage;   // arguments, as shown by --help
    const char* summary; // one line
    int (*run)(const std::vector<std::string>& args); // exit code
};

void RegisterSubcommand(const Subcommand& command);

struct SubcommandRegistrar {
    explicit SubcommandRegistrar(const Subcommand& command) { RegisterSubcommand(command); }
};
#define VTS_SUBCOMMAND(id, name, usage, summary, fn) \
    static const SubcommandRegistrar id##_registrar({name, usage, summary, fn})

// Prints a line to stderr and returns exit code 2.
int UsageError(const char* message);
// Parses a 32-bit number written in decimal or with a 0x prefix.
bool ParseNumber32(const std::string& text, unsigned long long limit, unsigned long long* value);
