// What the device subcommands share: a host window that collects the
// server's notifications, the server, optionally the built-in simulated
// bench, and the link.
#pragma once

#include <varel/vts.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {
class TesterSimulator;
}

struct HostNotification {
    uint32_t code;
    int32_t value1;
    int32_t value2;
    std::vector<uint8_t> data;
};

class HostSession {
public:
    HostSession();
    ~HostSession();

    // Starts the simulated tester and I/O box in this process (inside
    // tools/netns-run); false with the reason on stderr.
    bool StartSimulator();
    sim::TesterSimulator* Simulator() { return simulator_.get(); }
    // Links and prints the result line; the result code.
    HRESULT Link(const std::string& linkString);
    // The notifications received so far, oldest first, once there are at
    // least `count` of them or timeoutMs has passed; they are taken.
    std::vector<HostNotification> Take(size_t count = 0, uint32_t timeoutMs = 2000);

    // The code, and its text when it is not S_OK.
    static std::string Outcome(HRESULT code);

private:
    static intptr_t Proc(void* self, HWND, uint32_t message, uintptr_t code, intptr_t lParam);
    std::unique_ptr<sim::TesterSimulator> simulator_;
    std::mutex mutex_; // notifications come on the caller's thread and the queue's
    std::condition_variable arrived_;
    std::vector<HostNotification> notifications_;
    HWND window_ = nullptr;
};

// Reads "--sim" off the front of args: the built-in bench was asked for.
bool TakeSimFlag(std::vector<std::string>& args);
