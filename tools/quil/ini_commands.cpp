// quil ini: get, set, del, sections, keys and validate over the library's INI documents. Every
// result code of the library becomes a one-line message naming the file and, where there is one,
// the physical line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <unistd.h>

#include "quil.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace quil {

namespace {

const char kHelp[] =
    "usage: quil ini get FILE SECTION KEY          print the value (an empty line for none)\n"
    "       quil ini set FILE SECTION KEY [VALUE]  set a value; creates the key or section\n"
    "       quil ini del FILE SECTION [KEY]        remove a key, or the whole section\n"
    "       quil ini sections FILE                 one section name per line, in file order\n"
    "       quil ini keys FILE SECTION             one key per line\n"
    "       quil ini validate FILE...              check the strict grammar\n"
    "Names compare without regard to ASCII letter case; the last section and the last key of\n"
    "a name win. set and del save through a backup file that replaces FILE atomically, and\n"
    "leave FILE untouched when nothing changes. Everything not edited is kept byte for byte.\n";

// A loaded document, released on every path.
class Document {
  public:
    explicit Document(std::string path) : path_(std::move(path)) {}
    ~Document() { QUIL_Ini_Free(&doc_); }
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    // Loads the file; on failure says why and returns the exit status.
    int load();
    // Writes the document back when it changed and releases it; returns the exit status.
    int close();

    IniFile *get() { return &doc_; }
    const std::string &path() const { return path_; }

    // Reports a failed lookup or edit code in words.
    int report(uint32_t code, const std::string &section, const std::string &key);

  private:
    uint32_t physical_line(uint32_t slot);
    int report_line(uint32_t slot, const char *problem);
    uint32_t find_unreadable_line(uint32_t code);

    std::string path_;
    IniFile doc_{};
};

std::string open_error(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        return "cannot be opened";
    }
    return std::strerror(errno);
}

// The physical line (1-based) on which each logical line of the file starts, as the library
// reads it; reading stops at the first line it refuses, whose start is the last entry.
std::vector<uint32_t> logical_line_starts(const std::string &path) {
    std::vector<uint32_t> starts;
    QUIL_FILE *file = QUIL_Fopen(path.c_str(), "r");
    if (file == nullptr) {
        return starts;
    }
    uint32_t physical = 1;
    for (;;) {
        char *line = nullptr;
        uint32_t length = 0, lines = 0;
        uint32_t result = QUIL_Ini_ReadLine(&line, file, &length, &lines);
        QUIL_MemFreeD(line, __LINE__, "tools/quil/ini_commands");
        if (result == INI_NO_LINES) {
            break;
        }
        starts.push_back(physical);
        if (result != QUIL_SUCCESS) {
            break;
        }
        physical += lines;
    }
    QUIL_Fclose(file);
    return starts;
}

// The physical line that holds the first NUL byte of the file, or 0.
uint32_t line_of_first_nul(const std::string &path) {
    std::string error;
    uint32_t line = 1, found = 0;
    bool previousWasCr = false;
    read_blocks(
        path,
        [&](const uint8_t *data, size_t length) {
            for (size_t i = 0; i < length && found == 0; ++i) {
                if (data[i] == 0) {
                    found = line;
                } else if (data[i] == '\n' && !previousWasCr) {
                    ++line;
                } else if (data[i] == '\r') {
                    ++line;
                }
                previousWasCr = data[i] == '\r';
            }
        },
        error);
    return found;
}

int Document::load() {
    uint32_t result = QUIL_Ini_Load(path_.c_str(), &doc_);
    switch (result) {
    case QUIL_SUCCESS:
        return kOk;
    case INI_OPEN_FAILED:
        complain(path_ + ": " + open_error(path_));
        return kSystem;
    case INI_LINE_TOO_LONG: {
        std::vector<uint32_t> starts = logical_line_starts(path_);
        uint32_t line = starts.empty() ? 0 : starts.back();
        complain(path_ + ": line " + std::to_string(line) +
                 ": line of 512 bytes or more (continuations included)");
        return kNotFound;
    }
    case INI_BAD_LINE:
        complain(path_ + ": line " + std::to_string(line_of_first_nul(path_)) +
                 ": NUL byte: not a text file");
        return kNotFound;
    case INI_NO_MEMORY:
        complain(path_ + ": out of memory while reading");
        return kSystem;
    default:
        complain(path_ + ": cannot be read (result " + std::to_string(result) + ")");
        return kSystem;
    }
}

