// How the operations of a document read its lines: by the strict grammar, or, for a document
// loaded with INI_READ_REAL_FILES, as the programs that own real configuration files read them.
// Not part of the library's interface.
//
// Real files. A line of no known kind is opaque: every walk passes over it. A single word on a
// line of its own is a key without a value. A header is "[" name "]" whatever follows. A line
// indented deeper than the key line above it (comment and empty lines between do not count)
// continues that key's value, whatever it holds: the value's lines are joined by LF.
#ifndef WEX_PUBLICLIB_INI_READING_H
#define WEX_PUBLICLIB_INI_READING_H

#include <cstdint>

#include "ini_parser/source/ini_grammar.h"
#include "wex_ini.h"

namespace wex::ini {

// Kinds of lines that only real files have, beside INI_LINE_*.
constexpr uint32_t kLineOpaque = 100;       // no known kind: passed over
constexpr uint32_t kLineContinuation = 101; // continues the value of the key line above

// Whether a line of that kind leaves the value of the key line above it going on in a real file:
// empty, blank and comment lines do.
inline bool is_passed_by_values(uint32_t kind) {
    return kind == INI_LINE_EMPTY || kind == INI_LINE_BLANK || kind == INI_LINE_COMMENT;
}

// The kind of a real file's line, without regard to the lines around it: a continuation line
// has the kind its text alone would have.
uint32_t real_file_kind(const char *text);

// The number of blank bytes at the start of text, past a byte-order mark.
uint32_t indentation(const char *text);

class Reading {
  public:
    explicit Reading(const IniFile *doc);
    ~Reading();
    Reading(const Reading &) = delete;
    Reading &operator=(const Reading &) = delete;

    // Prepares the reading; 80 when the continuation lines of a real file cannot be marked.
    uint32_t start();

    const IniFile *doc() const { return doc_; }
    bool real_files() const { return realFiles_; }

    // The kind of the (non-null) line in slot. The strict grammar fails with 160 for a line of
    // no known kind; real files never fail (kLineOpaque, kLineContinuation).
    uint32_t kind(uint32_t slot, uint32_t *kind) const;

    // Cut the header / key line in slot, of that kind, with the strict grammar's codes. A key
    // of a real file that is a single word has no value.
    uint32_t section_name(uint32_t slot, Span *name) const;
    uint32_t key_parts(uint32_t slot, KeyParts *parts) const;

    // Whether the header / key line in slot carries name, letter case aside.
    uint32_t section_matches(uint32_t slot, const char *name, bool *matches) const;
    uint32_t key_matches(uint32_t slot, const char *key, bool *matches) const;

    // The last slot of the value of the key line in slot: the last of its continuation lines,
    // or slot itself.
    uint32_t value_end(uint32_t slot) const;

    // The value of the key line in slot as a new string (null when it has none): its
    // continuation lines, trimmed, joined to it by LF; empty lines between them count as empty
    // lines of the value, comment lines do not count. Returns 0 or 80.
    uint32_t copy_value(uint32_t slot, char **value) const;

  private:
    bool is_continuation(uint32_t slot) const;
    uint32_t real_kind(uint32_t slot) const;

    const IniFile *doc_;
    bool realFiles_;
    uint8_t *continuations_ = nullptr; // a bit per slot, for real files
};

// Where a section stands in the line array: its header slot and the last slot of its range.
// The range is empty when both are equal.
struct SectionRange {
    uint32_t header;
    uint32_t last;
};

// Finds the last header named name (letter case ignored), walking from the end of the array and
// classifying every non-null line passed. Returns 0 with the range; INI_NO_SECTION when there is
// none; the code of a line that cannot be classified or cut.
uint32_t find_section_from_end(const Reading &reading, const char *name, SectionRange *range);

// The slot of the last key line of key in range, walking from its end: 0, INI_NO_KEY when there
// is none, or the code of a line that cannot be classified or cut.
uint32_t find_key_from_end(const Reading &reading, SectionRange range, const char *key,
                           uint32_t *slot);

} // namespace wex::ini

#endif
