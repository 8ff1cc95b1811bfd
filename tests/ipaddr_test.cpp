// The address parsers' grammar, text by text. Arbitrary texts (documented codes only, no read past
// the text, agreement with inet_pton, canonical texts reading back): fuzz/addresses_fuzzer.cpp,
// run by ctest as fuzz_addresses.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace {

using V6Bytes = std::array<uint8_t, 16>;

constexpr uint8_t kUntouched = 0xA5;
constexpr uint16_t kUntouchedPort = 0xBEEF;

// The bytes of a well-formed IPv6 text as the system reads it; null gives the untouched pattern.
V6Bytes system_v6(const char *canonical) {
    V6Bytes bytes;
    bytes.fill(kUntouched);
    if (canonical != nullptr) {
        EXPECT_EQ(inet_pton(AF_INET6, canonical, bytes.data()), 1) << canonical;
    }
    return bytes;
}

// Outputs start as a recognisable pattern, so that untouched ones show. textOrder is the address
// a.b.c.d as 0xaabbccdd; the parser gives d first.
void expect_v4(const std::string &text, uint32_t code, uint32_t textOrder, uint16_t port) {
    std::array<uint8_t, 4> address;
    address.fill(kUntouched);
    uint16_t gotPort = kUntouchedPort;
    EXPECT_EQ(QUIL_IpAddr_ParseV4(text.c_str(), address.data(), &gotPort), code) << text;
    for (size_t i = 0; i < address.size(); ++i) {
        EXPECT_EQ(address[i], static_cast<uint8_t>(textOrder >> (8 * i))) << text;
    }
    EXPECT_EQ(gotPort, port) << text;
}

void expect_v6(const std::string &text, uint32_t code, const char *canonical, uint16_t port) {
    V6Bytes address = system_v6(nullptr);
    uint16_t gotPort = kUntouchedPort;
    EXPECT_EQ(QUIL_IpAddr_ParseV6(text.c_str(), address.data(), &gotPort), code) << text;
    EXPECT_EQ(address, system_v6(canonical)) << text;
    EXPECT_EQ(gotPort, port) << text;
}

// A part is read through a window of the characters ahead of it, which for the last part reaches
// past the end of the text: every form of part at every place, followed by every form of port.
// A refused text gives 30 with a zero address and port.
TEST(IpV4, EveryFormOfPartAndPortReadsAlikeAtEveryPlace) {
    // clang-format off
    const std::pair<const char *, int> parts[] = {
        {"0", 0}, {"7", 7}, {"42", 42}, {"255", 255}, {"256", -1}, {"999", -1}, {"0042", 42},
        {"00000255", 255}, {"1000", -1}, {"99999999999999999999", -1}, {"0x2A", 42}, {"0XfF", 255},
        {"0x0ff", 255}, {"0x100", -1}, {"0x", -1}, {"0xg", -1}, {"", -1}, {"4a", -1}, {"+1", -1},
        {"-1", -1}, {" 1", -1}, {"/", -1}, {"\xB2", -1}};
    // A port is a run of digits of its base, at most 65535; a leading zero does not make octal.
    const std::pair<const char *, int> ports[] = {
        {"", 0}, {":80", 80}, {":0X1f90", 8080}, {":0", 0}, {":000080", 80}, {":65535", 65535},
        {":0xFFFF", 65535}, {":", -1}, {":65536", -1}, {":0x10000", -1}, {":80x", -1},
        {":99999999999999999999", -1}, {"::80", -1}, {":0x", -1}, {":-1", -1}, {":+80", -1},
        {": 80", -1}, {":0x0x50", -1}, {":0x-1", -1}, {" ", -1}, {".", -1}, {".5", -1}};
    // clang-format on
    for (const auto &[part, value] : parts) {
        for (int place = 0; place < 4; ++place) {
            std::string text;
            uint32_t textOrder = 0;
            for (int i = 0; i < 4; ++i) {
                text += (i > 0 ? "." : "") + (i == place ? part : std::to_string(i + 1));
                textOrder = textOrder << 8 | static_cast<uint32_t>(i == place ? value : i + 1);
            }
            for (const auto &[suffix, port] : ports) {
                if (value < 0 || port == -1) {
                    expect_v4(text + suffix, IPADDR_MALFORMED, 0, 0);
                } else {
                    expect_v4(text + suffix, *suffix != '\0' ? IPADDR_WITH_PORT : 0, textOrder,
                              static_cast<uint16_t>(port));
                }
            }
        }
    }
    for (const char *text : {"", "1.2.3", "1,2,3,4", "1.2.3.4.5", "a.b.c.d"}) {
        expect_v4(text, IPADDR_MALFORMED, 0, 0);
    }
}

