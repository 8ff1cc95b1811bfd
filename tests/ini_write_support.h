// Helpers of the INI tests: documents loaded from bytes that free themselves, and their lines.
#ifndef WEX_INI_WRITE_SUPPORT_H
#define WEX_INI_WRITE_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace wextest {

using Lines = std::vector<std::string>;

inline bool is_all_zero(const IniFile &doc) {
    const QuilFileIdentity &o = doc.origin;
    return doc.modified == 0 && doc.lineCount == 0 && doc.lineCapacity == 0 &&
           doc.physLineCount == 0 && doc.lines == nullptr && doc.lock == nullptr && o.device == 0 &&
           o.inode == 0 && o.size == 0 && o.modifiedNs == 0 && o.changedNs == 0 &&
           doc.originHash == 0 && doc.originPathHash == 0 && doc.loadedAt == 0 &&
           doc.hasOrigin == 0;
}

// Lines written as one string, each ending before a separator.
inline Lines split(const std::string &text, char separator = '|') {
    Lines lines;
    for (size_t start = 0; start < text.size();) {
        size_t bar = std::min(text.find(separator, start), text.size());
        lines.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return lines;
}

// A document record released at the end of the scope.
struct ScopedIni {
    IniFile doc{};
    ScopedIni() = default;
    ~ScopedIni() { QUIL_Ini_Free(&doc); }
    ScopedIni(const ScopedIni &) = delete;
    ScopedIni &operator=(const ScopedIni &) = delete;
    IniFile *operator->() { return &doc; }
    IniFile *get() { return &doc; }
};

// A document loaded from bytes written to a file of its own, released at the end of the scope.
struct Doc {
    TempDir dir;
    std::string path = dir.file("doc.ini");
    IniFile doc{};
    uint32_t loaded = QUIL_SUCCESS;
    explicit Doc(const std::string &bytes) { reload(bytes); }
    ~Doc() { QUIL_Ini_Free(&doc); }
    Doc(const Doc &) = delete;
    Doc &operator=(const Doc &) = delete;
    void reload(const std::string &bytes) {
        QUIL_Ini_Free(&doc);
        write_file(path, bytes);
        loaded = QUIL_Ini_Load(path.c_str(), &doc);
    }
    IniFile *get() { return &doc; }
    // The texts of slots 0 to lineCount - 1 ("<null>" for a removed line).
    Lines lines() const {
        Lines lines;
        for (uint32_t i = 0; i < doc.lineCount; ++i) {
            lines.emplace_back(doc.lines[i] != nullptr ? doc.lines[i] : "<null>");
        }
        return lines;
    }
};

// Takes a list from the listing operations and releases it.
inline Lines take_list(char **list) {
    Lines names;
    for (char **entry = list; entry != nullptr && *entry != nullptr; ++entry) {
        names.emplace_back(*entry);
    }
    QUIL_Ini_FreeList(list);
    return names;
}

// The lines of a file as QUIL_Ini_ReadLine reads them one after the other, and the code that
// ended the reading (0 at the end of the file).
inline uint32_t read_line_by_line(const std::string &path, Lines *lines, uint32_t *physLines) {
    QUIL_FILE *file = QUIL_Fopen(path.c_str(), "r");
    char *line = nullptr;
    uint32_t length = 0;
    uint32_t phys = 0;
    uint32_t code = QUIL_SUCCESS;
    while ((code = QUIL_Ini_ReadLine(&line, file, &length, &phys)) == QUIL_SUCCESS) {
        lines->emplace_back(line);
        *physLines += phys;
        QUIL_MemFreeD(line, __LINE__, "tests/ini_write_support");
    }
    QUIL_Fclose(file);
    return code == INI_NO_LINES ? QUIL_SUCCESS : code;
}

} // namespace wextest

#endif
