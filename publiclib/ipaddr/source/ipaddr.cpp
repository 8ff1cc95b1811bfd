// IPv4 and IPv6 address text with an optional port. A text is either read to its last character
// and accepted, or refused: nothing may follow the address or the port. Everything is read
// through an IpAddrCursor that never looks past its remaining count; digits are classified by a
// fixed table, never by the locale.
#include <array>
#include <cstdint>

#include "common/bounded.h"
#include "wex_ipaddr.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

constexpr uint32_t kDecimalDigit = 0x04;
constexpr uint32_t kHexDigit = 0x80;

// One class mask per byte value; bytes 0x80 to 0xFF belong to no class.
constexpr std::array<uint32_t, 256> make_char_classes() {
    std::array<uint32_t, 256> table{};
    for (uint32_t c = 0; c < table.size(); ++c) {
        if (c >= '0' && c <= '9') {
            table[c] = kDecimalDigit | kHexDigit;
        } else if ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) {
            table[c] = kHexDigit;
        }
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCharClasses = make_char_classes();

static_assert(kCharClasses['0'] == (kDecimalDigit | kHexDigit) && kCharClasses['f'] == kHexDigit &&
              kCharClasses['G'] == 0 && kCharClasses[0xB2] == 0); // 0xB2: superscript two

constexpr uint32_t kDecimal = 10;
constexpr uint32_t kHexadecimal = 16;
constexpr uint32_t kMaxV4Part = 255;
constexpr uint32_t kMaxPort = 65535;
constexpr uint32_t kV4Parts = 4;
constexpr uint32_t kV6Bytes = 16;
constexpr uint32_t kV4TailOffset = 12; // an IPv4 tail fills the last four bytes of the address
constexpr uint32_t kMaxGroupDigits = 4;
constexpr int32_t kHexPrefixLength = 2;
// The IPv4 lookahead takes a token for the start of a tail only when the text goes on for more
// than this many characters from the colon in front of it.
constexpr int32_t kMinTailLookahead = 4;

bool has_class(char c, uint32_t mask) {
    return (kCharClasses[static_cast<unsigned char>(c)] & mask) != 0;
}

bool is_hex_digit(char c) {
    return has_class(c, kHexDigit);
}

uint32_t digit_mask(uint32_t base) {
    return base == kHexadecimal ? kHexDigit : kDecimalDigit;
}

// The value of a character that the table marks as a hexadecimal (or decimal) digit.
constexpr uint8_t hex_value(char c) {
    auto u = static_cast<uint8_t>(c);
    return static_cast<uint8_t>(u <= '9' ? u - '0' : (u | 0x20) - 'a' + 10);
}

bool at_end(const IpAddrCursor &cursor) {
    return cursor.remaining <= 0;
}

// The character k places ahead, or NUL for a place beyond the end of the text.
char peek(const IpAddrCursor &cursor, int32_t k) {
    return k < cursor.remaining ? cursor.pos[k] : '\0';
}

void advance(IpAddrCursor &cursor, int32_t n) {
    cursor.pos += n;
    cursor.remaining -= n;
}

bool at_hex_prefix(const IpAddrCursor &cursor) {
    return peek(cursor, 0) == '0' && (peek(cursor, 1) == 'x' || peek(cursor, 1) == 'X');
}

// The remaining count is signed, so a longer text is refused (it cannot be an address anyway).
bool open_cursor(const char *text, IpAddrCursor &cursor) {
    uint32_t length = QUIL_StrLen(text);
    if (length > static_cast<uint32_t>(INT32_MAX)) {
        return false;
    }
    cursor = {text, static_cast<int32_t>(length)};
    return true;
}

// Reads the run of digits of base at the cursor. Fails, leaving the cursor where it was, when
// there is no digit or the value exceeds limit; a sign, a blank or a prefix is no digit.
bool read_number(IpAddrCursor &cursor, uint32_t base, uint32_t limit, uint32_t &value) {
    IpAddrCursor at = cursor;
    uint32_t number = 0;
    while (!at_end(at) && has_class(*at.pos, digit_mask(base))) {
        number = number * base + hex_value(*at.pos);
        if (number > limit) {
            return false;
        }
        advance(at, 1);
    }
    if (at.pos == cursor.pos) {
        return false;
    }
    value = number;
    cursor = at;
    return true;
}

bool read_port(IpAddrCursor &cursor, uint32_t base, uint16_t &port) {
    uint32_t value = 0;
    if (!read_number(cursor, base, kMaxPort, value)) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

constexpr int32_t kShortRun = 3; // the digits of the usual dotted part

// The decimal digit value of c, or 10 or more for any other byte.
uint32_t decimal_value(char c) {
    return static_cast<uint32_t>(static_cast<unsigned char>(c)) - '0';
}

// read_number for base 10 and a run of at most three digits, worked out without a branch per
// digit: the length of a dotted part varies from address to address, and a mispredicted loop
// exit costs more than the part. Returns false, changing nothing, when the cursor holds fewer
// than four characters or a longer run; read_number then reads the part.
bool read_short_decimal_run(IpAddrCursor &cursor, uint32_t limit, bool &read, uint32_t &value) {
    if (cursor.remaining <= kShortRun) {
        return false;
    }
    const char *p = cursor.pos; // the four bytes lie within the text
    uint32_t d0 = decimal_value(p[0]), d1 = decimal_value(p[1]), d2 = decimal_value(p[2]);
    bool one = d0 < kDecimal;
    bool two = one && d1 < kDecimal;
    bool three = two && d2 < kDecimal;
    if (three && decimal_value(p[3]) < kDecimal) {
        return false;
    }
    uint32_t number = three ? d0 * 100 + d1 * 10 + d2 : two ? d0 * 10 + d1 : d0;
    read = one && number <= limit;
    if (read) {
        value = number;
        advance(cursor, static_cast<int32_t>(one) + two + three);
    }
    return true;
}

// One part of a dotted address: decimal (leading zeros allowed), or hexadecimal behind "0x".
bool read_v4_part(IpAddrCursor &cursor, uint8_t &part) {
    uint32_t base = kDecimal;
    if (at_hex_prefix(cursor)) {
        advance(cursor, kHexPrefixLength);
        base = kHexadecimal;
    }
    uint32_t value = 0;
    bool read = false;
    if (base != kDecimal || !read_short_decimal_run(cursor, kMaxV4Part, read, value)) {
        read = read_number(cursor, base, kMaxV4Part, value);
    }
    if (!read) {
        return false;
    }
    part = static_cast<uint8_t>(value);
    return true;
}

// The parts are gathered in a register, first part highest: stored one byte at a time and then
// read back as a word, they would keep the load waiting for the stores.
struct V4Text {
    uint32_t number = 0; // a * 2^24 + b * 2^16 + c * 2^8 + d
    bool hasPort = false;
    uint16_t port = 0;

    // The byte of part i, counted in the order of the text.
    uint8_t part(uint32_t i) const {
        return static_cast<uint8_t>(number >> (8 * (kV4Parts - 1 - i)));
    }
};

// Reads a.b.c.d and an optional ":port" (decimal, or hexadecimal behind "0x") to the end of the
// text.
bool read_v4_text(IpAddrCursor &cursor, V4Text &v4) {
    for (uint32_t i = 0; i < kV4Parts; ++i) {
        if (i > 0) {
            if (peek(cursor, 0) != '.') {
                return false;
            }
            advance(cursor, 1);
        }
        uint8_t part = 0;
        if (!read_v4_part(cursor, part)) {
            return false;
        }
        v4.number = v4.number << 8 | part;
    }
    if (peek(cursor, 0) == ':') {
        advance(cursor, 1);
        v4.hasPort = true;
        uint32_t base = kDecimal;
        if (at_hex_prefix(cursor)) {
            advance(cursor, kHexPrefixLength);
            base = kHexadecimal;
        }
        if (!read_port(cursor, base, v4.port)) {
            return false;
        }
    }
    return at_end(cursor);
}

// One group of one to four hexadecimal digits, ended by ':', '.', ']' or the end of the text
// (the ending character is not consumed), a digit at a time. On failure the cursor stays where
// it was.
bool read_group_bytewise(IpAddrCursor &cursor, uint16_t &value) {
    IpAddrCursor at = cursor;
    uint32_t group = 0;
    uint32_t digits = 0;
    while (!at_end(at) && is_hex_digit(*at.pos)) {
        if (digits == kMaxGroupDigits) {
            return false;
        }
        group = group * kHexadecimal + hex_value(*at.pos);
        ++digits;
        advance(at, 1);
    }
    char next = peek(at, 0);
    if (digits == 0 || (!at_end(at) && next != ':' && next != '.' && next != ']')) {
        return false;
    }
    value = static_cast<uint16_t>(group);
    cursor = at;
    return true;
}

// The value of a hexadecimal digit, or kHexadecimal (16) for any other byte.
constexpr std::array<uint8_t, 256> make_hex_values() {
    std::array<uint8_t, 256> values{};
    for (uint32_t c = 0; c < values.size(); ++c) {
        values[c] = (kCharClasses[c] & kHexDigit) != 0 ? hex_value(static_cast<char>(c))
                                                       : static_cast<uint8_t>(kHexadecimal);
    }
    return values;
}
constexpr std::array<uint8_t, 256> kHexValues = make_hex_values();

uint32_t hex_digit_value(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
}

// The same group read without a branch per digit, where the five bytes a group and its ending
// character can take lie within the text: groups of varying length would make a digit loop's
// exit mispredict on most groups.
bool read_group(IpAddrCursor &cursor, uint16_t &value) {
    if (cursor.remaining <= static_cast<int32_t>(kMaxGroupDigits)) {
        return read_group_bytewise(cursor, value);
    }
    const char *p = cursor.pos;
    uint32_t v0 = hex_digit_value(p[0]), v1 = hex_digit_value(p[1]);
    uint32_t v2 = hex_digit_value(p[2]), v3 = hex_digit_value(p[3]);
    bool one = v0 < kHexadecimal;
    bool two = one && v1 < kHexadecimal;
    bool three = two && v2 < kHexadecimal;
    bool four = three && v3 < kHexadecimal;
    uint32_t digits = static_cast<uint32_t>(one) + two + three + four;
    char next = p[digits];
    if (digits == 0 || (next != ':' && next != '.' && next != ']')) {
        return false; // also a fifth digit
    }
    uint32_t group = v0;
    group = two ? group << 4 | v1 : group;
    group = three ? group << 4 | v2 : group;
    group = four ? group << 4 | v3 : group;
    value = static_cast<uint16_t>(group);
    advance(cursor, static_cast<int32_t>(digits));
    return true;
}

// At a ':' in a run of groups: the token behind it starts an IPv4 tail when it has two or three
// characters before a '.' and does not begin with '0'. A one-character token before a '.' is
// taken for a group, so "::ffff:1.2.3.4" is refused.
bool v4_tail_follows(const IpAddrCursor &cursor) {
    char c1 = peek(cursor, 1);
    char c2 = peek(cursor, 2);
    char c3 = peek(cursor, 3);
    char c4 = peek(cursor, 4);
    return (c3 == '.' || c4 == '.') && c2 != '.' && c2 != ':' && c1 != '0' && c3 != ':' &&
           c4 != ':' && cursor.remaining > kMinTailLookahead;
}

bool another_group_follows(const IpAddrCursor &cursor, uint32_t count) {
    return peek(cursor, 0) == ':' && is_hex_digit(peek(cursor, 1)) && count < kV6Bytes &&
           !v4_tail_follows(cursor);
}

struct GroupRun {
    std::array<uint8_t, kV6Bytes> bytes{}; // groups high byte first
    uint32_t count = 0;                    // bytes stored
};

// A run of groups joined by single colons, at most eight. An empty run when the cursor is not on
// a hexadecimal digit. On failure the cursor may have moved.
bool read_group_run(IpAddrCursor &cursor, GroupRun &run) {
    if (!is_hex_digit(peek(cursor, 0))) {
        return true;
    }
    for (;;) {
        uint16_t value = 0;
        if (!read_group(cursor, value)) {
            return false;
        }
        run.bytes[run.count] = static_cast<uint8_t>(value >> 8);
        run.bytes[run.count + 1] = static_cast<uint8_t>(value);
        run.count += 2;
        if (!another_group_follows(cursor, run.count)) {
            return true;
        }
        advance(cursor, 1);
    }
}

using V6Address = std::array<uint8_t, kV6Bytes>;

void place_run(V6Address &address, uint32_t offset, const GroupRun &run) {
    wex::bounded::memcpy_s(address.data() + offset, address.size() - offset, run.bytes.data(),
                           run.count);
}

// Reads a dotted IPv4 address without a port to the end of the text into the last four bytes.
bool read_v4_tail(IpAddrCursor &cursor, V6Address &address) {
    V4Text v4;
    if (!read_v4_text(cursor, v4) || v4.hasPort) {
        return false;
    }
    for (uint32_t i = 0; i < kV4Parts; ++i) {
        address[kV4TailOffset + i] = v4.part(i);
    }
    return true;
}

enum class Outcome {
    kRead,                 // the address is complete; a bracket and a port may follow
    kRefused,              // malformed; nothing is written
    kRefusedKeepingAddress // malformed behind "::"; the bytes gathered so far are written
};

bool at_double_colon(const IpAddrCursor &cursor) {
    return peek(cursor, 0) == ':' && peek(cursor, 1) == ':';
}

// "::" and a second run of groups, ending the text or followed by ']' or by ":a.b.c.d".
Outcome read_second_run(IpAddrCursor &cursor, uint32_t leadBytes, V6Address &address) {
    advance(cursor, 2);
    GroupRun second;
    if (!read_group_run(cursor, second)) {
        return Outcome::kRefusedKeepingAddress;
    }
    if (at_end(cursor) || peek(cursor, 0) == ']') {
        if (leadBytes + second.count > kV6Bytes) {
            return Outcome::kRefused; // more than eight groups
        }
        place_run(address, kV6Bytes - second.count, second);
        return Outcome::kRead;
    }
    if (peek(cursor, 0) != ':') {
        return Outcome::kRefused;
    }
    if (leadBytes + second.count > kV4TailOffset) {
        return Outcome::kRefused; // more than eight groups, counting the tail as two
    }
    advance(cursor, 1);
    bool tailRead = read_v4_tail(cursor, address);
    place_run(address, kV4TailOffset - second.count, second);
    return tailRead ? Outcome::kRead : Outcome::kRefusedKeepingAddress;
}

// ":::a.b.c.d": the groups in front, then at once the IPv4 tail.
Outcome read_triple_colon_tail(IpAddrCursor &cursor, uint32_t leadBytes, V6Address &address) {
    if (leadBytes > kV4TailOffset) {
        return Outcome::kRefused; // more than eight groups, counting the tail as two
    }
    advance(cursor, 3);
    return read_v4_tail(cursor, address) ? Outcome::kRead : Outcome::kRefusedKeepingAddress;
}

// A leading run that ended at a '.' (or a text that begins with one): the rest is an IPv4 tail.
Outcome read_dotted_tail(IpAddrCursor &cursor, uint32_t leadBytes, V6Address &address) {
    if (leadBytes > kV4TailOffset) {
        return Outcome::kRefused; // more than eight groups, counting the tail as two
    }
    advance(cursor, 1);
    return read_v4_tail(cursor, address) ? Outcome::kRead : Outcome::kRefused;
}

// Everything up to the closing bracket or the port: an optional '[', the leading run, and what
// follows it when it holds fewer than eight groups.
Outcome read_v6_address(IpAddrCursor &cursor, V6Address &address) {
    if (peek(cursor, 0) == '[') {
        advance(cursor, 1);
    }
    GroupRun lead;
    if (!read_group_run(cursor, lead)) {
        return Outcome::kRefused;
    }
    place_run(address, 0, lead);
    if (lead.count == kV6Bytes) {
        return Outcome::kRead;
    }
    char third = peek(cursor, 2);
    if (at_double_colon(cursor) && is_hex_digit(third)) {
        return read_second_run(cursor, lead.count, address);
    }
    if (at_double_colon(cursor) && third == ':') {
        return read_triple_colon_tail(cursor, lead.count, address);
    }
    if (peek(cursor, 0) == '.' && is_hex_digit(peek(cursor, 1))) {
        return read_dotted_tail(cursor, lead.count, address);
    }
    if (at_double_colon(cursor) && (cursor.remaining == 2 || third == ']')) {
        advance(cursor, 2);
        return Outcome::kRead;
    }
    return Outcome::kRefused;
}

// What may follow a complete address: one ']' (paired or not), then ":port" in decimal, then the
// end of the text.
bool read_v6_ending(IpAddrCursor &cursor, uint16_t &port) {
    if (peek(cursor, 0) == ']') {
        advance(cursor, 1);
    }
    if (peek(cursor, 0) == ':') {
        advance(cursor, 1);
        if (!read_port(cursor, kDecimal, port)) {
            return false;
        }
    }
    return at_end(cursor);
}

void store_v6(uint8_t *address, uint16_t *port, const V6Address &bytes, uint16_t portValue) {
    wex::bounded::memcpy_s(address, kV6Bytes, bytes.data(), bytes.size());
    *port = portValue;
}

bool is_port_base(uint32_t base) {
    return base == kDecimal || base == kHexadecimal;
}

bool is_usable(const IpAddrCursor *cursor) {
    return cursor != nullptr && cursor->pos != nullptr;
}

} // namespace

extern "C" {

uint32_t QUIL_IpAddr_ParseV4(const char *text, uint8_t address[4], uint16_t *port) {
    if (text == nullptr || address == nullptr || port == nullptr) {
        return IPADDR_BAD_ARGUMENT;
    }
    IpAddrCursor cursor{};
    V4Text v4;
    if (!open_cursor(text, cursor) || !read_v4_text(cursor, v4)) {
        wex::bounded::memset_s(address, kV4Parts, 0, kV4Parts);
        *port = 0;
        return IPADDR_MALFORMED;
    }
    for (uint32_t i = 0; i < kV4Parts; ++i) {
        address[i] = v4.part(kV4Parts - 1 - i);
    }
    *port = v4.port;
    return v4.hasPort ? IPADDR_WITH_PORT : QUIL_SUCCESS;
}

uint32_t QUIL_IpAddr_ParsePort(uint16_t *port, uint32_t base, IpAddrCursor *cursor) {
    if (port == nullptr || !is_port_base(base) || !is_usable(cursor)) {
        return IPADDR_BAD_ARGUMENT;
    }
    return read_port(*cursor, base, *port) ? QUIL_SUCCESS : IPADDR_MALFORMED;
}

uint32_t QUIL_IpAddr_ParseV6(const char *text, uint8_t address[16], uint16_t *port) {
    if (text == nullptr || address == nullptr || port == nullptr) {
        return IPADDR_BAD_ARGUMENT;
    }
    IpAddrCursor cursor{};
    if (!open_cursor(text, cursor)) {
        return IPADDR_MALFORMED;
    }
    V6Address bytes{};
    switch (read_v6_address(cursor, bytes)) {
    case Outcome::kRefused:
        return IPADDR_MALFORMED;
    case Outcome::kRefusedKeepingAddress:
        store_v6(address, port, bytes, 0);
        return IPADDR_MALFORMED;
    case Outcome::kRead:
        break;
    }
    uint16_t portValue = 0;
    if (!read_v6_ending(cursor, portValue)) {
        return IPADDR_MALFORMED;
    }
    store_v6(address, port, bytes, portValue);
    return QUIL_SUCCESS;
}

uint32_t QUIL_IpAddr_ParseV6Groups(uint8_t buffer[16], uint32_t *count, IpAddrCursor *cursor) {
    if (buffer == nullptr || count == nullptr || !is_usable(cursor)) {
        return IPADDR_BAD_ARGUMENT;
    }
    IpAddrCursor at = *cursor;
    GroupRun run;
    if (!read_group_run(at, run)) {
        return IPADDR_MALFORMED;
    }
    wex::bounded::memcpy_s(buffer, kV6Bytes, run.bytes.data(), run.count);
    *count = run.count;
    *cursor = at;
    return QUIL_SUCCESS;
}

uint32_t QUIL_IpAddr_ParseV6Group(uint16_t *value, IpAddrCursor *cursor) {
    if (value == nullptr || !is_usable(cursor)) {
        return IPADDR_BAD_ARGUMENT;
    }
    return read_group(*cursor, *value) ? QUIL_SUCCESS : IPADDR_MALFORMED;
}

uint32_t QUIL_IpAddr_HexDigitValue(char c, uint8_t *value) {
    constexpr uint8_t kNoDigit = 255;
    constexpr uint32_t kNotAHexDigit = 1;
    if (value == nullptr) {
        return IPADDR_BAD_ARGUMENT;
    }
    if (!is_hex_digit(c)) {
        *value = kNoDigit;
        return kNotAHexDigit;
    }
    *value = hex_value(c);
    return QUIL_SUCCESS;
}

} // extern "C"
