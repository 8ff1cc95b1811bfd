// Helpers for the tests of the INI writing half: documents that free themselves, documents loaded
// from bytes or from a list of lines.
#ifndef WEX_INI_WRITE_SUPPORT_H
#define WEX_INI_WRITE_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace wextest {

using Lines = std::vector<std::string>;

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
    const QuilFileIdentity &o = doc.origin;
    return doc.modified == 0 && doc.lineCount == 0 && doc.lineCapacity == 0 &&
           doc.physLineCount == 0 && doc.lines == nullptr && doc.lock == nullptr && o.device == 0 &&
           o.inode == 0 && o.size == 0 && o.modifiedNs == 0 && o.changedNs == 0 &&
           doc.originHash == 0 && doc.originPathHash == 0 && doc.loadedAt == 0 &&
           doc.hasOrigin == 0;
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

inline std::string joined(const Lines &lines) {
    std::string bytes;
    for (const std::string &line : lines) {
        bytes += line;
    }
    return bytes;
}

// A fixture holding one document, loaded from lines that each carry their own break.
class IniLinesTest : public testing::Test {
  protected:
    void load(const Lines &lines) {
        ASSERT_EQ(load_bytes(dir_, joined(lines), doc_.get()), QUIL_SUCCESS);
    }

    Lines lines() const { return lines_of(doc_.doc); }

    TempDir dir_;
    ScopedIni doc_;
};

} // namespace wextest

#endif
