// Every CRC engine the processor offers computes exactly what the byte-at-a-time reference
// computes: for every length up to 8 KiB, at every alignment, from any start value and over any
// split into pieces.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "checksum/source/crc_internal.h"

namespace {

using wex::crc::Engine;

constexpr size_t kMaxLength = 8192;
constexpr size_t kAlignments = 64;

const char *engine_name(Engine engine) {
    switch (engine) {
    case Engine::Bytewise:
        return "Bytewise";
    case Engine::Slicing8:
        return "Slicing8";
    case Engine::Clmul:
        return "Clmul";
    case Engine::Clmul512:
        return "Clmul512";
    }
    return "?";
}

class CrcEngine : public testing::TestWithParam<Engine> {
  protected:
    void SetUp() override {
        if (!wex::crc::engine_available(GetParam())) {
            GTEST_SKIP() << "this processor lacks the instructions of " << engine_name(GetParam());
        }
        std::mt19937 random(7);
        data.resize(kMaxLength + kAlignments);
        for (uint8_t &byte : data) {
            byte = static_cast<uint8_t>(random());
        }
    }

    void expect_same(size_t offset, size_t length, uint16_t start16, uint32_t start32) {
        const uint8_t *p = data.data() + offset;
        ASSERT_EQ(wex::crc::crc16_with(GetParam(), start16, p, length),
                  wex::crc::crc16_bytewise(start16, p, length))
            << "CRC-16 at offset " << offset << ", length " << length;
        ASSERT_EQ(wex::crc::crc32_with(GetParam(), start32, p, length),
                  wex::crc::crc32_bytewise(start32, p, length))
            << "CRC-32 at offset " << offset << ", length " << length;
    }

    std::vector<uint8_t> data;
};

TEST_P(CrcEngine, MatchesTheReferenceForEveryLengthUpTo8KiB) {
    for (size_t length = 0; length <= kMaxLength; ++length) {
        auto start = static_cast<uint32_t>(length * 2654435761u);
        expect_same(length % kAlignments, length, static_cast<uint16_t>(start), start);
    }
}

TEST_P(CrcEngine, MatchesTheReferenceAtEveryAlignment) {
    for (size_t offset = 0; offset < kAlignments; ++offset) {
        for (size_t length :
             {1u, 15u, 16u, 17u, 63u, 64u, 65u, 127u, 128u, 255u, 256u, 257u, 511u, 1000u, 4096u}) {
            expect_same(offset, length, 0xA5A5, 0x5A5A5A5A);
        }
    }
}

TEST_P(CrcEngine, GivesTheSameValueOverAnySplitIntoPieces) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        size_t length = random() % kMaxLength;
        uint16_t crc16 = 0;
        uint32_t crc32 = 0;
        for (size_t done = 0; done < length;) {
            size_t piece = std::min<size_t>(random() % 700, length - done);
            crc16 = wex::crc::crc16_with(GetParam(), crc16, data.data() + done, piece);
            crc32 = wex::crc::crc32_with(GetParam(), crc32, data.data() + done, piece);
            done += piece;
        }
        ASSERT_EQ(crc16, wex::crc::crc16_bytewise(0, data.data(), length)) << "length " << length;
        ASSERT_EQ(crc32, wex::crc::crc32_bytewise(0, data.data(), length)) << "length " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(All, CrcEngine,
                         testing::Values(Engine::Slicing8, Engine::Clmul, Engine::Clmul512),
                         [](const testing::TestParamInfo<Engine> &info) {
                             return std::string(engine_name(info.param));
                         });

TEST(CrcEngineChoice, TheChosenEngineIsAvailable) {
    EXPECT_TRUE(wex::crc::engine_available(wex::crc::best_engine()));
}

} // namespace
