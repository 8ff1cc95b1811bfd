// An INI document from the input's first part, read as load options from the input say, then a
// sequence of lookups, listings, edits and removals with names and values from the rest, then
// Close and Load again. The functions of the line grammar take the document's text first: no
// read past its terminator, every extracted string a piece of the text, every out string null
// after a failure, the text unchanged.
// Every code must be one the operation documents; reading operations and refused edits must leave
// the document as it was; an edit changes one line or adds lines in one place, a removal only
// removes; the reloaded document must hold exactly the lines the edited one held; every value set
// and not removed since must read back; and nothing may leak.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "line_changes.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

using wexfuzz::check;
using wexfuzz::check_code;
using Lines = std::vector<std::string>;
using Text = std::optional<std::string>;

constexpr size_t kLongestFile = 4096;
constexpr size_t kLongestName = 24;
constexpr size_t kLongestValue = 96;
constexpr size_t kLargestNamePool = 32;
// What lookups, listings and removals may answer.
constexpr std::initializer_list<uint32_t> kReadingCodes = {
    QUIL_SUCCESS, INI_NO_SECTION, INI_NO_KEY,   INI_NO_MEMORY,   INI_BAD_SECTION,
    INI_BAD_KEY,  INI_NO_LINES,   INI_BAD_LINE, INI_BAD_ARGUMENT};

std::string fold(std::string text) {
    for (char &c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// The value as the grammar reads it back: blanks before, white after it dropped; none is empty.
std::string read_back_form(const char *value) {
    std::string text = value == nullptr ? "" : value;
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n") + 1 - begin);
}

// Everything of a document that an operation could change: the record and every slot.
std::string snapshot(const IniFile &doc) {
    std::string state(reinterpret_cast<const char *>(&doc), sizeof doc);
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        state += std::to_string(reinterpret_cast<uintptr_t>(doc.lines[i])) + ":" +
                 (doc.lines[i] == nullptr ? "" : doc.lines[i]) + "|";
    }
    return state;
}

Lines line_texts(const IniFile &doc) {
    Lines texts;
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        if (doc.lines[i] != nullptr) {
            texts.emplace_back(doc.lines[i]);
        }
    }
    return texts;
}

// Whether after is before with at most `changed` lines replaced and then lines added in one
// place, judged by the longest common start and end; when any line may change, lines may go.
bool changed_in_one_place(const Lines &before, const Lines &after, size_t changed) {
    auto [start, end] = wexfuzz::common_ends(before, after);
    return (after.size() >= before.size() || changed == before.size()) &&
           start + end + changed >= before.size();
}

bool only_removed(const Lines &before, const Lines &after) {
    size_t at = 0;
    for (const std::string &line : before) {
        at += at < after.size() && after[at] == line ? 1 : 0;
    }
    return at == after.size();
}

bool is_break(char c) {
    return c == '\r' || c == '\n';
}

// Whether a line reloads as the saved line held it. The reader takes LF CR and CR LF as one
// break, so where editing put a line with a one-byte break before a line that begins with the
// other break byte, saving writes that break as the byte that follows it; and the CR that loading
// gives a last line without a break is not saved: a line that comes to follow it gets the
// document's break. A line with a one-byte break may therefore reload with another break, and so
// may a line that a layout edit left without one at the end of a file that had none.
bool reloads_as_held(const std::string &got, const std::string &held) {
    size_t n = held.size();
    // A line that a layout edit left without a break, at the end of a file that had none.
    size_t heldBreak =
        n > 0 && is_break(held[n - 1]) ? (n > 1 && is_break(held[n - 2]) ? 2 : 1) : 0;
    size_t body = got.find_last_not_of("\r\n") + 1;
    return got == held || (heldBreak < 2 && body == n - heldBreak && got.size() > body &&
                           got.size() - body <= 2 && got.compare(0, body, held, 0, body) == 0);
}

