#include <gtest/gtest.h>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace {

using V4Bytes = std::array<uint8_t, 4>;
using V6Bytes = std::array<uint8_t, 16>;

constexpr uint8_t kUntouched = 0xA5;
constexpr uint16_t kUntouchedPort = 0xBEEF;

// A parser's result, with outputs that start as a recognisable pattern so that untouched ones show.
template <size_t AddressBytes> struct ParseResult {
    uint32_t code;
    std::array<uint8_t, AddressBytes> address;
    uint16_t port;
};

using V4Result = ParseResult<4>;
using V6Result = ParseResult<16>;

template <size_t AddressBytes>
ParseResult<AddressBytes> run_parser(uint32_t (*parser)(const char *, uint8_t *, uint16_t *),
                                     const char *text) {
    ParseResult<AddressBytes> r{};
    r.address.fill(kUntouched);
    r.port = kUntouchedPort;
    r.code = parser(text, r.address.data(), &r.port);
    return r;
}

V4Result parse_v4(const char *text) {
    return run_parser<4>(QUIL_IpAddr_ParseV4, text);
}

V6Result parse_v6(const char *text) {
    return run_parser<16>(QUIL_IpAddr_ParseV6, text);
}

// The bytes of a well-formed IPv6 text as the system reads it.
V6Bytes system_v6(const char *canonical) {
    V6Bytes bytes{};
    EXPECT_EQ(inet_pton(AF_INET6, canonical, bytes.data()), 1) << canonical;
    return bytes;
}

V6Bytes untouched_v6() {
    V6Bytes bytes;
    bytes.fill(kUntouched);
    return bytes;
}

IpAddrCursor cursor_on(const char *text) {
    return {text, static_cast<int32_t>(std::strlen(text))};
}

} // namespace

// ---------------------------------------------------------------------------------------------
// IPv4

TEST(IpV4, ValidTextsGiveReversedBytesAndThePort) {
    const struct {
        const char *text;
        uint32_t code;
        V4Bytes textOrder; // a, b, c, d
        uint16_t port;
    } rows[] = {
        {"192.168.1.2", 0, {192, 168, 1, 2}, 0},
        {"10.0.0.1:8080", IPADDR_WITH_PORT, {10, 0, 0, 1}, 8080},
        {"10.0.0.1:0x1F90", IPADDR_WITH_PORT, {10, 0, 0, 1}, 8080},
        {"10.0.0.1:0X1f90", IPADDR_WITH_PORT, {10, 0, 0, 1}, 8080},
        {"10.0.0.1:0", IPADDR_WITH_PORT, {10, 0, 0, 1}, 0},
        {"10.0.0.1:65535", IPADDR_WITH_PORT, {10, 0, 0, 1}, 65535},
        {"10.0.0.1:0xFFFF", IPADDR_WITH_PORT, {10, 0, 0, 1}, 65535},
        {"10.0.0.1:000080", IPADDR_WITH_PORT, {10, 0, 0, 1}, 80},
        {"0x0A.0X00.0.01", 0, {10, 0, 0, 1}, 0},
        {"010.0.0.1", 0, {10, 0, 0, 1}, 0}, // a leading zero does not make octal
        {"0.0.0.0", 0, {0, 0, 0, 0}, 0},
        {"255.255.255.255", 0, {255, 255, 255, 255}, 0},
        {"0xff.0xFF.0x0ff.00000255", 0, {255, 255, 255, 255}, 0},
    };
    for (const auto &row : rows) {
        V4Result r = parse_v4(row.text);
        EXPECT_EQ(r.code, row.code) << row.text;
        V4Bytes reversed = {row.textOrder[3], row.textOrder[2], row.textOrder[1], row.textOrder[0]};
        EXPECT_EQ(r.address, reversed) << row.text;
        EXPECT_EQ(r.port, row.port) << row.text;
    }
}

