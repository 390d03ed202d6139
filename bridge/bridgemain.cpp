// The bridge program: streams the simulator's variables to KorvelTools on the
// local host, one datagram every 15 ms, for as long as it runs.
#include "cudpsocket.h"
#include "simbridge.h"

#include <windows.h>

int main(int, char **)
{
    SimBridge bridge(BRIDGE_VALUE_COUNT);

    CUdpSocket socket;
    socket.open(static_cast<std::uint16_t>(BRIDGE_LOCAL_PORT));
    const sockaddr_in destination =
        CUdpSocket::makeAddress("127.0.0.1", static_cast<std::uint16_t>(BRIDGE_REMOTE_PORT));

    ::ShowWindow(::GetConsoleWindow(), SW_HIDE);

    std::uint8_t datagram[SimBridgeRecord::bytesFor(SimBridgeRecord::MsfsValueCount)];
    for (;;) {
        const std::size_t n = bridge.buildDatagram(datagram);
        socket.sendTo(reinterpret_cast<const char *>(datagram), static_cast<std::uint32_t>(n),
                      destination);
        ::Sleep(15);
    }
}
