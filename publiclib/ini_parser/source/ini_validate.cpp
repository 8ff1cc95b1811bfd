// Validating INI documents against the strict grammar, and removing keys and sections.
//
// A removal first scans the whole document, classifying and cutting what the scan passes and
// noting the slots to empty; only when the scan has passed every line does it empty them. A line
// that cannot be read therefore makes a removal fail without removing anything.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "ini_parser/source/ini_reading.h"
#include "ini_parser/source/ini_store.h"
#include "ini_parser/source/ini_writer_internal.h"

namespace {

using namespace wex::ini_writer;
using wex::ini::Reading;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_validate";

bool is_document(const IniFile *doc) {
    return doc != nullptr && doc->lines != nullptr;
}

const char *last_byte(const char *text) {
    return text + QUIL_StrLen(text) - 1;
}

// The first of the bytes [from, to] that is c, or null.
const char *find_between(const char *from, const char *to, char c) {
    for (const char *p = from; p <= to; ++p) {
        if (*p == c) {
            return p;
        }
    }
    return nullptr;
}

// ---- The strict header check ----

// The name between "[" and "]" with its blanks: not blank-led and free of brackets.
bool is_strict_name(const char *open, const char *close) {
    const char *begin = open + 1;
    const char *end = close - 1;
    QUIL_Ini_SkipBlanks(&begin, end);
    QUIL_Ini_TrimBack(&end, begin);
    return !is_blank(*begin) && find_between(begin, end, '[') == nullptr &&
           find_between(begin, end, ']') == nullptr;
}

// What follows "]": nothing, white, or a comment whose ";" follows a space.
bool is_strict_header_tail(const char *afterClose) {
    if (*afterClose == '\0') {
        return true;
    }
    const char *p = afterClose;
    const char *end = last_byte(afterClose);
    QUIL_Ini_SkipBlanks(&p, end);
    QUIL_Ini_TrimBack(&end, p);
    if (p == end && (is_line_break(*p) || *p == ' ')) {
        return true;
    }
    return *p == ';' && p[-1] == ' ';
}

// ---- The strict key line check ----

constexpr uint32_t kValid = QUIL_SUCCESS;

// The key before "=": present, and without a space (a tab passes).
uint32_t check_strict_key(const char *text, const char *equals) {
    if (equals == text) {
        return INI_BAD_KEY;
    }
    const char *begin = text;
    const char *end = equals - 1;
    QUIL_Ini_SkipBlanks(&begin, end);
    QUIL_Ini_TrimBack(&end, begin);
    if (begin == end && is_white(*begin)) {
        return INI_BAD_KEY;
    }
    return find_between(begin, end, ' ') == nullptr ? kValid : INI_BAD_KEY;
}

// A ";" that begins a comment must follow a space or a tab.
uint32_t check_comment_start(const char *semicolon) {
    return is_blank(semicolon[-1]) ? kValid : INI_BAD_COMMENT;
}

// The closing quote of a quoted item opened at open, skipping quotes escaped by a backslash.
const char *closing_quote(const char *open, const char *last) {
    for (const char *q = open + 1; q <= last; ++q) {
        if (*q == '"' && q[-1] != '\\') {
            return q;
        }
    }
    return nullptr;
}

// After a separating comma: a blank, then another item (not white only, not ";" or ",").
// Moves p to that item.
uint32_t pass_comma(const char **p, const char *comma, const char *valueEnd) {
    if (!is_blank(comma[1])) {
        return INI_BAD_VALUE_LIST;
    }
    *p = comma + 1;
    QUIL_Ini_SkipBlanks(p, valueEnd + 1);
    bool itemFollows = *p <= valueEnd && **p != ';' && **p != ',';
    return itemFollows ? kValid : INI_BAD_VALUE_LIST;
}

uint32_t pass_quoted_item(const char **p, const char *last, const char *valueEnd) {
    const char *close = closing_quote(*p, last);
    if (close == nullptr) {
        return INI_BAD_VALUE_LIST;
    }
    *p = close + 1;
    QUIL_Ini_SkipBlanks(p, last);
    return **p == ',' ? pass_comma(p, *p, valueEnd) : kValid;
}

uint32_t pass_plain_item(const char **p, const char *last, const char *valueEnd) {
    const char *comma = QUIL_StrChr(*p, ',');
    if (comma == nullptr) {
        const char *semicolon = QUIL_StrChr(*p, ';');
        *p = semicolon != nullptr ? semicolon : last;
        return kValid;
    }
    if (comma >= last || comma == *p) {
        return INI_BAD_VALUE_LIST;
    }
    return pass_comma(p, comma, valueEnd);
}

// The value list from p: items separated by a comma and blanks, then an optional comment.
uint32_t check_value_list(const char *p, const char *last, const char *valueEnd) {
    while (p < last) {
        uint32_t result =
            *p == '"' ? pass_quoted_item(&p, last, valueEnd) : pass_plain_item(&p, last, valueEnd);
        if (result != kValid) {
            return result;
        }
        QUIL_Ini_SkipBlanks(&p, last);
        if (*p == ';') {
            return check_comment_start(p);
        }
    }
    return kValid;
}

uint32_t check_strict_value(const char *equals, const char *last) {
    if (equals == last) {
        return kValid;
    }
    const char *p = equals + 1;
    const char *valueEnd = last;
    QUIL_Ini_SkipBlanks(&p, last);
    QUIL_Ini_TrimBack(&valueEnd, p);
    if (p == valueEnd && is_white(*p)) {
        return kValid; // an empty value
    }
    if (*p == ';') {
        return check_comment_start(p);
    }
    return check_value_list(p, last, valueEnd);
}

// ---- Removal ----

// The slots a removal will empty, gathered before the first is emptied.
class SlotPlan {
  public:
    explicit SlotPlan(uint32_t capacity) {
        uint64_t bytes = uint64_t{capacity} * sizeof(uint32_t);
        if (bytes <= UINT32_MAX) {
            slots_ = static_cast<uint32_t *>(
                QUIL_MemMallocD(static_cast<uint32_t>(bytes), __LINE__, kUnit));
        }
    }
    ~SlotPlan() { QUIL_MemFreeD(slots_, __LINE__, kUnit); }
    SlotPlan(const SlotPlan &) = delete;
    SlotPlan &operator=(const SlotPlan &) = delete;

