// quil ini: the loaded document that every ini command works on, the options of the commands
// and the commands that write.
#ifndef QUIL_INI_DOCUMENT_H
#define QUIL_INI_DOCUMENT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "quil.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace quil {

constexpr uint32_t kDefaultWaitMs = 10000;

// The options given before FILE.
struct IniOptions {
    uint32_t waitMs = kDefaultWaitMs;    // --wait, for the commands that write
    bool existing = false;               // --existing
    std::string format;                  // --format of get: empty, "sh", "lines" or "json"
    std::optional<std::string> fallback; // --default of get
    std::string type;                    // --type of get: empty, "int", "uint", "float", "bool"
};

// A line's text as the library cuts it by its grammar; the pieces are released with it.
struct CutLine {
    explicit CutLine(const char *text);
    ~CutLine();
    CutLine(const CutLine &) = delete;
    CutLine &operator=(const CutLine &) = delete;

    uint32_t kind = INI_LINE_UNSET;
    uint32_t result = QUIL_SUCCESS;
    char *name = nullptr; // the section name or the key
    char *value = nullptr;
    char *comment = nullptr;
};

// What is wrong with a line that the grammar refuses with code.
const char *line_problem(uint32_t code);

// How quil reads and edits files: as the programs that own real configuration files read them,
// changing only the bytes an edit asks for.
constexpr uint32_t kRealFiles = INI_READ_REAL_FILES | INI_KEEP_LAYOUT;

// A loaded document, released on every path (which also ends a load for update's lock).
class Document {
  public:
    // options: how the file is read (the strict grammar for validation).
    explicit Document(std::string path, uint32_t options = kRealFiles)
        : path_(std::move(path)), label_(path_), options_(options) {}
    // The INI text on standard input, which can be read only once: messages count its logical
    // lines instead of finding the physical ones.
    static Document standard_input() { return Document("/dev/stdin", "standard input"); }
    ~Document() { QUIL_Ini_Free(&doc_); }
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    // Loads the file; on failure says why and returns the exit status.
    int load();
    // Loads the file and holds its lock until the document is released, waiting at most waitMs
    // for another writer; on failure says why and returns the exit status.
    int load_for_update(uint32_t waitMs);
    // Writes the document back when it changed and releases it; returns the exit status.
    int close();

    IniFile *get() { return &doc_; }
    const std::string &path() const { return path_; }

    // Reports a failed lookup or edit code in words.
    int report(uint32_t code, const std::string &section, const std::string &key);
    // Reports a problem of the line in slot, by its physical line number.
    int report_line(uint32_t slot, const char *problem);

  private:
    Document(std::string path, std::string label)
        : path_(std::move(path)), label_(std::move(label)), options_(kRealFiles), stream_(true) {}
    int loaded(uint32_t result, uint32_t waitMs);
    std::string at_line(uint32_t line) const;
    uint32_t physical_line(uint32_t slot);
    uint32_t find_unreadable_line(uint32_t code);

    std::string path_;
    std::string label_;
    uint32_t options_;
    bool stream_ = false;
    IniFile doc_{};
};

// The physical line (1-based) on which each logical line of the file starts, as the library
// reads it; reading stops at the first line it refuses, whose start is the last entry.
std::vector<uint32_t> logical_line_starts(const std::string &path);

// The commands that write: each loads FILE for update, applies all its edits and saves once, or
// leaves FILE untouched.
int ini_set(const IniOptions &options, const Args &args);
int ini_del(const IniOptions &options, const Args &args);
int ini_merge(const IniOptions &options, const Args &args);

} // namespace quil

#endif
