// INI documents, the line grammar: what kind a line is, and how a section header and a key line
// are cut into their name, key, value and comment. The cuts work on spans of the line's own text;
// the parsing functions copy what they hand out.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "common/bounded.h"
#include "ini_parser/source/ini_grammar.h"

#include <cstddef>

namespace {

using namespace wex::ini;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_parser";

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = sizeof(kByteOrderMark) - 1;

// Header names and keys shorter than this are compared in place; a longer one is compared as a
// heap copy, as the grammar's functions cut it.
constexpr size_t kNameBufferSize = kLongestLine + 1;

void free_text(char **text) {
    QUIL_MemFreeSetNullD(text, __LINE__, kUnit);
}

// ASCII letters to lower case, as QUIL_StriCmp folds them.
char fold_letter(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Whether span equals name as QUIL_StriCmp compares an extracted copy of span: the same bytes,
// letter case aside, and nothing more in name. A span holds no NUL (it lies in a text), so the
// comparison stops at the end of name at the latest.
bool span_equals_folded(Span span, const char *name) {
    size_t i = 0;
    for (; i < span.size(); ++i) {
        if (fold_letter(span.begin[i]) != fold_letter(name[i])) {
            return false;
        }
    }
    return name[i] == '\0';
}

// Where the classification decides: the first byte that is not a space or tab, but never past
// the last byte of the text.
const char *first_decisive_byte(const char *text) {
    const char *p = text;
    while (is_blank(*p) && p[1] != '\0') {
        ++p;
    }
    return p;
}

uint32_t classify(const char *text, uint32_t *kind) {
    const char *p = first_decisive_byte(text);
    switch (*p) {
    case ' ':
    case '\t':
        *kind = INI_LINE_BLANK;
        return QUIL_SUCCESS;
    case kCR:
    case kLF:
        *kind = INI_LINE_EMPTY;
        return QUIL_SUCCESS;
    case ';':
    case '#':
        *kind = INI_LINE_COMMENT;
        return QUIL_SUCCESS;
    case '[':
        *kind = INI_LINE_SECTION;
        return QUIL_SUCCESS;
    default:
        break;
    }
    if (QUIL_StrChr(p, '=') != nullptr) {
        *kind = INI_LINE_KEY;
        return QUIL_SUCCESS;
    }
    *kind = INI_LINE_INVALID;
    return INI_BAD_LINE;
}

const char *last_byte(const char *text) {
    return text + QUIL_StrLen(text) - 1;
}

// The comment after the first " ;" of text: the rest, blanks skipped at its start and white
// trimmed at its end; empty when nothing but white follows. 160 when text has no " ;".
uint32_t cut_comment(const char *text, Span *comment) {
    const char *separator = QUIL_StrStr(text, " ;");
    if (separator == nullptr) {
        return INI_BAD_LINE;
    }
    const char *start = separator + 2;
    if (*start == '\0') {
        *comment = {start, start};
        return QUIL_SUCCESS;
    }
    const char *end = last_byte(start);
    QUIL_Ini_SkipBlanks(&start, end);
    QUIL_Ini_TrimBack(&end, start);
    *comment = is_white(*start) ? Span{start, start} : Span{start, end + 1};
    return QUIL_SUCCESS;
}

// The name between the first "[" and the first "]", blanks skipped and white trimmed; close
// receives the "]".
uint32_t cut_bracketed_name(const char *text, Span *name, const char **close) {
    if (QUIL_StrLen(text) < 3) {
        return INI_BAD_SECTION;
    }
    const char *open = QUIL_StrChr(text, '[');
    *close = QUIL_StrChr(text, ']');
    if (open == nullptr || *close == nullptr || *close - open < 2) {
        return INI_BAD_SECTION;
    }
    const char *start = open + 1;
    const char *end = *close - 1;
    QUIL_Ini_SkipBlanks(&start, end);
    QUIL_Ini_TrimBack(&end, start);
    // A single white byte left is a name of blanks and line breaks: nothing is left.
    if (is_white(*start)) {
        return INI_BAD_SECTION;
    }
    *name = {start, end + 1};
    return QUIL_SUCCESS;
}

// Whatever follows the first "]" must be white, or hold a comment after " ;"; the space may be
// the last one skipped.
uint32_t cut_section_comment(const char *afterClose, SectionParts *parts) {
    const char *p = afterClose;
    while (is_white(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return QUIL_SUCCESS;
    }
    parts->hasComment = true;
    return cut_comment(p - 1, &parts->comment);
}

// The key before the first "=", blanks skipped and white trimmed. 160 without "=", 120 when no
// key is left. equals receives the "=".
uint32_t cut_key_before_equals(const char *text, Span *key, const char **equals) {
    const char *eq = QUIL_StrChr(text, '=');
    if (eq == nullptr) {
        return INI_BAD_LINE;
    }
    if (eq == text) {
        return INI_BAD_KEY;
    }
    const char *start = text;
    const char *end = eq - 1;
    QUIL_Ini_SkipBlanks(&start, end);
    QUIL_Ini_TrimBack(&end, start);
    if (is_white(*start)) {
        return INI_BAD_KEY;
    }
    *key = {start, end + 1};
    *equals = eq;
    return QUIL_SUCCESS;
}

// The first double quote after p that no backslash escapes, or null.
const char *unescaped_quote(const char *p) {
    for (const char *quote = QUIL_StrChr(p, '"'); quote != nullptr;
         quote = QUIL_StrChr(quote + 1, '"')) {
        if (quote[-1] != kBackslash) {
            return quote;
        }
    }
    return nullptr;
}

// Where the value is cut for a comment: the space of the first " ;" that no later double quote
// shows to lie inside a quoted string. Null when the value runs to the end of the line.
const char *comment_cut(const char *start, const char *end) {
    const char *p = start;
    while (p < end) {
        const char *semicolon = QUIL_StrChr(p, ';');
        if (semicolon == nullptr || semicolon[-1] != ' ') {
            return nullptr;
        }
        const char *quote = unescaped_quote(semicolon + 1);
        if (quote == nullptr) {
            return semicolon - 1;
        }
        p = quote + 1;
    }
    return nullptr;
}

// Copies span into *out when present; false when memory is short.
bool copy_if(bool present, Span span, char **out) {
    if (!present) {
        return true;
    }
    *out = copy_span(span);
    return *out != nullptr;
}

} // namespace

namespace wex::ini {

const char *skip_byte_order_mark(const char *text) {
    for (size_t i = 0; i < kByteOrderMarkSize; ++i) {
        if (text[i] != kByteOrderMark[i]) {
            return text;
        }
    }
    return text + kByteOrderMarkSize;
}

char *new_text(size_t length) {
    if (length >= UINT32_MAX) {
        return nullptr;
    }
    return static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(length + 1), __LINE__, kUnit));
}

char *append_piece(char *out, Span piece) {
    if (piece.size() > 0) {
        wex::bounded::memcpy_s(out, piece.size(), piece.begin, piece.size());
    }
    return out + piece.size();
}

char *copy_span(Span span) {
    char *copy = new_text(span.size());
    if (copy != nullptr) {
        *append_piece(copy, span) = '\0';
    }
    return copy;
}

uint32_t span_matches(Span span, const char *name, bool *matches) {
    if (span.size() < kNameBufferSize) {
        *matches = span_equals_folded(span, name);
        return QUIL_SUCCESS;
    }
    char *copy = copy_span(span);
    if (copy == nullptr) {
        return INI_NO_MEMORY;
    }
    *matches = QUIL_StriCmp(copy, name) == 0;
    free_text(&copy);
    return QUIL_SUCCESS;
}

uint32_t cut_section_name(const char *text, Span *name) {
    const char *close = nullptr;
    return cut_bracketed_name(skip_byte_order_mark(text), name, &close);
}

uint32_t cut_section(const char *text, SectionParts *parts) {
    const char *close = nullptr;
    uint32_t result = cut_bracketed_name(skip_byte_order_mark(text), &parts->name, &close);
    return result == QUIL_SUCCESS ? cut_section_comment(close + 1, parts) : result;
}

uint32_t cut_key_name(const char *text, Span *key) {
    const char *equals = nullptr;
    return cut_key_before_equals(skip_byte_order_mark(text), key, &equals);
}

void cut_value_and_comment(const char *equals, KeyParts *parts) {
    if (equals[1] == '\0') {
        return;
    }
    const char *end = last_byte(equals);
    const char *start = equals + 1;
    QUIL_Ini_SkipBlanks(&start, end);
    const char *cut = comment_cut(start, end);
    // The value's last byte, before the cut; it may lie before start when the value is empty.
    const char *valueLast = cut == nullptr ? end : cut - 1;
    QUIL_Ini_TrimBack(&valueLast, start);
    if (valueLast >= start && !is_white(*start)) {
        parts->value = {start, valueLast + 1};
        parts->hasValue = true;
    }
    if (cut != nullptr) {
        parts->hasComment = true;
        cut_comment(cut, &parts->comment);
    }
}

uint32_t cut_key_line(const char *text, KeyParts *parts) {
    const char *equals = nullptr;
    uint32_t result = cut_key_before_equals(skip_byte_order_mark(text), &parts->key, &equals);
    if (result == QUIL_SUCCESS) {
        cut_value_and_comment(equals, parts);
    }
    return result;
}

} // namespace wex::ini

