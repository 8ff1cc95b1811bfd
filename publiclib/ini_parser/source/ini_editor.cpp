// Editing INI documents: the six written line formats, storing lines into slots, inserting key
// lines and appending section headers, and setting a value.
//
// A change is planned and checked in full before the document is touched: the new line is
// formatted, read back with the document's own grammar and copied into its block, and the line
// array is grown, before any slot changes. A failed edit therefore leaves the document as it was.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "common/bounded.h"
#include "ini_parser/source/ini_writer_internal.h"

namespace wex::ini_writer {

namespace {
constexpr const char *kSharedUnit = "publiclib/ini_parser/source/ini_writer_internal";
} // namespace

void SectionPieces::release() {
    QUIL_MemFreeSetNullD(&name, __LINE__, kSharedUnit);
    QUIL_MemFreeSetNullD(&comment, __LINE__, kSharedUnit);
}

void KeyPieces::release() {
    QUIL_MemFreeSetNullD(&key, __LINE__, kSharedUnit);
    QUIL_MemFreeSetNullD(&value, __LINE__, kSharedUnit);
    QUIL_MemFreeSetNullD(&comment, __LINE__, kSharedUnit);
}

uint32_t line_kind(const char *line, uint32_t *kind) {
    *kind = INI_LINE_UNSET;
    return QUIL_Ini_GetLineType(line, kind);
}

} // namespace wex::ini_writer

namespace {

using namespace wex::ini_writer;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_editor";

// The combined lengths the formats accept: key + value + comment, and name + comment.
constexpr uint64_t kKeyLineSum = 508;
constexpr uint64_t kSectionLineSum = 507;

// One formatted line, at most the longest line the reader takes back.
struct LineBuffer {
    char text[kLineBufferSize] = {};

