// Editing INI documents: the six written line formats, storing lines into slots, inserting key
// lines and appending section headers, and setting a value, in the line formats or (with
// INI_KEEP_LAYOUT) in the layout of the lines around.
//
// A change is planned and checked in full before the document is touched: the new line is put
// together, read back with the document's own reading and copied into its block, and the line
// array is grown, before any slot changes. A failed edit therefore leaves the document as it was.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "common/bounded.h"
#include "ini_parser/source/ini_reading.h"
#include "ini_parser/source/ini_store.h"
#include "ini_parser/source/ini_writer_internal.h"

#include <array>

namespace wex::ini_writer {

uint32_t line_kind(const char *line, uint32_t *kind) {
    *kind = INI_LINE_UNSET;
    return QUIL_Ini_GetLineType(line, kind);
}

Span as_filed(const IniFile *doc, uint32_t slot) {
    const char *text = doc->lines[slot];
    Span span{text, text + QUIL_StrLen(text)};
    if (wex::ini::is_loaded_line(doc, text) && doc->store->break_added(text)) {
        --span.end;
    }
    return span;
}

Span document_break(const IniFile *doc) {
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        if (doc->lines[i] != nullptr) {
            Span lineBreak = line_break_of(as_filed(doc, i));
            if (lineBreak.size() > 0) {
                return lineBreak;
            }
        }
    }
    static const char kLF[] = "\n";
    return {kLF, kLF + 1};
}

} // namespace wex::ini_writer

