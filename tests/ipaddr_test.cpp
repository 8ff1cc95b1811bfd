// The address parsers over the tables of texts in tests/data/ipaddr/. Arbitrary texts (documented
// codes only, no read past the text, agreement with inet_pton, canonical texts reading back):
// fuzz/addresses_fuzzer.cpp, run by ctest as fuzz_addresses.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"
#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace {

using V6Bytes = std::array<uint8_t, 16>;
using wextest::Row;

constexpr uint8_t kUntouched = 0xA5;
constexpr uint16_t kUntouchedPort = 0xBEEF;
const V6Bytes kUntouchedV6 = [] {
    V6Bytes bytes;
    bytes.fill(kUntouched);
    return bytes;
}();
const std::string kMalformed = "malformed";

// A number as the tables write it: decimal, or hexadecimal behind 0x.
uint32_t number(const std::string &field) {
    return static_cast<uint32_t>(std::stoul(field, nullptr, 0));
}

// The rows of tests/data/ipaddr/<table> whose first field is kind.
std::vector<Row> rows(const std::string &table, const std::string &kind) {
    std::vector<Row> out;
    for (Row &row : wextest::read_rows("ipaddr/" + table)) {
        if (row.fields[0] == kind) {
            out.push_back(std::move(row));
        }
    }
    EXPECT_FALSE(out.empty()) << table << " has no " << kind;
    return out;
}

// Outputs start as a recognisable pattern, so that untouched ones show. textOrder is the address
// a.b.c.d as 0xaabbccdd; the parser gives d first.
void expect_v4(const std::string &text, uint32_t code, uint32_t textOrder, uint32_t port) {
    std::array<uint8_t, 4> address;
    address.fill(kUntouched);
    uint16_t gotPort = kUntouchedPort;
    EXPECT_EQ(QUIL_IpAddr_ParseV4(text.c_str(), address.data(), &gotPort), code) << text;
    for (size_t i = 0; i < address.size(); ++i) {
        EXPECT_EQ(address[i], static_cast<uint8_t>(textOrder >> (8 * i))) << text;
    }
    EXPECT_EQ(gotPort, port) << text;
}

// A text, its result, and its address and port as the table writes them ("-": left as it was).
void expect_v6(const std::string &text, const std::string &result, const std::string &address,
               const std::string &port) {
    V6Bytes expected = kUntouchedV6;
    if (address != "-") {
        EXPECT_EQ(inet_pton(AF_INET6, address.c_str(), expected.data()), 1) << address;
    }
    V6Bytes got = kUntouchedV6;
    uint16_t gotPort = kUntouchedPort;
    EXPECT_EQ(QUIL_IpAddr_ParseV6(text.c_str(), got.data(), &gotPort),
              result == kMalformed ? IPADDR_MALFORMED : QUIL_SUCCESS)
        << text;
    EXPECT_EQ(got, expected) << text;
    EXPECT_EQ(gotPort, port == "-" ? kUntouchedPort : number(port)) << text;
}

std::string with_group(std::string text, const std::string &group) {
    size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, group);
}

TEST(IpV4, EveryFormOfPartAndEndingReadsAlikeAtEveryPlace) {
    const std::vector<Row> endings = rows("v4.txt", "ending");
    for (const Row &part : rows("v4.txt", "part")) {
        bool partRead = part.fields.at(2) != kMalformed;
        for (int place = 0; place < 4; ++place) {
            std::string text;
            uint32_t textOrder = 0;
            for (int i = 0; i < 4; ++i) {
                text += (i > 0 ? "." : "") + (i == place ? part.fields[1] : std::to_string(i + 1));
                uint32_t value = i != place ? static_cast<uint32_t>(i + 1)
                                 : partRead ? number(part.fields[2])
                                            : 0;
                textOrder = textOrder << 8 | value;
            }
            for (const Row &ending : endings) {
                const std::string &port = ending.fields.at(2);
                if (!partRead || port == kMalformed) {
                    expect_v4(text + ending.fields[1], IPADDR_MALFORMED, 0, 0);
                } else if (port == "none") {
                    expect_v4(text + ending.fields[1], QUIL_SUCCESS, textOrder, 0);
                } else {
                    expect_v4(text + ending.fields[1], IPADDR_WITH_PORT, textOrder, number(port));
                }
            }
        }
    }
    for (const Row &row : rows("v4.txt", "text")) {
        expect_v4(row.fields.at(1), IPADDR_MALFORMED, 0, 0);
    }
}

TEST(IpV6, TextsGiveTheBytesAndPortOfTheTable) {
    const std::vector<Row> groups = rows("v6.txt", "group");
    for (const Row &row : rows("v6.txt", "text")) {
        const std::vector<std::string> &f = row.fields;
        if (f.at(1).find("%s") == std::string::npos) {
            expect_v6(f[1], f.at(2), f.at(3), f.at(4));
            continue;
        }
        for (const Row &group : groups) {
            const std::string &g = group.fields.at(1);
            if (group.fields.at(2) != kMalformed) {
                expect_v6(with_group(f[1], g), f.at(2), with_group(f.at(3), g), f.at(4));
                continue;
            }
            V6Bytes address;
            uint16_t port = 0;
            std::string text = with_group(f[1], g);
            EXPECT_EQ(QUIL_IpAddr_ParseV6(text.c_str(), address.data(), &port), IPADDR_MALFORMED)
                << text;
        }
    }
}

