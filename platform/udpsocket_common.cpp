#include "udpsocket.h"

namespace platform {

int addressFromText(const char *text, in_addr *out)
{
    return ::inet_pton(AF_INET, text, out) == 1 ? 1 : 0;
}

std::string addressToText(const sockaddr *addr)
{
    char buf[65] = {};
    if (!addr)
        return std::string();
    // MinGW's inet_ntop takes a non-const address; the cast is harmless elsewhere.
    if (addr->sa_family == AF_INET) {
        ::inet_ntop(AF_INET, const_cast<in_addr *>(&reinterpret_cast<const sockaddr_in *>(addr)->sin_addr),
                    buf, sizeof buf);
        return buf;
    }
    if (addr->sa_family == AF_INET6) {
        ::inet_ntop(AF_INET6, const_cast<in6_addr *>(&reinterpret_cast<const sockaddr_in6 *>(addr)->sin6_addr),
                    buf, sizeof buf);
        return buf;
    }
    return std::string();
}

} // namespace platform
