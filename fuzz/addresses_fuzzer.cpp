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

void check_v4(const char *text) {
    uint8_t address[4];
    uint16_t port = 1;
    uint32_t code = QUIL_IpAddr_ParseV4(text, address, &port);
    check_code(code, {QUIL_SUCCESS, IPADDR_WITH_PORT, IPADDR_MALFORMED}, "QUIL_IpAddr_ParseV4");
    uint8_t expected[4] = {};
    if (code == IPADDR_MALFORMED) {
        check(std::memcmp(address, expected, 4) == 0 && port == 0,
              "a refused IPv4 text leaves a zero address and port");
    } else if (code == QUIL_SUCCESS && inet_pton(AF_INET, text, expected) == 1) {
        for (size_t i = 0; i < 4; ++i) {
            check(address[i] == expected[3 - i], "IPv4 bytes equal inet_pton's, in reverse order");
        }
    }
    check(code == IPADDR_WITH_PORT || port == 0, "an IPv4 text without a port gives port 0");
}

void check_v6(const char *text) {
    uint8_t address[16];
    uint16_t port = 1;
    uint32_t code = QUIL_IpAddr_ParseV6(text, address, &port);
    check_code(code, {QUIL_SUCCESS, IPADDR_MALFORMED}, "QUIL_IpAddr_ParseV6");
    uint8_t expected[16];
    if (code == QUIL_SUCCESS && inet_pton(AF_INET6, text, expected) == 1) {
        check(port == 0, "a text inet_pton reads as an address carries no port");
        check(std::memcmp(address, expected, 16) == 0, "IPv6 bytes equal inet_pton's");
    }
    if (code != QUIL_SUCCESS || port != 0) {
        return;
    }
    std::string canonical = wexfuzz::format_ipv6(address);
    uint8_t again[16];
    port = 1;
    check(QUIL_IpAddr_ParseV6(canonical.c_str(), again, &port) == QUIL_SUCCESS,
          "the canonical text of an accepted address is accepted");
    check(std::memcmp(address, again, 16) == 0 && port == 0,
          "the canonical text reads back to the same bytes");
}

// A building block's result: a documented code, an output left as it was after a failure, and
// the cursor unchanged after a failure or moved forward within the text.
void check_read(uint32_t code, bool outputKept, const IpAddrCursor &before,
                const IpAddrCursor &after, const char *operation) {
    check_code(code, {QUIL_SUCCESS, IPADDR_MALFORMED}, operation);
    if (code != QUIL_SUCCESS) {
        check(outputKept && after.pos == before.pos && after.remaining == before.remaining,
              "a failed read leaves the output and the cursor");
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
        check_read(code, port == 7, start, cursor, "QUIL_IpAddr_ParsePort");
    }
    IpAddrCursor cursor = start;
    uint16_t group = 7;
    check_read(QUIL_IpAddr_ParseV6Group(&group, &cursor), group == 7, start, cursor,
               "QUIL_IpAddr_ParseV6Group");
    cursor = start;
    uint8_t buffer[16];
    uint32_t count = 99;
    uint32_t code = QUIL_IpAddr_ParseV6Groups(buffer, &count, &cursor);
    check_read(code, count == 99, start, cursor, "QUIL_IpAddr_ParseV6Groups");
    check(code != QUIL_SUCCESS || (count <= 16 && count % 2 == 0),
          "a run of groups fills whole groups of the buffer");
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
