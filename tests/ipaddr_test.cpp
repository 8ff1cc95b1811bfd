// The address parsers over the tables of texts in tests/data/ipaddr/, read through the outcomes of
// fuzz/ipaddr_outcomes.h, which fuzz/addresses_fuzzer.cpp checks on arbitrary texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "ipaddr_outcomes.h"
#include "test_support.h"

namespace {

using wextest::Row;

std::string with_group(std::string text, const std::string &group) {
    return text.replace(text.find("%s"), 2, group);
}

TEST(IpV4, EveryFormOfPartAndEndingReadsAlikeAtEveryPlace) {
    const std::vector<Row> endings = wextest::read_rows("ipaddr/v4.txt", "ending");
    for (const Row &part : wextest::read_rows("ipaddr/v4.txt", "part")) {
        for (int place = 0; place < 4; ++place) {
            std::string text;
            std::string address;
            for (int i = 0; i < 4; ++i) {
                std::string other = std::to_string(i + 1);
                text += (i > 0 ? "." : "") + (i == place ? part.fields.at(1) : other);
                address += (i > 0 ? "." : "") + (i == place ? part.fields.at(2) : other);
            }
            for (const Row &ending : endings) {
                const std::string &port = ending.fields.at(2);
                bool refused = part.fields[2] == "malformed" || port == "malformed";
                EXPECT_EQ(wexaddr::v4((text + ending.fields[1]).c_str()),
                          refused          ? "malformed"
                          : port == "none" ? address
                                           : address + ":" + port)
                    << text + ending.fields[1];
            }
        }
    }
    for (const Row &row : wextest::read_rows("ipaddr/v4.txt", "text")) {
        EXPECT_EQ(wexaddr::v4(row.fields.at(1).c_str()), row.fields.at(2)) << row.where;
    }
}

TEST(IpV6, TextsGiveTheBytesAndPortOfTheTable) {
    const std::vector<Row> groups = wextest::read_rows("ipaddr/v6.txt", "group");
    for (const Row &row : wextest::read_rows("ipaddr/v6.txt", "text")) {
        const std::vector<std::string> &f = row.fields;
        std::string expected = f.at(2) + " " + f.at(3) + " " + f.at(4);
        if (f[1].find("%s") == std::string::npos) {
            EXPECT_EQ(wexaddr::v6(f[1].c_str()), expected) << row.where;
            continue;
        }
        for (const Row &group : groups) {
            std::string text = with_group(f[1], group.fields.at(1));
            std::string read = wexaddr::v6(text.c_str());
            if (group.fields.at(2) == "malformed") { // what a refused text writes is not looked at
                EXPECT_EQ(read.substr(0, read.find(' ')), "malformed") << text;
            } else {
                EXPECT_EQ(read, with_group(expected, group.fields[2])) << text;
            }
        }
    }
}

TEST(IpReaders, PortsGroupsAndRunsOfGroupsStopWhereTheTableSays) {
    for (const Row &row : wextest::read_rows("ipaddr/readers.txt")) {
        const std::string &text = row.fields.at(1);
        EXPECT_EQ(wexaddr::read_at(row.fields[0], text.c_str(), text.size()),
                  row.fields.at(2) + " " + row.fields.at(3))
            << row.where;
    }
    EXPECT_EQ(wexaddr::read_at("port16", "1f905", 4), "8080 4"); // nothing beyond the cursor
}

TEST(IpReaders, EveryByteIsClassifiedAsAHexadecimalDigitWithoutTheLocale) {
    const char *digits = "0123456789abcdef";
    for (int byte = 0; byte < 256; ++byte) {
        uint8_t value = 0;
        uint32_t code = QUIL_IpAddr_HexDigitValue(static_cast<char>(byte), &value);
        const auto *at = static_cast<const char *>(std::memchr(digits, std::tolower(byte), 16));
        EXPECT_EQ(code, at != nullptr ? 0u : 1u) << byte;
        EXPECT_EQ(value, at != nullptr ? at - digits : 255) << byte;
    }
}

TEST(IpAddress, ANullArgumentGives10AndWritesNothing) {
    uint8_t address[16];
    std::memset(address, 0xA5, sizeof address);
    uint16_t port = 7;
    IpAddrCursor cursor = {"80", 2};
    IpAddrCursor nowhere = {nullptr, 2};
    uint32_t count = 0;
    for (uint32_t code :
         {QUIL_IpAddr_ParseV4(nullptr, address, &port),
          QUIL_IpAddr_ParseV4("1.2.3.4", nullptr, &port),
          QUIL_IpAddr_ParseV4("1.2.3.4", address, nullptr),
          QUIL_IpAddr_ParseV6(nullptr, address, &port), QUIL_IpAddr_ParseV6("::1", nullptr, &port),
          QUIL_IpAddr_ParseV6("::1", address, nullptr), QUIL_IpAddr_ParsePort(nullptr, 10, &cursor),
          QUIL_IpAddr_ParsePort(&port, 10, nullptr), QUIL_IpAddr_ParsePort(&port, 10, &nowhere),
          QUIL_IpAddr_ParsePort(&port, 8, &cursor), QUIL_IpAddr_ParseV6Group(nullptr, &cursor),
          QUIL_IpAddr_ParseV6Groups(address, nullptr, &cursor),
          QUIL_IpAddr_ParseV6Groups(address, &count, nullptr),
          QUIL_IpAddr_HexDigitValue('a', nullptr)}) {
        EXPECT_EQ(code, IPADDR_BAD_ARGUMENT);
    }
    EXPECT_EQ(std::count(address, address + 16, 0xA5), 16);
    EXPECT_EQ(port, 7);
}

} // namespace
