// A pseudo-terminal pair standing in for a GPS receiver on a serial port,
// and a listener that records the time records the receiver delivers.
#pragma once

#include "device/dev_msg_listener.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The master side is the receiver; the slave's path is the port's device,
// named to the library as COM<port> through VARELTSS_COM<port>.
class PtyPair {
public:
    // Why this system cannot give the tests a pseudo-terminal, or null.
    static const char* Unavailable();

    explicit PtyPair(int port);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    // Writes the text in one piece.
    void Write(const std::string& bytes);
    // Closes the master: the port's device goes away.
    void Hangup();
    int Master() const { return master_; }

    // What the library set the line to, as the master sees it.
    struct Line {
        uint32_t baud;
        bool twoStopBits;
    };
    bool ReadLine(Line* line) const;
    // Drops any device path named for COM<port>, so the port is the system's.
    static void ForgetPort(int port);

private:
    int master_ = -1;
    int port_;
    std::string slavePath_;
};

// True when COM<port> opens, exclusively as the library opens it (it is then
// closed again): nobody holds the port.
bool PortOpens(int port);
// Forgets any override for COM<port>; true when no device stands behind it.
bool PortHasNoDevice(int port);

// Skips the test where the system has no pseudo-terminals; fails it where one
// does not open.
#define REQUIRE_PTY(pty)                                                      \
    do {                                                                      \
        if (const char* why = PtyPair::Unavailable()) GTEST_SKIP() << why;    \
        ASSERT_TRUE((pty).Ok());                                              \
    } while (0)

struct TimeRecord {
    std::array<int32_t, 7> words; // valid, year, month, day, hour, minute, second
    uint16_t id;
    uint32_t length;
};

class RecordingListener : public CDevMsgListener {
public:
    HRESULT OnProgress(uint32_t, uint32_t) override { return S_OK; }
    HRESULT OnDevUpMessage(uint32_t address, uint16_t port, uint16_t id, const uint8_t* data,
                           uint32_t length) override;
    // Waits until count records have arrived; false after timeoutMs.
    bool WaitFor(size_t count, uint32_t timeoutMs = 5000);
    std::vector<TimeRecord> Records();

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<TimeRecord> records_;
};

inline std::array<int32_t, 7> Words(int32_t valid, int32_t year, int32_t month, int32_t day, int32_t hour,
                                    int32_t minute, int32_t second) {
    return {valid, year, month, day, hour, minute, second};
}
