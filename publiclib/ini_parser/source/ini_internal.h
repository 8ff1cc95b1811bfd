// Pieces that every part of the INI family shares: the character classes, the line-array sizes
// and the byte-order mark rule. Not part of the library's interface.
#ifndef WEX_PUBLICLIB_INI_INTERNAL_H
#define WEX_PUBLICLIB_INI_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "wex_ini.h"

namespace wex::ini {

constexpr uint32_t kSlotsAtLoad = 200;   // line slots allocated when a document is loaded
constexpr uint32_t kSlotsPerGrowth = 50; // slots added by each growth of the line array
constexpr uint32_t kLongestLine = 511;   // longest logical line, line-break bytes included

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kBackslash = '\\';

// A piece of a text, [begin, end).
struct Span {
    const char *begin = nullptr;
    const char *end = nullptr;
    size_t size() const { return static_cast<size_t>(end - begin); }
};

inline bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
inline bool is_white(char c) {
    return is_blank(c) || c == '\r' || c == '\n';
}

// The text as the grammar reads it: past a leading UTF-8 byte-order mark (EF BB BF), which
// loading keeps in the first line so that saving writes it back.
const char *skip_byte_order_mark(const char *text);

} // namespace wex::ini

#endif
