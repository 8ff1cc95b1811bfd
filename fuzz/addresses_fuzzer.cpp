// Both address parsers and their building blocks on arbitrary text: documented codes only, no
// read past the text (or past the cursor's end), outputs as documented after a failure. An IPv6
// address read without a port reads again from its canonical text to the same bytes, and a text
// that inet_pton also accepts gives the bytes inet_pton gives.
#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace {

using wexfuzz::check;
using wexfuzz::check_code;

constexpr size_t kV4Bytes = 4;
constexpr size_t kV6Bytes = 16;

void check_v4(const char *text) {
    uint8_t address[kV4Bytes];
    uint16_t port = 1;
    uint32_t code = QUIL_IpAddr_ParseV4(text, address, &port);
    check_code(code, {QUIL_SUCCESS, IPADDR_WITH_PORT, IPADDR_MALFORMED}, "QUIL_IpAddr_ParseV4");
    if (code == IPADDR_MALFORMED) {
        static const uint8_t kZero[kV4Bytes] = {};
        check(std::memcmp(address, kZero, kV4Bytes) == 0 && port == 0,
              "a refused IPv4 text leaves a zero address and port");
        return;
    }
    check(code == IPADDR_WITH_PORT || port == 0, "an IPv4 text without a port gives port 0");
    uint8_t expected[kV4Bytes];
    if (code == QUIL_SUCCESS && inet_pton(AF_INET, text, expected) == 1) {
        for (size_t i = 0; i < kV4Bytes; ++i) {
            check(address[i] == expected[kV4Bytes - 1 - i],
                  "IPv4 bytes equal inet_pton's, in reverse order");
        }
    }
}

void check_v6(const char *text) {
    uint8_t address[kV6Bytes];
    uint16_t port = 1;
    uint32_t code = QUIL_IpAddr_ParseV6(text, address, &port);
    check_code(code, {QUIL_SUCCESS, IPADDR_MALFORMED}, "QUIL_IpAddr_ParseV6");
    if (code != QUIL_SUCCESS) {
        return;
    }
    uint8_t expected[kV6Bytes];
    if (inet_pton(AF_INET6, text, expected) == 1) {
        check(port == 0, "a text inet_pton reads as an address carries no port");
        check(std::memcmp(address, expected, kV6Bytes) == 0, "IPv6 bytes equal inet_pton's");
    }
    if (port != 0) {
        return;
    }
    std::string canonical = wexfuzz::format_ipv6(address);
    uint8_t again[kV6Bytes];
    uint16_t portAgain = 1;
    check(QUIL_IpAddr_ParseV6(canonical.c_str(), again, &portAgain) == QUIL_SUCCESS,
          "the canonical text of an accepted address is accepted");
    check(std::memcmp(address, again, kV6Bytes) == 0 && portAgain == 0,
          "the canonical text reads back to the same bytes");
}

// The cursor after a call: unchanged after a failure, otherwise moved forward within the text.
void check_cursor(uint32_t code, const IpAddrCursor &before, const IpAddrCursor &after) {
    if (code != QUIL_SUCCESS) {
        check(after.pos == before.pos && after.remaining == before.remaining,
              "a failed read leaves the cursor");
        return;
    }
    check(after.pos >= before.pos && after.pos - before.pos == before.remaining - after.remaining,
          "a read moves the cursor forward, keeping its end");
    check(after.remaining >= 0, "a read stays within the text");
}

// The building blocks on a text without terminator: they must read nothing at its end.
void check_cursor_readers(const uint8_t *bytes, size_t size) {
    std::unique_ptr<char[]> text(new char[size == 0 ? 1 : size]);
    if (size > 0) {
        std::memcpy(text.get(), bytes, size);
    }
    const IpAddrCursor start{text.get(), static_cast<int32_t>(size)};

    for (uint32_t base : {10u, 16u}) {
        IpAddrCursor cursor = start;
        uint16_t port = 7;
        uint32_t code = QUIL_IpAddr_ParsePort(&port, base, &cursor);
        check_code(code, {QUIL_SUCCESS, IPADDR_MALFORMED}, "QUIL_IpAddr_ParsePort");
        check(code == QUIL_SUCCESS || port == 7, "a failed port read leaves the port");
        check_cursor(code, start, cursor);
    }

    IpAddrCursor cursor = start;
    uint8_t buffer[kV6Bytes];
    uint32_t count = 99;
    uint32_t code = QUIL_IpAddr_ParseV6Groups(buffer, &count, &cursor);
    check_code(code, {QUIL_SUCCESS, IPADDR_MALFORMED}, "QUIL_IpAddr_ParseV6Groups");
    check(code != QUIL_SUCCESS || (count <= kV6Bytes && count % 2 == 0),
          "a run of groups fills whole groups of the buffer");
    check(code == QUIL_SUCCESS || count == 99, "a failed run leaves the count");
    check_cursor(code, start, cursor);

    cursor = start;
    uint16_t group = 7;
    code = QUIL_IpAddr_ParseV6Group(&group, &cursor);
    check_code(code, {QUIL_SUCCESS, IPADDR_MALFORMED}, "QUIL_IpAddr_ParseV6Group");
    check(code == QUIL_SUCCESS || group == 7, "a failed group read leaves the value");
    check_cursor(code, start, cursor);

    if (size > 0) {
        uint8_t digit = 0;
        code = QUIL_IpAddr_HexDigitValue(text[0], &digit);
        check((code == 0 && digit < 16) || (code == 1 && digit == 255),
              "a hexadecimal digit converts to 0..15, anything else to 255");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    wexfuzz::ExactText text(bytes, size);
    check_v4(text.c_str());
    check_v6(text.c_str());
    check_cursor_readers(bytes, size);
    return 0;
}
