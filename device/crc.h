#pragma once
// The catalogue of CRC routines the program carries. Each algorithm has a
// table-filling routine, a table-driven routine and a bit-by-bit routine, all
// with the algorithm's standard parameters (width, polynomial, initial value,
// reflection, final XOR). A zero-length input gives the initial value after
// the final XOR.
#include <cstddef>
#include <cstdint>

enum class CrcAlgorithm {
    CRC4_G704,
    CRC5_EPC_C1G2, CRC5_G704, CRC5_USB,
    CRC6_G704,
    CRC7_MMC,
    CRC8_SMBUS, CRC8_I_432_1, CRC8_ROHC, CRC8_MAXIM_DOW, CRC8_CDMA2000, CRC8_DARC,
    CRC8_DVB_S2, CRC8_TECH_3250, CRC8_I_CODE, CRC8_WCDMA,
    CRC16_ARC, CRC16_MAXIM_DOW, CRC16_USB, CRC16_MODBUS, CRC16_KERMIT, CRC16_IBM_3740,
    CRC16_IBM_SDLC, CRC16_XMODEM, CRC16_DNP, CRC16_SPI_FUJITSU, CRC16_UMTS, CRC16_CDMA2000,
    CRC16_DDS_110, CRC16_DECT_R, CRC16_DECT_X, CRC16_EN_13757, CRC16_GENIBUS, CRC16_MCRF4XX,
    CRC16_RIELLO, CRC16_T10_DIF, CRC16_TELEDISK, CRC16_TMS37157, CRC16_ISO_IEC_14443_3_A,
    CRC32_ISO_HDLC, CRC32_MPEG_2, CRC32_BZIP2, CRC32_CKSUM, CRC32_JAMCRC, CRC32_XFER,
    CRC32_ISCSI, CRC32_BASE91_D, CRC32_AIXM,
    Count
};

struct CrcSpec {
    const char *name;   // as in the published catalogue, e.g. "CRC-16/MODBUS"
    int width;
    uint32_t poly;      // normal (unreflected) form
    uint32_t init;
    bool refin;
    bool refout;
    uint32_t xorout;
    uint32_t check;     // over the ASCII digits "123456789"
};

const CrcSpec &crcSpec(CrcAlgorithm a);
constexpr int crcAlgorithmCount = int(CrcAlgorithm::Count);

// Fills the 256-entry table that the table-driven routine of this algorithm uses.
void crcFillTable(CrcAlgorithm a, uint32_t table[256]);
// Table-driven (the table is filled once per algorithm and kept).
uint32_t crcCompute(CrcAlgorithm a, const uint8_t *data, size_t length);
// Same result, computed one bit at a time.
uint32_t crcBitwise(CrcAlgorithm a, const uint8_t *data, size_t length);

// The algorithms the checksum operations of the serial layer use.
inline uint16_t crc16Kermit(const uint8_t *d, size_t n) { return uint16_t(crcCompute(CrcAlgorithm::CRC16_KERMIT, d, n)); }
inline uint16_t crc16Usb(const uint8_t *d, size_t n) { return uint16_t(crcCompute(CrcAlgorithm::CRC16_USB, d, n)); }
inline uint16_t crc16Ibm3740(const uint8_t *d, size_t n) { return uint16_t(crcCompute(CrcAlgorithm::CRC16_IBM_3740, d, n)); }
inline uint32_t crc32IsoHdlc(const uint8_t *d, size_t n) { return crcCompute(CrcAlgorithm::CRC32_ISO_HDLC, d, n); }
inline uint8_t crc8MaximDow(const uint8_t *d, size_t n) { return uint8_t(crcCompute(CrcAlgorithm::CRC8_MAXIM_DOW, d, n)); }