TEST(IpV4, MalformedTextsGive30WithZeroAddressAndPort) {
    const char *rows[] = {
        "", "256.1.1.1", "0x100.1.1.1", "1.2.3", "1..2.3", "1.2.3.4.", "1.2.3.4 ",
        "1.2.3.4:", "1.2.3.4:80x", " 1.2.3.4", "+1.2.3.4", "-1.2.3.4", "1.2.3.-4", "0x.1.2.3",
        "0xg.1.2.3", "1.2.3.4.5", "1.2.3.99999999999999999999", "1.2.3.4:0x", "1.2.3.4::80",
        "a.b.c.d", "1,2,3,4", "\xB2.1.1.1", // a superscript two is no digit
        // A port is a run of digits of its base, at most 65535.
        "1.2.3.4:70000", "1.2.3.4:65536", "1.2.3.4:0x10000", "1.2.3.4:-1", "1.2.3.4:+80",
        "1.2.3.4: 80", "1.2.3.4:0x0x50", "1.2.3.4:0x-1", "1.2.3.4:99999999999999999999"};
    for (const char *text : rows) {
        V4Result r = parse_v4(text);
        EXPECT_EQ(r.code, IPADDR_MALFORMED) << '"' << text << '"';
        EXPECT_EQ(r.address, (V4Bytes{0, 0, 0, 0})) << text;
        EXPECT_EQ(r.port, 0) << text;
    }
}

// A part is read through a window of the characters ahead of it, which for the last part reaches
// past the end of the text: every form of part at every place, with and without a port behind.
TEST(IpV4, EveryFormOfPartReadsAlikeAtEveryPlace) {
    const struct {
        const char *text;
        int value; // -1: refused
    } parts[] = {{"0", 0},      {"7", 7},      {"42", 42},        {"255", 255}, {"256", -1},
                 {"999", -1},   {"0042", 42},  {"00000255", 255}, {"1000", -1}, {"0x2A", 42},
                 {"0XfF", 255}, {"0x100", -1}, {"0x", -1},        {"", -1},     {"4a", -1}};
    for (const auto &part : parts) {
        for (size_t place = 0; place < 4; ++place) {
            for (const char *port : {"", ":80"}) {
                V4Bytes textOrder = {1, 2, 3, 4};
                std::string text;
                for (size_t i = 0; i < 4; ++i) {
                    text += i > 0 ? "." : "";
                    text += i == place ? std::string(part.text) : std::to_string(textOrder[i]);
                }
                text += port;
                V4Result r = parse_v4(text.c_str());
                if (part.value < 0) {
                    EXPECT_EQ(r.code, IPADDR_MALFORMED) << text;
                    continue;
                }
                textOrder[place] = static_cast<uint8_t>(part.value);
                bool withPort = *port != '\0';
                EXPECT_EQ(r.code, withPort ? IPADDR_WITH_PORT : QUIL_SUCCESS) << text;
                EXPECT_EQ(r.address,
                          (V4Bytes{textOrder[3], textOrder[2], textOrder[1], textOrder[0]}))
                    << text;
                EXPECT_EQ(r.port, withPort ? 80 : 0) << text;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Port, group and digit readers

TEST(IpPort, ReadsTheDigitRunWithinTheCursorAndMovesPastIt) {
    const char *text = "8080]";
    IpAddrCursor cursor = cursor_on(text);
    uint16_t port = 0;
    EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, 10, &cursor), QUIL_SUCCESS);
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(cursor.pos, text + 4);
    EXPECT_EQ(cursor.remaining, 1);

    cursor = {"1f905", 4}; // nothing at or beyond pos + remaining is read
    EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, 16, &cursor), QUIL_SUCCESS);
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(cursor.remaining, 0);
}