namespace {

using namespace wex::ini_writer;
using wex::ini::is_passed_by_values;
using wex::ini::KeyParts;
using wex::ini::kLineContinuation;
using wex::ini::Reading;
using wex::ini::SectionRange;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_editor";

constexpr uint32_t kNoSlot = UINT32_MAX;

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

Span span_of(const char *text) {
    return {text, text + length_of(text)};
}

// Whether a line holding pieces bytes of names, value and comment, fixedBytes of its own and
// " ;" when it has a comment stays within the sum the format allows and the longest line.
bool fits(uint64_t pieces, uint64_t sum, uint64_t fixedBytes, bool hasComment) {
    uint64_t separator = hasComment ? 2 : 0;
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
    if (is_empty(key) || !fits(pieces, kKeyLineSum, 2, comment != nullptr)) { // "=" and LF
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
    if (is_empty(name) || !fits(pieces, kSectionLineSum, 3, comment != nullptr)) {
        return INI_BAD_ARGUMENT; // "[", "]" and LF
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

// A line being put together from pieces of other texts, copied once into a block of its exact
// size. Holds no more pieces than the longest line form has.
class Pieces {
  public:
    void add(Span piece) {
        pieces_[count_++] = piece;
        size_ += piece.size();
    }
    void add(const char *text) { add(span_of(text)); }

    // The line as a new block of the adapter; null when memory is short.
    char *copy() const {
        char *line = wex::ini::new_text(size_);
        if (line == nullptr) {
            return nullptr;
        }
        char *out = line;
        for (uint32_t i = 0; i < count_; ++i) {
            out = wex::ini::append_piece(out, pieces_[i]);
        }
        *out = '\0';
        return line;
    }

  private:
    std::array<Span, 8> pieces_{};
    uint32_t count_ = 0;
    size_t size_ = 0;
};

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

// Grows the array for extra new lines; on failure text goes back and the code is returned.
uint32_t room_for(IniFile *doc, char *text, uint32_t extra) {
    uint32_t result = make_room(doc, extra);
    if (result != QUIL_SUCCESS) {
        free_line(text);
    }
    return result;
}

uint32_t insert_text(IniFile *doc, uint32_t after, char *text) {
    uint32_t result = room_for(doc, text, 1);
    if (result == QUIL_SUCCESS) {
        place_after(doc, after, text);
    }
    return result;
}

uint32_t insert_prepared(IniFile *doc, uint32_t after, const LineBuffer &line) {
    char *text = copy_line(line.text);
    return text == nullptr ? INI_NO_MEMORY : insert_text(doc, after, text);
}

uint32_t append_prepared(IniFile *doc, const LineBuffer &line) {
    char *text = copy_line(line.text);
    uint32_t result = text == nullptr ? INI_NO_MEMORY : room_for(doc, text, 1);
    if (result == QUIL_SUCCESS) {
        append_line(doc, text);
    }
    return result;
}

// ---- Reading a new line back ----

// Whether the reader takes text, ended by a line break of breakSize bytes, back as exactly these
// bytes: one line whose only line break ends it; where lines are joined, no odd run of backslashes
// before that break (it would continue the line) and no more bytes than the longest line (a CR
// added to a line without a break counted).
bool reloads_unchanged(Span text, size_t breakSize, bool joining) {
    Span lineBreak{text.end - breakSize, text.end};
    uint32_t backslashes = 0;
    for (const char *p = text.begin; p != lineBreak.begin; ++p) {
        if (is_line_break(*p)) {
            return false;
        }
        backslashes = *p == '\\' ? backslashes + 1 : 0;
    }
    size_t withBreak = text.size() + (lineBreak.size() == 0 ? 1 : 0);
    return !joining || (backslashes % 2 == 0 && withBreak <= kLongestLine);
}

// The value as the grammar reads it back: without its surrounding blanks.
Span trimmed(const char *text) {
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

bool same_bytes(Span a, Span b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a.begin[i] != b.begin[i]) {
            return false;
        }
    }
    return true;
}

// What a new key line must read back as.
struct Expected {
    size_t breakSize; // the line break that the line put together ends with
    Span key;
    const char *value; // null for none
    bool hasComment;
    Span comment;
};

// The kind of text alone, as the document reads lines.
uint32_t text_kind(const Reading &reading, const char *text, uint32_t *kind) {
    if (reading.real_files()) {
        *kind = wex::ini::real_file_kind(text);
        return QUIL_SUCCESS;
    }
    return line_kind(text, kind);
}

// The parts of a key line text, as the document reads lines.
uint32_t text_key_parts(const Reading &reading, const char *text, KeyParts *parts) {
    if (reading.real_files() && QUIL_StrChr(text, '=') == nullptr) {
        parts->key = trimmed(wex::ini::skip_byte_order_mark(text) + wex::ini::indentation(text));
        return QUIL_SUCCESS;
    }
    return wex::ini::cut_key_line(text, parts);
}

// Whether a new key line reads back, here and after saving, as the key line expected.
bool reads_back(const Reading &reading, const char *text, const Expected &expected) {
    uint32_t kind = INI_LINE_UNSET;
    KeyParts parts;
    if (!reloads_unchanged(span_of(text), expected.breakSize, !reading.real_files()) ||
        text_kind(reading, text, &kind) != QUIL_SUCCESS || kind != INI_LINE_KEY ||
        text_key_parts(reading, text, &parts) != QUIL_SUCCESS) {
        return false;
    }
    Span value = expected.value == nullptr ? Span{} : trimmed(expected.value);
    return same_bytes(parts.key, expected.key) && same_bytes(parts.value, value) &&
           parts.hasComment == expected.hasComment && same_bytes(parts.comment, expected.comment);
}

// Checks a line put together for an edit and hands it out; 170 when it would not read back as
// expected, 80 when memory is short.
uint32_t checked_line(const Reading &reading, const Pieces &pieces, const Expected &expected,
                      char **line) {
    *line = pieces.copy();
    if (*line == nullptr) {
        return INI_NO_MEMORY;
    }
    if (!reads_back(reading, *line, expected)) {
        free_line(*line);
        *line = nullptr;
        return INI_BAD_ARGUMENT;
    }
    return QUIL_SUCCESS;
}

// ---- The layout around a new line ----

Span leading_blanks(const char *text) {
    const char *begin = wex::ini::skip_byte_order_mark(text);
    return {begin, begin + wex::ini::indentation(text)};
}

// The kind of the line in slot; the walks here pass only lines that have been read already.
uint32_t kind_at(const Reading &reading, uint32_t slot) {
    uint32_t kind = INI_LINE_UNSET;
    reading.kind(slot, &kind);
    return kind;
}

// The first line after slot that is neither empty, blank nor a comment; kNoSlot when none.
uint32_t next_content_line(const Reading &reading, uint32_t slot) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = slot + 1; i < doc->lineCount; ++i) {
        if (doc->lines[i] != nullptr && !is_passed_by_values(kind_at(reading, i))) {
            return i;
        }
    }
    return kNoSlot;
}

// The key line that a line put after slot could continue: the last line up to slot that is no
// continuation, empty line or comment, when it is a key line; kNoSlot otherwise.
uint32_t anchor_key_line(const Reading &reading, uint32_t slot) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = slot + 1; i-- > 0;) {
        if (doc->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = kind_at(reading, i);
        if (kind != kLineContinuation && !is_passed_by_values(kind)) {
            return kind == INI_LINE_KEY ? i : kNoSlot;
        }
    }
    return kNoSlot;
}

