// Pieces of the INI family that its reading and writing halves share: the character classes, the
// line-array sizes, the byte-order mark rule and the lookups that compare names without
// allocating. Not part of the library's interface.
#ifndef WEX_PUBLICLIB_INI_INTERNAL_H
#define WEX_PUBLICLIB_INI_INTERNAL_H

#include <cstdint>

#include "wex_ini.h"

namespace wex::ini {

constexpr uint32_t kSlotsAtLoad = 200;   // line slots allocated when a document is loaded
constexpr uint32_t kSlotsPerGrowth = 50; // slots added by each growth of the line array
constexpr uint32_t kLongestLine = 511;   // longest logical line, line-break bytes included

inline bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
inline bool is_white(char c) {
    return is_blank(c) || c == '\r' || c == '\n';
}

// The text as the grammar reads it: past a leading UTF-8 byte-order mark (EF BB BF), which
// loading keeps in the first line so that saving writes it back.
const char *skip_byte_order_mark(const char *text);

// Where a section stands in the line array: its header slot and the last slot of its range.
// The range is empty when both are equal.
struct SectionRange {
    uint32_t header;
    uint32_t last;
};

// Finds the last header named name (letter case ignored), walking from the end of the array and
// classifying every non-null line passed, as every lookup of the family does. Returns 0 with the
// range; INI_NO_SECTION when there is none; the code of a line that cannot be classified or cut.
// Allocates nothing unless a header name exceeds the longest line.
uint32_t find_section_from_end(const IniFile *doc, const char *name, SectionRange *range);

// Cuts the header line text as QUIL_Ini_ParseSectionLine does and tells whether its name equals
// name (letter case ignored). Returns that function's codes (110, 160, and 80 only for a name
// longer than the longest line); matches is written only on success.
uint32_t section_line_matches(const char *text, const char *name, bool *matches);

// The same for the key of a key line, with the codes of QUIL_Ini_ParseKeyLine (160, 120, 80).
uint32_t key_line_matches(const char *text, const char *key, bool *matches);

} // namespace wex::ini

#endif
