// Editing INI documents: the written line formats, storing and inserting lines, setting a value by
// its paths, the strict grammar of validation and the removal of keys and sections; every refusal
// leaves the document as it was. Failed allocations: fault_sweep_test; random edits, saved and
// loaded again: the document fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "ini_parser/source/ini_store.h"
#include "ini_write_support.h"
#include "wex_result_codes.h"

namespace {

using wextest::Doc;
using wextest::Lines;
using wextest::split;

// Formats into slot 0 of a document emptied to one free slot; a failure must leave it free.
std::string format(Doc &d, bool section, const std::string &name, const char *value,
                   const char *comment) {
    wex::ini::drop_line(d.get(), 0);
    d.doc.modified = 0;
    uint32_t code = section ? QUIL_Ini_FormatSectionLine(d.get(), 0, name.c_str(), comment)
                            : QUIL_Ini_FormatKeyLine(d.get(), 0, name.c_str(), value, comment);
    EXPECT_EQ(d.doc.modified, code == QUIL_SUCCESS ? 1u : 0u) << name;
    return code != QUIL_SUCCESS ? "code " + std::to_string(code) : d.doc.lines[0];
}

// A formatted line is never longer than the 511 bytes the reader takes back.
TEST(IniFormat, EachFormatWritesTheLineOfItsFormWithinTheLengthTheReaderTakes) {
    const std::string v = std::string(500, 'v');
    // clang-format off
    const std::tuple<bool, std::string, const char *, const char *, std::string> cases[] = {
        {false, "Port", "80", "listen port", "Port=80 ;listen port\n"}, {false, "Port", "80", nullptr, "Port=80\n"},
        {false, "Port", nullptr, "listen port", "Port= ;listen port\n"}, {false, "Port", nullptr, nullptr, "Port=\n"},
        {false, "k", "", "", "k= ;\n"}, {true, "Network", nullptr, "main link", "[Network] ;main link\n"},
        {true, "Network", nullptr, nullptr, "[Network]\n"}, {false, "", "v", nullptr, "code 170"},
        {true, "", nullptr, nullptr, "code 170"}, {false, "kkkkkkkk", v.c_str(), nullptr, "kkkkkkkk=" + v + "\n"},
        {false, "kkkkkkkkk", v.c_str(), nullptr, "code 170"}, {false, "kkkkkk", v.c_str(), "c", "kkkkkk=" + v + " ;c\n"},
        {false, "kkkkkkk", v.c_str(), "c", "code 170"}, {true, v + "sssssss", nullptr, nullptr, "[" + v + "sssssss]\n"},
        {true, v + "ssssssss", nullptr, nullptr, "code 170"}, {true, v + "sssss", nullptr, "c", "[" + v + "sssss] ;c\n"},
        {true, v + "ssssss", nullptr, "c", "code 170"}};
    // clang-format on
    Doc d("x\n");
    for (const auto &[section, name, value, comment, line] : cases) {
        EXPECT_EQ(format(d, section, name, value, comment), line);
    }
    for (uint32_t code : {QUIL_Ini_FormatKeyLine(nullptr, 0, "k", "v", nullptr),
                          QUIL_Ini_FormatKeyLine(d.get(), 1, nullptr, "v", nullptr),
                          QUIL_Ini_FormatSectionLine(nullptr, 0, "s", nullptr),
                          QUIL_Ini_FormatSectionLine(d.get(), 1, nullptr, nullptr)}) {
        EXPECT_EQ(code, INI_BAD_ARGUMENT);
    }
}

// The case files hold what storing, inserting and appending do; here the growth by 50 slots.
TEST(IniStore, InsertingGrowsTheArrayByFiftySlots) {
    Doc d(std::string(198, '\n'));
    for (uint32_t after : {197u, 198u}) {
        ASSERT_EQ(QUIL_Ini_InsertKeyLine(d.get(), after, "y", "1", nullptr), QUIL_SUCCESS);
        EXPECT_EQ(d.doc.lineCapacity, after == 197 ? 200u : 250u);
    }
}

// The case files hold what SetValue refuses; here a line one byte longer than the reader takes.
TEST(IniSetValue, RefusesALineTooLongAndANullDocument) {
    const std::string longValue(505, 'v'); // one byte more than the line "k=... ;note\n" may hold
    Doc d("[a]\nk=1 ;note\n[b]\n");
    EXPECT_EQ(QUIL_Ini_SetValue(d.get(), "a", "k", longValue.c_str()), INI_BAD_ARGUMENT);
    EXPECT_TRUE(d.lines() == split("[a]\n|k=1 ;note\n|[b]\n") && d.doc.modified == 0);
    IniFile empty{};
    EXPECT_EQ(QUIL_Ini_SetValue(&empty, "a", "k", "v"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_SetValue(nullptr, "a", "k", "v"), INI_BAD_ARGUMENT);
}

// ---- Validation ----

// The case files hold the strict grammar's answers for lines and documents; here a document
// whose every line was removed, and null arguments.
TEST(IniValidate, AnEmptiedDocumentHasNoLinesAndNullArgumentsAreRefused) {
    Doc d("[a]\n");
    uint32_t lineNo = 0;
    ASSERT_EQ(QUIL_Ini_DeleteSection(d.get(), "a"), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Validate(d.get(), &lineNo), INI_NO_LINES);
    EXPECT_EQ(lineNo, 1u);
    IniFile noLines{};
    for (uint32_t code : {QUIL_Ini_Validate(nullptr, &lineNo), QUIL_Ini_Validate(d.get(), nullptr),
                          QUIL_Ini_Validate(&noLines, &lineNo), QUIL_Ini_CheckKeyLine(nullptr)}) {
        EXPECT_EQ(code, INI_BAD_ARGUMENT);
    }
    EXPECT_EQ(QUIL_Ini_CheckSectionLine(nullptr), INI_BAD_SECTION);
}

// ---- Removals ----

// The case files hold what removals remove; here null arguments, and the physical lines that a
// removal takes off the count (none for edited lines).
TEST(IniRemove, RefusesNullArgumentsAndCountsOffThePhysicalLinesOfLoadedLines) {
    Doc loaded("[a]\nk=1\\\n2\nj=3\n");
    ASSERT_EQ(QUIL_Ini_DeleteKey(loaded.get(), "a", "k"), QUIL_SUCCESS);
    EXPECT_EQ(loaded.doc.physLineCount, 3u);
    Doc d("");
    IniFile noLines{};
    for (uint32_t code :
         {QUIL_Ini_DeleteKey(d.get(), nullptr, "k"), QUIL_Ini_DeleteKey(d.get(), "a", nullptr),
          QUIL_Ini_DeleteKey(nullptr, "a", "k"), QUIL_Ini_DeleteSection(d.get(), nullptr),
          QUIL_Ini_DeleteSection(&noLines, "a")}) {
        EXPECT_EQ(code, INI_BAD_ARGUMENT);
    }
    ASSERT_EQ(QUIL_Ini_SetValue(d.get(), "a", "k", "1"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_DeleteSection(d.get(), "a"), QUIL_SUCCESS);
    EXPECT_EQ(d.doc.physLineCount, 0u) << "edited lines count no physical lines";
}

} // namespace
