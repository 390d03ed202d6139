#include "simconnectmessages.h"

namespace simconnect {

bool putString(std::uint8_t *field, const char *s)
{
    if (!s)
        s = "";
    const std::size_t n = ::strnlen(s, kStringField);
    if (n >= kStringField)
        return false;
    std::memcpy(field, s, n);
    std::memset(field + n, 0, kStringField - n);
    return true;
}

void putHeader(std::uint8_t *msg, std::uint32_t size, std::uint32_t id)
{
    writeU32LE(msg, size);
    writeU32LE(msg + 4, kProtocolVersion);
    writeU32LE(msg + 8, id);
}

bool fillOpen(std::uint8_t *msg, const char *clientName)
{
    putHeader(msg, kSizeOpen, kIdOpen);
    if (!putString(msg + 16, clientName))
        return false;
    writeU32LE(msg + 272, 0);
    writeU32LE(msg + 276, 0x50334400u);   // bytes 00 44 33 50
    writeU32LE(msg + 280, 4);
    writeU32LE(msg + 284, 4);
    writeU32LE(msg + 288, 0);
    writeU32LE(msg + 292, 0);
    return true;
}

bool fillAddToDataDefinition(std::uint8_t *msg, std::uint32_t defineId, const char *datumName,
                             const char *unitsName, std::uint32_t datumType, float epsilon,
                             std::uint32_t datumId)
{
    putHeader(msg, kSizeAddToDataDefinition, kIdAddToDataDefinition);
    writeU32LE(msg + 16, defineId);
    if (!putString(msg + 20, datumName) || !putString(msg + 276, unitsName))
        return false;
    writeU32LE(msg + 532, datumType);
    writeF32LE(msg + 536, epsilon);
    writeU32LE(msg + 540, datumId);
    return true;
}

void fillClearDataDefinition(std::uint8_t *msg, std::uint32_t defineId)
{
    putHeader(msg, kSizeClearDataDefinition, kIdClearDataDefinition);
    writeU32LE(msg + 16, defineId);
}

void fillRequestDataOnSimObject(std::uint8_t *msg, std::uint32_t requestId, std::uint32_t defineId,
                                std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                std::uint32_t origin, std::uint32_t interval, std::uint32_t limit)
{
    putHeader(msg, kSizeRequestDataOnSimObject, kIdRequestDataOnSimObject);
    const std::uint32_t f[] = {requestId, defineId, objectId, period, flags, origin, interval, limit};
    for (unsigned i = 0; i < 8; ++i)
        writeU32LE(msg + 16 + 4 * i, f[i]);
}

bool fillRequestSystemState(std::uint8_t *msg, std::uint32_t requestId, const char *stateName)
{
    putHeader(msg, kSizeRequestSystemState, kIdRequestSystemState);
    writeU32LE(msg + 16, requestId);
    return putString(msg + 20, stateName);
}

} // namespace simconnect