// Checks the out strings of a parser and gives them back: null after a failure, otherwise null
// or a piece of the text; the first one is never null after a success.
void check_pieces(uint32_t code, std::initializer_list<char *> pieces, std::string_view text) {
    check(code != QUIL_SUCCESS || *pieces.begin() != nullptr,
          "a success hands out its first piece");
    for (char *piece : pieces) {
        check(code == QUIL_SUCCESS ? piece == nullptr || text.find(piece) != std::string_view::npos
                                   : piece == nullptr,
              "an out string is a piece of the text, and null after a failure");
        QUIL_MemFreeD(piece, __LINE__, "fuzz/ini_document_fuzzer");
    }
}

void check_grammar(const char *text) {
    uint32_t kind = INI_LINE_UNSET;
    uint32_t code = QUIL_Ini_GetLineType(text, &kind);
    check_code(code, {QUIL_SUCCESS, INI_BAD_LINE, INI_BAD_ARGUMENT}, "QUIL_Ini_GetLineType");
    // The grammar reads past a byte-order mark, so a mark alone is an empty text too.
    bool empty = std::strcmp(text, "") == 0 || std::strcmp(text, "\xEF\xBB\xBF") == 0;
    check((code == INI_BAD_ARGUMENT) == empty, "only an empty text is refused");
    check(code == INI_BAD_ARGUMENT ? kind == INI_LINE_UNSET
          : code == INI_BAD_LINE   ? kind == INI_LINE_INVALID
                                   : kind < INI_LINE_INVALID,
          "the kind fits the code");

    // The out strings start as a text of no input's, so that each must be written.
    static char stale[] = "\x01stale";
    char *out[3] = {stale, stale, stale};
    code = QUIL_Ini_ParseSectionLine(text, &out[0], &out[1]);
    check_code(code, {QUIL_SUCCESS, INI_BAD_SECTION, INI_BAD_LINE, INI_NO_MEMORY},
               "QUIL_Ini_ParseSectionLine");
    check_pieces(code, {out[0], out[1]}, text);
    out[0] = out[1] = stale;
    code = QUIL_Ini_ParseKeyLine(text, &out[0], &out[1], &out[2]);
    check_code(code, {QUIL_SUCCESS, INI_BAD_KEY, INI_BAD_LINE, INI_NO_MEMORY},
               "QUIL_Ini_ParseKeyLine");
    check_pieces(code, {out[0], out[1], out[2]}, text);
    out[0] = stale;
    code = QUIL_Ini_ParseComment(text, &out[0]);
    check_code(code, {QUIL_SUCCESS, INI_BAD_LINE, INI_NO_MEMORY}, "QUIL_Ini_ParseComment");
    check_pieces(code, {out[0]}, text);

    check_code(QUIL_Ini_CheckSectionLine(text), {QUIL_SUCCESS, INI_BAD_SECTION},
               "QUIL_Ini_CheckSectionLine");
    check_code(QUIL_Ini_CheckKeyLine(text),
               {QUIL_SUCCESS, INI_BAD_LINE, INI_BAD_KEY, INI_BAD_VALUE_LIST, INI_BAD_COMMENT},
               "QUIL_Ini_CheckKeyLine");
}

