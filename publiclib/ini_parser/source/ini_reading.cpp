// How a document's operations read its lines: the strict grammar, or the reading of real files.
#include "ini_parser/source/ini_reading.h"

#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

using namespace wex::ini;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_reading";

constexpr uint32_t kNoSlot = UINT32_MAX;
constexpr int64_t kNoAnchor = -1;

const char *first_non_blank(const char *text) {
    const char *p = skip_byte_order_mark(text);
    while (is_blank(*p)) {
        ++p;
    }
    return p;
}

// Whether the text from p is one word: bytes that are not white, then only white.
bool is_single_word(const char *p) {
    while (*p != '\0' && !is_white(*p)) {
        ++p;
    }
    while (is_white(*p)) {
        ++p;
    }
    return *p == '\0';
}

// The word at p, without the white after it.
Span word_at(const char *p) {
    const char *end = p;
    while (*end != '\0' && !is_white(*end)) {
        ++end;
    }
    return {p, end};
}

// Where a walk from the end stopped: the matching line, and the line of the same kind that the
// walk passed last (the nearest one after the match in the document); kNoSlot when none.
struct WalkEnd {
    uint32_t found = kNoSlot;
    uint32_t lastPassed = kNoSlot;
};

using Matcher = uint32_t (Reading::*)(uint32_t slot, const char *name, bool *matches) const;

// Walks the non-null slots from last down to first, classifying each, to the first line of kind
// wanted whose name (as matcher cuts it) equals name. Returns the first code that is not 0.
uint32_t walk_back(const Reading &reading, uint32_t first, uint32_t last, uint32_t wanted,
                   Matcher matcher, const char *name, WalkEnd *walk) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = last + 1; i-- > first;) {
        if (doc->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        bool matches = false;
        uint32_t result = reading.kind(i, &kind);
        if (result == QUIL_SUCCESS && kind == wanted) {
            result = (reading.*matcher)(i, name, &matches);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
        if (matches) {
            walk->found = i;
            return QUIL_SUCCESS;
        }
        if (kind == wanted) {
            walk->lastPassed = i;
        }
    }
    return QUIL_SUCCESS;
}

// A continuation line's text without its indentation and its trailing white.
Span trimmed(const char *text) {
    const char *begin = first_non_blank(text);
    const char *end = begin;
    for (const char *p = begin; *p != '\0'; ++p) {
        if (!is_white(*p)) {
            end = p + 1;
        }
    }
    return {begin, end};
}

} // namespace

