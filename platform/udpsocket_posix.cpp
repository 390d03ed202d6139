#include "udpsocket.h"

#include <cerrno>
#include <poll.h>
#include <sys/select.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

static int fdOf(SocketHandle s) { return static_cast<int>(s); }

int socketsStartup() { return 0; }

int socketError() { return errno; }

SocketHandle udpOpen()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    return fd < 0 ? kInvalidSocket : static_cast<SocketHandle>(fd);
}

int socketBind(SocketHandle s, const sockaddr_in &local)
{
    return ::bind(fdOf(s), reinterpret_cast<const sockaddr *>(&local), sizeof local) == 0 ? 0 : -1;
}

int socketSetRecvTimeout(SocketHandle s, int milliseconds)
{
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(fdOf(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : -1;
}

int socketClose(SocketHandle s)
{
    if (s == kInvalidSocket)
        return EBADF;
    return ::close(fdOf(s)) == 0 ? 0 : errno;
}

int socketWait(SocketHandle s, int timeoutMs)
{
    const int fd = fdOf(s);
    if (s == kInvalidSocket || fd < 0) {
        errno = EBADF;
        return -1;
    }
    // select() cannot take descriptors at or above FD_SETSIZE; poll() waits
    // for the same conditions (readable or exceptional) without that limit.
    if (fd >= FD_SETSIZE) {
        pollfd p{fd, POLLIN | POLLPRI, 0};
        int r;
        do {
            r = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
        } while (r < 0 && errno == EINTR);
        if (r < 0)
            return -1;
        return r == 0 ? 0 : 1;
    }
    for (;;) {
        fd_set readable, exceptional;
        FD_ZERO(&readable);
        FD_ZERO(&exceptional);
        FD_SET(fd, &readable);
        FD_SET(fd, &exceptional);
        timeval tv{};
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
        const int r = ::select(fd + 1, &readable, nullptr, &exceptional, timeoutMs < 0 ? nullptr : &tv);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        return r == 0 ? 0 : 1;
    }
}

long socketRecvFrom(SocketHandle s, char *buffer, std::size_t length, sockaddr *from, int fromLen)
{
    socklen_t len = static_cast<socklen_t>(fromLen);
    ssize_t n;
    do {
        // MSG_TRUNC reports the datagram's full size, so an oversized one can
        // be told apart from one that fits (Winsock fails those; do the same).
        n = ::recvfrom(fdOf(s), buffer, length, MSG_TRUNC, from, from ? &len : nullptr);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return -1;
    if (static_cast<std::size_t>(n) > length) {
        errno = EMSGSIZE;
        return -1;
    }
    return static_cast<long>(n);
}

long socketSendTo(SocketHandle s, const char *data, std::size_t length, const sockaddr *to, int toLen)
{
    const ssize_t n = ::sendto(fdOf(s), data, length, MSG_NOSIGNAL, to, static_cast<socklen_t>(toLen));
    return n < 0 ? -1 : static_cast<long>(n);
}

bool socketWake(SocketHandle s)
{
    // Closing a descriptor does not end a select() on it in another thread;
    // a shutdown does, also on an unconnected datagram socket, and every later
    // wait on it returns at once.
    if (s != kInvalidSocket)
        ::shutdown(fdOf(s), SHUT_RDWR);
    return false;
}

std::uint16_t socketLocalPort(SocketHandle s)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (s == kInvalidSocket || ::getsockname(fdOf(s), reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

} // namespace platform
