// An INI document from the input's first part, then a sequence of lookups, listings, edits,
// removals and validations with names and values from the rest, then Close and Load again.
// Every code must be one the operation documents; reading operations and refused edits must
// leave the document as it was; the reloaded document must hold exactly the lines the edited one
// held (so every line no operation touched is byte-identical); every value set and not removed
// since must read back; and nothing may leak.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

using wexfuzz::check;
using wexfuzz::check_code;

constexpr size_t kLongestFile = 4096;
constexpr size_t kLongestName = 24;
constexpr size_t kLongestValue = 96;
constexpr size_t kLargestNamePool = 32;

std::string fold(const std::string &text) {
    std::string folded = text;
    for (char &c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

// The value as the grammar reads it back: blanks before, white after it dropped; none is empty.
std::string read_back_form(const char *value) {
    std::string text = value == nullptr ? "" : value;
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end + 1 - begin);
}

void write_file(const std::string &path, const std::string &bytes) {
    FILE *file = std::fopen(path.c_str(), "wb");
    check(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
              std::fclose(file) == 0,
          "the document file can be written");
}

std::string read_file(const std::string &path) {
    std::string bytes;
    FILE *file = std::fopen(path.c_str(), "rb");
    check(file != nullptr, "the document file can be read");
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        bytes += static_cast<char>(c);
    }
    std::fclose(file);
    return bytes;
}

bool all_zero(const IniFile &doc) {
    return doc.modified == 0 && doc.lineCount == 0 && doc.lineCapacity == 0 &&
           doc.physLineCount == 0 && doc.lines == nullptr;
}

// Everything of a document that an operation could change: the record and every slot.
struct Snapshot {
    IniFile record;
    std::vector<const char *> slots;
    std::vector<std::string> texts;

    explicit Snapshot(const IniFile &doc) : record(doc) {
        for (uint32_t i = 0; i < doc.lineCount; ++i) {
            slots.push_back(doc.lines[i]);
            texts.emplace_back(doc.lines[i] == nullptr ? "" : doc.lines[i]);
        }
    }
    bool operator==(const Snapshot &other) const {
        return std::memcmp(&record, &other.record, sizeof record) == 0 && slots == other.slots &&
               texts == other.texts;
    }
};

std::vector<std::string> line_texts(const IniFile &doc) {
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        if (doc.lines[i] != nullptr) {
            texts.emplace_back(doc.lines[i]);
        }
    }
    return texts;
}