TEST(IpPort, RefusedTextsLeaveThePortAndTheCursorUnchanged) {
    const struct {
        const char *text;
        uint32_t base;
    } rows[] = {{"", 10},    {"-1", 10}, {" 80", 10}, {"+80", 10},   {"65536", 10}, {"10000", 16},
                {"x50", 16}, {"g", 16},  {"a", 10},   {"70000", 10}, {"\t1", 10}};
    for (const auto &row : rows) {
        IpAddrCursor cursor = cursor_on(row.text);
        const IpAddrCursor before = cursor;
        uint16_t port = kUntouchedPort;
        EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, row.base, &cursor), IPADDR_MALFORMED) << row.text;
        EXPECT_EQ(port, kUntouchedPort) << row.text;
        EXPECT_EQ(cursor.pos, before.pos) << row.text;
        EXPECT_EQ(cursor.remaining, before.remaining) << row.text;
    }
}

TEST(IpPort, BadArgumentsGive10) {
    IpAddrCursor cursor = cursor_on("80");
    IpAddrCursor nowhere = {nullptr, 2};
    uint16_t port = kUntouchedPort;
    EXPECT_EQ(QUIL_IpAddr_ParsePort(nullptr, 10, &cursor), IPADDR_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, 10, nullptr), IPADDR_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, 10, &nowhere), IPADDR_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_IpAddr_ParsePort(&port, 8, &cursor), IPADDR_BAD_ARGUMENT);
    EXPECT_EQ(port, kUntouchedPort);
}

TEST(IpHexDigit, EveryByteValueIsClassifiedWithoutTheLocale) {
    const char *digits = "0123456789abcdef";
    for (int byte = 0; byte < 256; ++byte) {
        char c = static_cast<char>(byte);
        uint8_t value = 0;
        uint32_t code = QUIL_IpAddr_HexDigitValue(c, &value);
        const char *lower = byte != 0 ? std::strchr(digits, std::tolower(byte)) : nullptr;
        if (lower != nullptr && byte < 128) {
            EXPECT_EQ(code, 0u) << byte;
            EXPECT_EQ(value, lower - digits) << byte;
        } else {
            EXPECT_EQ(code, 1u) << byte;
            EXPECT_EQ(value, 255) << byte;
        }
    }
    EXPECT_EQ(QUIL_IpAddr_HexDigitValue('a', nullptr), IPADDR_BAD_ARGUMENT);
}

TEST(IpV6Group, AGroupEndsAtAColonDotBracketOrTheEndWithoutConsumingIt) {
    const struct {
        const char *text;
        uint16_t value;
        int32_t consumed;
    } rows[] = {{"fe80:", 0xFE80, 4}, {"0.", 0, 1}, {"ABC]", 0xABC, 3}, {"1", 1, 1}};
    for (const auto &row : rows) {
        IpAddrCursor cursor = cursor_on(row.text);
        uint16_t value = 0;
        EXPECT_EQ(QUIL_IpAddr_ParseV6Group(&value, &cursor), QUIL_SUCCESS) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
        EXPECT_EQ(cursor.pos, row.text + row.consumed) << row.text;
    }
}

TEST(IpV6Groups, ARunStopsInFrontOfAnIpv4TailAndAfterEightGroups) {
    const struct {
        const char *text;
        uint32_t count;
        int32_t consumed;
    } rows[] = {
        {"ffff:192.168.1.1", 2, 4}, // the ':' before a tail stays
        {"ffff:1.2.3.4", 4, 6},     // a one-digit token is a group; the run ends at the '.'
        {"ffff:01.2.3.4", 4, 7},    // so is a token that begins with '0'
        {"1:2:3:4:5:6:7:8:80", 16, 15}, {"1:2::3", 4, 3}, {"xyz", 0, 0},
    };
    for (const auto &row : rows) {
        IpAddrCursor cursor = cursor_on(row.text);
        uint8_t buffer[16] = {};
        uint32_t count = 99;
        EXPECT_EQ(QUIL_IpAddr_ParseV6Groups(buffer, &count, &cursor), QUIL_SUCCESS) << row.text;
        EXPECT_EQ(count, row.count) << row.text;
        EXPECT_EQ(cursor.pos, row.text + row.consumed) << row.text;
    }
}

