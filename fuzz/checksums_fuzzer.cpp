// The public CRC functions give the byte-at-a-time reference value for any data, start value and
// alignment, and MD5 over the data fed in pieces of any sizes equals MD5 over it in one call. Each
// engine over every length and alignment up to 8 KiB: tests/checksums_test.cpp.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>
#include <vector>

#include "checksum/source/crc_internal.h"
#include "fuzz_support.h"
#include "wex_crc.h"
#include "wex_md5.h"

namespace {

using wexfuzz::check;

constexpr size_t kLongestOffset = 63; // the block itself is aligned to 16 bytes

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

    // The data at the chosen offset into a block that ends with it, so that AddressSanitizer
    // reports any read behind the last byte.
    std::unique_ptr<uint8_t[]> block(new uint8_t[alignment + length]);
    uint8_t *data = block.get() + alignment;
    if (length > 0) {
        std::memcpy(data, payload.data(), length);
    }
    auto size32 = static_cast<uint32_t>(length);
    uint16_t out16 = 0;
    uint32_t out32 = 0;
    check(QUIL_CRC_Accumulate_16(start16, data, size32, &out16) == 0 &&
              out16 == wex::crc::crc16_bytewise(start16, data, length),
          "QUIL_CRC_Accumulate_16 equals the reference");
    check(QUIL_CRC_Accumulate_32(start32, data, size32, &out32) == 0 &&
              out32 == wex::crc::crc32_bytewise(start32, data, length),
          "QUIL_CRC_Accumulate_32 equals the reference");
    check_md5_pieces(input, data, length);
    return 0;
}
