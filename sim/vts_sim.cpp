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
        "the virtual relay on the tester's outputs:\n"
        "  --oc-pickup A      over-current pick-up on any current channel (%g A)\n"
        "  --oc-delay S       over-current trip delay (%g s), closes binary input %u\n"
        "  --dropoff-ratio R  drop-off over pick-up of both elements (%g)\n"
        "  --uv-pickup V      under-voltage pick-up, phase-to-neutral on channels 0-2 (%g V)\n"
        "  --uv-delay S       under-voltage trip delay (%g s), closes binary input %u\n"
        "  --no-oc, --no-uv   leave that element out\n",
        relay.pickupA, relay.delayS, relay.input, relay.dropOffRatio, relay.underVoltageV,
        relay.underVoltageDelayS, relay.underVoltageInput);
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
        const bool valued = i + 1 < argc;
        if (arg == "--help" || arg == "-h")
            return Usage(stdout, 0);
        else if (arg == "--oc-pickup" && valued && ParseSetting(argv[++i], &relay.pickupA))
            continue;
        else if (arg == "--oc-delay" && valued && ParseSetting(argv[++i], &relay.delayS))
            continue;
        else if (arg == "--dropoff-ratio" && valued && ParseSetting(argv[++i], &relay.dropOffRatio))
            continue;
        else if (arg == "--uv-pickup" && valued && ParseSetting(argv[++i], &relay.underVoltageV))
            continue;
        else if (arg == "--uv-delay" && valued && ParseSetting(argv[++i], &relay.underVoltageDelayS))
            continue;
        else if (arg == "--no-oc")
            relay.enabled = false;
        else if (arg == "--no-uv")
            relay.underVoltage = false;
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