std::string escaped(const std::string &text) {
    std::string out;
    for (char byte : text) {
        auto c = static_cast<unsigned char>(byte);
        char code[8];
        std::snprintf(code, sizeof code, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        out += code;
    }
    return out;
}

bool is_break(char c) {
    return c == '\r' || c == '\n';
}

// Whether a line reloads as the saved line held it. The reader takes LF CR and CR LF as one
// break, so where editing put a line with a one-byte break before a line that begins with the
// other break byte, saving writes that break as the byte that follows it: the line then reloads
// with its other one-byte break.
bool reloads_as_held(const std::string &got, const std::string &held) {
    if (got == held) {
        return true;
    }
    size_t n = held.size();
    bool oneByteBreak = n >= 1 && is_break(held[n - 1]) && (n == 1 || !is_break(held[n - 2]));
    return oneByteBreak && got.size() == n && is_break(got[n - 1]) &&
           got.compare(0, n - 1, held, 0, n - 1) == 0;
}

// Reports the first line where a reloaded document differs from the saved one.
void check_same_lines(const std::vector<std::string> &reloaded,
                      const std::vector<std::string> &saved) {
    for (size_t i = 0; i < std::max(reloaded.size(), saved.size()); ++i) {
        std::string got = i < reloaded.size() ? reloaded[i] : "(none)";
        std::string held = i < saved.size() ? saved[i] : "(none)";
        if (!reloads_as_held(got, held)) {
            std::fprintf(stderr, "line %zu saved as \"%s\" reloads as \"%s\"\n", i,
                         escaped(held).c_str(), escaped(got).c_str());
            wexfuzz::fail("a saved document reloads to the lines it held");
        }
    }
}

class DocumentRun {
  public:
    DocumentRun(FuzzedDataProvider &input, IniFile &doc, std::string path)
        : input_(input), doc_(doc), path_(std::move(path)) {
        for (uint32_t i = 0; i < doc.lineCount; ++i) {
            loaded_.emplace_back(doc.lines[i], doc.lines[i]);
        }
    }

    void step() {
        switch (input_.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
            get_value();
            break;
        case 1:
            list_keys();
            break;
        case 2:
            list_sections();
            break;
        case 3:
        case 4:
        case 5:
            set_value();
            break;
        case 6:
            delete_key();
            break;
        case 7:
            delete_section();
            break;
        default:
            validate();
            break;
        }
    }

    // Closes, checks the file, loads it again and compares.
    void close_and_reload(const std::string &original) {
        check_loaded_lines_untouched();
        std::vector<std::string> expected = line_texts(doc_);
        bool modified = doc_.modified != 0;
        check(QUIL_Ini_Close(path_.c_str(), &doc_) == QUIL_SUCCESS, "closing succeeds");
        check(all_zero(doc_), "a closed document is all zero");
        if (!modified) {
            check(read_file(path_) == original, "closing an unchanged document writes nothing");
        }
        uint32_t code = QUIL_Ini_Load(path_.c_str(), &doc_);
        if (code != QUIL_SUCCESS) {
            std::fprintf(stderr, "loading the saved document gives %u\n", code);
            for (const std::string &line : expected) {
                std::fprintf(stderr, "%4zu \"%s\"\n", line.size(), escaped(line).c_str());
            }
            wexfuzz::fail("a saved document loads again");
        }
        check_same_lines(line_texts(doc_), expected);
        check_set_values_read_back("after saving and loading again");
        QUIL_Ini_Free(&doc_);
    }

    void check_set_values_read_back(const char *when) {
        for (const auto &[folded, set] : setValues_) {
            const auto &[names, value] = set;
            char *found = nullptr;
            uint32_t code =
                QUIL_Ini_GetValue(&doc_, names.first.c_str(), names.second.c_str(), &found);
            if (code != QUIL_SUCCESS || read_back_form(found) != value) {
                std::fprintf(stderr, "[%s] %s: set \"%s\", found \"%s\" (code %u) %s\n",
                             names.first.c_str(), names.second.c_str(), value.c_str(),
                             found == nullptr ? "(none)" : found, code, when);
                wexfuzz::fail("a value that was set reads back");
            }
            QUIL_MemFreeD(found, __LINE__, "ini_document_fuzzer");
        }
    }

  private:
    using Names = std::pair<std::string, std::string>;

    // A name: mostly one met before in the document, sometimes new bytes, rarely none.
    std::optional<std::string> name() {
        int how = input_.ConsumeIntegralInRange<int>(0, 15);
        if (how == 0) {
            return std::nullopt;
        }
        if (how < 10 && !namePool_.empty()) {
            return namePool_[input_.ConsumeIntegralInRange<size_t>(0, namePool_.size() - 1)];
        }
        return text(kLongestName);
    }

    // Bytes from the input as the library sees them: up to the first NUL.
    std::string text(size_t longest) {
        std::string bytes = input_.ConsumeRandomLengthString(longest);
        return bytes.substr(0, bytes.find('\0'));
    }

    void remember(const char *text) {
        if (namePool_.size() < kLargestNamePool) {
            namePool_.emplace_back(text);
        }
    }

    static const char *c_str(const std::optional<std::string> &text) {
        return text ? text->c_str() : nullptr;
    }

    void get_value() {
        auto section = name();
        auto key = name();
        Snapshot before(doc_);
        char *value = reinterpret_cast<char *>(&doc_); // anything but null
        uint32_t code = QUIL_Ini_GetValue(&doc_, c_str(section), c_str(key), &value);
        check_code(code,
                   {QUIL_SUCCESS, INI_NO_SECTION, INI_NO_KEY, INI_NO_MEMORY, INI_BAD_SECTION,
                    INI_BAD_KEY, INI_NO_LINES, INI_BAD_LINE, INI_BAD_ARGUMENT},
                   "QUIL_Ini_GetValue");
        check(Snapshot(doc_) == before, "a lookup changes nothing");
        if (code == INI_BAD_ARGUMENT) {
            return;
        }
        check(code == QUIL_SUCCESS || value == nullptr, "a failed lookup hands out nothing");
        QUIL_MemFreeD(value, __LINE__, "ini_document_fuzzer");
    }

    void check_list(uint32_t code, uint32_t count, char **list, const Snapshot &before) {
        check(Snapshot(doc_) == before, "a listing changes nothing");
        if (code != QUIL_SUCCESS) {
            check(list == nullptr && count == 0, "a failed listing hands out nothing");
            return;
        }
        uint32_t listed = 0;
        for (char **entry = list; *entry != nullptr; ++entry, ++listed) {
            remember(*entry);
        }
        check(listed == count && count > 0, "a list holds its count of names");
        QUIL_Ini_FreeList(list);
    }

    void list_keys() {
        auto section = name();
        Snapshot before(doc_);
        uint32_t count = 7;
        char **list = nullptr;
        uint32_t code = QUIL_Ini_GetKeys(&doc_, c_str(section), &count, &list);
        check_code(code,
                   {QUIL_SUCCESS, INI_NO_SECTION, INI_NO_KEY, INI_NO_MEMORY, INI_BAD_SECTION,
                    INI_BAD_KEY, INI_NO_LINES, INI_BAD_LINE, INI_BAD_ARGUMENT},
                   "QUIL_Ini_GetKeys");
        if (code != INI_BAD_ARGUMENT) {
            check_list(code, count, list, before);
        }
    }

    void list_sections() {
        Snapshot before(doc_);
        uint32_t count = 7;
        char **list = nullptr;
        uint32_t code = QUIL_Ini_GetSections(&doc_, &count, &list);
        check_code(code,
                   {QUIL_SUCCESS, INI_NO_SECTION, INI_NO_MEMORY, INI_BAD_SECTION, INI_NO_LINES,
                    INI_BAD_LINE},
                   "QUIL_Ini_GetSections");
        check_list(code, count, list, before);
    }

    void set_value() {
        auto section = name();
        auto key = name();
        std::optional<std::string> value;
        if (input_.ConsumeIntegralInRange<int>(0, 7) != 0) {
            value = text(kLongestValue);
        }
        std::vector<std::string> before = line_texts(doc_);
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
        if (key) {
            setValues_[{fold(*section), fold(*key)}] = {{*section, *key},
                                                        read_back_form(c_str(value))};
            remember(section->c_str());
            remember(key->c_str());
        }
    }

    // Forgets the values set in section (and under key, when given), as a removal may have
    // removed them.
    void forget(const std::string &section, const std::optional<std::string> &key) {
        for (auto at = setValues_.begin(); at != setValues_.end();) {
            bool gone =
                at->first.first == fold(section) && (!key || at->first.second == fold(*key));
            at = gone ? setValues_.erase(at) : std::next(at);
        }
    }

    void delete_key() {
        auto section = name();
        auto key = name();
        Snapshot before(doc_);
        uint32_t code = QUIL_Ini_DeleteKey(&doc_, c_str(section), c_str(key));
        check_code(code,
                   {QUIL_SUCCESS, INI_NO_SECTION, INI_NO_KEY, INI_NO_MEMORY, INI_BAD_SECTION,
                    INI_BAD_KEY, INI_NO_LINES, INI_BAD_LINE, INI_BAD_ARGUMENT},
                   "QUIL_Ini_DeleteKey");
        if (code == INI_NO_SECTION || code == INI_NO_KEY || code == INI_BAD_ARGUMENT ||
            code == INI_NO_LINES) {
            check(Snapshot(doc_) == before, "a removal that finds nothing changes nothing");
        } else if (section && key) {
            forget(*section, key);
        }
    }

    void delete_section() {
        auto section = name();
        Snapshot before(doc_);
        uint32_t code = QUIL_Ini_DeleteSection(&doc_, c_str(section));
        check_code(code,
                   {QUIL_SUCCESS, INI_NO_SECTION, INI_NO_MEMORY, INI_BAD_SECTION, INI_NO_LINES,
                    INI_BAD_LINE, INI_BAD_ARGUMENT},
                   "QUIL_Ini_DeleteSection");
        if (code == INI_NO_SECTION || code == INI_BAD_ARGUMENT || code == INI_NO_LINES) {
            check(Snapshot(doc_) == before, "a removal that finds nothing changes nothing");
        } else if (section) {
            forget(*section, std::nullopt);
        }
    }

    void validate() {
        Snapshot before(doc_);
        uint32_t lineNo = 0;
        uint32_t code = QUIL_Ini_Validate(&doc_, &lineNo);
        check_code(code,
                   {QUIL_SUCCESS, INI_KEY_BEFORE_SECTION, INI_BAD_SECTION, INI_BAD_KEY,
                    INI_NO_LINES, INI_BAD_LINE, INI_BAD_VALUE_LIST, INI_BAD_COMMENT},
                   "QUIL_Ini_Validate");
        check(Snapshot(doc_) == before, "validation changes nothing");
        check(lineNo <= doc_.lineCount, "validation reports a line of the document");
    }

    // The loaded lines still in the document are as loaded and in their order.
    void check_loaded_lines_untouched() const {
        size_t next = 0;
        for (uint32_t i = 0; i < doc_.lineCount; ++i) {
            size_t at = next;
            while (at < loaded_.size() && loaded_[at].first != doc_.lines[i]) {
                ++at;
            }
            if (at == loaded_.size()) {
                continue; // a line an edit made
            }
            check(loaded_[at].second == doc_.lines[i], "an untouched line keeps its bytes");
            next = at + 1;
        }
    }

    FuzzedDataProvider &input_;
    IniFile &doc_;
    std::string path_;
    std::vector<std::pair<const char *, std::string>> loaded_;
    std::vector<std::string> namePool_;
    // What was set, by folded section and key: the names as spelled and the value.
    std::map<Names, std::pair<Names, std::string>> setValues_;
};

// Load takes most lines straight from its read-ahead bytes; the line reader takes one byte at a
// time. Both must cut the file into the same lines.
void check_load_matches_line_reader(const std::string &path, const IniFile &doc) {
    QUIL_FILE *file = QUIL_Fopen(path.c_str(), "r");
    check(file != nullptr, "the document file can be opened");
    uint32_t lines = 0;
    uint32_t physLines = 0;
    char *line = nullptr;
    uint32_t length = 0;
    uint32_t phys = 0;
    uint32_t code = QUIL_SUCCESS;
    while ((code = QUIL_Ini_ReadLine(&line, file, &length, &phys)) == QUIL_SUCCESS) {
        check(lines < doc.lineCount && std::strcmp(line, doc.lines[lines]) == 0,
              "Load keeps the lines that the line reader reads");
        QUIL_MemFreeD(line, __LINE__, "fuzz/ini_document_fuzzer");
        ++lines;
        physLines += phys;
    }
    QUIL_Fclose(file);
    check(code == INI_NO_LINES && lines == doc.lineCount && physLines == doc.physLineCount,
          "Load and the line reader find the same number of lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    FuzzedDataProvider input(bytes, size);
    std::string original = input.ConsumeRandomLengthString(kLongestFile);
    std::string path = wexfuzz::scratch_directory() + "/document.ini";
    write_file(path, original);

    IniFile doc;
    std::memset(&doc, 0xA5, sizeof doc); // loading needs no initialised record
    uint32_t code = QUIL_Ini_Load(path.c_str(), &doc);
    check_code(code, {QUIL_SUCCESS, INI_LINE_TOO_LONG, INI_BAD_LINE}, "QUIL_Ini_Load");
    if (code != QUIL_SUCCESS) {
        check(all_zero(doc), "a failed load leaves the record all zero");
        return 0;
    }
    check_load_matches_line_reader(path, doc);
    DocumentRun run(input, doc, path);
    while (input.remaining_bytes() > 0) {
        run.step();
    }
    run.check_set_values_read_back("in the edited document");
    run.close_and_reload(original);
    return 0;
}
