// The checksums as the tables in tests/data/ write them, each way to them written once: driven by
// tests/checksums_test.cpp and by fuzz/checksums_fuzzer.cpp.
#ifndef WEX_CHECKSUM_OUTCOMES_H
#define WEX_CHECKSUM_OUTCOMES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "checksum/source/crc_internal.h"
#include "wex_crc.h"
#include "wex_md5.h"

namespace wexsum {

// Every way to the CRCs over length bytes at data from the start values, against the
// byte-at-a-time reference: each engine this processor offers, through its function and through
// its entry, and the public functions. Gives the ways that differ, or "" when none does.
inline std::string crc_mismatches(uint16_t start16, uint32_t start32, const uint8_t *data,
                                  size_t length) {
    using namespace wex::crc;
    const uint16_t expected16 = crc16_bytewise(start16, data, length);
    const uint32_t expected32 = crc32_bytewise(start32, data, length);
    std::string mismatches;
    uint16_t out16 = 0;
    uint32_t out32 = 0;
    for (Engine engine : {Engine::Bytewise, Engine::Slicing8, Engine::Clmul, Engine::Clmul512}) {
        if (engine_available(engine) &&
            (crc16_with(engine, start16, data, length) != expected16 ||
             crc32_with(engine, start32, data, length) != expected32 ||
             crc16_entry(engine)(start16, data, length, &out16) != 0 || out16 != expected16 ||
             crc32_entry(engine)(start32, data, length, &out32) != 0 || out32 != expected32)) {
            mismatches += " engine " + std::to_string(static_cast<int>(engine));
        }
    }
    auto size = static_cast<uint32_t>(length);
    if (QUIL_CRC_Accumulate_16(start16, data, size, &out16) != 0 || out16 != expected16 ||
        QUIL_CRC_Accumulate_32(start32, data, size, &out32) != 0 || out32 != expected32) {
        mismatches += " public";
    }
    return mismatches;
}

// The MD5 digest in lower-case hexadecimal of length bytes at data, fed in pieces of the sizes
// that piece(bytes left) gives (at most the bytes left). Final must leave the context all zero.
template <typename Piece> std::string md5_hex(const uint8_t *data, size_t length, Piece piece) {
    MD5Context ctx;
    const MD5Context cleared{};
    QUIL_MD5_Init(&ctx);
    for (size_t fed = 0, n = 0; fed < length; fed += n) {
        n = piece(length - fed);
        QUIL_MD5_Update(&ctx, data + fed, static_cast<uint32_t>(n));
    }
    uint8_t digest[16];
    QUIL_MD5_Final(digest, &ctx);
    char hex[33] = {};
    for (size_t i = 0; i < sizeof digest; ++i) {
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    }
    return std::memcmp(&ctx, &cleared, sizeof ctx) == 0 ? hex : "the context is left";
}

} // namespace wexsum

#endif
