#pragma once
// SimConnect wire format as this client speaks it: little-endian u32 fields,
// fixed 256-byte strings, a 16-byte header on every message sent.
#include <cstdint>
#include <cstring>

#include "byteorder.h"

namespace simconnect {

using HRESULT32 = std::int32_t;

constexpr HRESULT32 S_OK32 = 0;
constexpr HRESULT32 E_FAIL32 = static_cast<HRESULT32>(0x80004005u);
constexpr HRESULT32 E_INVALIDARG32 = static_cast<HRESULT32>(0x80070057u);
constexpr HRESULT32 E_TOOLONG32 = static_cast<HRESULT32>(0x8007007Au);   // insufficient buffer
constexpr HRESULT32 E_ABORT32 = static_cast<HRESULT32>(0x80004004u);
constexpr HRESULT32 E_OUTOFMEMORY32 = static_cast<HRESULT32>(0x8007000Eu);

constexpr std::uint32_t kProtocolVersion = 30;
constexpr std::uint32_t kStringField = 256;
constexpr std::uint32_t kSendBufferSize = 41088;

enum SendId : std::uint32_t {
    kIdOpen = 0xF0000001u,
    kIdAddToDataDefinition = 0xF000000Cu,
    kIdClearDataDefinition = 0xF000000Du,
    kIdRequestDataOnSimObject = 0xF000000Eu,
    kIdRequestSystemState = 0xF0000035u,
};

enum SendSize : std::uint32_t {
    kSizeOpen = 296,
    kSizeAddToDataDefinition = 544,
    kSizeClearDataDefinition = 20,
    kSizeRequestDataOnSimObject = 48,
    kSizeRequestSystemState = 276,
};

// Ids of the messages the simulator sends that the bridge acts on.
enum RecvId : std::uint32_t {
    kRecvOpen = 2,
    kRecvQuit = 3,
    kRecvSimObjectData = 8,
    kRecvSystemState = 15,
};






// Copies s (null = empty) into a 256-byte field, NUL-terminated and zero-filled.
// False when it has 256 characters or more: the field is then left untouched.
bool putString(std::uint8_t *field, const char *s);

// Writes size, version and id; the send id at offset 12 is stamped by the claim.
void putHeader(std::uint8_t *msg, std::uint32_t size, std::uint32_t id);

// Message bodies (each fills a zeroed block of the message's size). The string
// ones return false when a string does not fit.
bool fillOpen(std::uint8_t *msg, const char *clientName);
bool fillAddToDataDefinition(std::uint8_t *msg, std::uint32_t defineId, const char *datumName,
                             const char *unitsName, std::uint32_t datumType, float epsilon,
                             std::uint32_t datumId);
void fillClearDataDefinition(std::uint8_t *msg, std::uint32_t defineId);
void fillRequestDataOnSimObject(std::uint8_t *msg, std::uint32_t requestId, std::uint32_t defineId,
                                std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                std::uint32_t origin, std::uint32_t interval, std::uint32_t limit);
bool fillRequestSystemState(std::uint8_t *msg, std::uint32_t requestId, const char *stateName);

} // namespace simconnect
