#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "wex_md5.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string hex(const uint8_t *bytes, size_t n) {
    std::string out;
    char pair[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        out += pair;
    }
    return out;
}

// Feeds data in pieces of the given sizes, cycling through them until the data is used up.
// A piece of size 0 is an empty update.
std::string md5_in_pieces(const Bytes &data, const std::vector<size_t> &pieces) {
    MD5Context ctx;
    QUIL_MD5_Init(&ctx);
    size_t at = 0;
    for (size_t k = 0; at < data.size(); k = (k + 1) % pieces.size()) {
        size_t n = std::min(pieces[k], data.size() - at);
        QUIL_MD5_Update(&ctx, data.data() + at, static_cast<uint32_t>(n));
        at += n;
    }
    uint8_t digest[16];
    QUIL_MD5_Final(digest, &ctx);
    return hex(digest, sizeof digest);
}

std::string md5(const Bytes &data) {
    return md5_in_pieces(data, {data.size() + 1});
}

std::string md5(const std::string &text) {
    return md5(Bytes(text.begin(), text.end()));
}

// The same generator as tests/data/md5/make_digests.py: xorshift32 seeded by the length.
Bytes message(size_t length) {
    uint32_t state = 2463534242u + static_cast<uint32_t>(length);
    Bytes out(length);
    for (auto &byte : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return out;
}

// The digests of message(length) in tests/data/md5/random_digests.txt, by length.
std::map<size_t, std::string> expected_digests() {
    std::istringstream in(wextest::read_file(wextest::data_path("md5/random_digests.txt")));
    std::map<size_t, std::string> digests;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        size_t length = 0;
        if (line.empty() || line[0] == '#' || !(fields >> length)) {
            continue;
        }
        fields >> digests[length];
    }
    return digests;
}

} // namespace

TEST(Md5Digest, TheRfc1321SuiteComesOutAsPublished) {
    std::string eightyDigits;
    for (int i = 0; i < 8; ++i) {
        eightyDigits += "1234567890";
    }
    const struct {
        std::string message;
        const char *digest;
    } suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {eightyDigits, "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &row : suite) {
        EXPECT_EQ(md5(row.message), row.digest) << '"' << row.message << '"';
    }
}

// Every length 0..300 crosses each padding boundary (55 bytes leave room for the bit count in the
// same block, 56..63 need a second one, 64 and 119/120 likewise one block on); the file adds a
// message of 1 MiB and one of 3 MiB + 17.
TEST(Md5Digest, MessagesOfEveryLengthUpTo300MatchDigestsComputedIndependently) {
    auto digests = expected_digests();
    ASSERT_EQ(digests.size(), 303u);
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u}) {
        EXPECT_EQ(digests.count(length), 1u) << "the boundary " << length << " is in the file";
    }
    for (const auto &[length, digest] : digests) {
        EXPECT_EQ(md5(message(length)), digest) << "length " << length;
    }
}

TEST(Md5Digest, PiecesOfEverySizeGiveTheDigestOfTheWholeMessage) {
    auto digests = expected_digests();
    const size_t length = 300;
    Bytes data = message(length);
    for (size_t size = 0; size <= 130; ++size) {
        // A piece of the size under test, an empty one, then the rest in pieces of one size more,
        // so that the buffer is entered at every offset.
        EXPECT_EQ(md5_in_pieces(data, {size, 0, size + 1}), digests[length])
            << "pieces of " << size;
    }
    const size_t large = 3 * (1u << 20) + 17;
    EXPECT_EQ(md5_in_pieces(message(large), {1, 63, 64, 65, 4096, 100000}), digests[large]);
}

TEST(Md5Context, FinalLeavesEveryFieldZero) {
    MD5Context ctx;
    QUIL_MD5_Init(&ctx);
    Bytes data = message(77);
    QUIL_MD5_Update(&ctx, data.data(), static_cast<uint32_t>(data.size()));
    uint8_t digest[16];
    QUIL_MD5_Final(digest, &ctx);
    const auto *raw = reinterpret_cast<const uint8_t *>(&ctx);
    EXPECT_EQ(Bytes(raw, raw + sizeof ctx), Bytes(sizeof ctx, 0));
}

TEST(Md5Context, TheBitCountCarriesIntoItsHighWord) {
    MD5Context ctx;
    QUIL_MD5_Init(&ctx);
    ctx.count[0] = 0xFFFFFFF8u; // one byte short of 2^32 bits, buffer offset 63
    uint8_t bytes[2] = {1, 2};
    QUIL_MD5_Update(&ctx, bytes, sizeof bytes);
    EXPECT_EQ(ctx.count[0], 8u);
    EXPECT_EQ(ctx.count[1], 1u);
}

TEST(Md5Context, AnEmptyOrNullInputChangesNothing) {
    MD5Context ctx{}; // the whole context is compared, the unused buffer bytes too
    QUIL_MD5_Init(&ctx);
    uint8_t byte = 'a';
    QUIL_MD5_Update(&ctx, &byte, 1);
    MD5Context before = ctx;
    QUIL_MD5_Update(&ctx, nullptr, 0);
    QUIL_MD5_Update(&ctx, nullptr, 5);
    QUIL_MD5_Update(&ctx, &byte, 0);
    QUIL_MD5_Update(nullptr, &byte, 1);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
    uint8_t digest[16];
    QUIL_MD5_Final(digest, &ctx);
    EXPECT_EQ(hex(digest, sizeof digest), "0cc175b9c0f1b6a831c399e269772661");
}

TEST(Md5Words, EncodeAndDecodeAreLittleEndianAndStayWithinTheLength) {
    const uint32_t words[2] = {0x04030201u, 0x08070605u};
    uint8_t bytes[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    QUIL_MD5_Encode(bytes, words, 5);
    EXPECT_EQ(Bytes(bytes, bytes + 8), (Bytes{1, 2, 3, 4, 5, 0xEE, 0xEE, 0xEE}));

    // Decode reads the five bytes only; the missing high bytes of the last word are zero.
    Bytes exact = {1, 2, 3, 4, 5}; // sized exactly, so a sanitizer sees any overread
    uint32_t back[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    QUIL_MD5_Decode(back, exact.data(), 5);
    EXPECT_EQ(back[0], 0x04030201u);
    EXPECT_EQ(back[1], 0x00000005u);
}

TEST(Md5Words, TransformOfOnePaddedBlockGivesTheEmptyMessageState) {
    MD5Context ctx;
    QUIL_MD5_Init(&ctx);
    uint8_t block[64] = {0x80};
    QUIL_MD5_Transform(&ctx, block);
    uint8_t digest[16];
    QUIL_MD5_Encode(digest, ctx.state, sizeof digest);
    EXPECT_EQ(hex(digest, sizeof digest), "d41d8cd98f00b204e9800998ecf8427e");
}
