// Every CRC engine this processor offers gives the byte-at-a-time reference value for any data,
// start value, length, alignment and split into two pieces, and so do the public functions; MD5
// over the data fed in pieces of any sizes equals MD5 over it in one call.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <vector>

#include "checksum/source/crc_internal.h"
#include "fuzz_support.h"
#include "wex_crc.h"
#include "wex_md5.h"

namespace {

using wex::crc::Engine;
using wexfuzz::check;

constexpr Engine kEngines[] = {Engine::Bytewise, Engine::Slicing8, Engine::Clmul, Engine::Clmul512};
constexpr size_t kLongestOffset = 63; // the block itself is aligned to 16 bytes

struct Reference {
    uint16_t crc16;
    uint32_t crc32;
};

void check_engine(Engine engine, const uint8_t *data, size_t length, size_t split, uint16_t start16,
                  uint32_t start32, const Reference &expected) {
    check(wex::crc::crc16_with(engine, start16, data, length) == expected.crc16,
          "a CRC-16 engine equals the reference");
    check(wex::crc::crc32_with(engine, start32, data, length) == expected.crc32,
          "a CRC-32 engine equals the reference");
    uint16_t first16 = wex::crc::crc16_with(engine, start16, data, split);
    uint32_t first32 = wex::crc::crc32_with(engine, start32, data, split);
    check(wex::crc::crc16_with(engine, first16, data + split, length - split) == expected.crc16,
          "a CRC-16 engine over two pieces equals the reference");
    check(wex::crc::crc32_with(engine, first32, data + split, length - split) == expected.crc32,
          "a CRC-32 engine over two pieces equals the reference");
}

void check_public_functions(const uint8_t *data, size_t length, uint16_t start16, uint32_t start32,
                            const Reference &expected) {
    auto size = static_cast<uint32_t>(length);
    uint16_t out16 = 0;
    uint32_t out32 = 0;
    check(QUIL_CRC_Accumulate_16(start16, data, size, &out16) == 0 && out16 == expected.crc16,
          "QUIL_CRC_Accumulate_16 equals the reference");
    check(QUIL_CRC_Accumulate_32(start32, data, size, &out32) == 0 && out32 == expected.crc32,
          "QUIL_CRC_Accumulate_32 equals the reference");
    check(QUIL_CRC_16(data, size, &out16) == 0 &&
              out16 == wex::crc::crc16_bytewise(0, data, length),
          "QUIL_CRC_16 equals the reference from 0");
    check(QUIL_CRC_32(data, size, &out32) == 0 &&
              out32 == wex::crc::crc32_bytewise(0, data, length),
          "QUIL_CRC_32 equals the reference from 0");
}

void check_md5_pieces(FuzzedDataProvider &input, const uint8_t *data, size_t length) {
    uint8_t whole[16];
    uint8_t pieces[16];
    MD5Context context;
    QUIL_MD5_Init(&context);
    QUIL_MD5_Update(&context, data, static_cast<uint32_t>(length));
    QUIL_MD5_Final(whole, &context);

    QUIL_MD5_Init(&context);
    size_t fed = 0;
    while (fed < length) {
        size_t piece = input.ConsumeIntegralInRange<size_t>(0, length - fed);
        if (input.remaining_bytes() == 0) {
            piece = length - fed;
        }
        QUIL_MD5_Update(&context, data + fed, static_cast<uint32_t>(piece));
        fed += piece;
    }
    QUIL_MD5_Final(pieces, &context);
    check(std::memcmp(whole, pieces, sizeof whole) == 0, "MD5 in pieces equals MD5 in one call");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider input(bytes, size);
    auto start16 = input.ConsumeIntegral<uint16_t>();
    auto start32 = input.ConsumeIntegral<uint32_t>();
    auto alignment = input.ConsumeIntegralInRange<size_t>(0, kLongestOffset);
    std::vector<uint8_t> payload = input.ConsumeBytes<uint8_t>(input.ConsumeIntegral<uint16_t>());
    size_t length = payload.size();
    auto split = input.ConsumeIntegralInRange<size_t>(0, length);

    // The data at the chosen offset into a block that ends with it, so that AddressSanitizer
    // reports any read behind the last byte.
    std::unique_ptr<uint8_t[]> block(new uint8_t[alignment + length]);
    uint8_t *data = block.get() + alignment;
    if (length > 0) {
        std::memcpy(data, payload.data(), length);
    }
    Reference expected{wex::crc::crc16_bytewise(start16, data, length),
                       wex::crc::crc32_bytewise(start32, data, length)};
    for (Engine engine : kEngines) {
        if (wex::crc::engine_available(engine)) {
            check_engine(engine, data, length, split, start16, start32, expected);
        }
    }
    check_public_functions(data, length, start16, start32, expected);
    check_md5_pieces(input, data, length);
    return 0;
}