// The indentation of a new key line put after slot in a real file: the preferred one, unless it
// would make the line continue the key above (deeper than that key) or make the next line
// continue it (shallower than that line).
Span indentation_after(const Reading &reading, uint32_t slot, Span preferred) {
    const IniFile *doc = reading.doc();
    uint32_t anchor = anchor_key_line(reading, slot);
    if (anchor != kNoSlot && preferred.size() > wex::ini::indentation(doc->lines[anchor])) {
        return leading_blanks(doc->lines[anchor]);
    }
    uint32_t next = next_content_line(reading, slot);
    if (next != kNoSlot && preferred.size() < wex::ini::indentation(doc->lines[next])) {
        return leading_blanks(doc->lines[next]);
    }
    return preferred;
}

// The last key line of range that has an "=", or failing that the first of the document; null
// when there is none.
const char *reference_key_line(const Reading &reading, SectionRange range) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = range.last; i > range.header; --i) {
        const char *line = doc->lines[i];
        if (line != nullptr && kind_at(reading, i) == INI_LINE_KEY && QUIL_StrChr(line, '=')) {
            return line;
        }
    }
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        const char *line = doc->lines[i];
        if (line != nullptr && kind_at(reading, i) == INI_LINE_KEY && QUIL_StrChr(line, '=')) {
            return line;
        }
    }
    return nullptr;
}

// "key = value" or "key=value", as the reference line writes it.
const char *separator_of(const char *reference) {
    const char *equals = reference == nullptr ? nullptr : QUIL_StrChr(reference, '=');
    bool spaced =
        equals != nullptr && ((equals > reference && is_blank(equals[-1])) || is_blank(equals[1]));
    return spaced ? " = " : "=";
}

// Whether the comment line text comments out a line of key: ";" or "#" (repeated or not), then
// the key, then "=" or nothing but white, blanks allowed between.
bool comments_out(const char *text, const char *key) {
    const char *p = wex::ini::skip_byte_order_mark(text) + wex::ini::indentation(text);
    while (*p == ';' || *p == '#') {
        ++p;
    }
    while (is_blank(*p)) {
        ++p;
    }
    const char *keyEnd = p;
    while (*keyEnd != '\0' && *keyEnd != '=' && !is_white(*keyEnd)) {
        ++keyEnd;
    }
    bool matches = false;
    if (wex::ini::span_matches({p, keyEnd}, key, &matches) != QUIL_SUCCESS || !matches) {
        return false;
    }
    while (is_blank(*keyEnd)) {
        ++keyEnd;
    }
    return *keyEnd == '=' || trimmed(keyEnd).size() == 0;
}

// The last line of range that comments out key and after which a key line can stand without
// taking over the value lines of another key; kNoSlot when none.
uint32_t commented_out_line(const Reading &reading, SectionRange range, const char *key) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = range.last; i > range.header; --i) {
        const char *line = doc->lines[i];
        if (line == nullptr || kind_at(reading, i) != INI_LINE_COMMENT ||
            !comments_out(line, key)) {
            continue;
        }
        uint32_t next = next_content_line(reading, i);
        if (next == kNoSlot || kind_at(reading, next) != kLineContinuation) {
            return i;
        }
    }
    return kNoSlot;
}

// The last slot of the section's last key and its value; the header when it holds no key.
uint32_t after_last_key(const Reading &reading, SectionRange range) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = range.last; i > range.header; --i) {
        if (doc->lines[i] != nullptr && kind_at(reading, i) == INI_LINE_KEY) {
            return reading.value_end(i);
        }
    }
    return range.header;
}

// Where a new key line put after slot after goes instead when after is the file's last line, a
// key line without a line break: right before it, so that the file's last line stays as it was.
uint32_t keeping_last_line(const Reading &reading, SectionRange range, uint32_t after) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = after + 1; i < doc->lineCount; ++i) {
        if (doc->lines[i] != nullptr) {
            return after;
        }
    }
    if (after == range.header || kind_at(reading, after) != INI_LINE_KEY ||
        line_break_of(as_filed(doc, after)).size() > 0) {
        return after;
    }
    uint32_t before = after - 1;
    while (doc->lines[before] == nullptr) {
        --before;
    }
    return before;
}