namespace wex::ini {

uint32_t real_file_kind(const char *text) {
    const char *p = first_non_blank(text);
    switch (*p) {
    case '\0':
        return p == skip_byte_order_mark(text) ? INI_LINE_EMPTY : INI_LINE_BLANK;
    case '\r':
    case '\n':
        return INI_LINE_EMPTY;
    case ';':
    case '#':
        return INI_LINE_COMMENT;
    case '[': {
        Span name;
        return cut_section_name(text, &name) == QUIL_SUCCESS ? INI_LINE_SECTION : kLineOpaque;
    }
    default:
        break;
    }
    if (QUIL_StrChr(p, '=') != nullptr) {
        Span key;
        return cut_key_name(text, &key) == QUIL_SUCCESS ? INI_LINE_KEY : kLineOpaque;
    }
    return is_single_word(p) ? INI_LINE_KEY : kLineOpaque;
}

uint32_t indentation(const char *text) {
    const char *start = skip_byte_order_mark(text);
    return static_cast<uint32_t>(first_non_blank(text) - start);
}

Reading::Reading(const IniFile *doc)
    : doc_(doc), realFiles_((doc->options & INI_READ_REAL_FILES) != 0) {}

Reading::~Reading() {
    QUIL_MemFreeD(continuations_, __LINE__, kUnit);
}

// Marks the continuation lines in one walk from the first line: a line that is not empty, blank
// or a comment continues the value of the key line above it when it is indented deeper than
// that key line; otherwise it is a line of its own, and only a key line can be continued.
uint32_t Reading::start() {
    if (!realFiles_) {
        return QUIL_SUCCESS;
    }
    uint32_t bytes = doc_->lineCount / 8 + 1;
    continuations_ = static_cast<uint8_t *>(QUIL_MemMallocS(bytes, 0, __LINE__, kUnit));
    if (continuations_ == nullptr) {
        return INI_NO_MEMORY;
    }
    int64_t anchor = kNoAnchor; // the indentation of the key line that can be continued
    for (uint32_t i = 0; i < doc_->lineCount; ++i) {
        const char *line = doc_->lines[i];
        if (line == nullptr) {
            continue;
        }
        uint32_t kind = real_file_kind(line);
        if (is_passed_by_values(kind)) {
            continue;
        }
        int64_t indent = indentation(line);
        if (anchor != kNoAnchor && indent > anchor) {
            continuations_[i / 8] = static_cast<uint8_t>(continuations_[i / 8] | (1u << (i % 8)));
            continue;
        }
        anchor = kind == INI_LINE_KEY ? indent : kNoAnchor;
    }
    return QUIL_SUCCESS;
}

bool Reading::is_continuation(uint32_t slot) const {
    return (continuations_[slot / 8] & (1u << (slot % 8))) != 0;
}

uint32_t Reading::real_kind(uint32_t slot) const {
    return is_continuation(slot) ? kLineContinuation : real_file_kind(doc_->lines[slot]);
}

uint32_t Reading::kind(uint32_t slot, uint32_t *kind) const {
    if (realFiles_) {
        *kind = real_kind(slot);
        return QUIL_SUCCESS;
    }
    return QUIL_Ini_GetLineType(doc_->lines[slot], kind);
}

uint32_t Reading::section_name(uint32_t slot, Span *name) const {
    if (realFiles_) {
        return cut_section_name(doc_->lines[slot], name);
    }
    SectionParts parts;
    uint32_t result = cut_section(doc_->lines[slot], &parts);
    *name = parts.name;
    return result;
}

uint32_t Reading::key_parts(uint32_t slot, KeyParts *parts) const {
    const char *line = doc_->lines[slot];
    if (realFiles_ && QUIL_StrChr(line, '=') == nullptr) {
        parts->key = word_at(first_non_blank(line));
        return QUIL_SUCCESS;
    }
    return cut_key_line(line, parts);
}

uint32_t Reading::section_matches(uint32_t slot, const char *name, bool *matches) const {
    Span cut;
    uint32_t result = section_name(slot, &cut);
    return result == QUIL_SUCCESS ? span_matches(cut, name, matches) : result;
}

uint32_t Reading::key_matches(uint32_t slot, const char *key, bool *matches) const {
    const char *line = doc_->lines[slot];
    Span cut;
    uint32_t result = QUIL_SUCCESS;
    if (realFiles_ && QUIL_StrChr(line, '=') == nullptr) {
        cut = word_at(first_non_blank(line));
    } else {
        result = cut_key_name(line, &cut);
    }
    return result == QUIL_SUCCESS ? span_matches(cut, key, matches) : result;
}

uint32_t Reading::value_end(uint32_t slot) const {
    uint32_t end = slot;
    for (uint32_t i = slot + 1; realFiles_ && i < doc_->lineCount; ++i) {
        if (doc_->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = real_kind(i);
        if (kind == kLineContinuation) {
            end = i;
        } else if (!is_passed_by_values(kind)) {
            break;
        }
    }
    return end;
}

uint32_t Reading::copy_value(uint32_t slot, char **value) const {
    KeyParts parts;
    uint32_t result = key_parts(slot, &parts);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    uint32_t end = value_end(slot);
    if (end == slot) {
        *value = parts.hasValue ? copy_span(parts.value) : nullptr;
        return !parts.hasValue || *value != nullptr ? QUIL_SUCCESS : INI_NO_MEMORY;
    }
    // The first line's value, then LF and each later line, trimmed (an empty line adds nothing
    // but its LF); comment lines do not count.
    auto counts = [this](uint32_t i) {
        return doc_->lines[i] != nullptr && real_kind(i) != INI_LINE_COMMENT;
    };
    size_t size = parts.value.size();
    for (uint32_t i = slot + 1; i <= end; ++i) {
        size += counts(i) ? 1 + trimmed(doc_->lines[i]).size() : 0;
    }
    char *joined = new_text(size);
    if (joined == nullptr) {
        return INI_NO_MEMORY;
    }
    char *out = append_piece(joined, parts.value);
    for (uint32_t i = slot + 1; i <= end; ++i) {
        if (counts(i)) {
            *out++ = '\n';
            out = append_piece(out, trimmed(doc_->lines[i]));
        }
    }
    *out = '\0';
    *value = joined;
    return QUIL_SUCCESS;
}

uint32_t find_section_from_end(const Reading &reading, const char *name, SectionRange *range) {
    uint32_t lastSlot = reading.doc()->lineCount - 1; // no step when lineCount is 0
    WalkEnd walk;
    uint32_t result =
        walk_back(reading, 0, lastSlot, INI_LINE_SECTION, &Reading::section_matches, name, &walk);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (walk.found == kNoSlot) {
        return INI_NO_SECTION;
    }
    // The section ends before the next header, which the walk passed last.
    *range = {walk.found, walk.lastPassed == kNoSlot ? lastSlot : walk.lastPassed - 1};
    return QUIL_SUCCESS;
}

uint32_t find_key_from_end(const Reading &reading, SectionRange range, const char *key,
                           uint32_t *slot) {
    WalkEnd walk;
    uint32_t result = walk_back(reading, range.header + 1, range.last, INI_LINE_KEY,
                                &Reading::key_matches, key, &walk);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (walk.found == kNoSlot) {
        return INI_NO_KEY;
    }
    *slot = walk.found;
    return QUIL_SUCCESS;
}

} // namespace wex::ini
