// INI documents and lines from the case files of tests/data/ini: the lines a document loads into,
// checked also against QUIL_Ini_ReadLine; what its lookups, edits, removals and validation answer
// in each mode; what it is saved as; and what the line grammar makes of one line. The typed
// values of tests/data/typed_values.txt. Then the real
// files of tests/data/ini edited as quil edits them: one line changes, no other byte.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "ini_write_support.h"
#include "line_changes.h"
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
                IniFile zero{};
                ask_all(c, c.has("record") ? &zero : nullptr);
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

TEST(IniCases, EveryTextOfTheTypedValuesTableReadsAsItSays) {
    for (const wextest::Row &row : wextest::read_rows("typed_values.txt")) {
        const std::string &text = row.fields.at(1);
        EXPECT_EQ(wextest::typed(row.fields[0], {text == "<null>" ? nullptr : text.c_str()}),
                  row.fields.at(2))
            << row.where;
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
    wexfuzz::CommonEnds same = wexfuzz::common_ends(a, b);
    return std::max(a.size(), b.size()) - same.start - same.end;
}

// The real files of tests/data/ini/corpus.txt. Read by default, each loads as the line reader
// reads it, lists its sections, finds a value, and is saved byte for byte with a section appended.
// Read and edited as quil does, setting a new key in a section and then an existing key changes
// exactly that one line (a new section: its header and the key); the values read back.
TEST(IniCorpus, EveryRealFileReadsAndSavesAsItShouldAndChangesOnlyTheLineEdited) {
    for (const wextest::Row &row : wextest::read_rows("ini/corpus.txt")) {
        SCOPED_TRACE(row.where);
        const std::vector<std::string> &f = row.fields;
        const std::string bytes = wextest::read_file(wextest::data_path("ini/" + f.at(0)));
        wextest::Doc d(bytes);
        wextest::expect_load_reads(d);
        ASSERT_EQ(d.loaded, std::stoul(f.at(1)));
        uint32_t listCode = static_cast<uint32_t>(std::stoul(f.at(2)));
        if (d.loaded == QUIL_SUCCESS) {
            uint32_t count = 0;
            char **list = nullptr;
            EXPECT_EQ(QUIL_Ini_GetSections(d.get(), &count, &list), listCode);
            EXPECT_EQ(wextest::take_list(list).size(), std::stoul(f.at(3)));
            EXPECT_EQ(wextest::ask(d.get(), "value|" + f.at(4) + "|" + f.at(5)), f.at(6));
        }
        if (d.loaded == QUIL_SUCCESS && listCode != INI_BAD_LINE) { // no edit gets past a bad line
            ASSERT_EQ(QUIL_Ini_SetValue(d.get(), "wex", "k", "v"), QUIL_SUCCESS);
            ASSERT_EQ(QUIL_Ini_Close(d.path.c_str(), d.get()), QUIL_SUCCESS);
            // A last line without a break gets the document's (LF in each such file here) when a
            // line comes to follow it.
            bool unbroken = bytes.back() != '\n' && bytes.back() != '\r';
            EXPECT_EQ(wextest::read_file(d.path), bytes + (unbroken ? "\n" : "") + "[wex]\nk=v\n");
        }
        // Every setting of 50-client.cnf is commented out: only a new key there.
        const std::string &existing = f.at(7);
        wextest::Lines steps = {existing.substr(0, existing.find('|')) + "|zz_check|1"};
        if (existing.find('|') != std::string::npos) {
            steps.push_back(existing + "|42");
        }
        std::string before = bytes;
        d.options = INI_READ_REAL_FILES | INI_KEEP_LAYOUT;
        for (const std::string &step : steps) {
            d.reload(before);
            wextest::Lines w = wextest::split(step);
            // A new section takes its header and the key line.
            size_t lines = wextest::ask(d.get(), "keys|" + w[0]) == "code 10" ? 2 : 1;
            EXPECT_EQ(wextest::ask(d.get(), "set|" + step), "");
            ASSERT_EQ(QUIL_Ini_Close(d.path.c_str(), d.get()), QUIL_SUCCESS);
            std::string saved = wextest::read_file(d.path);
            EXPECT_EQ(lines_changed(before, saved), lines) << step;
            d.reload(saved);
            EXPECT_EQ(wextest::ask(d.get(), "value|" + w[0] + "|" + w[1]), w[2]);
            before = saved;
        }
    }
}

} // namespace
