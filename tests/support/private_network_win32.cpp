// The same probe through the system's adapter list.
#include "private_network.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <vector>

bool InPrivateNetwork() {
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer(size);
    auto* list = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, 0, nullptr, list, &size) != ERROR_SUCCESS) return false;
    bool onlyLoopback = true, hasBench = false;
    for (IP_ADAPTER_ADDRESSES* a = list; a; a = a->Next) {
        if (a->IfType != IF_TYPE_SOFTWARE_LOOPBACK) {
            if (a->OperStatus == IfOperStatusUp) onlyLoopback = false;
            continue;
        }
        for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
            auto* in = reinterpret_cast<sockaddr_in*>(u->Address.lpSockaddr);
            if (in->sin_family == AF_INET && in->sin_addr.s_addr == inet_addr("192.168.253.1")) hasBench = true;
        }
    }
    return onlyLoopback && hasBench;
}
