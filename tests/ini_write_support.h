// Helpers for the tests of the INI writing half: a document loaded from a list of lines.
#ifndef WEX_INI_WRITE_SUPPORT_H
#define WEX_INI_WRITE_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ini_read_support.h"
#include "test_support.h"
#include "wex_result_codes.h"

namespace wextest {

using Lines = std::vector<std::string>;

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
