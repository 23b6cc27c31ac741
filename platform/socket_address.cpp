#include "socket.h"

sockaddr_in Ipv4Endpoint(const char* dotted, uint16_t port) {
    sockaddr_in endpoint{};
    endpoint.sin_family = AF_INET;
    endpoint.sin_port = htons(port);
    if (!dotted || inet_pton(AF_INET, dotted, &endpoint.sin_addr) != 1) endpoint.sin_addr.s_addr = htonl(INADDR_ANY);
    return endpoint;
}
