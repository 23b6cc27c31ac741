// vts link, vts io, vts bout: link to a tester (or, with --sim, to the
// simulated bench in this process) and use it.
#include "host_session.h"
#include "subcommand.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Opens the session and links; false when it could not.
bool Open(HostSession& session, std::vector<std::string>& args, const char* usage, bool simulated) {
    if (args.empty()) {
        UsageError(usage);
        return false;
    }
    if (simulated && !session.StartSimulator()) return false;
    HRESULT hr = session.Link(args[0]);
    // Without the calibration image the link itself stands.
    return SUCCEEDED(hr) || hr == static_cast<HRESULT>(0xA019010C);
}

int Link(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    HostSession session;
    bool simulated = TakeSimFlag(args);
    bool linked = Open(session, args, "link needs a link string", simulated);
    const BaseDeviceInfo* info = VTS_GetBaseDeviceInfo();
    std::printf("link state: %s\n", linked ? "linked" : "not linked");
    VARIANT rate;
    VariantInit(&rate);
    VTS_GetDeviceInfo(OLESTR("DEVBASEINFO.TestSampRate"), &rate);
    std::printf("BaseDeviceInfo:\n  model     0x%08X (series %u)\n  identity  \"%.32s\"\n", info->model,
                info->model >> 16, reinterpret_cast<const char*>(info->identity));
    std::printf("  capability 0x%08X, words 36/44/48/60/64: %u %u %u %u %u\n", info->capability, info->word36,
                info->word44, info->word48, info->word60, info->word64);
    std::printf("  channels  %u voltage, %u current\n  values    68: %g 72: %g 76: %g 84: %g 88: %g\n",
                info->voltageChannels, info->currentChannels, info->value68, info->value72, info->value76,
                info->value84, info->value88);
    std::printf("  DSP version %g, DAAM %g, TestSampRate %d\n", info->dspVersion, VTS_GetDAAM(), rate.iVal);
    for (const HostNotification& n : session.Take())
        std::printf("notification %u (%zu bytes)\n", n.code, n.data.size());
    return linked ? 0 : 1;
}

void PrintStates(const char* name, const uint8_t* record) {
    std::printf("  %s on:", name);
    int on = 0;
    for (int i = 0; i < 256; ++i)
        if (record[2 * i] | record[2 * i + 1]) std::printf(" %d", i), ++on;
    std::printf(on ? "\n" : " none\n");
}

int Io(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    HostSession session;
    bool simulated = TakeSimFlag(args);
    if (!Open(session, args, "io needs a link string", simulated)) return 1;
    session.Take();
    HRESULT state = VTS_AskIoState(), extended = VTS_AskIoState_Ex();
    std::printf("VTS_AskIoState -> 0x%08X, VTS_AskIoState_Ex -> 0x%08X\n", static_cast<unsigned>(state),
                static_cast<unsigned>(extended));
    for (const HostNotification& n : session.Take()) {
        if (n.code == VTS_NOTIFY_IO_STATE) {
            std::printf("I/O state (notification 2):");
            for (size_t i = 0; i < n.data.size(); ++i)
                std::printf("%s%02X", i % 16 ? " " : "\n  ", n.data[i]);
            std::printf("\n");
        } else if (n.code == VTS_NOTIFY_IO_STATE_EX && n.data.size() == 1024) {
            std::printf("extended I/O state (notification 22):\n");
            PrintStates("inputs", n.data.data());
            PrintStates("outputs", n.data.data() + 512);
        }
    }
    return FAILED(state) || FAILED(extended) ? 1 : 0;
}

int Bout(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    bool simulated = TakeSimFlag(args);
    std::vector<uint16_t> states;
    for (size_t i = 1; i < args.size(); ++i) {
        unsigned long long value = 0;
        if (!ParseNumber32(args[i], 0xFFFF, &value)) return UsageError("a state is a number from 0 to 65535");
        states.push_back(static_cast<uint16_t>(value));
    }
    HostSession session;
    if (states.empty()) return UsageError("bout needs a link string and at least one state");
    if (!Open(session, args, "bout needs a link string and the states", simulated)) return 1;
    // Up to 16 outputs fit the plain command; more go as one byte each.
    HRESULT hr = states.size() <= 16
                     ? VTS_TransBoutState(states.data(), static_cast<int32_t>(states.size()))
                     : VTS_TransBoutState_Ex(states.data(), static_cast<int32_t>(states.size()));
    std::printf("%s(%zu states) -> %s\n",
                states.size() <= 16 ? "VTS_TransBoutState" : "VTS_TransBoutState_Ex", states.size(),
                HostSession::Outcome(hr).c_str());
    return FAILED(hr) ? 1 : 0;
}

} // namespace

VTS_SUBCOMMAND(link, "link", "[--sim] LINKSTRING", "link to the tester and print what it says it is", Link);
VTS_SUBCOMMAND(io, "io", "[--sim] LINKSTRING", "print the tester's I/O state and extended I/O state", Io);
VTS_SUBCOMMAND(bout, "bout", "[--sim] LINKSTRING STATE...",
               "set the binary outputs (more than 16: one byte each)", Bout);
