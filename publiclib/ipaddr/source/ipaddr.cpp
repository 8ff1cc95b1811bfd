// IPv4 and IPv6 address text with an optional port. A text is either read to its last character
// and accepted, or refused: nothing may follow the address or the port. Digits are classified by
// a fixed table, never by the locale.
//
// The grammar is written once, as functions over a Reader (a reading position and the end of the
// text), and instantiated for two kinds of text:
// - a caller's IpAddrCursor, read by the cursor helpers: it may end anywhere, so nothing at or
//   beyond its end is read; a helper copies the cursor in and writes it back once, on success;
// - the whole text given to ParseV4 or ParseV6, measured once through the adapter: it holds no
//   NUL before its end, and the NUL at its end may be read. The parsers keep the reading position
//   in registers.
// Dotted parts and groups are read through a window of four or five characters and worked out
// without a branch per digit, since their lengths vary from address to address (a dotted part as
// one word, a byte per digit). Where the window lies within the text (for a whole text: up to its
// NUL) it is read directly, so that where it is read depends only on the characters before it,
// not on the measured length; this holds for every part and group of a whole text but the last.
// There, the places past the end read as NUL: a part's word is taken from the four bytes that end
// with the NUL and shifted into place, a group's characters through an index clamped without a
// branch. A cursor's last characters are read one at a time.
#include <algorithm>
#include <array>
#include <cstdint>

#include "common/bounded.h"
#include "wex_ipaddr.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

// The grammar's small functions are merged into the two whole-text parsers, so that the reading
// position stays in registers; compilers do not always do so of their own accord.
#if defined(__GNUC__)
#define IPADDR_INLINE              inline __attribute__((always_inline))
#define IPADDR_UNLIKELY(condition) __builtin_expect(static_cast<long>(condition), 0)
#elif defined(_MSC_VER)
#define IPADDR_INLINE __forceinline
#else
#define IPADDR_INLINE inline
#endif
#ifndef IPADDR_UNLIKELY
#define IPADDR_UNLIKELY(condition) (condition)
#endif

namespace {

constexpr uint32_t kGroupEnd = 0x01; // ':', '.' and ']', which end an IPv6 group
constexpr uint32_t kTextEnd = 0x02;  // NUL, the end of a whole text
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
        } else if (c == ':' || c == '.' || c == ']') {
            table[c] = kGroupEnd;
        }
    }
    table[0] = kTextEnd;
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
constexpr int32_t kMaxGroupDigits = 4;
constexpr int32_t kHexPrefixLength = 2;
// The IPv4 lookahead takes a token for the start of a tail only when the text goes on for more
// than this many characters from the colon in front of it.
constexpr int32_t kMinTailLookahead = 4;

IPADDR_INLINE bool has_class(char c, uint32_t mask) {
    return (kCharClasses[static_cast<unsigned char>(c)] & mask) != 0;
}

IPADDR_INLINE bool is_hex_digit(char c) {
    return has_class(c, kHexDigit);
}

IPADDR_INLINE uint32_t digit_mask(uint32_t base) {
    return base == kHexadecimal ? kHexDigit : kDecimalDigit;
}

