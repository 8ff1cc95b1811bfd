// The line grammar's cuts as spans into the line's own text, without copies: what the parsing
// functions of wex_ini.h hand out as strings, and what the lookups compare in place. Not part of
// the library's interface.
#ifndef WEX_PUBLICLIB_INI_GRAMMAR_H
#define WEX_PUBLICLIB_INI_GRAMMAR_H

#include <cstddef>
#include <cstdint>

#include "ini_parser/source/ini_internal.h"

namespace wex::ini {

struct SectionParts {
    Span name;
    Span comment;
    bool hasComment = false;
};

struct KeyParts {
    Span key;
    Span value;
    Span comment;
    bool hasValue = false;
    bool hasComment = false;
};

// Cut text as QUIL_Ini_ParseSectionLine and QUIL_Ini_ParseKeyLine do, with their codes but 80.
uint32_t cut_section(const char *text, SectionParts *parts);
uint32_t cut_key_line(const char *text, KeyParts *parts);

// The name between the first "[" and the first "]" of text (past a byte-order mark), whatever
// follows the "]"; 110 when there is none.
uint32_t cut_section_name(const char *text, Span *name);

// The key before the first "=" of text (past a byte-order mark); 160 without "=", 120 when no
// key stands before it.
uint32_t cut_key_name(const char *text, Span *key);

// The value and comment after the "=" at equals, as QUIL_Ini_ParseKeyLine cuts them.
void cut_value_and_comment(const char *equals, KeyParts *parts);

// A block (through the adapter) for a text of length bytes and its terminator, or null when
// memory is short or the length does not fit 32 bits.
char *new_text(size_t length);

// Copies piece to out, where the caller has made room; returns the byte after it.
char *append_piece(char *out, Span piece);

// A NUL-terminated heap copy of span (through the adapter), or null when memory is short.
char *copy_span(Span span);

// Compares span with name as QUIL_StriCmp compares a copy of span: without regard to ASCII
// letter case. Returns 0, or 80 when a name longer than any line could not be copied.
uint32_t span_matches(Span span, const char *name, bool *matches);

} // namespace wex::ini

#endif
