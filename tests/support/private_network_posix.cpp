#include "private_network.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <cstring>

bool InPrivateNetwork() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool onlyLo = true, hasBench = false;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (std::strcmp(a->ifa_name, "lo") != 0) {
            if (a->ifa_flags & IFF_UP) onlyLo = false;
            continue;
        }
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(a->ifa_addr);
            if (in->sin_addr.s_addr == inet_addr("192.168.253.1")) hasBench = true;
        }
    }
    freeifaddrs(list);
    return onlyLo && hasBench;
}