// The value of a character that the table marks as a hexadecimal (or decimal) digit.
constexpr uint8_t hex_value(char c) {
    auto u = static_cast<uint8_t>(c);
    return static_cast<uint8_t>(u <= '9' ? u - '0' : (u | 0x20) - 'a' + 10);
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

IPADDR_INLINE uint32_t hex_digit_value(char c) {
    return kHexValues[static_cast<unsigned char>(c)];
}

constexpr int32_t kWindow = 4; // the characters a dotted part is read through, one word
// A text read as a whole has at least this many characters, so that the window that ends with its
// NUL lies within it.
constexpr uint32_t kMinWholeText = kWindow - 1;

enum class TextKind {
    kBounded,   // a caller's cursor: nothing at or beyond the end may be read
    kTerminated // a whole text: the byte at the end is its NUL, and the only NUL in it
};

// A reading position and the end of the text.
// - peek(k) reads the character k places ahead, or NUL for a place at or beyond the end: in a
//   cursor by a test, in a whole text by clamping the place to the end, where the NUL is.
// - look(k) reads without a test or a clamp, at places that can_look has vouched for.
template <TextKind Kind> class Reader {
  public:
    static constexpr bool kTerminated = Kind == TextKind::kTerminated;

    Reader(const char *pos, const char *end) : pos_(pos), end_(end) {}

    const char *pos() const { return pos_; }

    // Characters from the position to the end.
    int32_t remaining() const { return static_cast<int32_t>(end_ - pos_); }

    bool at_end() const { return pos_ >= end_; }

    char peek(int32_t k) const {
        if constexpr (kTerminated) {
            return k == 0 ? *pos_ : pos_[clamped(k)];
        } else {
            return k < remaining() ? pos_[k] : '\0';
        }
    }

    // Whether look may read the n places ahead: all within the text, or in a whole text up to
    // its NUL.
    bool can_look(int32_t n) const {
        return pos_ + (n - static_cast<int32_t>(kTerminated)) <= end_;
    }

    char look(int32_t k) const { return pos_[k]; }

    // In a whole text, the kWindow characters that end with its NUL (the first in the lowest
    // byte) moved down to start at the position, with NUL for the places beyond the end: the
    // window of a dotted part where can_look(kWindow) does not hold.
    uint32_t word_at_end() const {
        const char *last = end_ - (kWindow - 1);
        uint32_t word = static_cast<unsigned char>(last[0]) |
                        uint32_t{static_cast<unsigned char>(last[1])} << 8 |
                        uint32_t{static_cast<unsigned char>(last[2])} << 16 |
                        uint32_t{static_cast<unsigned char>(last[3])} << 24;
        return word >> (8 * (pos_ - last));
    }

    // Whether c, which look or peek read, ends a group: ':', '.', ']', or in a whole text the NUL
    // at its end (a NUL within a cursor is a character like any other).
    static bool ends_group(char c) {
        return has_class(c, kTerminated ? kGroupEnd | kTextEnd : kGroupEnd);
    }

    void advance(int32_t n) { pos_ += n; }

  private:
    // min(k, remaining()) by masks: compilers may turn a plain min in front of a load into a
    // branch, which would mispredict wherever the text ends within a part.
    int32_t clamped(int32_t k) const {
        int32_t r = remaining();
        return k ^ ((k ^ r) & -static_cast<int32_t>(r < k));
    }

    const char *pos_;
    const char *end_;
};

// How a window of characters is read: by look, where can_look vouched for it, or otherwise by peek
// (which in a whole text needs no branch).
enum class Window { kLook, kPeek };

template <Window W, TextKind Kind>
IPADDR_INLINE char window_char(const Reader<Kind> &reader, int32_t k) {
    if constexpr (W == Window::kLook) {
        return reader.look(k);
    } else {
        return reader.peek(k);
    }
}

template <Window W, TextKind Kind>
IPADDR_INLINE uint32_t window_byte(const Reader<Kind> &reader, int32_t k) {
    return static_cast<unsigned char>(window_char<W>(reader, k));
}

using CursorReader = Reader<TextKind::kBounded>;
using TextReader = Reader<TextKind::kTerminated>;

// A caller's cursor; a negative remaining count reads as an empty text.
CursorReader reader_on(const IpAddrCursor &cursor) {
    return {cursor.pos, cursor.pos + std::max(cursor.remaining, 0)};
}

// Moves the caller's cursor to where the reader stands.
void write_back(const CursorReader &reader, IpAddrCursor &cursor) {
    cursor.remaining -= static_cast<int32_t>(reader.pos() - cursor.pos);
    cursor.pos = reader.pos();
}

template <TextKind Kind> IPADDR_INLINE bool at_hex_prefix(const Reader<Kind> &reader) {
    return reader.peek(0) == '0' && (reader.peek(1) == 'x' || reader.peek(1) == 'X');
}

// A number read from the text: its value and the number of characters it took, 0 when there was
// no number to read.
struct Number {
    uint32_t value;
    int32_t length;
};

// Reads the run of digits of base at the reader (which does not move). Fails (length 0) when
// there is no digit or the value exceeds limit; a sign, a blank or a prefix is no digit.
template <TextKind Kind> Number read_number(Reader<Kind> at, uint32_t base, uint32_t limit) {
    const char *start = at.pos();
    uint32_t mask = digit_mask(base);
    uint32_t number = 0;
    for (char c = at.peek(0); has_class(c, mask); c = at.peek(0)) {
        number = number * base + hex_value(c);
        if (number > limit) {
            return {0, 0};
        }
        at.advance(1);
    }
    return {number, static_cast<int32_t>(at.pos() - start)};
}

template <TextKind Kind> bool read_port(Reader<Kind> &reader, uint32_t base, uint16_t &port) {
    Number number = read_number(reader, base, kMaxPort);
    if (number.length == 0) {
        return false;
    }
    port = static_cast<uint16_t>(number.value);
    reader.advance(number.length);
    return true;
}

// The index of the lowest set bit of x, which is not 0.
IPADDR_INLINE uint32_t lowest_set_bit(uint32_t x) {
#if defined(__GNUC__)
    return static_cast<uint32_t>(__builtin_ctz(x));
#else
    uint32_t index = 0;
    for (; (x & 1) == 0; x >>= 1) {
        ++index;
    }
    return index;
#endif
}

// A Number's length for a run of digits that fills the window: longer than a usual dotted part.
constexpr int32_t kLongerRun = -1;
constexpr uint32_t kZeros = 0x30303030u; // '0' in each byte of a word
constexpr uint32_t kLowBits = 0x7F7F7F7Fu;
constexpr uint32_t kHighBits = 0x80808080u;
constexpr uint32_t kNineAway = 0x76767676u; // what takes 10 in a byte to 0x80
constexpr uint32_t kHexPrefixMask = 0xDFFF; // the first two bytes, the second without case
constexpr uint32_t kHexPrefix = 'X' << 8 | '0';

// The kWindow characters at the reader as one word, the first in the lowest byte, with NUL for
// places beyond the end: read at once where can_look vouches for them (compilers merge the four
// loads), otherwise in a whole text taken from the word that ends with its NUL, and in a cursor
// through peek.
template <TextKind Kind> IPADDR_INLINE uint32_t window_word(const Reader<Kind> &reader) {
    if (reader.can_look(kWindow)) {
        return window_byte<Window::kLook>(reader, 0) | window_byte<Window::kLook>(reader, 1) << 8 |
               window_byte<Window::kLook>(reader, 2) << 16 |
               window_byte<Window::kLook>(reader, 3) << 24;
    }
    if constexpr (Reader<Kind>::kTerminated) {
        return reader.word_at_end();
    }
    return window_byte<Window::kPeek>(reader, 0) | window_byte<Window::kPeek>(reader, 1) << 8 |
           window_byte<Window::kPeek>(reader, 2) << 16 |
           window_byte<Window::kPeek>(reader, 3) << 24;
}

// read_number for base 10 and a run of at most three digits, worked on the window word a byte
// per digit at once, without a branch per digit: the length of a dotted part varies from address
// to address, and a mispredicted loop exit costs more than the part. The length is kLongerRun
// for a run of four or more digits.
IPADDR_INLINE Number decode_short_decimal_run(uint32_t word, uint32_t limit) {
    uint32_t values = word ^ kZeros; // a digit's byte becomes its value, any other byte above 9
    // Bit 7 of every byte that holds no digit: its low seven bits above 9, or bit 7 itself.
    uint32_t nonDigits = (((values & kLowBits) + kNineAway) | values) & kHighBits;
    if (IPADDR_UNLIKELY(nonDigits == 0)) {
        return {0, kLongerRun};
    }
    uint32_t lowest = lowest_set_bit(nonDigits); // 8 * digits + 7
    auto digits = static_cast<int32_t>(lowest / 8);
    // The digits moved up to end in byte 3, zeros in front: bytes a, b, c, d. Then 10a + b and
    // 10c + d in bytes 0 and 2, and 100 (10a + b) + 10c + d in the upper half. (No byte
    // overflows into the next; with no digit, the word is shifted out entirely.)
    auto aligned = static_cast<uint32_t>(uint64_t{values} << (8 * kWindow + 7 - lowest));
    uint32_t pairs = (aligned * kDecimal + (aligned >> 8)) & 0x00FF00FFu;
    uint32_t number = (pairs * (100u << 16 | 1u)) >> 16;
    bool read = (digits != 0) & (number <= limit);
    return {number, read ? digits : 0};
}

// One part of a dotted address: decimal (leading zeros allowed), or hexadecimal behind "0x".
template <TextKind Kind> IPADDR_INLINE bool read_v4_part(Reader<Kind> &reader, uint32_t &part) {
    uint32_t word = window_word(reader);
    Number number{};
    if (IPADDR_UNLIKELY((word & kHexPrefixMask) == kHexPrefix)) {
        reader.advance(kHexPrefixLength);
        number = read_number(reader, kHexadecimal, kMaxV4Part);
    } else {
        number = decode_short_decimal_run(word, kMaxV4Part);
        if (number.length == kLongerRun) {
            number = read_number(reader, kDecimal, kMaxV4Part);
        }
    }
    if (number.length == 0) {
        return false;
    }
    reader.advance(number.length);
    part = number.value;
    return true;
}

// The '.' between two parts.
template <TextKind Kind> IPADDR_INLINE bool read_dot(Reader<Kind> &reader) {
    if (reader.peek(0) != '.') {
        return false;
    }
    reader.advance(1);
    return true;
}

// The parts are gathered in a register, first part highest: stored one byte at a time and then
// read back as a word, they would keep the load waiting for the stores.
struct V4Text {
    uint32_t number = 0; // a * 2^24 + b * 2^16 + c * 2^8 + d
    bool hasPort = false;
    uint16_t port = 0;
};

// Reads a.b.c.d and an optional ":port" (decimal, or hexadecimal behind "0x") to the end of the
// text.
template <TextKind Kind> IPADDR_INLINE bool read_v4_text(Reader<Kind> &reader, V4Text &v4) {
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
    uint32_t d = 0;
    if (!read_v4_part(reader, a) || !read_dot(reader) || !read_v4_part(reader, b) ||
        !read_dot(reader) || !read_v4_part(reader, c) || !read_dot(reader) ||
        !read_v4_part(reader, d)) {
        return false;
    }
    v4.number = a << 24 | b << 16 | c << 8 | d;
    if (reader.peek(0) == ':') {
        reader.advance(1);
        v4.hasPort = true;
        uint32_t base = kDecimal;
        if (at_hex_prefix(reader)) {
            reader.advance(kHexPrefixLength);
            base = kHexadecimal;
        }
        if (!read_port(reader, base, v4.port)) {
            return false;
        }
    }
    return reader.at_end();
}

// One group of one to four hexadecimal digits, ended by ':', '.', ']' or the end of the text
// (the ending character is not consumed), a digit at a time. On failure the reader stays where
// it was.
template <TextKind Kind> bool read_group_bytewise(Reader<Kind> &reader, uint16_t &value) {
    Reader<Kind> at = reader;
    uint32_t group = 0;
    int32_t digits = 0;
    for (char c = at.peek(0); is_hex_digit(c); c = at.peek(0)) {
        if (digits == kMaxGroupDigits) {
            return false;
        }
        group = group * kHexadecimal + hex_value(c);
        ++digits;
        at.advance(1);
    }
    if (digits == 0 || (!at.at_end() && !has_class(at.peek(0), kGroupEnd))) {
        return false;
    }
    value = static_cast<uint16_t>(group);
    reader = at;
    return true;
}

// The same group read without a branch per digit: groups of varying length would make a digit
// loop's exit mispredict on most groups.
template <Window W, TextKind Kind>
IPADDR_INLINE bool decode_group(Reader<Kind> &reader, uint16_t &value) {
    uint32_t v0 = hex_digit_value(window_char<W>(reader, 0));
    uint32_t v1 = hex_digit_value(window_char<W>(reader, 1));
    uint32_t v2 = hex_digit_value(window_char<W>(reader, 2));
    uint32_t v3 = hex_digit_value(window_char<W>(reader, 3));
    // Bitwise, not && or ?:, which compilers may turn into branches on the digits.
    uint32_t one = v0 < kHexadecimal;
    uint32_t two = one & (v1 < kHexadecimal);
    uint32_t three = two & (v2 < kHexadecimal);
    uint32_t four = three & (v3 < kHexadecimal);
    auto digits = static_cast<int32_t>(one + two + three + four);
    if (digits == 0 || !Reader<Kind>::ends_group(window_char<W>(reader, digits))) {
        return false; // also a fifth digit
    }
    // The four places as one number, then the places behind the digits shifted out.
    uint32_t all = (v0 & 15) << 12 | (v1 & 15) << 8 | (v2 & 15) << 4 | (v3 & 15);
    value = static_cast<uint16_t>(all >> (4 * (kMaxGroupDigits - digits)));
    reader.advance(digits);
    return true;
}

// A group through the reader's fastest window: the five characters a group and its ending
// character can take, or in a cursor with fewer left, a digit at a time.
template <TextKind Kind> IPADDR_INLINE bool read_group(Reader<Kind> &reader, uint16_t &value) {
    if (reader.can_look(kMaxGroupDigits + 1)) {
        return decode_group<Window::kLook>(reader, value);
    }
    if constexpr (Reader<Kind>::kTerminated) {
        return decode_group<Window::kPeek>(reader, value);
    }
    return read_group_bytewise(reader, value);
}

// At a ':' in a run of groups: the token behind it starts an IPv4 tail when it has two or three
// characters before a '.' and does not begin with '0'. A one-character token before a '.' is
// taken for a group, so "::ffff:1.2.3.4" is refused.
template <Window W, TextKind Kind> IPADDR_INLINE bool v4_tail_follows(const Reader<Kind> &reader) {
    char c1 = window_char<W>(reader, 1);
    char c2 = window_char<W>(reader, 2);
    char c3 = window_char<W>(reader, 3);
    char c4 = window_char<W>(reader, 4);
    return (c3 == '.' || c4 == '.') && c2 != '.' && c2 != ':' && c1 != '0' && c3 != ':' &&
           c4 != ':' && reader.remaining() > kMinTailLookahead;
}

template <Window W, TextKind Kind>
IPADDR_INLINE bool another_group_follows(const Reader<Kind> &reader, uint32_t count) {
    return window_char<W>(reader, 0) == ':' && is_hex_digit(window_char<W>(reader, 1)) &&
           count < kV6Bytes && !v4_tail_follows<W>(reader);
}

// Whether the run goes on behind the group just read, through the reader's fastest window.
template <TextKind Kind>
IPADDR_INLINE bool another_group_follows(const Reader<Kind> &reader, uint32_t count) {
    if (reader.can_look(kMinTailLookahead + 1)) {
        return another_group_follows<Window::kLook>(reader, count);
    }
    return another_group_follows<Window::kPeek>(reader, count);
}

// Sixteen address bytes as a 128-bit number in two words, byte 0 highest, so that runs of groups
// are gathered and placed in registers rather than copied byte by byte.
struct Bytes16 {
    uint64_t high = 0; // bytes 0 to 7
    uint64_t low = 0;  // bytes 8 to 15

    Bytes16 &operator|=(const Bytes16 &other) {
        high |= other.high;
        low |= other.low;
        return *this;
    }

    // The number moved n bytes (0 to 16) towards byte 0, without a branch. The bytes moved out
    // must be zero; 16 is used for an empty run only.
    Bytes16 shifted_up(uint32_t n) const {
        uint32_t bits = 8 * n;
        uint32_t s = bits % 64;
        uint64_t highPart = high << s | (low >> 1) >> (63 - s);
        uint64_t lowPart = low << s;
        bool whole = bits >= 64; // the low word moves into the high one
        return {whole ? lowPart : highPart, whole ? 0 : lowPart};
    }

    uint8_t byte(uint32_t i) const {
        uint64_t word = i < 8 ? high : low;
        return static_cast<uint8_t>(word >> (56 - 8 * (i % 8)));
    }

    void store(uint8_t *out) const {
        for (uint32_t i = 0; i < 8; ++i) {
            out[i] = static_cast<uint8_t>(high >> (56 - 8 * i));
            out[8 + i] = static_cast<uint8_t>(low >> (56 - 8 * i));
        }
    }
};

// A run of groups, high byte first: the bytes of the last group read are bytes 14 and 15 of the
// number, those before them in front.
struct GroupRun {
    Bytes16 bytes;
    uint32_t count = 0; // bytes stored

    void push(uint16_t value) {
        bytes.high = bytes.high << 16 | bytes.low >> 48;
        bytes.low = bytes.low << 16 | value;
        count += 2;
    }

    // Byte i of the run, i < count.
    uint8_t byte(uint32_t i) const { return bytes.byte(kV6Bytes - count + i); }
};

// A run of groups joined by single colons, at most eight. An empty run when the reader is not on
// a hexadecimal digit. On failure the reader may have moved.
template <TextKind Kind> IPADDR_INLINE bool read_group_run(Reader<Kind> &reader, GroupRun &run) {
    if (!is_hex_digit(reader.peek(0))) {
        return true;
    }
    for (;;) {
        uint16_t value = 0;
        if (!read_group(reader, value)) {
            return false;
        }
        run.push(value);
        if (!another_group_follows(reader, run.count)) {
            return true;
        }
        reader.advance(1);
    }
}

// Writes the run into the address from byte offset on; the bytes there are still zero.
IPADDR_INLINE void place_run(Bytes16 &address, uint32_t offset, const GroupRun &run) {
    address |= run.bytes.shifted_up(kV6Bytes - offset - run.count);
}

// Reads a dotted IPv4 address without a port to the end of the text into the last four bytes,
// which are still zero.
template <TextKind Kind> bool read_v4_tail(Reader<Kind> &reader, Bytes16 &address) {
    V4Text v4;
    if (!read_v4_text(reader, v4) || v4.hasPort) {
        return false;
    }
    address.low |= v4.number; // a, b, c, d in bytes 12 to 15
    return true;
}

enum class Outcome {
    kRead,                 // the address is complete; a bracket and a port may follow
    kRefused,              // malformed; nothing is written
    kRefusedKeepingAddress // malformed behind "::"; the bytes gathered so far are written
};

template <TextKind Kind> IPADDR_INLINE bool at_double_colon(const Reader<Kind> &reader) {
    return reader.peek(0) == ':' && reader.peek(1) == ':';
}

// "::" and a second run of groups, ending the text or followed by ']' or by ":a.b.c.d".
template <TextKind Kind>
IPADDR_INLINE Outcome read_second_run(Reader<Kind> &reader, uint32_t leadBytes, Bytes16 &address) {
    reader.advance(2);
    GroupRun second;
    if (!read_group_run(reader, second)) {
        return Outcome::kRefusedKeepingAddress;
    }
    if (reader.at_end() || reader.peek(0) == ']') {
        if (leadBytes + second.count > kV6Bytes) {
            return Outcome::kRefused; // more than eight groups
        }
        place_run(address, kV6Bytes - second.count, second);
        return Outcome::kRead;
    }
    if (reader.peek(0) != ':') {
        return Outcome::kRefused;
    }
    if (leadBytes + second.count > kV4TailOffset) {
        return Outcome::kRefused; // more than eight groups, counting the tail as two
    }
    reader.advance(1);
    bool tailRead = read_v4_tail(reader, address);
    place_run(address, kV4TailOffset - second.count, second);
    return tailRead ? Outcome::kRead : Outcome::kRefusedKeepingAddress;
}

// An IPv4 tail that follows the groups in front (leadBytes of the address) after skip
// characters: ":::" before "a.b.c.d", or the '.' that ended a run. A tail that cannot be read
// gives refused.
template <TextKind Kind>
Outcome read_tail_after(Reader<Kind> &reader, uint32_t leadBytes, int32_t skip, Outcome refused,
                        Bytes16 &address) {
    if (leadBytes > kV4TailOffset) {
        return Outcome::kRefused; // more than eight groups, counting the tail as two
    }
    reader.advance(skip);
    return read_v4_tail(reader, address) ? Outcome::kRead : refused;
}

// Everything up to the closing bracket or the port: an optional '[', the leading run, and what
// follows it when it holds fewer than eight groups. The address starts as zero bytes.
template <TextKind Kind>
IPADDR_INLINE Outcome read_v6_address(Reader<Kind> &reader, Bytes16 &address) {
    if (reader.peek(0) == '[') {
        reader.advance(1);
    }
    GroupRun lead;
    if (!read_group_run(reader, lead)) {
        return Outcome::kRefused;
    }
    place_run(address, 0, lead);
    if (lead.count == kV6Bytes) {
        return Outcome::kRead;
    }
    char third = reader.peek(2);
    if (at_double_colon(reader) && is_hex_digit(third)) {
        return read_second_run(reader, lead.count, address);
    }
    if (at_double_colon(reader) && third == ':') {
        return read_tail_after(reader, lead.count, 3, Outcome::kRefusedKeepingAddress, address);
    }
    if (reader.peek(0) == '.' && is_hex_digit(reader.peek(1))) {
        return read_tail_after(reader, lead.count, 1, Outcome::kRefused, address);
    }
    if (at_double_colon(reader) && (reader.remaining() == 2 || third == ']')) {
        reader.advance(2);
        return Outcome::kRead;
    }
    return Outcome::kRefused;
}

// What may follow a complete address: one ']' (paired or not), then ":port" in decimal, then the
// end of the text.
template <TextKind Kind> IPADDR_INLINE bool read_v6_ending(Reader<Kind> &reader, uint16_t &port) {
    if (reader.peek(0) == ']') {
        reader.advance(1);
    }
    if (reader.peek(0) == ':') {
        reader.advance(1);
        if (!read_port(reader, kDecimal, port)) {
            return false;
        }
    }
    return reader.at_end();
}

// The whole text as measured by the adapter. The remaining count of a reading position is
// signed, so a longer text is refused (it cannot be an address anyway).
IPADDR_INLINE bool measure_text(const char *text, uint32_t &length) {
    length = QUIL_StrLen(text);
    return length <= static_cast<uint32_t>(INT32_MAX);
}

// Whether a whole text is read as one (TextReader): when it has kMinWholeText characters or more
// and the byte at the measured end is its NUL, which it always is unless the adapter's count has
// wrapped around (a text of 4 GiB or more). Any other text is read as bounded (CursorReader),
// with the same results.
IPADDR_INLINE bool reads_as_whole_text(const char *text, uint32_t length) {
    return length >= kMinWholeText && text[length] == '\0';
}

// A refused text leaves four zero bytes and port 0.
uint32_t refuse_v4(uint8_t *address, uint16_t *port) {
    wex::bounded::memset_s(address, kV4Parts, 0, kV4Parts);
    *port = 0;
    return IPADDR_MALFORMED;
}

template <TextKind Kind>
IPADDR_INLINE uint32_t parse_v4(Reader<Kind> reader, uint8_t *address, uint16_t *port) {
    V4Text v4;
    if (!read_v4_text(reader, v4)) {
        return refuse_v4(address, port);
    }
    for (uint32_t i = 0; i < kV4Parts; ++i) {
        address[i] = static_cast<uint8_t>(v4.number >> (8 * i)); // d first
    }
    *port = v4.port;
    return v4.hasPort ? IPADDR_WITH_PORT : QUIL_SUCCESS;
}

template <TextKind Kind>
IPADDR_INLINE uint32_t parse_v6(Reader<Kind> reader, uint8_t *address, uint16_t *port) {
    Bytes16 bytes;
    switch (read_v6_address(reader, bytes)) {
    case Outcome::kRefused:
        return IPADDR_MALFORMED;
    case Outcome::kRefusedKeepingAddress:
        bytes.store(address);
        *port = 0;
        return IPADDR_MALFORMED;
    case Outcome::kRead:
        break;
    }
    uint16_t portValue = 0;
    if (!read_v6_ending(reader, portValue)) {
        return IPADDR_MALFORMED;
    }
    bytes.store(address);
    *port = portValue;
    return QUIL_SUCCESS;
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
    uint32_t length = 0;
    if (!measure_text(text, length)) {
        return refuse_v4(address, port);
    }
    if (reads_as_whole_text(text, length)) {
        return parse_v4(TextReader(text, text + length), address, port);
    }
    return parse_v4(CursorReader(text, text + length), address, port);
}

uint32_t QUIL_IpAddr_ParsePort(uint16_t *port, uint32_t base, IpAddrCursor *cursor) {
    if (port == nullptr || !is_port_base(base) || !is_usable(cursor)) {
        return IPADDR_BAD_ARGUMENT;
    }
    CursorReader reader = reader_on(*cursor);
    if (!read_port(reader, base, *port)) {
        return IPADDR_MALFORMED;
    }
    write_back(reader, *cursor);
    return QUIL_SUCCESS;
}

uint32_t QUIL_IpAddr_ParseV6(const char *text, uint8_t address[16], uint16_t *port) {
    if (text == nullptr || address == nullptr || port == nullptr) {
        return IPADDR_BAD_ARGUMENT;
    }
    uint32_t length = 0;
    if (!measure_text(text, length)) {
        return IPADDR_MALFORMED;
    }
    if (reads_as_whole_text(text, length)) {
        return parse_v6(TextReader(text, text + length), address, port);
    }
    return parse_v6(CursorReader(text, text + length), address, port);
}

uint32_t QUIL_IpAddr_ParseV6Groups(uint8_t buffer[16], uint32_t *count, IpAddrCursor *cursor) {
    if (buffer == nullptr || count == nullptr || !is_usable(cursor)) {
        return IPADDR_BAD_ARGUMENT;
    }
    CursorReader reader = reader_on(*cursor);
    GroupRun run;
    if (!read_group_run(reader, run)) {
        return IPADDR_MALFORMED;
    }
    for (uint32_t i = 0; i < run.count; ++i) {
        buffer[i] = run.byte(i);
    }
    *count = run.count;
    write_back(reader, *cursor);
    return QUIL_SUCCESS;
}

uint32_t QUIL_IpAddr_ParseV6Group(uint16_t *value, IpAddrCursor *cursor) {
    if (value == nullptr || !is_usable(cursor)) {
        return IPADDR_BAD_ARGUMENT;
    }
    CursorReader reader = reader_on(*cursor);
    if (!read_group(reader, *value)) {
        return IPADDR_MALFORMED;
    }
    write_back(reader, *cursor);
    return QUIL_SUCCESS;
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
