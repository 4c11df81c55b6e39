#include "server/ui/own_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>

namespace {

bool IsLoopback(const in_addr& address) { return (ntohl(address.s_addr) >> 24) == 127; }

std::string Dotted(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string FirstInterfaceAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::string();
    std::string found;
    for (ifaddrs* i = list; i != nullptr && found.empty(); i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const in_addr address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
        if (!IsLoopback(address)) found = Dotted(address);
    }
    freeifaddrs(list);
    return found;
}

}  // namespace

std::string OwnIpAddress() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return std::string();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &result) != 0 || result == nullptr) return std::string();
    std::string first, reachable;
    for (addrinfo* a = result; a != nullptr; a = a->ai_next) {
        const in_addr address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
        if (first.empty()) first = Dotted(address);
        if (reachable.empty() && !IsLoopback(address)) reachable = Dotted(address);
    }
    freeaddrinfo(result);
    if (!reachable.empty()) return reachable;
    const std::string fromInterface = FirstInterfaceAddress();
    return fromInterface.empty() ? first : fromInterface;
}
