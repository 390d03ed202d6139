#include "cudpsocket.h"

#include <cstdio>
#include <cstring>

void CUdpSocket::open(std::uint16_t port)
{
    ready = false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    openOn(local);
}

void CUdpSocket::open(const char *ip, std::uint16_t port)
{
    ready = false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    const int converted = ip ? platform::addressFromText(ip, &local.sin_addr) : 0;
    if (converted != 1) {
        std::printf("CUdpSocket ERROR: Fail to inet_pton:%d.\n", converted);
        std::fflush(stdout);
        return;
    }
    openOn(local);
}

void CUdpSocket::openOn(const sockaddr_in &local)
{
    const int startup = platform::socketsStartup();
    if (startup != 0) {
        std::printf("CUdpSocket ERROR: WSAStartup failed with error code: %i.\n", startup);
        std::fflush(stdout);
        return;
    }
    socketHandle = platform::udpOpen();
    if (socketHandle == platform::kInvalidSocket) {
        std::printf("CUdpSocket ERROR: Failed to open socket.(Error code %i)\n", platform::socketError());
        std::fflush(stdout);
        return;
    }
    if (platform::socketBind(socketHandle, local) != 0) {
        std::printf("CUdpSocket ERROR: Failed to bind socket.(Error code %i)\n", platform::socketError());
        std::fflush(stdout);
        return;
    }
    if (platform::socketSetRecvTimeout(socketHandle, 1) != 0) {
        std::printf("CUdpSocket ERROR: Failed to set timeout.(Error code %i)\n", platform::socketError());
        std::fflush(stdout);
    }
    ready = true;
}

int CUdpSocket::close()
{
    return platform::socketClose(socketHandle);
}

std::int32_t CUdpSocket::recvFrom(char *buffer, std::uint32_t length, sockaddr *from)
{
    const int waited = platform::socketWait(socketHandle, -1);
    if (waited < 0) {
        std::printf("CUdpSocket ERROR: select failed.(Error code %i)\n", platform::socketError());
        std::fflush(stdout);
        return -1;
    }
    if (waited == 0)
        return -2;
    const long n = platform::socketRecvFrom(socketHandle, buffer, length, from, from ? 16 : 0);
    if (n < 0) {
        std::printf("CUdpSocket ERROR: recvFrom failed.(Error code %i)\n", platform::socketError());
        std::fflush(stdout);
        return -3;
    }
    return static_cast<std::int32_t>(n);
}

void CUdpSocket::sendTo(const char *data, std::uint32_t length, const sockaddr_in &to)
{
    if (platform::socketSendTo(socketHandle, data, length, reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0) {
        std::printf("CUdpSocket ERROR: SendTo failed.(remote:%s)\n", addressToString(to).c_str());
        std::fflush(stdout);
    }
}

sockaddr_in CUdpSocket::makeAddress(const std::string &ip, std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (platform::addressFromText(ip.c_str(), &a.sin_addr) != 1)
        a.sin_addr.s_addr = 0;
    return a;
}

std::string CUdpSocket::addressToString(const sockaddr *addr)
{
    if (!addr)
        return "UNKNOWN";
    unsigned port = 0;
    if (addr->sa_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in *>(addr)->sin_port);
    else if (addr->sa_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6 *>(addr)->sin6_port);
    else
        return "UNKNOWN";
    char digits[16];
    std::snprintf(digits, sizeof digits, "%u", port);
    return platform::addressToText(addr) + ":" + digits;
}

std::string CUdpSocket::addressToString(const sockaddr_in &addr)
{
    return addressToString(reinterpret_cast<const sockaddr *>(&addr));
}