// Code 30 with a canonical text: what the parser gathered before the failure is written.
TEST(IpV6, TextsGiveNetworkOrderBytesAndThePortOr30) {
    const struct {
        const char *text;
        uint32_t code;
        const char *canonical; // null: nothing is written
        uint16_t port;
    } rows[] = {
        // clang-format off
        {"::", 0, "::", 0}, {"[::]:80", 0, "::", 80}, {"[fe80::1]:443", 0, "fe80::1", 443},
        {"[FE80::ABCD]:65535", 0, "fe80::abcd", 65535},
        {"1:2:3:4:5:6:7:8:80", 0, "1:2:3:4:5:6:7:8", 80}, // after eight groups ':' starts a port
        {"1::2:80", 0, "1::2:80", 0}, // no brackets: 80 is a group
        {"::ffff:192.168.1.1", 0, "::ffff:192.168.1.1", 0}, {":::10.0.0.1", 0, "::10.0.0.1", 0},
        {"1:2:3:4:5:6:::10.0.0.1", 0, "1:2:3:4:5:6:a00:1", 0},
        {"1:2:3:4:5::6:10.0.0.1", 0, "1:2:3:4:5:6:a00:1", 0},
        {"1:2:3:4::5:6:7:8", 0, "1:2:3:4:5:6:7:8", 0}, // "::" may stand for no group
        {"1::", 0, "1::", 0}, {"[1::]", 0, "1::", 0},
        {"[::1", 0, "::1", 0}, {"::1]:80", 0, "::1", 80}, // brackets need not pair
        {".1.2.3.4", 0, "::1.2.3.4", 0},   // a text that begins with '.' is an IPv4 tail
        {"1.2.3.4.5", 0, "1::2.3.4.5", 0}, // a leading run that ends at '.' is followed by a tail
        {"::ffff:10.0.0.1:80", 30, "::ffff:0:0", 0}, // an IPv4 tail carries no port
        {"[::ffff:10.0.0.1]", 30, "::ffff:0:0", 0},  // nor a bracket
        {"1:2::3:12345", 30, "1:2::", 0}, {"1::ab:256.1.1.1", 30, "1::ab:0:0", 0},
        {"1:2:3:4:5:6:::10.0.0.1:80", 30, "1:2:3:4:5:6::", 0},
        {"1::2::3", 30, "1::2:0:0", 0}, {":::1.2.3", 30, "::", 0}, {"1::2 ", 30, "1::", 0},
        {"::1:", 30, "::1:0:0", 0}, {"1:::2", 30, "1::", 0},
        {"::1:ab:.1.2.3.4", 30, "::1:ab:0:0", 0}};
    // clang-format on
    for (const auto &row : rows) {
        expect_v6(row.text, row.code, row.canonical, row.port);
    }
    // clang-format off
    const char *malformed[] = {
        "", "12345::1", "1:2", "1:2:3:4:5:6:7", "[", "[]", "[1:2]", ":1", "g::", " ::1",
        "1:2:3:4:5:6:7:8:", "[::1]:", "::ffff:1.2.3.4", "::10.0.0.1",
        "1:2:3:4:5:6:10.0.0.1", ".1.2.3", ".1.2.3.4:80", "1.2.3.4", "1.2.3.4.5:80", "::ab:10.",
        "::ab:c:1.2.3.4", "::1:ab.:1", "[::1]:8080abc", "[::1]:0x50", "[::1]xyz", "::1]x", "[::1]]",
        "1:2:3:4:5:6:7:8.5",
        // A port above 65535; more than eight groups, an IPv4 tail counting as two.
        "[::1]:65536", "1:2:3:4:5:6:7:8:99999999999999999999", "1:2:3:4:5:6:7::8:9",
        "1::2:3:4:5:6:7:8:9", "::1:2:3:4:5:6:7:10.0.0.1", "1:2:3:4:5:6::7:10.0.0.1",
        "1:2:3:4:5:6:7:::10.0.0.1", "1:2:3:4:5:6:7.1.2.3.4"};
    // clang-format on
    for (const char *text : malformed) {
        expect_v6(text, IPADDR_MALFORMED, nullptr, kUntouchedPort);
    }
}

