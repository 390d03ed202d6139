#pragma once
// The program's small IPv4 UDP socket: bind on a local port, receive with a
// wait, send to an address. Failures are printed as one line on the standard
// output and never thrown. Shared with the bridge programs, so no Qt here.
#include <cstdint>
#include <string>

#include "udpsocket.h"

class CUdpSocket
{
public:
    // Binds a new socket on every local address (0.0.0.0).
    void open(std::uint16_t port);
    // Binds a new socket on the given dotted IPv4 address.
    void open(const char *ip, std::uint16_t port);
    // 0, or the platform's error value.
    int close();

    // Waits without limit for one datagram and takes it. Bytes received;
    // -1 wait failed; -2 the wait ended with nothing to read; -3 receive failed.
    std::int32_t recvFrom(char *buffer, std::uint32_t length, sockaddr *from);

    void sendTo(const char *data, std::uint32_t length, const sockaddr_in &to);

    static sockaddr_in makeAddress(const std::string &ip, std::uint16_t port);
    static std::string addressToString(const sockaddr *addr);
    static std::string addressToString(const sockaddr_in &addr);

    platform::SocketHandle socketHandle = platform::kInvalidSocket;
    bool ready = false;

private:
    void openOn(const sockaddr_in &local);
};