TEST(IpV6Groups, AMalformedGroupLeavesBufferCountAndCursorUnchanged) {
    const char *text = "1:2:12345";
    IpAddrCursor cursor = cursor_on(text);
    V6Bytes buffer = untouched_v6();
    uint32_t count = 99;
    EXPECT_EQ(QUIL_IpAddr_ParseV6Groups(buffer.data(), &count, &cursor), IPADDR_MALFORMED);
    EXPECT_EQ(buffer, untouched_v6());
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(cursor.pos, text);
}

// ---------------------------------------------------------------------------------------------
// IPv6

TEST(IpV6, ValidTextsGiveNetworkOrderBytesAndThePort) {
    const struct {
        const char *text;
        const char *canonical; // the same address as the system writes it
        uint16_t port;
    } rows[] = {
        {"::", "::", 0},
        {"[::]:80", "::", 80},
        {"::1", "::1", 0},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8", 0},
        {"[fe80::1]:443", "fe80::1", 443},
        {"[FE80::ABCD]:65535", "fe80::abcd", 65535},
        {"1:2:3:4:5:6:7:8:80", "1:2:3:4:5:6:7:8", 80}, // after eight groups ':' starts the port
        {"[1:2:3:4:5:6:7:8]:80", "1:2:3:4:5:6:7:8", 80},
        {"1::2:80", "1::2:80", 0}, // no brackets: 80 is a group
        {"::ffff:192.168.1.1", "::ffff:192.168.1.1", 0},
        {":::10.0.0.1", "::10.0.0.1", 0},
        {"1:2:3:4:5:6:::10.0.0.1", "1:2:3:4:5:6:a00:1", 0},
        {"1:2:3:4:5::6:10.0.0.1", "1:2:3:4:5:6:a00:1", 0},
        {"1:2:3:4::5:6:7:8", "1:2:3:4:5:6:7:8", 0}, // "::" may stand for no group
        {"1::", "1::", 0},
        {"[1::]", "1::", 0},
        {"[::1", "::1", 0}, // brackets need not pair
        {"::1]:80", "::1", 80},
        {"0000:00:0::0", "::", 0},
        {".1.2.3.4", "::1.2.3.4", 0},   // a text that begins with '.' is an IPv4 tail
        {"1.2.3.4.5", "1::2.3.4.5", 0}, // a leading run that ends at '.' is followed by a tail
    };
    for (const auto &row : rows) {
        V6Result r = parse_v6(row.text);
        EXPECT_EQ(r.code, QUIL_SUCCESS) << row.text;
        EXPECT_EQ(r.address, system_v6(row.canonical)) << row.text;
        EXPECT_EQ(r.port, row.port) << row.text;
    }
}

TEST(IpV6, MalformedTextsGive30AndWriteNothing) {
    const char *rows[] = {
        // Malformed groups, too few groups, stray characters.
        "", "12345::1", "1:2", "1:2:3:4:5:6:7", "[", "[]", "[1:2]", ":1", "g::", " ::1",
        // A colon behind the address without a port.
        "1:2:3:4:5:6:7:8:", "[::1]:", "[::1]:-1", "[::1]: 80",
        // IPv4 tails the grammar does not take.
        "::ffff:1.2.3.4", "::10.0.0.1", "1:2:3:4:5:6:10.0.0.1", ".1.2.3", ".1.2.3.4:80", "1.2.3.4",
        "1.2.3.4.5:80", "::ab:10.", "::ab:c:1.2.3.4", "::1:ab.:1",
        // Characters left over after the address, the port or the closing bracket.
        "[::1]:8080abc", "[::1]:0x50", "[::1]xyz", "::1]x", "[::1]]", "1:2:3:4:5:6:7:8.5",
        // A port above 65535.
        "[::1]:65536", "[::1]:70000", "1:2:3:4:5:6:7:8:99999999999999999999",
        // More than eight groups in all, an IPv4 tail counting as two.
        "1:2:3:4:5:6:7::8:9", "1::2:3:4:5:6:7:8:9", "::1:2:3:4:5:6:7:10.0.0.1",
        "1:2:3:4:5:6::7:10.0.0.1", "1:2:3:4:5:6:7:::10.0.0.1", "1:2:3:4:5:6:7.1.2.3.4"};
    for (const char *text : rows) {
        V6Result r = parse_v6(text);
        EXPECT_EQ(r.code, IPADDR_MALFORMED) << '"' << text << '"';
        EXPECT_EQ(r.address, untouched_v6()) << text;
        EXPECT_EQ(r.port, kUntouchedPort) << text;
    }
}

