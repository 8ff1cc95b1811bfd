// quil ini: loading and saving the document of a command, and every result code of the library
// as a one-line message naming the file and, where there is one, the physical line.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "ini_document.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace quil {

namespace {

const char kSource[] = "tools/quil/ini_document";

// What the adapter says of its last failed call: the system's cause, or fallback without one.
std::string cause_or(const char *fallback) {
    int32_t cause = QUIL_LastError();
    return cause != 0 ? QUIL_ErrorText(cause) : fallback;
}

// The names (hard links) the file at path has; 1 when it cannot be told.
nlink_t names_of(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? info.st_nlink : 1;
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
// A wait in seconds as the user would write it.
std::string seconds_text(uint32_t waitMs) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", waitMs / 1000.0);
    return text;
}

} // namespace

CutLine::CutLine(const char *text) {
    result = QUIL_Ini_GetLineType(text, &kind);
    if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
        result = QUIL_Ini_ParseSectionLine(text, &name, &comment);
    } else if (result == QUIL_SUCCESS && kind == INI_LINE_KEY) {
        result = QUIL_Ini_ParseKeyLine(text, &name, &value, &comment);
    }
}

CutLine::~CutLine() {
    for (char *piece : {name, value, comment}) {
        QUIL_MemFreeD(piece, __LINE__, kSource);
    }
}

const char *line_problem(uint32_t code) {
    switch (code) {
    case INI_BAD_SECTION:
        return "malformed section header";
    case INI_BAD_KEY:
        return "key line without a key";
    default:
        return "neither a section header, a key line, a comment nor a blank line";
    }
}

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

int Document::load() {
    return loaded(QUIL_Ini_LoadWithOptions(path_.c_str(), &doc_, options_), 0);
}

int Document::load_for_update(uint32_t waitMs) {
    return loaded(QUIL_Ini_LoadForUpdateWithOptions(path_.c_str(), &doc_, waitMs, options_),
                  waitMs);
}

int Document::loaded(uint32_t result, uint32_t waitMs) {
    switch (result) {
    case QUIL_SUCCESS:
        return kOk;
    case INI_OPEN_FAILED:
        complain(label_ + ": " + cause_or("cannot be read"));
        return kSystem;
    case INI_LOCK_TIMEOUT:
        complain(label_ +
                 ": another program held its lock for writing longer than --wait allowed (" +
                 seconds_text(waitMs) + " s); nothing was changed");
        return kSystem;
    case INI_LINE_TOO_LONG: {
        std::vector<uint32_t> starts =
            stream_ ? std::vector<uint32_t>{} : logical_line_starts(path_);
        uint32_t line = starts.empty() ? 0 : starts.back();
        complain(at_line(line) + ": line of 512 bytes or more (continuations included)");
        return kNotFound;
    }
    case INI_BAD_LINE:
        complain(at_line(stream_ ? 0 : line_of_first_nul(path_)) + ": NUL byte: not a text file");
        return kNotFound;
    case INI_NO_MEMORY:
        complain(label_ + ": out of memory while reading");
        return kSystem;
    default:
        complain(label_ + ": cannot be read (result " + std::to_string(result) + ")");
        return kSystem;
    }
}

int Document::close() {
    bool changed = doc_.modified != 0;
    nlink_t names = changed ? names_of(path_) : 1;
    char *backup = nullptr;
    uint32_t result = QUIL_Ini_CloseWithBackupName(path_.c_str(), &doc_, &backup);
    bool kept = backup != nullptr;
    std::string backupName = kept ? backup : "the backup file";
    QUIL_MemFreeD(backup, __LINE__, kSource);
    if (result == QUIL_SUCCESS || !changed) {
        if (changed && names > 1) {
            complain(label_ + ": saved; its " + std::to_string(names - 1) +
                     " other name(s) (hard links) keep the old text");
        }
        return kOk;
    }
    std::string unchanged = "; the file is unchanged";
    switch (result) {
    case INI_CHANGED_ON_DISK:
        complain(label_ +
                 ": not saved: another program changed or replaced it after quil read it; "
                 "it is left as that program wrote it, and quil's text is in " +
                 backupName);
        break;
    case INI_NOT_WRITABLE:
        complain(label_ + ": not saved: " + cause_or("may not be written") + unchanged);
        break;
    case INI_BACKUP_FAILED:
        complain(label_ + ": not saved: " +
                 (QUIL_LastError() == EEXIST ? std::string("a file exists at the backup file's name")
                                             : "writing the backup file failed (" +
                                                   cause_or("short write") + ")") +
                 unchanged);
        break;
    case INI_SAVE_FAILED:
        complain(label_ + ": not saved: " + cause_or("the file could not be replaced") +
                 (kept ? "; quil's text is in " + backupName : unchanged));
        break;
    case INI_NO_MEMORY:
        complain(label_ + ": not saved: out of memory");
        break;
    default:
        complain(label_ + ": not saved (result " + std::to_string(result) + ")");
    }
    return kSystem;
}

// The file and the line for a message; input that cannot be read twice (a pipe) has no line 0.
std::string Document::at_line(uint32_t line) const {
    return line == 0 ? label_ : label_ + ": line " + std::to_string(line);
}

uint32_t Document::physical_line(uint32_t slot) {
    bool joined = (options_ & INI_READ_REAL_FILES) == 0 && !stream_;
    std::vector<uint32_t> starts = joined ? logical_line_starts(path_) : std::vector<uint32_t>{};
    return slot < starts.size() ? starts[slot] : slot + 1;
}

int Document::report_line(uint32_t slot, const char *problem) {
    complain(at_line(physical_line(slot)) + ": " + problem);
    return kNotFound;
}

// The last line (from the end, as lookups walk) that the grammar refuses with code.
uint32_t Document::find_unreadable_line(uint32_t code) {
    for (uint32_t slot = doc_.lineCount; slot-- > 0;) {
        if (doc_.lines[slot] != nullptr && CutLine(doc_.lines[slot]).result == code) {
            return slot;
        }
    }
    return 0;
}

int Document::report(uint32_t code, const std::string &section, const std::string &key) {
    switch (code) {
    case INI_NO_SECTION:
    case INI_NO_LINES:
        complain(label_ + ": no section [" + section + "]");
        return kNotFound;
    case INI_NO_KEY:
        complain(label_ + ": no key " + key + " in section [" + section + "]");
        return kNotFound;
    case INI_BAD_LINE:
    case INI_BAD_SECTION:
    case INI_BAD_KEY:
        return report_line(find_unreadable_line(code), line_problem(code));
    case INI_BAD_ARGUMENT:
        complain(label_ + ": refused: the section, key or value would not read back as written "
                          "(an empty name, a line break, blanks around a value, '=' in a key, ']' "
                          "in a section name, or \" ;\" outside quotes); nothing was changed");
        return kNotFound;
    case INI_NO_MEMORY:
        complain(label_ + ": out of memory");
        return kSystem;
    default:
        complain(label_ + ": failed (result " + std::to_string(code) + ")");
        return kSystem;
    }
}

} // namespace quil
