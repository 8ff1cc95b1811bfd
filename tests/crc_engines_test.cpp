// Every CRC engine the processor offers computes exactly what the byte-at-a-time reference
// computes, for every length up to 8 KiB at every alignment and from varying start values (which
// also makes chaining over pieces exact). fuzz/checksums_fuzzer.cpp adds arbitrary splits.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "checksum/source/crc_internal.h"

namespace {

using wex::crc::Engine;

class CrcEngine : public testing::TestWithParam<Engine> {};

// Both ways into an engine: its function, and the entry that the public functions jump to, which
// inlines the engine into code of its own and reports success.
TEST_P(CrcEngine, MatchesTheReferenceForEveryLengthUpTo8KiBAtEveryAlignment) {
    if (!wex::crc::engine_available(GetParam())) {
        GTEST_SKIP() << "this processor lacks the engine's instructions";
    }
    constexpr size_t kMaxLength = 8192;
    constexpr size_t kAlignments = 64;
    std::mt19937 random(7);
    std::vector<uint8_t> data(kMaxLength + kAlignments);
    for (uint8_t &byte : data) {
        byte = static_cast<uint8_t>(random());
    }
    const wex::crc::Crc16Entry entry16 = wex::crc::crc16_entry(GetParam());
    const wex::crc::Crc32Entry entry32 = wex::crc::crc32_entry(GetParam());
    for (size_t length = 0; length <= kMaxLength; ++length) {
        auto start = static_cast<uint32_t>(length * 2654435761u);
        auto start16 = static_cast<uint16_t>(start);
        // Every length modulo 64 meets every offset.
        const uint8_t *p = data.data() + (length + length / kAlignments) % kAlignments;
        const uint16_t expected16 = wex::crc::crc16_bytewise(start16, p, length);
        const uint32_t expected32 = wex::crc::crc32_bytewise(start, p, length);
        ASSERT_EQ(wex::crc::crc16_with(GetParam(), start16, p, length), expected16)
            << "CRC-16, length " << length;
        ASSERT_EQ(wex::crc::crc32_with(GetParam(), start, p, length), expected32)
            << "CRC-32, length " << length;
        uint16_t out16 = 0;
        uint32_t out32 = 0;
        ASSERT_EQ(entry16(start16, p, length, &out16), 0u);
        ASSERT_EQ(out16, expected16) << "CRC-16 entry, length " << length;
        ASSERT_EQ(entry32(start, p, length, &out32), 0u);
        ASSERT_EQ(out32, expected32) << "CRC-32 entry, length " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(All, CrcEngine,
                         testing::Values(Engine::Bytewise, Engine::Slicing8, Engine::Clmul,
                                         Engine::Clmul512));

TEST(CrcEngineChoice, TheChosenEngineIsAvailable) {
    EXPECT_TRUE(wex::crc::engine_available(wex::crc::best_engine()));
}

} // namespace
