// CRC-16, CRC-32 and MD5 over the tables of tests/data/, every CRC engine over every length and
// alignment up to 8 KiB, and MD5's context and word helpers, through fuzz/checksum_outcomes.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "checksum_outcomes.h"
#include "test_support.h"
#include "wex_result_codes.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The value of kind over message as the tables write it: lower-case hexadecimal. The message is
// sized exactly, so that AddressSanitizer reports any read behind it. MD5 is also fed in pieces
// of 0 to 69 bytes in turn, which meet every offset in a block.
std::string checksum(const std::string &kind, const Bytes &message) {
    const uint8_t *data = message.empty() ? reinterpret_cast<const uint8_t *>("") : message.data();
    auto length = static_cast<uint32_t>(message.size());
    if (kind == "md5") {
        std::string whole = wexsum::md5_hex(data, length, [](size_t left) { return left; });
        size_t next = 0;
        auto pieces = [&next](size_t left) { return std::min(left, next++ % 70); };
        return wexsum::md5_hex(data, length, pieces) == whole ? whole : "differs in pieces";
    }
    uint16_t crc16 = 0;
    uint32_t crc32 = 0;
    uint32_t code =
        kind == "crc16" ? QUIL_CRC_16(data, length, &crc16) : QUIL_CRC_32(data, length, &crc32);
    char text[16];
    std::snprintf(text, sizeof text, "%x", kind == "crc16" ? crc16 : crc32);
    return code == QUIL_SUCCESS ? text : "code " + std::to_string(code);
}

// The same generator as scripts/make_md5_digests.py: xorshift32 seeded by the length.
Bytes message(size_t length) {
    uint32_t state = 2463534242u + static_cast<uint32_t>(length);
    Bytes out(length);
    for (uint8_t &byte : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

// The published values, and MD5 over messages of every length 0..300, which cross each padding
// boundary, of 1 MiB and of 3 MiB + 17, against digests computed independently.
TEST(Checksums, TheValuesOfTheTablesComeOut) {
    for (const auto &row : wextest::read_rows("checksums/vectors.txt")) {
        const std::string &text = row.fields.at(1);
        EXPECT_EQ(checksum(row.fields[0], Bytes(text.begin(), text.end())), row.fields.at(2))
            << row.where;
    }
    for (const auto &row : wextest::read_rows("md5/random_digests.txt")) {
        EXPECT_EQ(checksum("md5", message(std::stoul(row.fields[0]))), row.fields.at(1))
            << row.where;
    }
}

TEST(Crc, NullArgumentsGive10AndLeaveTheOutput) {
    uint16_t crc16 = 0x1234;
    uint32_t crc32 = 0x12345678;
    for (uint32_t code :
         {QUIL_CRC_16(nullptr, 0, &crc16), QUIL_CRC_Accumulate_16(5, nullptr, 3, &crc16),
          QUIL_CRC_16("abc", 3, nullptr), QUIL_CRC_32(nullptr, 0, &crc32),
          QUIL_CRC_Accumulate_32(5, nullptr, 3, &crc32), QUIL_CRC_32("abc", 3, nullptr)}) {
        EXPECT_EQ(code, CRC_BAD_ARGUMENT);
    }
    EXPECT_EQ(crc16, 0x1234);
    EXPECT_EQ(crc32, 0x12345678u);
}

// Every length modulo 64 meets every offset; the data ends with its block, so that
// AddressSanitizer reports any read behind the last byte.
TEST(Crc, EveryWayMatchesTheReferenceForEveryLengthUpTo8KiBAtEveryAlignment) {
    constexpr size_t kMaxLength = 8192;
    constexpr size_t kAlignments = 64;
    const Bytes data = message(kMaxLength);
    for (size_t length = 0; length <= kMaxLength; ++length) {
        auto start = static_cast<uint32_t>(length * 2654435761u);
        size_t offset = (length + length / kAlignments) % kAlignments;
        std::unique_ptr<uint8_t[]> block(new uint8_t[offset + length]);
        uint8_t *p = block.get() + offset;
        std::copy_n(data.begin(), length, p);
        ASSERT_EQ(wexsum::crc_mismatches(static_cast<uint16_t>(start), start, p, length), "")
            << "length " << length;
    }
    EXPECT_TRUE(wex::crc::engine_available(wex::crc::best_engine()));
}

// The context is compared whole, the unused buffer bytes too.
TEST(Md5Context, TheBitCountCarriesIntoItsHighWordAndAnEmptyOrNullInputChangesNothing) {
    MD5Context ctx{};
    QUIL_MD5_Init(&ctx);
    ctx.count[0] = 0xFFFFFFF8u; // one byte short of 2^32 bits, buffer offset 63
    uint8_t bytes[2] = {1, 2};
    QUIL_MD5_Update(&ctx, bytes, sizeof bytes);
    EXPECT_EQ(ctx.count[0], 8u);
    EXPECT_EQ(ctx.count[1], 1u);
    MD5Context before = ctx;
    QUIL_MD5_Update(&ctx, nullptr, 0);
    QUIL_MD5_Update(&ctx, nullptr, 5);
    QUIL_MD5_Update(&ctx, bytes, 0);
    QUIL_MD5_Update(nullptr, bytes, 1);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
}

TEST(Md5Words, EncodeAndDecodeAreLittleEndianAndStayWithinTheLength) {
    const uint32_t words[3] = {0x04030201u, 0x08070605u, 0x0C0B0A09u};
    uint8_t bytes[12] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    QUIL_MD5_Encode(bytes, words, 11);
    EXPECT_EQ(Bytes(bytes, bytes + 12), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xEE}));

    // Decode reads the eleven bytes only; the missing high byte of the last word is zero.
    Bytes exact(bytes, bytes + 11); // sized exactly, so a sanitizer sees any overread
    uint32_t back[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    QUIL_MD5_Decode(back, exact.data(), 11);
    using Words = std::vector<uint32_t>;
    EXPECT_EQ(Words(back, back + 4), (Words{words[0], words[1], 0x0B0A09u, 0xFFFFFFFFu}));
}

} // namespace
