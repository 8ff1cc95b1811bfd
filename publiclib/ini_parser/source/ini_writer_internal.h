// Pieces shared by the units that change and save INI documents, on top of those the whole family
// shares: the line buffer, the line-break class and holders for the strings the parsers hand out.
// Not part of the library's interface.
#ifndef WEX_PUBLICLIB_INI_WRITER_INTERNAL_H
#define WEX_PUBLICLIB_INI_WRITER_INTERNAL_H

#include <cstdint>

#include "ini_parser/source/ini_internal.h"
#include "wex_ini.h"

namespace wex::ini_writer {

using wex::ini::is_blank;
using wex::ini::is_white;
using wex::ini::kLongestLine;
using wex::ini::SectionRange;

constexpr uint32_t kLineBufferSize = kLongestLine + 1;

inline bool is_line_break(char c) {
    return c == '\r' || c == '\n';
}

// What QUIL_Ini_ParseSectionLine hands out, given back when the holder goes out of scope.
struct SectionPieces {
    char *name = nullptr;
    char *comment = nullptr;
    SectionPieces() = default;
    SectionPieces(const SectionPieces &) = delete;
    SectionPieces &operator=(const SectionPieces &) = delete;
    ~SectionPieces() { release(); }
    void release(); // gives the pieces back and leaves the holder empty
};

// What QUIL_Ini_ParseKeyLine hands out, given back when the holder goes out of scope.
struct KeyPieces {
    char *key = nullptr;
    char *value = nullptr;
    char *comment = nullptr;
    KeyPieces() = default;
    KeyPieces(const KeyPieces &) = delete;
    KeyPieces &operator=(const KeyPieces &) = delete;
    ~KeyPieces() { release(); }
    void release(); // gives the pieces back and leaves the holder empty
};

// The kind of a stored line (never null), with the classification's code.
uint32_t line_kind(const char *line, uint32_t *kind);

} // namespace wex::ini_writer

#endif