// ---- The three ways of setting a value ----

struct Edit {
    const Reading &reading;
    IniFile *doc;
    bool layout;
};

// Adds key and its value to a new line: key=value in the line formats, else with the separator
// given; a key without a value ends with "=".
void add_key_and_value(Pieces *pieces, Span key, const char *separator, const char *value) {
    pieces->add(key);
    if (value == nullptr || value[0] == '\0') {
        Span sep = span_of(separator);
        while (sep.size() > 0 && is_blank(sep.end[-1])) {
            --sep.end;
        }
        pieces->add(sep);
    } else {
        pieces->add(separator);
        pieces->add(value);
    }
}

// Puts together a key line for key inserted after slot after in range.
uint32_t new_key_line(const Edit &edit, SectionRange range, uint32_t after, const char *key,
                      const char *value, char **line) {
    const char *reference = edit.layout ? reference_key_line(edit.reading, range) : nullptr;
    Span indent = reference != nullptr ? leading_blanks(reference) : Span{};
    if (edit.reading.real_files()) {
        indent = indentation_after(edit.reading, after, indent);
    }
    Pieces pieces;
    pieces.add(indent);
    add_key_and_value(&pieces, span_of(key), edit.layout ? separator_of(reference) : "=", value);
    // In the layout, the line break of the line it follows: none after the last line of a file
    // that ended without one (saving then puts the document's break between the two).
    Span lineBreak = edit.layout ? line_break_of(as_filed(edit.doc, after)) : span_of("\n");
    pieces.add(lineBreak);
    if (!edit.layout && !edit.reading.real_files() &&
        !fits(length_of(key) + length_of(value), kKeyLineSum, 2, false)) {
        return INI_BAD_ARGUMENT;
    }
    return checked_line(edit.reading, pieces, {lineBreak.size(), span_of(key), value, false, {}},
                        line);
}

// Puts together the new text of the key line in slot: in the layout, only the bytes of its value
// change; in the line formats, key=value and the line's comment with LF.
uint32_t replacement_line(const Edit &edit, uint32_t slot, const char *value, char **line) {
    KeyParts parts;
    uint32_t result = edit.reading.key_parts(slot, &parts);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    Span text = as_filed(edit.doc, slot);
    Pieces pieces;
    if (!edit.layout) {
        pieces.add(edit.reading.real_files() ? leading_blanks(text.begin) : Span{});
        add_key_and_value(&pieces, parts.key, "=", value == nullptr ? "" : value);
        if (parts.hasComment) {
            pieces.add(" ;");
            pieces.add(parts.comment);
        }
        pieces.add("\n");
        uint64_t sum = parts.key.size() + length_of(value) + parts.comment.size();
        if (!edit.reading.real_files() && !fits(sum, kKeyLineSum, 2, parts.hasComment)) {
            return INI_BAD_ARGUMENT;
        }
    } else if (parts.hasValue) {
        pieces.add({text.begin, parts.value.begin});
        pieces.add(value == nullptr ? "" : value);
        pieces.add({parts.value.end, text.end});
    } else {
        // No value yet: after the "=" (a blank first where one stands before it), or after the
        // single word, with the document's separator.
        const char *equals = QUIL_StrChr(text.begin, '=');
        const char *after = equals != nullptr ? equals + 1 : parts.key.end;
        pieces.add({text.begin, after});
        if (value != nullptr && value[0] != '\0') {
            pieces.add(equals == nullptr ? separator_of(reference_key_line(edit.reading, {0, 0}))
                       : is_blank(equals[-1]) ? " "
                                              : "");
            pieces.add(value);
        }
        pieces.add({after, text.end});
    }
    size_t breakSize = edit.layout ? line_break_of(text).size() : 1;
    return checked_line(edit.reading, pieces,
                        {breakSize, parts.key, value, parts.hasComment, parts.comment}, line);
}

