#pragma once
// Registration with a simulator that runs this client inside its own process.
// Every request goes to the simulator's main window (class "FS98MAIN") as
// WM_COMMAND with wParam 0x2002A and lParam pointing at one 24-byte record:
//
//   offset 0   u32  kind (below)
//   offset 4   u32  the connection's identity (its transport serial number)
//   offset 8   u64  first value  (an address, zero-extended)
//   offset 16  u64  second value (an address or a length)
//
//   kind 5  connection      8: the connection's address
//   kind 4  first client    8: the connection's address (sent after kind 5 for
//                           the process's first connection)
//   kind 1  entry points    8: lend entry, 16: deliver entry (sent once, when
//                           the first 308-byte OPEN reply is dispatched)
//   kind 2  borrow          16: length; the simulator answers, during the
//                           request, by calling the lend entry
//   kind 3  hand over       8: a lent block, filled; 16: its length
//   kind 6  give back       8: a block of the simulator's (unsent send block or
//                           delivered message), 16: its length
//   kind 7  deregister      sent when the process's last connection closes
//
// Both entry points find the connection by its identity in the process-wide
// list, so a call for a connection that has closed meanwhile is refused
// instead of touching freed memory.
#include "simconnectmessages.h"

#include <cstdint>

namespace simconnect {

constexpr std::uint32_t kHostCommandParam = 0x2002A;
constexpr std::uint32_t kHostRequestSize = 24;
constexpr std::uint32_t kOpenReplySizeInProcess = 308;

enum HostRequestKind : std::uint32_t {
    kHostEntryPoints = 1,
    kHostBorrow = 2,
    kHostHandOver = 3,
    kHostFirstClient = 4,
    kHostConnection = 5,
    kHostGiveBack = 6,
    kHostDeregister = 7,
};

// The simulator lends a send block of at least the asked length: 1 taken, 0 refused
// (the block then stays the simulator's).
using HostLendEntry = int (*)(std::uint32_t identity, std::uint8_t *block, std::uint32_t length);
// The simulator delivers a message into the receive queue: 1 queued (the block is
// given back after delivery), 0 refused.
using HostDeliverEntry = int (*)(std::uint32_t identity, std::uint8_t *data, std::uint32_t length);



// Fills one request record.
inline void makeHostRequest(std::uint8_t *req, std::uint32_t kind, std::uint32_t identity,
                            std::uint64_t first, std::uint64_t second)
{
    for (std::uint32_t i = 0; i < kHostRequestSize; ++i)
        req[i] = 0;
    writeU32LE(req, kind);
    writeU32LE(req + 4, identity);
    writeU64LE(req + 8, first);
    writeU64LE(req + 16, second);
}

} // namespace simconnect
