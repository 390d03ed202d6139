#include "crc.h"

#include <array>
#include <mutex>

namespace {
// Standard parameters of the published catalogue.
const CrcSpec kSpecs[crcAlgorithmCount] = {
    {"CRC-4/G-704", 4, 0x3, 0x0, true, true, 0x0, 0x7},
    {"CRC-5/EPC-C1G2", 5, 0x09, 0x09, false, false, 0x00, 0x00},
    {"CRC-5/G-704", 5, 0x15, 0x00, true, true, 0x00, 0x07},
    {"CRC-5/USB", 5, 0x05, 0x1f, true, true, 0x1f, 0x19},
    {"CRC-6/G-704", 6, 0x03, 0x00, true, true, 0x00, 0x06},
    {"CRC-7/MMC", 7, 0x09, 0x00, false, false, 0x00, 0x75},
    {"CRC-8/SMBUS", 8, 0x07, 0x00, false, false, 0x00, 0xf4},
    {"CRC-8/I-432-1", 8, 0x07, 0x00, false, false, 0x55, 0xa1},
    {"CRC-8/ROHC", 8, 0x07, 0xff, true, true, 0x00, 0xd0},
    {"CRC-8/MAXIM-DOW", 8, 0x31, 0x00, true, true, 0x00, 0xa1},
    {"CRC-8/CDMA2000", 8, 0x9b, 0xff, false, false, 0x00, 0xda},
    {"CRC-8/DARC", 8, 0x39, 0x00, true, true, 0x00, 0x15},
    {"CRC-8/DVB-S2", 8, 0xd5, 0x00, false, false, 0x00, 0xbc},
    {"CRC-8/TECH-3250", 8, 0x1d, 0xff, true, true, 0x00, 0x97},
    {"CRC-8/I-CODE", 8, 0x1d, 0xfd, false, false, 0x00, 0x7e},
    {"CRC-8/WCDMA", 8, 0x9b, 0x00, true, true, 0x00, 0x25},
    {"CRC-16/ARC", 16, 0x8005, 0x0000, true, true, 0x0000, 0xbb3d},
    {"CRC-16/MAXIM-DOW", 16, 0x8005, 0x0000, true, true, 0xffff, 0x44c2},
    {"CRC-16/USB", 16, 0x8005, 0xffff, true, true, 0xffff, 0xb4c8},
    {"CRC-16/MODBUS", 16, 0x8005, 0xffff, true, true, 0x0000, 0x4b37},
    {"CRC-16/KERMIT", 16, 0x1021, 0x0000, true, true, 0x0000, 0x2189},
    {"CRC-16/IBM-3740", 16, 0x1021, 0xffff, false, false, 0x0000, 0x29b1},
    {"CRC-16/IBM-SDLC", 16, 0x1021, 0xffff, true, true, 0xffff, 0x906e},
    {"CRC-16/XMODEM", 16, 0x1021, 0x0000, false, false, 0x0000, 0x31c3},
    {"CRC-16/DNP", 16, 0x3d65, 0x0000, true, true, 0xffff, 0xea82},
    {"CRC-16/SPI-FUJITSU", 16, 0x1021, 0x1d0f, false, false, 0x0000, 0xe5cc},
    {"CRC-16/UMTS", 16, 0x8005, 0x0000, false, false, 0x0000, 0xfee8},
    {"CRC-16/CDMA2000", 16, 0xc867, 0xffff, false, false, 0x0000, 0x4c06},
    {"CRC-16/DDS-110", 16, 0x8005, 0x800d, false, false, 0x0000, 0x9ecf},
    {"CRC-16/DECT-R", 16, 0x0589, 0x0000, false, false, 0x0001, 0x007e},
    {"CRC-16/DECT-X", 16, 0x0589, 0x0000, false, false, 0x0000, 0x007f},
    {"CRC-16/EN-13757", 16, 0x3d65, 0x0000, false, false, 0xffff, 0xc2b7},
    {"CRC-16/GENIBUS", 16, 0x1021, 0xffff, false, false, 0xffff, 0xd64e},
    {"CRC-16/MCRF4XX", 16, 0x1021, 0xffff, true, true, 0x0000, 0x6f91},
    {"CRC-16/RIELLO", 16, 0x1021, 0xb2aa, true, true, 0x0000, 0x63d0},
    {"CRC-16/T10-DIF", 16, 0x8bb7, 0x0000, false, false, 0x0000, 0xd0db},
    {"CRC-16/TELEDISK", 16, 0xa097, 0x0000, false, false, 0x0000, 0x0fb3},
    {"CRC-16/TMS37157", 16, 0x1021, 0x89ec, true, true, 0x0000, 0x26b1},
    {"CRC-16/ISO-IEC-14443-3-A", 16, 0x1021, 0xc6c6, true, true, 0x0000, 0xbf05},
    {"CRC-32/ISO-HDLC", 32, 0x04c11db7, 0xffffffff, true, true, 0xffffffff, 0xcbf43926},
    {"CRC-32/MPEG-2", 32, 0x04c11db7, 0xffffffff, false, false, 0x00000000, 0x0376e6e7},
    {"CRC-32/BZIP2", 32, 0x04c11db7, 0xffffffff, false, false, 0xffffffff, 0xfc891918},
    {"CRC-32/CKSUM", 32, 0x04c11db7, 0x00000000, false, false, 0xffffffff, 0x765e7680},
    {"CRC-32/JAMCRC", 32, 0x04c11db7, 0xffffffff, true, true, 0x00000000, 0x340bc6d9},
    {"CRC-32/XFER", 32, 0x000000af, 0x00000000, false, false, 0x00000000, 0xbd0be338},
    {"CRC-32/ISCSI", 32, 0x1edc6f41, 0xffffffff, true, true, 0xffffffff, 0xe3069283},
    {"CRC-32/BASE91-D", 32, 0xa833982b, 0xffffffff, true, true, 0xffffffff, 0x87315576},
    {"CRC-32/AIXM", 32, 0x814141ab, 0x00000000, false, false, 0x00000000, 0x3010bf7f},
};

uint32_t widthMask(int w) { return w >= 32 ? 0xFFFFFFFFu : ((1u << w) - 1u); }

uint32_t reflect(uint32_t v, int bits)
{
    uint32_t r = 0;
    for (int i = 0; i < bits; ++i)
        if (v & (1u << i))
            r |= 1u << (bits - 1 - i);
    return r;
}

// Register conventions of the table-driven routine:
//  reflected: the register holds the CRC reflected, low-aligned;
//  normal: the register is left-aligned to max(width, 8) bits, so widths
//  below 8 work with the same byte-wise step.
int regBits(const CrcSpec &s) { return s.width < 8 ? 8 : s.width; }

uint32_t finish(const CrcSpec &s, uint32_t reg)
{
    // reg is the unreflected CRC value of width bits here.
    if (s.refout)
        reg = reflect(reg, s.width);
    return (reg ^ s.xorout) & widthMask(s.width);
}

struct TableCache {
    std::once_flag once[crcAlgorithmCount];
    std::array<uint32_t, 256> table[crcAlgorithmCount];
};
TableCache &cache()
{
    static TableCache c;
    return c;
}
}

