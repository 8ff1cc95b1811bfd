// quil ip: parses IPv4 and IPv6 address text with an optional port and prints it canonically.
#include <cstdio>
#include <string>

#include "quil.h"
#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace quil {

namespace {

constexpr int kGroups = 8;

const char kHelp[] =
    "usage: quil ip ADDRESS...\n"
    "Parses each ADDRESS as IPv4 (a.b.c.d, parts decimal or 0x-hexadecimal, \":port\" optional)\n"
    "or IPv6 (groups, \"::\", optional brackets, \":port\", a dotted IPv4 tail) and prints it in\n"
    "canonical form: a dotted quad, or compressed lower-case IPv6; with a port as\n"
    "a.b.c.d:port or [ipv6]:port. A text with a '[' or more than one ':' is read as IPv6.\n";

bool looks_like_v6(const std::string &text) {
    size_t first = text.find(':');
    return text.find('[') != std::string::npos ||
           (first != std::string::npos && text.find(':', first + 1) != std::string::npos);
}

std::string dotted(const uint8_t *bytes) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

// The longest run of two or more zero groups (the first of equal runs), as [start, start + length).
void longest_zero_run(const uint16_t *groups, int &start, int &length) {
    start = -1;
    length = 0;
    for (int i = 0; i < kGroups;) {
        int j = i;
        while (j < kGroups && groups[j] == 0) {
            ++j;
        }
        if (j - i > length && j - i >= 2) {
            start = i;
            length = j - i;
        }
        i = j == i ? i + 1 : j;
    }
}

// Compressed lower-case text: leading zeros dropped, the longest run of zero groups as "::", and
// IPv4-mapped addresses (::ffff:a.b.c.d) with their dotted tail.
std::string canonical_v6(const uint8_t *bytes) {
    uint16_t groups[kGroups];
    for (int k = 0; k < kGroups; ++k) {
        groups[k] = static_cast<uint16_t>(bytes[2 * k] << 8 | bytes[2 * k + 1]);
    }
    bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 &&
                  groups[4] == 0 && groups[5] == 0xFFFF;
    if (mapped) {
        return "::ffff:" + dotted(bytes + 12);
    }
    int start = 0, length = 0;
    longest_zero_run(groups, start, length);
    std::string text;
    for (int k = 0; k < kGroups; ++k) {
        if (k == start) {
            text += "::";
            k += length - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':') {
            text += ':';
        }
        char group[8];
        std::snprintf(group, sizeof group, "%x", groups[k]);
        text += group;
    }
    return text;
}

// Prints one address; returns false when the text is not one.
bool print_address(const std::string &text) {
    if (looks_like_v6(text)) {
        uint8_t address[16];
        uint16_t port = 0;
        if (QUIL_IpAddr_ParseV6(text.c_str(), address, &port) != QUIL_SUCCESS) {
            return false;
        }
        std::string shown = canonical_v6(address);
        if (port != 0) {
            std::printf("[%s]:%u\n", shown.c_str(), port);
        } else {
            std::printf("%s\n", shown.c_str());
        }
        return true;
    }
    uint8_t reversed[4];
    uint16_t port = 0;
    uint32_t result = QUIL_IpAddr_ParseV4(text.c_str(), reversed, &port);
    if (result != QUIL_SUCCESS && result != IPADDR_WITH_PORT) {
        return false;
    }
    // The parser stores the parts in reverse order of the text.
    const uint8_t inOrder[4] = {reversed[3], reversed[2], reversed[1], reversed[0]};
    if (result == IPADDR_WITH_PORT) {
        std::printf("%s:%u\n", dotted(inOrder).c_str(), port);
    } else {
        std::printf("%s\n", dotted(inOrder).c_str());
    }
    return true;
}

} // namespace

int run_ip(const Args &args) {
    if (wants_help(args)) {
        std::fputs(kHelp, stdout);
        return kOk;
    }
    if (args.empty()) {
        return usage_error("ip", "no address given");
    }
    int status = kOk;
    for (const std::string &text : args) {
        if (!print_address(text)) {
            complain("'" + text + "': not an IPv4 or IPv6 address with an optional port");
            status = kNotFound;
        }
    }
    return status;
}

} // namespace quil