// Replaces the key line in slot and drops the lines that continued its value.
uint32_t replace_key_line(const Edit &edit, uint32_t slot, const char *value) {
    char *text = nullptr;
    uint32_t result = replacement_line(edit, slot, value, &text);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    uint32_t end = edit.reading.value_end(slot);
    for (uint32_t i = slot + 1; i <= end; ++i) {
        if (edit.doc->lines[i] != nullptr && kind_at(edit.reading, i) == kLineContinuation) {
            wex::ini::drop_line(edit.doc, i);
        }
    }
    wex::ini::drop_line(edit.doc, slot);
    edit.doc->lines[slot] = text;
    edit.doc->modified = 1;
    return QUIL_SUCCESS;
}

uint32_t set_in_section(const Edit &edit, SectionRange range, const char *key, const char *value) {
    if (key == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    uint32_t slot = 0;
    uint32_t result = wex::ini::find_key_from_end(edit.reading, range, key, &slot);
    if (result == QUIL_SUCCESS) {
        return replace_key_line(edit, slot, value);
    }
    if (result != INI_NO_KEY) {
        return result;
    }
    uint32_t after = range.last;
    if (edit.layout) {
        after = commented_out_line(edit.reading, range, key);
        after = after != kNoSlot ? after : after_last_key(edit.reading, range);
        after = keeping_last_line(edit.reading, range, after);
    }
    char *text = nullptr;
    result = new_key_line(edit, range, after, key, value, &text);
    return result != QUIL_SUCCESS ? result : insert_text(edit.doc, after, text);
}

// Whether a header formatted for section reads back as a header of that name.
bool header_reads_back(const Reading &reading, const char *text, size_t breakSize,
                       const char *section) {
    uint32_t kind = INI_LINE_UNSET;
    wex::ini::SectionParts parts;
    bool read = reloads_unchanged(span_of(text), breakSize, !reading.real_files()) &&
                text_kind(reading, text, &kind) == QUIL_SUCCESS && kind == INI_LINE_SECTION &&
                wex::ini::cut_section(text, &parts) == QUIL_SUCCESS;
    return read && same_bytes(parts.name, span_of(section)) && !parts.hasComment;
}

// Appends a new section header and, with a key, its first key line: both lines are put
// together, read back and copied, and the array grown for both, before either is added.
uint32_t append_section(const Edit &edit, const char *section, const char *key, const char *value) {
    Span lineBreak = edit.layout ? document_break(edit.doc) : span_of("\n");
    if (!edit.layout && !edit.reading.real_files() &&
        !fits(length_of(section), kSectionLineSum, 3, false)) {
        return INI_BAD_ARGUMENT;
    }
    Pieces header;
    header.add("[");
    header.add(section);
    header.add("]");
    header.add(lineBreak);
    char *headerText = header.copy();
    if (headerText == nullptr) {
        return INI_NO_MEMORY;
    }
    if (!header_reads_back(edit.reading, headerText, lineBreak.size(), section)) {
        free_line(headerText);
        return INI_BAD_ARGUMENT;
    }
    char *keyText = nullptr;
    uint32_t result = QUIL_SUCCESS;
    if (key != nullptr) {
        const char *reference = edit.layout ? reference_key_line(edit.reading, {0, 0}) : nullptr;
        Pieces line;
        add_key_and_value(&line, span_of(key), edit.layout ? separator_of(reference) : "=", value);
        line.add(lineBreak);
        bool fitting = edit.layout || edit.reading.real_files() ||
                       fits(length_of(key) + length_of(value), kKeyLineSum, 2, false);
        result = fitting
                     ? checked_line(edit.reading, line,
                                    {lineBreak.size(), span_of(key), value, false, {}}, &keyText)
                     : INI_BAD_ARGUMENT;
    }
    if (result == QUIL_SUCCESS) {
        result = make_room(edit.doc, key != nullptr ? 2 : 1);
    }
    if (result != QUIL_SUCCESS) {
        free_line(headerText);
        free_line(keyText);
        return result;
    }
    append_line(edit.doc, headerText);
    if (keyText != nullptr) {
        append_line(edit.doc, keyText);
    }
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
    Reading reading(doc);
    uint32_t result = reading.start();
    if (result != QUIL_SUCCESS) {
        return result;
    }
    Edit edit{reading, doc, (doc->options & INI_KEEP_LAYOUT) != 0};
    SectionRange range{};
    result = wex::ini::find_section_from_end(reading, section, &range);
    if (result == INI_NO_SECTION) {
        return append_section(edit, section, key, value);
    }
    return result != QUIL_SUCCESS ? result : set_in_section(edit, range, key, value);
}

} // extern "C"
