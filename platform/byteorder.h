#pragma once
// Little-endian values in byte buffers: the device frames and records, the
// bridge datagram. Byte by byte, so neither the host's byte order nor the
// buffer's alignment matters.
#include <cstdint>
#include <cstring>

inline std::uint16_t readU16LE(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32LE(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t readU64LE(const std::uint8_t *p)
{
    return std::uint64_t(readU32LE(p)) | (std::uint64_t(readU32LE(p + 4)) << 32);
}

inline float readF32LE(const std::uint8_t *p)
{
    const std::uint32_t w = readU32LE(p);
    float f;
    std::memcpy(&f, &w, sizeof f);
    return f;
}

inline double readF64LE(const std::uint8_t *p)
{
    const std::uint64_t w = readU64LE(p);
    double d;
    std::memcpy(&d, &w, sizeof d);
    return d;
}

inline void writeU16LE(std::uint8_t *p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void writeU32LE(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void writeU64LE(std::uint8_t *p, std::uint64_t v)
{
    writeU32LE(p, static_cast<std::uint32_t>(v));
    writeU32LE(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline void writeF32LE(std::uint8_t *p, float f)
{
    std::uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    writeU32LE(p, w);
}

inline void writeF64LE(std::uint8_t *p, double d)
{
    std::uint64_t w;
    std::memcpy(&w, &d, sizeof w);
    writeU64LE(p, w);
}
