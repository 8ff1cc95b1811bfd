// INI documents and lines from the case files of tests/data/ini: the lines a document loads into,
// checked also against QUIL_Ini_ReadLine; what its lookups, edits, removals and validation answer
// in each mode; what it is saved as; and what the line grammar makes of one line. Then the real
// files of tests/data/ini edited as quil edits them: one line changes, no other byte.
#include <gtest/gtest.h>

#include <string>

#include "ini_write_support.h"
#include "wex_result_codes.h"

namespace {

uint32_t options_named(const std::string &name) {
    return name == "real"     ? INI_READ_REAL_FILES
           : name == "layout" ? INI_KEEP_LAYOUT
           : name == "both"   ? INI_READ_REAL_FILES | INI_KEEP_LAYOUT
                              : 0;
}

// Runs the "ask" fields of a case on doc (null for a case of lines alone).
void ask_all(const wextest::Case &c, IniFile *doc) {
    for (const auto &[field, value] : c.fields) {
        size_t arrow = value.find(" =>");
        if (field == "ask") {
            std::string answer = value.substr(arrow + 3);
            EXPECT_EQ(wextest::ask(doc, value.substr(0, arrow)),
                      answer.empty() ? answer : answer.substr(1));
        }
    }
}

TEST(IniCases, EveryCaseReadsEditsAndSavesAsItsFileSays) {
    for (const char *file : {"ini/reading.txt", "ini/edits.txt", "ini/lines.txt"}) {
        for (const wextest::Case &c : wextest::read_cases(file)) {
            SCOPED_TRACE(c.where);
            if (!c.has("doc")) {
                ask_all(c, nullptr);
                continue;
            }
            std::string original = c.get("doc");
            wextest::Doc d(original, options_named(c.get("options")));
            if (d.options == 0) {
                wextest::expect_load_reads(d);
            }
            ASSERT_EQ(d.loaded, std::stoul(c.get("load", "0")));
            if (d.loaded != QUIL_SUCCESS) {
                EXPECT_TRUE(wextest::is_all_zero(d.doc));
                continue;
            }
            ask_all(c, d.get());
            if (c.has("saved")) {
                ASSERT_EQ(QUIL_Ini_Close(d.path.c_str(), d.get()), QUIL_SUCCESS);
                EXPECT_EQ(wextest::read_file(d.path), c.get("saved"));
            }
        }
    }
}

// The lines of a text, each with its break.
wextest::Lines lines_of(const std::string &text) {
    wextest::Lines lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// How many lines of before a single change replaced (and added lines) to give after: the lines
// between their common start and end.
size_t lines_changed(const std::string &before, const std::string &after) {
    wextest::Lines a = lines_of(before), b = lines_of(after);
    size_t start = 0;
    while (start < a.size() && start < b.size() && a[start] == b[start]) {
        ++start;
    }
    size_t end = 0;
    while (end < a.size() - start && end < b.size() - start &&
           a[a.size() - 1 - end] == b[b.size() - 1 - end]) {
        ++end;
    }
    return std::max(a.size(), b.size()) - start - end;
}

// Each real file, read and edited as quil does: setting a new key in its last section, and then
// the last key of the file, changes exactly one line; the value reads back.
TEST(IniEdits, ARealFileChangesInTheOneLineThatAnEditAsksFor) {
    const std::string files[] = {"50-client.cnf",
                                 "dunstrc",
                                 "fail2ban-firewallcmd-rich-rules.conf",
                                 "fpc-dbase-Makefile.fpc",
                                 "inih-test.ini",
                                 "nasty-600-byte-line.conf",
                                 "nasty-bom-xdg-user-dirs.desktop",
                                 "odbc.ini.template",
                                 "odbcinst.ini.template",
                                 "pg_dump@.service",
                                 "php.ini-development",
                                 "qhelloworld_uiq3_emu.ini",
                                 "supervisord.conf",
                                 "vim.desktop"};
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        std::string bytes = wextest::read_file(wextest::data_path("ini/" + file));
        wextest::Doc d(bytes, INI_READ_REAL_FILES | INI_KEEP_LAYOUT);
        wextest::Lines sections = wextest::split(wextest::ask(d.get(), "sections"), ',');
        std::string entries = wextest::ask(d.get(), "entries");
        // The last key of a single-line value, as "section/key".
        std::string existing;
        for (const std::string &entry : wextest::split(entries, ',')) {
            size_t slash = entry.find('/'), equals = entry.find('=');
            if (slash != std::string::npos && equals != std::string::npos && slash > 0) {
                existing = entry.substr(0, equals);
            }
        }
        wextest::Lines edits = {"set|" + sections.back() + "|zz_check|1"};
        if (!existing.empty()) { // every setting of 50-client.cnf is commented out
            size_t slash = existing.find('/');
            edits.push_back("set|" + existing.substr(0, slash) + "|" + existing.substr(slash + 1) +
                            "|42");
        }
        for (const std::string &edit : edits) {
            EXPECT_EQ(wextest::ask(d.get(), edit), "");
            ASSERT_EQ(QUIL_Ini_Close(d.path.c_str(), d.get()), QUIL_SUCCESS);
            std::string saved = wextest::read_file(d.path);
            EXPECT_EQ(lines_changed(bytes, saved), 1u) << edit;
            d.reload(saved);
            wextest::Lines step = wextest::split(edit);
            EXPECT_EQ(wextest::ask(d.get(), "value|" + step[1] + "|" + step[2]), step[3]);
            bytes = saved;
        }
    }
}

} // namespace
