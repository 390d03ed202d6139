#pragma once
// Thin layer over the operating system's IPv4 datagram sockets: BSD sockets on
// POSIX, Windows Sockets 2 on Windows. Plain C++ without Qt, so that the
// Windows bridge programs share it with the desktop tool.
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <winsock2.h>
#  include <ws2tcpip.h>
// windows.h still defines the 16-bit pointer words as empty macros, which
// would swallow ordinary names such as near().
#  undef near
#  undef far
#else
#  include <arpa/inet.h>
#  include <netinet/in.h>
#  include <sys/socket.h>
#endif

namespace platform {

// Wide enough for a Windows SOCKET and a POSIX descriptor alike.
using SocketHandle = std::uint64_t;
constexpr SocketHandle kInvalidSocket = ~SocketHandle(0);

// Starts the sockets library (Winsock 2.2; nothing to do on POSIX).
// 0 on success, else the start-up's own error code.
int socketsStartup();

// The error of this thread's last failed socket call (WSAGetLastError / errno).
int socketError();

// A new IPv4 UDP socket, or kInvalidSocket.
SocketHandle udpOpen();

// 0 on success, -1 on failure (see socketError).
int socketBind(SocketHandle s, const sockaddr_in &local);
int socketSetRecvTimeout(SocketHandle s, int milliseconds);

// 0, or the platform's error value.
int socketClose(SocketHandle s);

// Waits for readability or an exceptional condition (select). A negative
// time-out waits without limit. 1 ready, 0 time-out, -1 failure.
int socketWait(SocketHandle s, int timeoutMs);

// One datagram of at most length bytes; the sender's address goes to from
// (fromLen bytes offered; may be null). Bytes received, or -1.
long socketRecvFrom(SocketHandle s, char *buffer, std::size_t length,
                    sockaddr *from, int fromLen);

// Bytes sent, or -1.
long socketSendTo(SocketHandle s, const char *data, std::size_t length,
                  const sockaddr *to, int toLen);

// Ends a wait on s that another thread sits in, so that it returns at once
// (and every later wait on s as well). Returns true when this had to close the
// handle (Windows); the caller then must not close it again. On POSIX the
// handle stays open until socketClose.
bool socketWake(SocketHandle s);

// The local port the socket is bound to, 0 when unbound or on failure.
std::uint16_t socketLocalPort(SocketHandle s);

// Dotted IPv4 text to an address: 1 converted, 0 not an address.
int addressFromText(const char *text, in_addr *out);

// inet_ntop of an IPv4 or IPv6 address record; empty for other families.
std::string addressToText(const sockaddr *addr);

} // namespace platform
