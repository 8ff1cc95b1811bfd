// Helpers for the tests of the INI reading half: a document that frees itself, and documents
// loaded from bytes written to a temporary file.
#ifndef WEX_INI_READ_SUPPORT_H
#define WEX_INI_READ_SUPPORT_H

#include <string>
#include <vector>

#include "test_support.h"
#include "wex_ini.h"

namespace wextest {

// An IniFile that is released when the scope ends.
struct ScopedIni {
    IniFile doc{};
    ScopedIni() = default;
    ~ScopedIni() { QUIL_Ini_Free(&doc); }
    ScopedIni(const ScopedIni &) = delete;
    ScopedIni &operator=(const ScopedIni &) = delete;
    IniFile *operator->() { return &doc; }
    IniFile *get() { return &doc; }
};

inline bool is_all_zero(const IniFile &doc) {
    return doc.modified == 0 && doc.lineCount == 0 && doc.lineCapacity == 0 &&
           doc.physLineCount == 0 && doc.lines == nullptr;
}

// The texts of slots 0 to lineCount - 1 ("<null>" for a removed line).
inline std::vector<std::string> lines_of(const IniFile &doc) {
    std::vector<std::string> lines;
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        lines.emplace_back(doc.lines[i] != nullptr ? doc.lines[i] : "<null>");
    }
    return lines;
}

// Writes bytes to a file in dir and loads it into doc; returns the load's code.
inline uint32_t load_bytes(const TempDir &dir, const std::string &bytes, IniFile *doc) {
    std::string path = dir.file("doc.ini");
    write_file(path, bytes);
    return QUIL_Ini_Load(path.c_str(), doc);
}

// Takes a list from the listing operations and releases it.
inline std::vector<std::string> take_list(char **list) {
    std::vector<std::string> names;
    for (char **entry = list; entry != nullptr && *entry != nullptr; ++entry) {
        names.emplace_back(*entry);
    }
    QUIL_Ini_FreeList(list);
    return names;
}

} // namespace wextest

#endif