// A group, too, is read through a window of the characters ahead of it, which at the end of the
// text reaches past it: groups of every length in front of, between and behind the others.
TEST(IpV6, GroupsOfEveryLengthReadAlikeAtEveryPlace) {
    const char *groups[] = {"f", "Ab", "fe8", "FFFF", "fffff", "g"};
    const struct {
        const char *ours;   // with %s for the group
        const char *system; // the same address as the system reads it
        uint16_t port;
    } frames[] = {{"%s::1", "%s::1", 0},
                  {"::%s", "::%s", 0},
                  {"1::%s", "1::%s", 0},
                  {"1:%s::2", "1:%s::2", 0},
                  {"%s:2:3:4:5:6:7:8", "%s:2:3:4:5:6:7:8", 0},
                  {"1:2:3:4:5:6:7:%s", "1:2:3:4:5:6:7:%s", 0},
                  {"[1::%s]", "1::%s", 0},
                  {"[::%s]:80", "::%s", 80},
                  {"1:2:3:4:5:6:7:%s:80", "1:2:3:4:5:6:7:%s", 80},
                  {"1::%s:10.0.0.1", "1::%s:10.0.0.1", 0}};
    for (const char *group : groups) {
        bool valid = std::strlen(group) <= 4 && group[0] != 'g';
        for (const auto &frame : frames) {
            char ours[64];
            char system[64];
            std::snprintf(ours, sizeof ours, frame.ours, group);
            std::snprintf(system, sizeof system, frame.system, group);
            V6Result r = parse_v6(ours);
            if (!valid) {
                EXPECT_EQ(r.code, IPADDR_MALFORMED) << ours;
                continue;
            }
            EXPECT_EQ(r.code, QUIL_SUCCESS) << ours;
            EXPECT_EQ(r.address, system_v6(system)) << ours;
            EXPECT_EQ(r.port, frame.port) << ours;
        }
    }
}

TEST(IpV6, AFailureBehindTheDoubleColonStillWritesTheBytesGathered) {
    const struct {
        const char *text;
        const char *gathered;
    } rows[] = {{"::ffff:10.0.0.1:80", "::ffff:0:0"}, // an IPv4 tail carries no port
                {"[::ffff:10.0.0.1]", "::ffff:0:0"},  // nor a bracket
                {"1::2::3", "1::2:0:0"},              // a second "::"
                {"::::80", "::"},                     // ":::" and then no IPv4 address
                {":::1.2.3", "::"},                   // an IPv4 tail of three parts
                {"1:2::3:12345", "1:2::"},            // a bad group in the second run
                {"1::ab:256.1.1.1", "1::ab:0:0"},     // a tail part above 255
                {"1:2:3:4:5:6:::10.0.0.1:80", "1:2:3:4:5:6::"},
                {"fe80::1%eth0", "fe80::"}, // a group followed by '%'
                {"1::2 ", "1::"},
                {"::1:", "::1:0:0"}, // ':' and no IPv4 address
                {"1:::2", "1::"},
                {"::1:ab:.1.2.3.4", "::1:ab:0:0"}};
    for (const auto &row : rows) {
        V6Result r = parse_v6(row.text);
        EXPECT_EQ(r.code, IPADDR_MALFORMED) << row.text;
        EXPECT_EQ(r.address, system_v6(row.gathered)) << row.text;
        EXPECT_EQ(r.port, 0) << row.text;
    }
}