IpAddrCursor cursor_on(const char *text) {
    return {text, static_cast<int32_t>(std::strlen(text))};
}

// The building blocks read within the cursor and move past what they read.
TEST(IpReaders, PortsGroupsAndRunsOfGroupsStopWhereTheTableSays) {
    for (const Row &row : wextest::read_rows("ipaddr/readers.txt")) {
        const std::string &reader = row.fields[0];
        const char *text = row.fields.at(1).c_str();
        bool refused = row.fields.at(2) == kMalformed;
        IpAddrCursor cursor = cursor_on(text);
        uint16_t value16 = kUntouchedPort;
        uint32_t count = kUntouchedPort;
        V6Bytes buffer = kUntouchedV6;
        uint32_t code = reader == "port10"   ? QUIL_IpAddr_ParsePort(&value16, 10, &cursor)
                        : reader == "port16" ? QUIL_IpAddr_ParsePort(&value16, 16, &cursor)
                        : reader == "group"
                            ? QUIL_IpAddr_ParseV6Group(&value16, &cursor)
                            : QUIL_IpAddr_ParseV6Groups(buffer.data(), &count, &cursor);
        uint32_t moved = number(row.fields.at(3));
        EXPECT_EQ(code, refused ? IPADDR_MALFORMED : QUIL_SUCCESS) << row.where;
        if (reader == "groups" && !refused) {
            std::string stored;
            for (uint32_t i = 0; i < count && i < buffer.size(); ++i) {
                stored += "0123456789abcdef"[buffer[i] >> 4];
                stored += "0123456789abcdef"[buffer[i] & 15];
            }
            EXPECT_EQ(stored, row.fields[2]) << row.where;
        } else {
            EXPECT_EQ(reader == "groups" ? count : value16,
                      refused ? kUntouchedPort : number(row.fields[2]))
                << row.where;
        }
        EXPECT_EQ(cursor.pos, text + moved) << row.where;
        EXPECT_EQ(cursor.remaining, static_cast<int32_t>(std::strlen(text) - moved)) << row.where;
        if (refused) {
            EXPECT_EQ(buffer, kUntouchedV6) << row.where;
        }
    }
    IpAddrCursor shortened = {"1f905", 4}; // nothing at or beyond pos + remaining is read
    uint16_t port = 0;
    EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, 16, &shortened), QUIL_SUCCESS);
    EXPECT_EQ(port, 8080);
}

TEST(IpReaders, EveryByteIsClassifiedAsAHexadecimalDigitWithoutTheLocale) {
    const char *digits = "0123456789abcdef";
    for (int byte = 0; byte < 256; ++byte) {
        uint8_t value = 0;
        uint32_t code = QUIL_IpAddr_HexDigitValue(static_cast<char>(byte), &value);
        const char *at =
            byte != 0 && byte < 128 ? std::strchr(digits, std::tolower(byte)) : nullptr;
        EXPECT_EQ(code, at != nullptr ? 0u : 1u) << byte;
        EXPECT_EQ(value, at != nullptr ? at - digits : 255) << byte;
    }
}

TEST(IpAddress, ANullArgumentGives10AndWritesNothing) {
    V6Bytes address = kUntouchedV6;
    uint16_t port = kUntouchedPort;
    IpAddrCursor cursor = cursor_on("80");
    IpAddrCursor nowhere = {nullptr, 2};
    uint32_t count = 0;
    for (uint32_t code :
         {QUIL_IpAddr_ParseV4(nullptr, address.data(), &port),
          QUIL_IpAddr_ParseV4("1.2.3.4", nullptr, &port),
          QUIL_IpAddr_ParseV4("1.2.3.4", address.data(), nullptr),
          QUIL_IpAddr_ParseV6(nullptr, address.data(), &port),
          QUIL_IpAddr_ParseV6("::1", nullptr, &port),
          QUIL_IpAddr_ParseV6("::1", address.data(), nullptr),
          QUIL_IpAddr_ParsePort(nullptr, 10, &cursor), QUIL_IpAddr_ParsePort(&port, 10, nullptr),
          QUIL_IpAddr_ParsePort(&port, 10, &nowhere), QUIL_IpAddr_ParsePort(&port, 8, &cursor),
          QUIL_IpAddr_ParseV6Group(nullptr, &cursor),
          QUIL_IpAddr_ParseV6Groups(address.data(), nullptr, &cursor),
          QUIL_IpAddr_ParseV6Groups(address.data(), &count, nullptr),
          QUIL_IpAddr_HexDigitValue('a', nullptr)}) {
        EXPECT_EQ(code, IPADDR_BAD_ARGUMENT);
    }
    EXPECT_EQ(address, kUntouchedV6);
    EXPECT_EQ(port, kUntouchedPort);
}

} // namespace
