#include "udpsocket.h"

namespace platform {

static SOCKET sockOf(SocketHandle s) { return static_cast<SOCKET>(s); }

int socketsStartup()
{
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
}

int socketError() { return ::WSAGetLastError(); }

SocketHandle udpOpen()
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

int socketBind(SocketHandle s, const sockaddr_in &local)
{
    return ::bind(sockOf(s), reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 ? 0 : -1;
}

int socketSetRecvTimeout(SocketHandle s, int milliseconds)
{
    const DWORD ms = static_cast<DWORD>(milliseconds);
    return ::setsockopt(sockOf(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof ms) == 0
               ? 0 : -1;
}

int socketClose(SocketHandle s)
{
    return ::closesocket(sockOf(s)) == 0 ? 0 : ::WSAGetLastError();
}

int socketWait(SocketHandle s, int timeoutMs)
{
    fd_set readable, exceptional;
    FD_ZERO(&readable);
    FD_ZERO(&exceptional);
    FD_SET(sockOf(s), &readable);
    FD_SET(sockOf(s), &exceptional);
    timeval tv{};
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    const int r = ::select(0, &readable, nullptr, &exceptional, timeoutMs < 0 ? nullptr : &tv);
    if (r == SOCKET_ERROR)
        return -1;
    return r == 0 ? 0 : 1;
}

long socketRecvFrom(SocketHandle s, char *buffer, std::size_t length, sockaddr *from, int fromLen)
{
    int len = fromLen;
    const int n = ::recvfrom(sockOf(s), buffer, static_cast<int>(length), 0, from, from ? &len : nullptr);
    return n == SOCKET_ERROR ? -1 : n;
}

long socketSendTo(SocketHandle s, const char *data, std::size_t length, const sockaddr *to, int toLen)
{
    const int n = ::sendto(sockOf(s), data, static_cast<int>(length), 0, to, toLen);
    return n == SOCKET_ERROR ? -1 : n;
}

bool socketWake(SocketHandle s)
{
    // Closing the socket is what ends a select() on it in another thread here.
    ::closesocket(sockOf(s));
    return true;
}

std::uint16_t socketLocalPort(SocketHandle s)
{
    sockaddr_in a{};
    int len = sizeof a;
    if (::getsockname(sockOf(s), reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

} // namespace platform
