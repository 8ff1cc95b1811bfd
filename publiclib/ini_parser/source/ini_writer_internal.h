// Pieces shared by the units that change and save INI documents, on top of those the whole family
// shares: the line buffer, the line-break class and the line breaks of texts. Not part of the
// library's interface.
#ifndef WEX_PUBLICLIB_INI_WRITER_INTERNAL_H
#define WEX_PUBLICLIB_INI_WRITER_INTERNAL_H

#include <cstdint>

#include "ini_parser/source/ini_internal.h"
#include "wex_ini.h"

namespace wex::ini_writer {

using wex::ini::is_blank;
using wex::ini::is_white;
using wex::ini::kLongestLine;
using wex::ini::Span;

constexpr uint32_t kLineBufferSize = kLongestLine + 1;

inline bool is_line_break(char c) {
    return c == '\r' || c == '\n';
}

// The line break that ends text: CR, LF, CR LF or LF CR; empty when it ends otherwise.
inline Span line_break_of(Span text) {
    const char *begin = text.end;
    if (begin > text.begin && is_line_break(begin[-1])) {
        --begin;
        if (begin > text.begin && is_line_break(begin[-1]) && begin[-1] != begin[0]) {
            --begin;
        }
    }
    return {begin, text.end};
}

// The kind of a stored line (never null), with the classification's code.
uint32_t line_kind(const char *line, uint32_t *kind);

// The text of the line in slot as its file held it: a loaded line that ended the file without a
// line break loses the CR that loading added.
Span as_filed(const IniFile *doc, uint32_t slot);

// The document's line break: that of its first line that has one, else LF.
Span document_break(const IniFile *doc);

} // namespace wex::ini_writer

#endif