const CrcSpec &crcSpec(CrcAlgorithm a) { return kSpecs[int(a)]; }

void crcFillTable(CrcAlgorithm a, uint32_t table[256])
{
    const CrcSpec &s = crcSpec(a);
    if (s.refin) {
        const uint32_t rpoly = reflect(s.poly, s.width);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ rpoly : (c >> 1);
            table[i] = c & widthMask(s.width);
        }
    } else {
        const int rb = regBits(s);
        const uint32_t top = 1u << (rb - 1);
        const uint32_t poly = s.poly << (rb - s.width);
        const uint32_t mask = widthMask(rb);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i << (rb - 8);
            for (int k = 0; k < 8; ++k)
                c = (c & top) ? ((c << 1) ^ poly) : (c << 1);
            table[i] = c & mask;
        }
    }
}

uint32_t crcCompute(CrcAlgorithm a, const uint8_t *data, size_t length)
{
    const CrcSpec &s = crcSpec(a);
    TableCache &c = cache();
    const int idx = int(a);
    std::call_once(c.once[idx], [&] { crcFillTable(a, c.table[idx].data()); });
    const uint32_t *t = c.table[idx].data();
    if (s.refin) {
        uint32_t reg = reflect(s.init, s.width);
        for (size_t i = 0; i < length; ++i)
            reg = t[(reg ^ data[i]) & 0xFF] ^ (s.width > 8 ? (reg >> 8) : 0);
        // reg is the reflected CRC; bring it back to normal order for finish().
        return finish(s, reflect(reg, s.width));
    }
    const int rb = regBits(s);
    const uint32_t mask = widthMask(rb);
    uint32_t reg = s.init << (rb - s.width);
    for (size_t i = 0; i < length; ++i)
        reg = (t[((reg >> (rb - 8)) ^ data[i]) & 0xFF] ^ (rb > 8 ? (reg << 8) : 0)) & mask;
    return finish(s, reg >> (rb - s.width));
}

uint32_t crcBitwise(CrcAlgorithm a, const uint8_t *data, size_t length)
{
    const CrcSpec &s = crcSpec(a);
    const uint32_t mask = widthMask(s.width);
    const uint32_t top = 1u << (s.width - 1);
    uint32_t reg = s.init & mask;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t byte = s.refin ? uint8_t(reflect(data[i], 8)) : data[i];
        for (int b = 7; b >= 0; --b) {
            const bool in = (byte >> b) & 1;
            const bool msb = (reg & top) != 0;
            reg = (reg << 1) & mask;
            if (in != msb)
                reg ^= s.poly;
        }
    }
    return finish(s, reg);
}
