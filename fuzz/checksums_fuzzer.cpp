// The CRCs and MD5 of checksum_outcomes.h over arbitrary data, start values, alignments, pieces.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "checksum_outcomes.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider input(bytes, size);
    auto start16 = input.ConsumeIntegral<uint16_t>();
    auto start32 = input.ConsumeIntegral<uint32_t>();
    auto alignment = input.ConsumeIntegralInRange<size_t>(0, 63); // in a block aligned to 16
    std::vector<uint8_t> payload = input.ConsumeBytes<uint8_t>(input.ConsumeIntegral<uint16_t>());
    size_t length = payload.size();

    // The data at the chosen offset into a block that ends with it, so that AddressSanitizer
    // reports any read behind the last byte.
    std::unique_ptr<uint8_t[]> block(new uint8_t[alignment + length]);
    uint8_t *data = block.get() + alignment;
    std::copy(payload.begin(), payload.end(), data);
    wexfuzz::check(wexsum::crc_mismatches(start16, start32, data, length).empty(),
                   "every way to the CRCs equals the reference");
    auto whole = [](size_t left) { return left; };
    auto pieces = [&input](size_t left) {
        return input.remaining_bytes() == 0 ? left : input.ConsumeIntegralInRange<size_t>(0, left);
    };
    wexfuzz::check(wexsum::md5_hex(data, length, whole) == wexsum::md5_hex(data, length, pieces),
                   "MD5 in pieces equals MD5 in one call");
    return 0;
}
