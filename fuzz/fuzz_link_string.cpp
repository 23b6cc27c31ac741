// Arbitrary UTF-8 as a link string: the parser either refuses it or gives
// ports in range, and an accepted text written back key by key parses to
// the same addresses and ports.
#include "device/link_string.h"

#include "text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string Dotted(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
           std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
}

bool Same(const LinkAddresses& a, const LinkAddresses& b) {
    return a.pcIp == b.pcIp && a.pcPort == b.pcPort && a.devIp == b.devIp && a.devPort == b.devPort;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const WideString text = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(data), size));
    LinkAddresses addresses;
    uint32_t port = 0;
    if (LinkPort(text, OLESTR("PC-PORT:"), &port) && port > 65535) std::abort();
    if (!ParseLinkString(text, &addresses)) return 0;
    if (addresses.pcPort > 65535 || addresses.devPort > 65535) std::abort();
    const std::string again =
        "PC-IP:" + Dotted(addresses.pcIp) + ";PC-PORT:" + std::to_string(addresses.pcPort) +
        ";DEV-IP:" + Dotted(addresses.devIp) + ";DEV-PORT:" + std::to_string(addresses.devPort);
    LinkAddresses reparsed;
    if (!ParseLinkString(Utf8ToUtf16(again), &reparsed) || !Same(reparsed, addresses)) std::abort();
    return 0;
}
