// What the address parsers and their building blocks read from a text, written as the tables in
// tests/data/ipaddr/ write it, for tests/ipaddr_test.cpp and fuzz/addresses_fuzzer.cpp. What
// breaks a property of every text (a code that is not documented, an output written by a failure,
// a cursor moved outside its text) is written as "wrong: ...".
#ifndef WEX_IPADDR_OUTCOMES_H
#define WEX_IPADDR_OUTCOMES_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace wexaddr {

constexpr uint16_t kKeptPort = 0xBEEF;
constexpr uint8_t kKeptByte = 0xA5;

inline std::string wrong_code(uint32_t code) {
    return "wrong: code " + std::to_string(code);
}

// The canonical text of an IPv6 address in network byte order: lower-case groups without leading
// zeros, the longest run of two or more zero groups (the first of equal runs) written as "::".
inline std::string canonical_v6(const uint8_t address[16]) {
    int run = -1;
    int runLength = 1;
    for (int i = 0, zeros = 0; i < 8; ++i) {
        zeros = (address[2 * i] | address[2 * i + 1]) == 0 ? zeros + 1 : 0;
        if (zeros > runLength) {
            run = i + 1 - zeros;
            runLength = zeros;
        }
    }
    std::string text;
    for (int i = 0; i < 8; ++i) {
        char group[8];
        std::snprintf(group, sizeof group, "%x",
                      unsigned{address[2 * i]} << 8 | address[2 * i + 1]);
        if (i == run) {
            text += "::";
            i += runLength - 1;
        } else {
            text += (text.empty() || text.back() == ':' ? "" : ":") + std::string(group);
        }
    }
    return text;
}

// QUIL_IpAddr_ParseV4: "a.b.c.d", with ":port" behind it when the text has a port, or
// "malformed", which must leave a zero address and port 0.
inline std::string v4(const char *text) {
    uint8_t a[4] = {kKeptByte, kKeptByte, kKeptByte, kKeptByte};
    uint16_t port = kKeptPort;
    uint32_t code = QUIL_IpAddr_ParseV4(text, a, &port);
    char address[16];
    std::snprintf(address, sizeof address, "%d.%d.%d.%d", a[3], a[2], a[1], a[0]); // d comes first
    std::string withPort = address + (":" + std::to_string(port));
    return code == IPADDR_MALFORMED   ? withPort == "0.0.0.0:0" ? "malformed" : "wrong: " + withPort
           : code == IPADDR_WITH_PORT ? withPort
           : code == QUIL_SUCCESS && port == 0 ? address
                                               : wrong_code(code) + " " + withPort;
}

// QUIL_IpAddr_ParseV6: "read" or "malformed", the address as canonical_v6 writes it and the port,
// each "-" when left as it was. The text is read twice, into outputs that start different in every
// byte: an output written agrees in both.
inline std::string v6(const char *text) {
    uint8_t address[2][16];
    uint16_t port[2] = {kKeptPort, static_cast<uint16_t>(~kKeptPort)};
    uint32_t code = 0;
    for (int k = 0; k < 2; ++k) {
        std::memset(address[k], k == 0 ? kKeptByte : ~kKeptByte, sizeof address[k]);
        code = QUIL_IpAddr_ParseV6(text, address[k], &port[k]);
    }
    bool kept = std::equal(address[0], address[0] + 16, address[1], std::not_equal_to<>());
    return (code == QUIL_SUCCESS       ? "read "
            : code == IPADDR_MALFORMED ? "malformed "
                                       : "wrong ") +
           (kept ? "-" : canonical_v6(address[0])) + " " +
           (port[0] != port[1] ? "-" : std::to_string(port[0]));
}

// A building block at a cursor over size characters from text (a terminator is not read):
// reader is port10 or port16 (QUIL_IpAddr_ParsePort in base 10 or 16), group
// (QUIL_IpAddr_ParseV6Group) or groups (QUIL_IpAddr_ParseV6Groups). Gives the value read (a port
// in decimal, a group in hexadecimal, the bytes of a run of groups in hexadecimal) or
// "malformed", then the number of characters the cursor moved past. A failure must leave the
// output and the cursor as they were.
inline std::string read_at(const std::string &reader, const char *text, size_t size) {
    IpAddrCursor cursor = {text, static_cast<int32_t>(size)};
    uint16_t value = kKeptPort;
    uint32_t count = kKeptPort;
    uint8_t buffer[16];
    std::memset(buffer, kKeptByte, sizeof buffer);
    uint32_t code = reader == "port10"   ? QUIL_IpAddr_ParsePort(&value, 10, &cursor)
                    : reader == "port16" ? QUIL_IpAddr_ParsePort(&value, 16, &cursor)
                    : reader == "group"  ? QUIL_IpAddr_ParseV6Group(&value, &cursor)
                                         : QUIL_IpAddr_ParseV6Groups(buffer, &count, &cursor);
    auto moved = cursor.pos - text;
    if (moved < 0 || static_cast<size_t>(moved) > size ||
        cursor.remaining != static_cast<int32_t>(size) - moved) {
        return "wrong: the cursor moved to " + std::to_string(moved);
    }
    if (code != QUIL_SUCCESS) {
        bool kept = value == kKeptPort && count == kKeptPort &&
                    std::count(buffer, buffer + sizeof buffer, kKeptByte) == sizeof buffer;
        return code == IPADDR_MALFORMED && kept && moved == 0 ? "malformed 0" : wrong_code(code);
    }
    if (reader == "groups" && (count > sizeof buffer || count % 2 != 0)) {
        return "wrong: " + std::to_string(count) + " bytes";
    }
    char read[40] = {};
    for (uint32_t i = 0; reader == "groups" && i < count; ++i) {
        std::snprintf(read + 2 * i, 3, "%02x", buffer[i]);
    }
    if (reader != "groups") {
        std::snprintf(read, sizeof read, reader == "group" ? "%x" : "%u", unsigned{value});
    }
    return read + (" " + std::to_string(moved));
}

} // namespace wexaddr

#endif
