// Windows has no pseudo-terminals: the tests that drive a receiver through
// one are skipped there with this reason.
#include "gps_test_support.h"

#include <windows.h>

const char* PtyPair::Unavailable() {
    return "the serial-port tests drive a pseudo-terminal, which Windows does not have; they run on Linux";
}

PtyPair::PtyPair(int port) : port_(port) {}
PtyPair::~PtyPair() = default;

void PtyPair::Write(const std::string&) { ADD_FAILURE() << Unavailable(); }
void PtyPair::Hangup() {}
bool PtyPair::ReadLine(Line*) const { return false; }

bool PortHasNoDevice(int port) {
    std::string name = "\\\\.\\COM" + std::to_string(port);
    HANDLE device = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return true;
    CloseHandle(device);
    return false;
}