extern "C" {

uint32_t QUIL_Ini_GetLineType(const char *text, uint32_t *kind) {
    if (text == nullptr || kind == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    text = skip_byte_order_mark(text);
    if (*text == '\0') {
        return INI_BAD_ARGUMENT;
    }
    return classify(text, kind);
}

uint32_t QUIL_Ini_ParseComment(const char *text, char **comment) {
    if (text == nullptr || comment == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *comment = nullptr;
    Span cut;
    uint32_t result = cut_comment(text, &cut);
    if (result == QUIL_SUCCESS && !copy_if(true, cut, comment)) {
        result = INI_NO_MEMORY;
    }
    return result;
}

uint32_t QUIL_Ini_ParseSectionLine(const char *text, char **name, char **comment) {
    if (name == nullptr || comment == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *name = nullptr;
    *comment = nullptr;
    if (text == nullptr) {
        return INI_BAD_SECTION;
    }
    SectionParts parts;
    uint32_t result = cut_section(text, &parts);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (!copy_if(true, parts.name, name) || !copy_if(parts.hasComment, parts.comment, comment)) {
        free_text(name);
        return INI_NO_MEMORY;
    }
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_ParseKeyLine(const char *text, char **key, char **value, char **comment) {
    if (text == nullptr || key == nullptr || value == nullptr || comment == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *key = nullptr;
    *value = nullptr;
    *comment = nullptr;
    KeyParts parts;
    uint32_t result = cut_key_line(text, &parts);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (!copy_if(true, parts.key, key) || !copy_if(parts.hasValue, parts.value, value) ||
        !copy_if(parts.hasComment, parts.comment, comment)) {
        free_text(key);
        free_text(value);
        return INI_NO_MEMORY;
    }
    return QUIL_SUCCESS;
}

void QUIL_Ini_SkipBlanks(const char **pos, const char *limit) {
    if (pos == nullptr || *pos == nullptr) {
        return;
    }
    while (is_blank(**pos) && *pos < limit) {
        ++*pos;
    }
}

void QUIL_Ini_TrimBack(const char **pos, const char *limit) {
    if (pos == nullptr || *pos == nullptr) {
        return;
    }
    while (is_white(**pos) && *pos > limit) {
        --*pos;
    }
}

uint32_t QUIL_Ini_SafeStrLen(const char *text) {
    return text == nullptr ? 0 : QUIL_StrLen(text);
}

} // extern "C"