TEST(IpAddress, ANullArgumentGives10AndWritesNothing) {
    const struct {
        uint32_t (*parse)(const char *, uint8_t *, uint16_t *);
        const char *valid;
    } parsers[] = {{QUIL_IpAddr_ParseV4, "1.2.3.4"}, {QUIL_IpAddr_ParseV6, "::1"}};
    for (const auto &p : parsers) {
        V6Bytes address = untouched_v6();
        uint16_t port = kUntouchedPort;
        EXPECT_EQ(p.parse(nullptr, address.data(), &port), IPADDR_BAD_ARGUMENT);
        EXPECT_EQ(p.parse(p.valid, nullptr, &port), IPADDR_BAD_ARGUMENT);
        EXPECT_EQ(p.parse(p.valid, address.data(), nullptr), IPADDR_BAD_ARGUMENT);
        EXPECT_EQ(address, untouched_v6()) << p.valid;
        EXPECT_EQ(port, kUntouchedPort) << p.valid;
    }
}

// ---------------------------------------------------------------------------------------------
// Against the system's inet_pton: fuzz/addresses_fuzzer.cpp compares every text both accept; here
// are the documented differences.

TEST(IpSystemAgreement, TheKnownDifferencesFromTheSystemHoldAsDocumented) {
    const struct {
        int family;
        const char *text;
        uint32_t ours;
        bool systemAccepts;
    } rows[] = {
        {AF_INET, "0x0A.0.0.1", QUIL_SUCCESS, false},          // hexadecimal parts
        {AF_INET, "010.0.0.1", QUIL_SUCCESS, false},           // leading zeros, read as decimal
        {AF_INET, "1.2.3.4:80", IPADDR_WITH_PORT, false},      // a port
        {AF_INET6, "[::1]", QUIL_SUCCESS, false},              // brackets
        {AF_INET6, "[::1]:80", QUIL_SUCCESS, false},           // a port
        {AF_INET6, "1:2:3:4:5:6:7:8:80", QUIL_SUCCESS, false}, // a port without brackets
        {AF_INET6, "1:2:3:4::5:6:7:8", QUIL_SUCCESS, false},   // "::" standing for no group
        {AF_INET6, ":::10.0.0.1", QUIL_SUCCESS, false},        // three colons before a tail
        {AF_INET6, ".1.2.3.4", QUIL_SUCCESS, false},           // a tail without colons
        {AF_INET6, "1.2.3.4.5", QUIL_SUCCESS, false},          // a group, then a dotted tail
        {AF_INET6, "::ffff:1.2.3.4", IPADDR_MALFORMED, true},  // one-digit first tail part
        {AF_INET6, "::ffff:0.0.0.1", IPADDR_MALFORMED, true},  // tail part beginning with '0'
        {AF_INET6, "::10.0.0.1", IPADDR_MALFORMED, true},      // a tail needs a group before it
        {AF_INET6, "1:2:3:4:5:6:10.0.0.1", IPADDR_MALFORMED, true}, // or "::" in front
    };
    for (const auto &row : rows) {
        std::array<uint8_t, 16> system{};
        EXPECT_EQ(inet_pton(row.family, row.text, system.data()) == 1, row.systemAccepts)
            << row.text;
        uint32_t ours = row.family == AF_INET ? parse_v4(row.text).code : parse_v6(row.text).code;
        EXPECT_EQ(ours, row.ours) << row.text;
    }
}
