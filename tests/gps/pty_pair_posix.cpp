// Pseudo-terminals of the POSIX system.
#include "gps_test_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

const char* PtyPair::Unavailable() { return nullptr; }

PtyPair::PtyPair(int port) : port_(port) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        Hangup();
        return;
    }
    slavePath_ = ptsname(master_);
    setenv(("VARELTSS_COM" + std::to_string(port_)).c_str(), slavePath_.c_str(), 1);
}

PtyPair::~PtyPair() {
    Hangup();
    ForgetPort(port_);
}

void PtyPair::Write(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void PtyPair::Hangup() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

bool PtyPair::ReadLine(Line* line) const {
    termios seen{};
    if (tcgetattr(master_, &seen) != 0) return false;
    static const struct {
        speed_t code;
        uint32_t baud;
    } speeds[] = {{B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200},
                  {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    line->baud = 0;
    for (const auto& s : speeds)
        if (cfgetospeed(&seen) == s.code) line->baud = s.baud;
    line->twoStopBits = (seen.c_cflag & CSTOPB) != 0;
    return true;
}

void PtyPair::ForgetPort(int port) { unsetenv(("VARELTSS_COM" + std::to_string(port)).c_str()); }