int Document::close() {
    bool changed = doc_.modified != 0;
    uint32_t result = QUIL_Ini_Close(path_.c_str(), &doc_);
    if (result == QUIL_SUCCESS) {
        return kOk;
    }
    if (!changed) {
        return kOk;
    }
    switch (result) {
    case INI_BACKUP_FAILED:
        complain(path_ + ": not saved: a backup file of the same name exists already, or writing "
                         "it fell short; the file is unchanged");
        break;
    case INI_SAVE_FAILED:
        complain(path_ +
                 ": not saved: the backup file could not be created or could not "
                 "replace the file (" +
                 open_error(path_) + ")");
        break;
    case INI_NO_MEMORY:
        complain(path_ + ": not saved: out of memory");
        break;
    default:
        complain(path_ + ": not saved (result " + std::to_string(result) + ")");
    }
    return kSystem;
}

uint32_t Document::physical_line(uint32_t slot) {
    std::vector<uint32_t> starts = logical_line_starts(path_);
    return slot < starts.size() ? starts[slot] : slot + 1;
}

int Document::report_line(uint32_t slot, const char *problem) {
    complain(path_ + ": line " + std::to_string(physical_line(slot)) + ": " + problem);
    return kNotFound;
}

// The last line (from the end, as lookups walk) that the grammar refuses with code.
uint32_t Document::find_unreadable_line(uint32_t code) {
    for (uint32_t slot = doc_.lineCount; slot-- > 0;) {
        const char *text = doc_.lines[slot];
        if (text == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = QUIL_Ini_GetLineType(text, &kind);
        char *a = nullptr, *b = nullptr, *c = nullptr;
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            result = QUIL_Ini_ParseSectionLine(text, &a, &b);
        } else if (result == QUIL_SUCCESS && kind == INI_LINE_KEY) {
            result = QUIL_Ini_ParseKeyLine(text, &a, &b, &c);
        }
        for (char *piece : {a, b, c}) {
            QUIL_MemFreeD(piece, __LINE__, "tools/quil/ini_commands");
        }
        if (result == code) {
            return slot;
        }
    }
    return 0;
}

int Document::report(uint32_t code, const std::string &section, const std::string &key) {
    switch (code) {
    case INI_NO_SECTION:
    case INI_NO_LINES:
        complain(path_ + ": no section [" + section + "]");
        return kNotFound;
    case INI_NO_KEY:
        complain(path_ + ": no key " + key + " in section [" + section + "]");
        return kNotFound;
    case INI_BAD_LINE:
        return report_line(find_unreadable_line(code),
                           "neither a section header, a key line, a comment nor a blank line");
    case INI_BAD_SECTION:
        return report_line(find_unreadable_line(code), "malformed section header");
    case INI_BAD_KEY:
        return report_line(find_unreadable_line(code), "key line without a key");
    case INI_BAD_ARGUMENT:
        complain(path_ + ": refused: the section, key or value would not read back as written "
                         "(an empty name, a line break, '=' in a key, ']' in a section name, a "
                         "trailing backslash, \" ;\" outside quotes, or a line over 511 bytes)");
        return kNotFound;
    case INI_NO_MEMORY:
        complain(path_ + ": out of memory");
        return kSystem;
    default:
        complain(path_ + ": failed (result " + std::to_string(code) + ")");
        return kSystem;
    }
}

// ---- The commands ----

// Checks the number of arguments, loads the file named first and runs body on the document; a
// usage or load failure ends the command with its status.
template <typename Body>
int with_document(const Args &args, size_t least, size_t most, const char *command,
                  const char *expects, Body body) {
    if (args.size() < least || args.size() > most) {
        return usage_error(command, expects);
    }
    Document doc(args[0]);
    if (int status = doc.load(); status != kOk) {
        return status;
    }
    return body(doc);
}

int ini_get(const Args &args) {
    return with_document(
        args, 3, 3, "ini get", "expects FILE SECTION KEY", [&](Document &doc) -> int {
            char *value = nullptr;
            uint32_t result =
                QUIL_Ini_GetValue(doc.get(), args[1].c_str(), args[2].c_str(), &value);
            if (result != QUIL_SUCCESS) {
                return doc.report(result, args[1], args[2]);
            }
            std::printf("%s\n", value == nullptr ? "" : value);
            QUIL_MemFreeD(value, __LINE__, "tools/quil/ini_commands");
            return kOk;
        });
}

// True when key already holds exactly value (a missing value counts as empty).
bool holds_value(Document &doc, const std::string &section, const std::string &key,
                 const char *value) {
    char *current = nullptr;
    uint32_t result = QUIL_Ini_GetValue(doc.get(), section.c_str(), key.c_str(), &current);
    bool same = result == QUIL_SUCCESS &&
                std::strcmp(current == nullptr ? "" : current, value == nullptr ? "" : value) == 0;
    QUIL_MemFreeD(current, __LINE__, "tools/quil/ini_commands");
    return same;
}

