// CRC-16 (0x1021, most significant bit first) and CRC-32 (reflected 0xEDB88320), one table lookup
// per byte. Each table is generated at compile time from its polynomial; the entries the
// checksums are known by are asserted beside it.
#include <array>

#include "wex_crc.h"
#include "wex_result_codes.h"

namespace {

constexpr uint16_t kCrc16Polynomial = 0x1021;
constexpr uint32_t kCrc32Polynomial = 0xEDB88320; // 0x04C11DB7 bit-reversed

// Entry i: i in the top byte of a 16-bit word, shifted left eight times through the polynomial.
constexpr std::array<uint16_t, 256> make_crc16_table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 0x8000) != 0 ? (r << 1) ^ kCrc16Polynomial : r << 1;
        }
        table[i] = static_cast<uint16_t>(r);
    }
    return table;
}

// Entry i: i shifted right eight times through the reflected polynomial.
constexpr std::array<uint32_t, 256> make_crc32_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 1) != 0 ? (r >> 1) ^ kCrc32Polynomial : r >> 1;
        }
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = make_crc16_table();
constexpr std::array<uint32_t, 256> kCrc32Table = make_crc32_table();

static_assert(kCrc16Table[1] == 0x1021 && kCrc16Table[3] == 0x3063 && kCrc16Table[255] == 0x1EF0);
static_assert(kCrc32Table[1] == 0x77073096 && kCrc32Table[3] == 0x990951BA &&
              kCrc32Table[255] == 0x2D02EF8D);

// The reference loops: one lookup, one shift and one XOR per byte.
uint16_t crc16_bytes(uint16_t crc, const uint8_t *p, uint32_t length) {
    for (uint32_t k = 0; k < length; ++k) {
        auto i = static_cast<uint8_t>((crc >> 8) ^ p[k]);
        crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[i]);
    }
    return crc;
}

uint32_t crc32_bytes(uint32_t crc, const uint8_t *p, uint32_t length) {
    for (uint32_t k = 0; k < length; ++k) {
        crc = (crc >> 8) ^ kCrc32Table[(crc ^ p[k]) & 0xFF];
    }
    return crc;
}

} // namespace

extern "C" {

uint32_t QUIL_CRC_16(const void *data, uint32_t length, uint16_t *crc) {
    return QUIL_CRC_Accumulate_16(0, data, length, crc);
}

uint32_t QUIL_CRC_Accumulate_16(uint16_t crc, const void *data, uint32_t length, uint16_t *out) {
    if (data == nullptr || out == nullptr) {
        return CRC_BAD_ARGUMENT;
    }
    *out = crc16_bytes(crc, static_cast<const uint8_t *>(data), length);
    return QUIL_SUCCESS;
}

uint32_t QUIL_CRC_32(const void *data, uint32_t length, uint32_t *crc) {
    return QUIL_CRC_Accumulate_32(0, data, length, crc);
}

uint32_t QUIL_CRC_Accumulate_32(uint32_t crc, const void *data, uint32_t length, uint32_t *out) {
    if (data == nullptr || out == nullptr) {
        return CRC_BAD_ARGUMENT;
    }
    *out = crc32_bytes(crc, static_cast<const uint8_t *>(data), length);
    return QUIL_SUCCESS;
}

} // extern "C"
