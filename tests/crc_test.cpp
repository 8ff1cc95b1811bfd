// CRC-16 and CRC-32: the check values the two checksums are known by, chaining over pieces (empty
// ones included), and the argument checks. The reference for random data is a bit-at-a-time loop
// written from the polynomial, independent of the library's tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "wex_crc.h"
#include "wex_result_codes.h"

namespace {

uint16_t bitwise_crc16(uint16_t crc, const std::vector<uint8_t> &data) {
    for (uint8_t byte : data) {
        crc = static_cast<uint16_t>(crc ^ (byte << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

uint32_t bitwise_crc32(uint32_t crc, const std::vector<uint8_t> &data) {
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return crc;
}

struct CheckValue {
    const char *text;
    uint16_t crc16;
    uint32_t crc32;
};

class CrcCheckValues : public testing::TestWithParam<CheckValue> {};

TEST_P(CrcCheckValues, MatchTheKnownValues) {
    const CheckValue &c = GetParam();
    auto length = static_cast<uint32_t>(std::strlen(c.text));
    uint16_t crc16 = 0xFFFF;
    uint32_t crc32 = 0xFFFFFFFF;
    EXPECT_EQ(QUIL_CRC_16(c.text, length, &crc16), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_CRC_32(c.text, length, &crc32), QUIL_SUCCESS);
    EXPECT_EQ(crc16, c.crc16);
    EXPECT_EQ(crc32, c.crc32);
}

INSTANTIATE_TEST_SUITE_P(Texts, CrcCheckValues,
                         testing::Values(CheckValue{"123456789", 0x31C3, 0x2DFD2D88},
                                         CheckValue{"abc", 0x9DD6, 0xCA6598D0},
                                         CheckValue{"", 0x0000, 0x00000000}));

TEST(Crc, NullArgumentsReport10AndLeaveTheOutput) {
    uint16_t crc16 = 0x1234;
    uint32_t crc32 = 0x12345678;
    const char data[] = "abc";
    EXPECT_EQ(QUIL_CRC_16(nullptr, 0, &crc16), CRC_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_CRC_Accumulate_16(5, nullptr, 3, &crc16), CRC_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_CRC_16(data, 3, nullptr), CRC_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_CRC_32(nullptr, 0, &crc32), CRC_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_CRC_Accumulate_32(5, nullptr, 3, &crc32), CRC_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_CRC_32(data, 3, nullptr), CRC_BAD_ARGUMENT);
    EXPECT_EQ(crc16, 0x1234);
    EXPECT_EQ(crc32, 0x12345678u);
}

TEST(Crc, AgreesWithTheBitwiseDefinitionForRandomDataInRandomPieces) {
    std::mt19937 random(20261206);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data(random() % 3000);
        for (uint8_t &byte : data) {
            byte = static_cast<uint8_t>(random());
        }
        auto start16 = static_cast<uint16_t>(random());
        auto start32 = static_cast<uint32_t>(random());

        uint16_t crc16 = start16;
        uint32_t crc32 = start32;
        size_t done = 0;
        while (done < data.size()) {
            size_t piece = std::min<size_t>(random() % 200, data.size() - done); // 0 at times
            auto length = static_cast<uint32_t>(piece);
            ASSERT_EQ(QUIL_CRC_Accumulate_16(crc16, data.data() + done, length, &crc16), 0u);
            ASSERT_EQ(QUIL_CRC_Accumulate_32(crc32, data.data() + done, length, &crc32), 0u);
            done += piece;
        }
        EXPECT_EQ(crc16, bitwise_crc16(start16, data)) << "round " << round;
        EXPECT_EQ(crc32, bitwise_crc32(start32, data)) << "round " << round;
    }
}

} // namespace