    bool allocated() const { return slots_ != nullptr; }
    uint32_t count() const { return count_; }
    void add(uint32_t slot) { slots_[count_++] = slot; }

    // Empties every planned slot and marks the document changed.
    void apply(IniFile *doc) const {
        for (uint32_t i = 0; i < count_; ++i) {
            wex::ini::drop_line(doc, slots_[i]);
            if (doc->physLineCount > 0) {
                doc->physLineCount--;
            }
        }
        if (count_ > 0) {
            doc->modified = 1;
        }
    }

  private:
    uint32_t *slots_ = nullptr;
    uint32_t count_ = 0;
};

// Scans every line from the first, classifying each and cutting every header, and plans the
// removal of what lies in each section named section: with a key, every line of that key and
// the lines that continue its value; without, every line, the header included. Notes whether a
// section matched.
uint32_t plan_removal(const Reading &reading, const char *section, const char *key, SlotPlan *plan,
                      bool *sectionFound) {
    const IniFile *doc = reading.doc();
    bool inMatch = false;
    bool inRemovedValue = false; // after a removed key line, while its value goes on
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        if (doc->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = reading.kind(i, &kind);
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            result = reading.section_matches(i, section, &inMatch);
            *sectionFound = *sectionFound || inMatch;
        }
        bool remove = inMatch && key == nullptr;
        if (result == QUIL_SUCCESS && inMatch && key != nullptr && kind == INI_LINE_KEY) {
            result = reading.key_matches(i, key, &remove);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
        if (kind == wex::ini::kLineContinuation) {
            remove = remove || inRemovedValue;
        } else if (!wex::ini::is_passed_by_values(kind)) {
            inRemovedValue = remove && kind == INI_LINE_KEY;
        }
        if (remove) {
            plan->add(i);
        }
    }
    return QUIL_SUCCESS;
}

// The shared body of both removals: check, plan, then empty the planned slots.
uint32_t remove_lines(IniFile *doc, const char *section, const char *key) {
    if (doc->lineCount == 0) {
        return INI_NO_LINES;
    }
    Reading reading(doc);
    SlotPlan plan(doc->lineCount);
    uint32_t result = plan.allocated() ? reading.start() : INI_NO_MEMORY;
    bool sectionFound = false;
    if (result == QUIL_SUCCESS) {
        result = plan_removal(reading, section, key, &plan, &sectionFound);
    }
    if (result != QUIL_SUCCESS) {
        return result;
    }
    plan.apply(doc);
    if (plan.count() > 0) {
        return QUIL_SUCCESS;
    }
    return sectionFound ? INI_NO_KEY : INI_NO_SECTION;
}

} // namespace

extern "C" {

uint32_t QUIL_Ini_CheckSectionLine(const char *text) {
    if (text == nullptr) {
        return INI_BAD_SECTION;
    }
    text = wex::ini::skip_byte_order_mark(text);
    if (QUIL_StrLen(text) < 3 || text[0] != '[') {
        return INI_BAD_SECTION;
    }
    const char *close = QUIL_StrChr(text, ']');
    if (close == nullptr || close < text + 2) {
        return INI_BAD_SECTION;
    }
    bool valid = is_strict_name(text, close) && is_strict_header_tail(close + 1);
    return valid ? QUIL_SUCCESS : INI_BAD_SECTION;
}

uint32_t QUIL_Ini_CheckKeyLine(const char *text) {
    if (text == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    text = wex::ini::skip_byte_order_mark(text);
    const char *equals = QUIL_StrChr(text, '=');
    if (equals == nullptr) {
        return INI_BAD_LINE;
    }
    uint32_t result = check_strict_key(text, equals);
    return result != kValid ? result : check_strict_value(equals, last_byte(text));
}

uint32_t QUIL_Ini_Validate(IniFile *doc, uint32_t *lineNo) {
    if (!is_document(doc) || lineNo == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *lineNo = 0;
    uint32_t result = INI_NO_LINES; // until a line has been read
    bool inSection = false;
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        *lineNo = i + 1;
        const char *line = doc->lines[i];
        if (line == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        result = line_kind(line, &kind);
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            result = QUIL_Ini_CheckSectionLine(line);
            inSection = true;
        } else if (result == QUIL_SUCCESS && kind == INI_LINE_KEY) {
            result = inSection ? QUIL_Ini_CheckKeyLine(line) : INI_KEY_BEFORE_SECTION;
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return result;
}

uint32_t QUIL_Ini_DeleteKey(IniFile *doc, const char *section, const char *key) {
    if (!is_document(doc) || section == nullptr || key == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    return remove_lines(doc, section, key);
}

uint32_t QUIL_Ini_DeleteSection(IniFile *doc, const char *section) {
    if (!is_document(doc) || section == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    return remove_lines(doc, section, nullptr);
}

} // extern "C"