int ini_set(const Args &args) {
    const char *value = args.size() == 4 ? args[3].c_str() : nullptr;
    return with_document(
        args, 3, 4, "ini set", "expects FILE SECTION KEY [VALUE]", [&](Document &doc) -> int {
            if (holds_value(doc, args[1], args[2], value)) {
                return kOk;
            }
            uint32_t result = QUIL_Ini_SetValue(doc.get(), args[1].c_str(), args[2].c_str(), value);
            if (result != QUIL_SUCCESS) {
                return doc.report(result, args[1], args[2]);
            }
            return doc.close();
        });
}

int ini_del(const Args &args) {
    return with_document(
        args, 2, 3, "ini del", "expects FILE SECTION [KEY]", [&](Document &doc) -> int {
            uint32_t result = args.size() == 3
                                  ? QUIL_Ini_DeleteKey(doc.get(), args[1].c_str(), args[2].c_str())
                                  : QUIL_Ini_DeleteSection(doc.get(), args[1].c_str());
            if (result != QUIL_SUCCESS) {
                return doc.report(result, args[1], args.size() == 3 ? args[2] : "");
            }
            return doc.close();
        });
}

void print_list(char **list, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        std::printf("%s\n", list[i]);
    }
    QUIL_Ini_FreeList(list);
}

int ini_sections(const Args &args) {
    return with_document(args, 1, 1, "ini sections", "expects FILE", [&](Document &doc) -> int {
        uint32_t count = 0;
        char **list = nullptr;
        uint32_t result = QUIL_Ini_GetSections(doc.get(), &count, &list);
        if (result == INI_NO_SECTION || result == INI_NO_LINES) {
            return kOk; // a file without sections lists none
        }
        if (result != QUIL_SUCCESS) {
            return doc.report(result, "", "");
        }
        print_list(list, count);
        return kOk;
    });
}

int ini_keys(const Args &args) {
    return with_document(args, 2, 2, "ini keys", "expects FILE SECTION", [&](Document &doc) -> int {
        uint32_t count = 0;
        char **list = nullptr;
        uint32_t result = QUIL_Ini_GetKeys(doc.get(), args[1].c_str(), &count, &list);
        if (result == INI_NO_KEY) {
            return kOk; // the section exists and holds no key
        }
        if (result != QUIL_SUCCESS) {
            return doc.report(result, args[1], "");
        }
        print_list(list, count);
        return kOk;
    });
}

const std::map<uint32_t, const char *> kValidationProblems = {
    {INI_KEY_BEFORE_SECTION, "key line before the first section header"},
    {INI_BAD_SECTION, "malformed section header"},
    {INI_BAD_KEY, "key line without a key, or a key with a blank"},
    {INI_BAD_LINE, "neither a section header, a key line, a comment nor a blank line"},
    {INI_BAD_VALUE_LIST, "malformed value list"},
    {INI_BAD_COMMENT, "comment semicolon not preceded by a blank"},
};

int validate_one(const std::string &path) {
    Document doc(path);
    if (int status = doc.load(); status != kOk) {
        return status;
    }
    uint32_t slot = 0;
    uint32_t result = QUIL_Ini_Validate(doc.get(), &slot);
    if (result == QUIL_SUCCESS || result == INI_NO_LINES) {
        return kOk; // an empty document has nothing to refuse
    }
    auto problem = kValidationProblems.find(result);
    std::vector<uint32_t> starts = logical_line_starts(path);
    uint32_t line = slot >= 1 && slot <= starts.size() ? starts[slot - 1] : slot;
    std::fprintf(stderr, "%s:%u: %s\n", path.c_str(), line,
                 problem != kValidationProblems.end() ? problem->second : "invalid line");
    return kNotFound;
}

int ini_validate(const Args &args) {
    if (args.empty()) {
        return usage_error("ini validate", "expects FILE...");
    }
    int status = kOk;
    for (const std::string &path : args) {
        int one = validate_one(path);
        status = one > status ? one : status;
    }
    return status;
}

struct Subcommand {
    const char *name;
    int (*run)(const Args &);
};

constexpr Subcommand kSubcommands[] = {
    {"get", ini_get},   {"set", ini_set},           {"del", ini_del},
    {"keys", ini_keys}, {"sections", ini_sections}, {"validate", ini_validate},
};

} // namespace

int run_ini(const Args &args) {
    if (args.empty() || wants_help(args)) {
        std::fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kOk;
    }
    Args rest(args.begin() + 1, args.end());
    for (const Subcommand &sub : kSubcommands) {
        if (args[0] == sub.name) {
            return sub.run(rest);
        }
    }
    return usage_error("ini", "unknown subcommand '" + args[0] + "'");
}

} // namespace quil