bool is_white(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The blank skipper and the white trimmer stop on their limit (a blank or white byte too) or on
// the first byte they keep, and read nothing past the limit.
void check_scanners(const char *text, size_t length) {
    const char *mid = text + length / 2;
    const char *last = text + (length > 0 ? length - 1 : 0);
    for (auto [from, limit] : {std::pair(text, mid), std::pair(mid, last), std::pair(text, last)}) {
        const char *pos = from;
        QUIL_Ini_SkipBlanks(&pos, limit);
        check(pos >= from && pos <= limit && (pos == limit || (*pos != ' ' && *pos != '\t')),
              "skipping blanks stops on the limit or on a byte not blank");
        pos = limit;
        QUIL_Ini_TrimBack(&pos, from);
        check(pos >= from && pos <= limit && (pos == from || !is_white(*pos)),
              "trimming stops on the limit or on a byte not white");
    }
    check(QUIL_Ini_SafeStrLen(text) == length, "the length of the text is its length");
}

struct DocumentRun {
    FuzzedDataProvider &input_;
    IniFile &doc_;
    std::string path_;
    uint32_t options_;
    Lines namePool_;
    // What was set, by folded section and key: the names as spelled and the value.
    std::map<std::pair<std::string, std::string>, std::array<std::string, 3>> setValues_;

    void step() {
        int op = input_.ConsumeIntegralInRange<int>(0, 7);
        op == 0  ? read(0)
        : op < 3 ? read(input_.ConsumeBool() ? 1 : 2)
        : op < 6 ? set_value()
                 : remove(input_.ConsumeBool());
    }

    // Closes, checks the file, loads it again and compares.
    void close_and_reload() {
        Lines saved = line_texts(doc_);
        check(QUIL_Ini_Close(path_.c_str(), &doc_) == QUIL_SUCCESS, "closing succeeds");
        check(snapshot(doc_) == snapshot(IniFile{}), "a closed document is all zero");
        check(QUIL_Ini_LoadWithOptions(path_.c_str(), &doc_, options_) == QUIL_SUCCESS,
              "a saved document loads again");
        Lines reloaded = line_texts(doc_);
        check(reloaded.size() == saved.size(), "a saved document reloads to as many lines");
        for (size_t i = 0; i < saved.size(); ++i) {
            check(reloads_as_held(reloaded[i], saved[i]), "a saved document reloads to its lines");
        }
        check_set_values_read_back();
        QUIL_Ini_Free(&doc_);
    }

    void check_set_values_read_back() {
        for (const auto &[folded, set] : setValues_) {
            const auto &[section, key, value] = set;
            char *found = nullptr;
            uint32_t code = QUIL_Ini_GetValue(&doc_, section.c_str(), key.c_str(), &found);
            check(code == QUIL_SUCCESS && read_back_form(found) == value,
                  "a value that was set reads back");
            QUIL_MemFreeD(found, __LINE__, "fuzz/ini_document_fuzzer");
        }
    }

    // A name: mostly one met before in the document, sometimes new bytes, rarely none.
    Text name() {
        int how = input_.ConsumeIntegralInRange<int>(0, 15);
        if (how > 0 && how < 10 && !namePool_.empty()) {
            return namePool_[input_.ConsumeIntegralInRange<size_t>(0, namePool_.size() - 1)];
        }
        return how == 0 ? std::nullopt : Text(text(kLongestName));
    }

    // Bytes from the input as the library sees them: up to the first NUL.
    std::string text(size_t longest) {
        std::string bytes = input_.ConsumeRandomLengthString(longest);
        return bytes.substr(0, bytes.find('\0'));
    }

    void remember(const std::string &text) {
        if (namePool_.size() < kLargestNamePool) {
            namePool_.push_back(text);
        }
    }

    static const char *c_str(const Text &text) { return text ? text->c_str() : nullptr; }

    // A lookup (0), or a listing of a section's keys (1) or of the sections (2).
    void read(int what) {
        Text section = name();
        Text key = what == 0 ? name() : std::nullopt;
        std::string before = snapshot(doc_);
        char *value = reinterpret_cast<char *>(&doc_); // anything but null
        uint32_t count = 7;
        char **list = nullptr;
        uint32_t code = what == 0   ? QUIL_Ini_GetValue(&doc_, c_str(section), c_str(key), &value)
                        : what == 1 ? QUIL_Ini_GetKeys(&doc_, c_str(section), &count, &list)
                                    : QUIL_Ini_GetSections(&doc_, &count, &list);
        check_code(code, kReadingCodes, "QUIL_Ini_GetValue / GetKeys / GetSections");
        check(code != INI_BAD_ARGUMENT || what == 0 || (what == 1 && !section),
              "a listing refuses only a null name");
        check(snapshot(doc_) == before, "a lookup or listing changes nothing");
        if (code != QUIL_SUCCESS) {
            check(code == INI_BAD_ARGUMENT ||
                      (what == 0 ? value == nullptr : list == nullptr && count == 0),
                  "a failed lookup or listing hands out nothing");
            return;
        }
        QUIL_MemFreeD(what == 0 ? value : nullptr, __LINE__, "fuzz/ini_document_fuzzer");
        uint32_t listed = 0;
        for (char **entry = list; entry != nullptr && *entry != nullptr; ++entry, ++listed) {
            remember(*entry);
        }
        check(what == 0 || (listed == count && count > 0), "a list holds its count of names");
        QUIL_Ini_FreeList(list);
    }

    void set_value() {
        Text section = name();
        Text key = name();
        Text value = input_.ConsumeIntegralInRange<int>(0, 7) != 0 ? Text(text(kLongestValue))
                                                                   : std::nullopt;
        Lines before = line_texts(doc_);
        uint32_t modified = doc_.modified;
        uint32_t code = QUIL_Ini_SetValue(&doc_, c_str(section), c_str(key), c_str(value));
        check_code(code,
                   {QUIL_SUCCESS, INI_NO_MEMORY, INI_BAD_SECTION, INI_BAD_KEY, INI_BAD_LINE,
                    INI_BAD_ARGUMENT},
                   "QUIL_Ini_SetValue");
        if (code != QUIL_SUCCESS) {
            check(line_texts(doc_) == before && doc_.modified == modified,
                  "a refused edit changes nothing");
            return;
        }
        check(doc_.modified == 1, "an edit marks the document modified");
        // Real files: the lines that continued a replaced value go with it.
        size_t replaced = (options_ & INI_READ_REAL_FILES) != 0 ? before.size() : 1;
        check(changed_in_one_place(before, line_texts(doc_), replaced),
              "an edit replaces one line or adds lines in one place");
        if (key) {
            setValues_[{fold(*section), fold(*key)}] = {*section, *key,
                                                        read_back_form(c_str(value))};
            remember(*section);
            remember(*key);
        }
    }

    void remove(bool wholeSection) {
        Text section = name();
        Text key = wholeSection ? std::nullopt : name();
        std::string before = snapshot(doc_);
        Lines linesBefore = line_texts(doc_);
        uint32_t code = wholeSection ? QUIL_Ini_DeleteSection(&doc_, c_str(section))
                                     : QUIL_Ini_DeleteKey(&doc_, c_str(section), c_str(key));
        check_code(code, kReadingCodes, "QUIL_Ini_DeleteKey / QUIL_Ini_DeleteSection");
        if (code != QUIL_SUCCESS) {
            check(snapshot(doc_) == before, "a failed removal changes nothing");
            return;
        }
        check(only_removed(linesBefore, line_texts(doc_)), "a removal only removes lines");
        for (auto at = setValues_.begin(); at != setValues_.end();) {
            bool gone = at->first.first == fold(*section) &&
                        (wholeSection || at->first.second == fold(*key));
            at = gone ? setValues_.erase(at) : std::next(at);
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    FuzzedDataProvider input(bytes, size);
    uint32_t options = input.ConsumeIntegralInRange<uint32_t>(0, 3); // INI_* load options
    std::string original = input.ConsumeRandomLengthString(kLongestFile);
    {
        wexfuzz::ExactText text(reinterpret_cast<const uint8_t *>(original.data()),
                                original.size());
        check_grammar(text.c_str());
        check_scanners(text.c_str(), std::strlen(text.c_str()));
        check(std::memcmp(original.c_str(), text.c_str(), std::strlen(text.c_str())) == 0,
              "the grammar changes no text");
    }
    std::string path = wexfuzz::scratch_directory() + "/document.ini";
    FILE *file = std::fopen(path.c_str(), "wb");
    check(file != nullptr &&
              std::fwrite(original.data(), 1, original.size(), file) == original.size() &&
              std::fclose(file) == 0,
          "the document file can be written");

    IniFile doc;
    std::memset(&doc, 0xA5, sizeof doc); // loading needs no initialised record
    uint32_t code = QUIL_Ini_LoadWithOptions(path.c_str(), &doc, options);
    check_code(code, {QUIL_SUCCESS, INI_LINE_TOO_LONG, INI_BAD_LINE}, "QUIL_Ini_Load");
    if (code != QUIL_SUCCESS) {
        check(snapshot(doc) == snapshot(IniFile{}), "a failed load leaves the record all zero");
        return 0;
    }
    DocumentRun run{input, doc, path, options, {}, {}};
    while (input.remaining_bytes() > 0) {
        run.step();
    }
    run.check_set_values_read_back();
    run.close_and_reload();
    return 0;
}