// A group, too, is read through a window that at the end of the text reaches past it: groups of
// every length in front of, between and behind the others.
TEST(IpV6, GroupsOfEveryLengthReadAlikeAtEveryPlace) {
    const struct {
        const char *ours;   // with %s for the group
        const char *system; // the same address as the system reads it
        uint16_t port;
    } frames[] = {// clang-format off
        {"%s::1", "%s::1", 0}, {"::%s", "::%s", 0}, {"1::%s", "1::%s", 0},
        {"1:%s::2", "1:%s::2", 0}, {"[1::%s]", "1::%s", 0}, {"[::%s]:80", "::%s", 80},
        {"%s:2:3:4:5:6:7:8", "%s:2:3:4:5:6:7:8", 0}, {"1:2:3:4:5:6:7:%s", "1:2:3:4:5:6:7:%s", 0},
        {"1:2:3:4:5:6:7:%s:80", "1:2:3:4:5:6:7:%s", 80}, {"1::%s:10.0.0.1", "1::%s:10.0.0.1", 0}};
    // clang-format on
    for (const char *group : {"f", "Ab", "fe8", "FFFF", "fffff", "g"}) {
        bool valid = std::strlen(group) <= 4 && group[0] != 'g';
        for (const auto &frame : frames) {
            char ours[64];
            char system[64];
            std::snprintf(ours, sizeof ours, frame.ours, group);
            std::snprintf(system, sizeof system, frame.system, group);
            V6Bytes address;
            uint16_t port = 0;
            uint32_t code = QUIL_IpAddr_ParseV6(ours, address.data(), &port);
            EXPECT_EQ(code, valid ? QUIL_SUCCESS : IPADDR_MALFORMED) << ours;
            if (valid) {
                EXPECT_EQ(address, system_v6(system)) << ours;
                EXPECT_EQ(port, frame.port) << ours;
            }
        }
    }
}

IpAddrCursor cursor_on(const char *text) {
    return {text, static_cast<int32_t>(std::strlen(text))};
}

// The building blocks read within the cursor and move past what they read; a refused text leaves
// the output and the cursor as they were.
TEST(IpReaders, PortsGroupsAndRunsOfGroupsStopWhereTheGrammarSays) {
    const struct {
        const char *text;
        int reader; // 0, 1: port in base 10, 16; 2: group; 3: run of groups
        uint32_t code;
        uint32_t value; // the port, group or byte count
        int32_t consumed;
    } rows[] = {// clang-format off
        {"8080]", 0, 0, 8080, 4}, {"1f90", 1, 0, 8080, 4}, {"", 0, 30, 0, 0}, {"+80", 0, 30, 0, 0},
        {"65536", 0, 30, 0, 0}, {"10000", 1, 30, 0, 0}, {"x50", 1, 30, 0, 0}, {"g", 1, 30, 0, 0},
        {"a", 0, 30, 0, 0}, {"fe80:", 2, 0, 0xFE80, 4}, {"0.", 2, 0, 0, 1},
        {"ABC]", 2, 0, 0xABC, 3}, {"1", 2, 0, 1, 1},
        {"ffff:192.168.1.1", 3, 0, 2, 4}, // the ':' before a tail stays
        {"ffff:1.2.3.4", 3, 0, 4, 6},  // a one-digit token is a group
        {"ffff:01.2.3.4", 3, 0, 4, 7}, // so is a token that begins with '0'
        {"1:2:3:4:5:6:7:8:80", 3, 0, 16, 15}, {"1:2::3", 3, 0, 4, 3}, {"xyz", 3, 0, 0, 0},
        {"1:2:12345", 3, 30, 0, 0}};
    // clang-format on
    for (const auto &row : rows) {
        IpAddrCursor cursor = cursor_on(row.text);
        uint16_t value16 = kUntouchedPort;
        uint32_t count = kUntouchedPort;
        V6Bytes buffer = system_v6(nullptr);
        uint32_t code =
            row.reader < 2    ? QUIL_IpAddr_ParsePort(&value16, row.reader ? 16 : 10, &cursor)
            : row.reader == 2 ? QUIL_IpAddr_ParseV6Group(&value16, &cursor)
                              : QUIL_IpAddr_ParseV6Groups(buffer.data(), &count, &cursor);
        uint32_t value = row.reader == 3 ? count : value16;
        EXPECT_EQ(code, row.code) << row.text;
        EXPECT_EQ(value, row.code == 0 ? row.value : kUntouchedPort) << row.text;
        EXPECT_EQ(cursor.pos, row.text + row.consumed) << row.text;
        EXPECT_EQ(cursor.remaining, static_cast<int32_t>(std::strlen(row.text)) - row.consumed);
        if (row.code != 0) {
            EXPECT_EQ(buffer, system_v6(nullptr)) << row.text;
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
    V6Bytes address = system_v6(nullptr);
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
    EXPECT_EQ(address, system_v6(nullptr));
    EXPECT_EQ(port, kUntouchedPort);
}

} // namespace