    // Appends piece; the caller has checked that the whole line fits.
    void append(const char *piece) { wex::bounded::strcat_s(text, sizeof text, piece); }
};

uint64_t length_of(const char *text) {
    return text == nullptr ? 0 : QUIL_StrLen(text);
}

bool is_empty(const char *text) {
    return text == nullptr || text[0] == '\0';
}

// Whether a line holding pieces bytes of names, value and comment, fixedBytes of its own and
// " ;" when it has a comment stays within the sum the format allows and the longest line.
bool fits(uint64_t pieces, uint64_t sum, uint64_t fixedBytes, const char *comment) {
    uint64_t separator = comment != nullptr ? 2 : 0;
    return pieces <= sum && pieces + fixedBytes + separator <= kLongestLine;
}

// Ends a line: " ;" and the comment when there is one, then LF.
void end_line(LineBuffer *line, const char *comment) {
    if (comment != nullptr) {
        line->append(" ;");
        line->append(comment);
    }
    line->append("\n");
}

// Formats key=value[ ;comment] + LF. Returns 0, or INI_BAD_ARGUMENT for a null or empty key or a
// line that is too long.
uint32_t format_key_line(LineBuffer *line, const char *key, const char *value,
                         const char *comment) {
    uint64_t pieces = length_of(key) + length_of(value) + length_of(comment);
    if (is_empty(key) || !fits(pieces, kKeyLineSum, 2, comment)) { // "=" and LF
        return INI_BAD_ARGUMENT;
    }
    line->append(key);
    line->append("=");
    line->append(value != nullptr ? value : "");
    end_line(line, comment);
    return QUIL_SUCCESS;
}

// Formats [name][ ;comment] + LF, with the same codes.
uint32_t format_section_line(LineBuffer *line, const char *name, const char *comment) {
    uint64_t pieces = length_of(name) + length_of(comment);
    if (is_empty(name) || !fits(pieces, kSectionLineSum, 3, comment)) { // "[", "]" and LF
        return INI_BAD_ARGUMENT;
    }
    line->append("[");
    line->append(name);
    line->append("]");
    end_line(line, comment);
    return QUIL_SUCCESS;
}

// A copy of text in a block of exactly its size, or null when memory is short.
char *copy_line(const char *text) {
    uint32_t size = QUIL_StrLen(text) + 1;
    auto *copy = static_cast<char *>(QUIL_MemMallocD(size, __LINE__, kUnit));
    if (copy != nullptr) {
        wex::bounded::strcpy_s(copy, size, text);
    }
    return copy;
}

void free_line(char *text) {
    QUIL_MemFreeD(text, __LINE__, kUnit);
}

bool is_document(const IniFile *doc) {
    return doc != nullptr && doc->lines != nullptr;
}

// Grows the line array until extra more slots can be taken with the slot after the last line
// still free. Returns 0 or INI_NO_MEMORY; the lines are untouched either way.
uint32_t make_room(IniFile *doc, uint32_t extra) {
    while (static_cast<uint64_t>(doc->lineCount) + extra >= doc->lineCapacity) {
        uint32_t result = QUIL_Ini_GrowLines(doc);
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return QUIL_SUCCESS;
}

// Puts text into the slot after after: the later lines move up one slot, unless that slot is a
// removed line, which the text takes over. The caller has made room.
void place_after(IniFile *doc, uint32_t after, char *text) {
    uint32_t slot = after + 1;
    if (doc->lines[slot] != nullptr) {
        for (uint32_t i = doc->lineCount; i > slot; --i) {
            doc->lines[i] = doc->lines[i - 1];
        }
        doc->lineCount++;
    } else if (after == doc->lineCount - 1) {
        doc->lineCount++;
    }
    doc->lines[slot] = text;
    doc->modified = 1;
}

// Puts text after the last line. The caller has made room.
void append_line(IniFile *doc, char *text) {
    doc->lines[doc->lineCount] = text;
    doc->lineCount++;
    doc->modified = 1;
}

// Copies a prepared line and grows the array for extra new lines. Returns the copy, or null with
// the code in *result; nothing is kept on failure.
char *take_line(IniFile *doc, const LineBuffer &line, uint32_t extra, uint32_t *result) {
    char *text = copy_line(line.text);
    *result = text == nullptr ? INI_NO_MEMORY : make_room(doc, extra);
    if (*result != QUIL_SUCCESS) {
        free_line(text);
        return nullptr;
    }
    return text;
}

uint32_t insert_prepared(IniFile *doc, uint32_t after, const LineBuffer &line) {
    uint32_t result = QUIL_SUCCESS;
    char *text = take_line(doc, line, 1, &result);
    if (text != nullptr) {
        place_after(doc, after, text);
    }
    return result;
}

uint32_t append_prepared(IniFile *doc, const LineBuffer &line) {
    uint32_t result = QUIL_SUCCESS;
    char *text = take_line(doc, line, 1, &result);
    if (text != nullptr) {
        append_line(doc, text);
    }
    return result;
}

// ---- Reading a new line back ----

// Whether the reader takes text back as exactly these bytes: one logical line whose only line
// break is its last byte, and no odd run of backslashes before it (that would continue the line).
bool reloads_unchanged(const char *text) {
    uint32_t length = QUIL_StrLen(text);
    uint32_t body = length - 1; // the formats end every line with one LF
    uint32_t backslashes = 0;
    for (uint32_t i = 0; i < body; ++i) {
        if (is_line_break(text[i])) {
            return false;
        }
        backslashes = text[i] == '\\' ? backslashes + 1 : 0;
    }
    return backslashes % 2 == 0;
}

// The value as the grammar reads it back: without its surrounding blanks.
struct Trimmed {
    const char *begin;
    const char *end;
};

Trimmed trim(const char *text) {
    const char *begin = text == nullptr ? "" : text;
    while (is_blank(*begin)) {
        ++begin;
    }
    const char *end = begin + QUIL_StrLen(begin);
    while (end > begin && is_white(end[-1])) {
        --end;
    }
    return {begin, end};
}

// Whether a parsed piece (null for none) is the text wanted, compared byte for byte.
bool same_text(const char *parsed, Trimmed wanted) {
    const char *p = parsed == nullptr ? "" : parsed;
    for (const char *w = wanted.begin; w != wanted.end; ++w, ++p) {
        if (*p != *w) {
            return false;
        }
    }
    return *p == '\0';
}

bool same_text(const char *parsed, const char *wanted) {
    const char *w = wanted == nullptr ? "" : wanted;
    return same_text(parsed, Trimmed{w, w + QUIL_StrLen(w)});
}

// Whether a formatted line reads back, here and after saving, as a line of this kind.
bool reads_as(const LineBuffer &line, uint32_t wantedKind) {
    uint32_t kind = INI_LINE_UNSET;
    return reloads_unchanged(line.text) && line_kind(line.text, &kind) == QUIL_SUCCESS &&
           kind == wantedKind;
}

// The parser cannot cut a line formatted here only when it would not read back as written, or
// when memory runs short.
uint32_t refused_or_failed(uint32_t parseResult) {
    return parseResult == INI_NO_MEMORY ? INI_NO_MEMORY : INI_BAD_ARGUMENT;
}

// Reads a formatted key line back. Returns 0 when the grammar gives the key, the value (without
// its surrounding blanks) and the comment written, INI_BAD_ARGUMENT when it does not,
// INI_NO_MEMORY when the parser runs short.
uint32_t key_line_reads_back(const LineBuffer &line, const char *key, const char *value,
                             const char *comment) {
    if (!reads_as(line, INI_LINE_KEY)) {
        return INI_BAD_ARGUMENT;
    }
    KeyPieces pieces;
    uint32_t result = QUIL_Ini_ParseKeyLine(line.text, &pieces.key, &pieces.value, &pieces.comment);
    if (result != QUIL_SUCCESS) {
        return refused_or_failed(result);
    }
    bool same =
        same_text(pieces.key, key) && same_text(pieces.value, trim(value)) &&
        (comment == nullptr ? pieces.comment == nullptr : same_text(pieces.comment, comment));
    return same ? QUIL_SUCCESS : INI_BAD_ARGUMENT;
}

// The same for a header without comment.
uint32_t header_reads_back(const LineBuffer &line, const char *section) {
    if (!reads_as(line, INI_LINE_SECTION)) {
        return INI_BAD_ARGUMENT;
    }
    SectionPieces pieces;
    uint32_t result = QUIL_Ini_ParseSectionLine(line.text, &pieces.name, &pieces.comment);
    if (result != QUIL_SUCCESS) {
        return refused_or_failed(result);
    }
    bool same = same_text(pieces.name, section) && pieces.comment == nullptr;
    return same ? QUIL_SUCCESS : INI_BAD_ARGUMENT;
}

// Formats a key line and reads it back.
uint32_t prepare_key_line(LineBuffer *line, const char *key, const char *value,
                          const char *comment) {
    uint32_t result = format_key_line(line, key, value, comment);
    return result != QUIL_SUCCESS ? result : key_line_reads_back(*line, key, value, comment);
}

// ---- The three ways of setting a value ----

// The last line of key in a section's range, cut into its pieces.
struct KeyLine {
    bool found = false;
    uint32_t slot = 0;
    KeyPieces pieces;
};

uint32_t find_last_key(const IniFile *doc, SectionRange range, const char *key, KeyLine *match) {
    for (uint32_t i = range.last; i > range.header; --i) {
        const char *line = doc->lines[i];
        uint32_t kind = INI_LINE_UNSET;
        if (line == nullptr) {
            continue;
        }
        uint32_t result = line_kind(line, &kind);
        bool matches = false;
        if (result == QUIL_SUCCESS && kind == INI_LINE_KEY) {
            result = wex::ini::key_line_matches(line, key, &matches);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
        if (matches) {
            match->found = true;
            match->slot = i;
            KeyPieces &p = match->pieces;
            return QUIL_Ini_ParseKeyLine(line, &p.key, &p.value, &p.comment);
        }
    }
    return QUIL_SUCCESS;
}

// Replaces an existing key line: its key as spelled there, the new value, its own comment.
uint32_t replace_key_line(IniFile *doc, const KeyLine &match, const char *value) {
    LineBuffer line;
    uint32_t result = prepare_key_line(&line, match.pieces.key, value, match.pieces.comment);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    char *text = copy_line(line.text);
    if (text == nullptr) {
        return INI_NO_MEMORY;
    }
    free_line(doc->lines[match.slot]);
    doc->lines[match.slot] = text;
    doc->modified = 1;
    return QUIL_SUCCESS;
}

uint32_t set_in_section(IniFile *doc, SectionRange range, const char *key, const char *value) {
    if (key == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    KeyLine match;
    uint32_t result = find_last_key(doc, range, key, &match);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (match.found) {
        return replace_key_line(doc, match, value);
    }
    LineBuffer line;
    result = prepare_key_line(&line, key, value, nullptr);
    return result != QUIL_SUCCESS ? result : insert_prepared(doc, range.last, line);
}

// Appends a new section header and, with a key, its first key line: both lines are formatted,
// read back and copied, and the array grown for both, before either is added.
uint32_t append_section(IniFile *doc, const char *section, const char *key, const char *value) {
    LineBuffer header;
    LineBuffer keyLine;
    uint32_t result = format_section_line(&header, section, nullptr);
    if (result == QUIL_SUCCESS) {
        result = header_reads_back(header, section);
    }
    if (result == QUIL_SUCCESS && key != nullptr) {
        result = prepare_key_line(&keyLine, key, value, nullptr);
    }
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (key == nullptr) {
        return append_prepared(doc, header);
    }
    char *keyText = copy_line(keyLine.text);
    if (keyText == nullptr) {
        return INI_NO_MEMORY;
    }
    char *headerText = take_line(doc, header, 2, &result);
    if (headerText == nullptr) {
        free_line(keyText);
        return result;
    }
    append_line(doc, headerText);
    append_line(doc, keyText);
    return QUIL_SUCCESS;
}

} // namespace

extern "C" {

uint32_t QUIL_Ini_StoreLine(IniFile *doc, uint32_t slot, const char *text) {
    if (!is_document(doc) || slot >= doc->lineCapacity || doc->lines[slot] != nullptr) {
        return INI_BAD_ARGUMENT;
    }
    if (is_empty(text)) {
        return INI_NO_LINES;
    }
    char *copy = copy_line(text);
    if (copy == nullptr) {
        return INI_NO_MEMORY;
    }
    doc->lines[slot] = copy;
    doc->modified = 1;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_FormatKeyLine(IniFile *doc, uint32_t slot, const char *key, const char *value,
                                const char *comment) {
    LineBuffer line;
    uint32_t result =
        doc == nullptr ? INI_BAD_ARGUMENT : format_key_line(&line, key, value, comment);
    return result != QUIL_SUCCESS ? result : QUIL_Ini_StoreLine(doc, slot, line.text);
}

uint32_t QUIL_Ini_FormatSectionLine(IniFile *doc, uint32_t slot, const char *section,
                                    const char *comment) {
    LineBuffer line;
    uint32_t result =
        doc == nullptr ? INI_BAD_ARGUMENT : format_section_line(&line, section, comment);
    return result != QUIL_SUCCESS ? result : QUIL_Ini_StoreLine(doc, slot, line.text);
}

uint32_t QUIL_Ini_InsertKeyLine(IniFile *doc, uint32_t after, const char *key, const char *value,
                                const char *comment) {
    if (!is_document(doc) || after >= doc->lineCount) {
        return INI_BAD_ARGUMENT;
    }
    LineBuffer line;
    uint32_t result = format_key_line(&line, key, value, comment);
    return result != QUIL_SUCCESS ? result : insert_prepared(doc, after, line);
}

uint32_t QUIL_Ini_AppendSectionLine(IniFile *doc, const char *section) {
    if (!is_document(doc)) {
        return INI_BAD_ARGUMENT;
    }
    LineBuffer line;
    uint32_t result = format_section_line(&line, section, nullptr);
    return result != QUIL_SUCCESS ? result : append_prepared(doc, line);
}

uint32_t QUIL_Ini_SetValue(IniFile *doc, const char *section, const char *key, const char *value) {
    if (!is_document(doc) || is_empty(section) || (key != nullptr && key[0] == '\0')) {
        return INI_BAD_ARGUMENT;
    }
    SectionRange range{};
    uint32_t result = wex::ini::find_section_from_end(doc, section, &range);
    if (result == INI_NO_SECTION) {
        return append_section(doc, section, key, value);
    }
    return result != QUIL_SUCCESS ? result : set_in_section(doc, range, key, value);
}

} // extern "C"
