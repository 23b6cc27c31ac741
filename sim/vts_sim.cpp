// vts-sim: the simulated bench as a program. It binds the tester's and the
// I/O box's fixed addresses (inside tools/netns-run) and prints every
// datagram until interrupted.
#include "sim/tester_simulator.h"
#include "socket.h"
#include "tick.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::atomic<bool> interrupted{false};

void OnSignal(int) { interrupted = true; }

int Usage(FILE* to, int code) {
    const sim::VirtualRelay relay;
    std::fprintf(
        to,
        "usage: vts-sim [--no-tester] [--no-iobox1] [--no-iobox2] [--tester-port N] [--seconds N] [--quiet]\n"
        "               [relay settings]\n"
        "  plays the tester (192.168.253.231) and the I/O box (192.168.253.3 and .4, port 7000);\n"
        "  run it inside tools/netns-run together with the program under test\n"
        "the virtual relay on the tester's outputs (over-current closes binary input %u,\n"
        "under-voltage input %u):\n",
        relay.input, relay.underVoltageInput);
    for (const sim::RelaySetting& setting : sim::RelaySettings()) {
        if (setting.value)
            std::fprintf(to, "  %-22s %s (%g)\n", (std::string(setting.flag) + " N").c_str(), setting.help,
                         relay.*setting.value);
        else
            std::fprintf(to, "  %-22s %s\n", setting.flag, setting.help);
    }
    return code;
}

// A setting of the relay: a finite number, not negative.
bool ParseSetting(const char* text, float* value) {
    char* end = nullptr;
    const double number = std::strtod(text, &end);
    if (!*text || *end || !(number >= 0 && number < 1e9)) return false;
    *value = static_cast<float>(number);
    return true;
}

// One relay setting at argv[i] (and its value after it); false when
// argv[i] is none or its value does not parse.
bool TakeRelaySetting(int argc, char** argv, int& i, sim::VirtualRelay& relay) {
    for (const sim::RelaySetting& setting : sim::RelaySettings()) {
        if (std::strcmp(argv[i], setting.flag) != 0) continue;
        if (!setting.value) {
            relay.*setting.off = false;
            return true;
        }
        return i + 1 < argc && ParseSetting(argv[++i], &(relay.*setting.value));
    }
    return false;
}

bool ParsePositive(const char* text, unsigned long limit, unsigned long* value) {
    char* end = nullptr;
    *value = std::strtoul(text, &end, 10);
    return *text && !*end && *value > 0 && *value <= limit;
}

} // namespace

int main(int argc, char** argv) {
    sim::BenchOptions options;
    sim::VirtualRelay relay;
    unsigned long seconds = 0;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long number = 0;
        if (arg == "--help" || arg == "-h")
            return Usage(stdout, 0);
        else if (TakeRelaySetting(argc, argv, i, relay))
            continue;
        else if (arg == "--no-tester")
            options.tester = false;
        else if (arg == "--no-iobox1")
            options.ioBox[0] = false;
        else if (arg == "--no-iobox2")
            options.ioBox[1] = false;
        else if (arg == "--quiet")
            quiet = true;
        else if (arg == "--tester-port" && i + 1 < argc && ParsePositive(argv[++i], 65535, &number))
            options.testerPort = static_cast<uint16_t>(number);
        else if (arg == "--seconds" && i + 1 < argc && ParsePositive(argv[++i], 86400 * 365, &number))
            seconds = number;
        else
            return Usage(stderr, 2);
    }

    WSADATA sockets;
    if (WSAStartup(MAKEWORD(2, 2), &sockets) != 0) {
        std::fprintf(stderr, "vts-sim: the socket layer did not start\n");
        return 1;
    }
    sim::TesterSimulator bench(options);
    bench.Model().SetRelay(relay);
    if (!quiet)
        bench.Traffic().SetObserver([](const sim::Datagram& d) {
            std::printf("%10u %s\n", static_cast<unsigned>(d.tickMs), sim::DescribeDatagram(d).c_str());
            std::fflush(stdout);
        });
    std::string error;
    if (!bench.Start(&error)) {
        std::fprintf(stderr, "vts-sim: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::fprintf(stderr, "vts-sim: serving; interrupt to stop\n");
    const DWORD start = GetTickCount();
    while (!interrupted && (seconds == 0 || GetTickCount() - start < seconds * 1000)) Sleep(50);
    bench.Stop();
    std::fprintf(stderr, "vts-sim: %zu datagrams\n",
                 bench.Traffic().Count([](const sim::Datagram&) { return true; }));
    return 0;
}
