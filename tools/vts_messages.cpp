// vts fault-msg and vts alarm: the texts behind result codes and alarm bits.
#include "subcommand.h"

#include <varel/vts.h>

#include <cstdio>
#include <vector>

namespace {

int FaultMessage(const std::vector<std::string>& args) {
    unsigned long long code;
    if (args.size() != 1 || !ParseNumber32(args[0], 0xFFFFFFFFull, &code))
        return UsageError("fault-msg takes one code, decimal or 0x-hexadecimal");
    std::vector<char> text(4096);
    VTS_GetFaultMsg_Com_A(static_cast<HRESULT>(code), text.data(), static_cast<int32_t>(text.size()));
    std::printf("%s\n", text.data());
    return 0;
}

int Alarm(const std::vector<std::string>& args) {
    unsigned long long model, low, high;
    if (args.size() != 3 || !ParseNumber32(args[0], 0xFFFFFFFFull, &model) ||
        !ParseNumber32(args[1], 0xFFFFFFFFull, &low) || !ParseNumber32(args[2], 0xFFFFFFFFull, &high))
        return UsageError("alarm takes MODEL LOW HIGH, each a 32-bit number");
    std::vector<char> text(16384);
    VTS_GetFaultMsg_A(static_cast<uint32_t>(model), static_cast<uint32_t>(low), static_cast<uint32_t>(high),
                      text.data(), static_cast<int32_t>(text.size()));
    std::printf("%s", text.data());
    return 0;
}

} // namespace

VTS_SUBCOMMAND(faultMsg, "fault-msg", "CODE", "print the text of a result code (e.g. 0xA0190105)", FaultMessage);
VTS_SUBCOMMAND(alarm, "alarm", "MODEL LOW HIGH", "print the alarm texts of a tester model's alarm bits", Alarm);
