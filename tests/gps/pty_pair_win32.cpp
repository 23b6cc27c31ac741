// Windows has no pseudo-terminals: the tests that drive a receiver through
// one are skipped there with this reason.
#include "gps_test_support.h"

const char* PtyPair::Unavailable() {
    return "the serial-port tests drive a pseudo-terminal, which Windows does not have; they run on Linux";
}

PtyPair::PtyPair(int port) : port_(port) {}
PtyPair::~PtyPair() = default;

void PtyPair::Write(const std::string&) { ADD_FAILURE() << Unavailable(); }
void PtyPair::Hangup() {}
bool PtyPair::ReadLine(Line*) const { return false; }

void PtyPair::ForgetPort(int) {} // no overrides: COMn is the system's port
