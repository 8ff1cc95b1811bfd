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
}

// Documents and results are lines joined by '|'; "<null>" is a removed line.
TEST(IniStore, StoresInsertsAndAppendsOnlyWhereItMayAndGrowsByFiftySlots) {
    Doc d("[a]\nx=1\n[b]\n");
    // clang-format off
    const uint32_t refused[] = {
        QUIL_Ini_StoreLine(d.get(), 3, ""), QUIL_Ini_StoreLine(d.get(), 3, nullptr), QUIL_Ini_StoreLine(d.get(), 0, "b=2\n"),
        QUIL_Ini_StoreLine(d.get(), d.doc.lineCapacity, "b=2\n"), QUIL_Ini_StoreLine(nullptr, 1, "b=2\n"),
        QUIL_Ini_InsertKeyLine(d.get(), 3, "y", "1", nullptr), QUIL_Ini_InsertKeyLine(d.get(), UINT32_MAX, "y", "1", nullptr),
        QUIL_Ini_InsertKeyLine(nullptr, 0, "y", "1", nullptr), QUIL_Ini_AppendSectionLine(d.get(), ""),
        QUIL_Ini_AppendSectionLine(nullptr, "x"), QUIL_Ini_FormatKeyLine(nullptr, 0, "k", "v", nullptr),
        QUIL_Ini_FormatKeyLine(d.get(), 1, nullptr, "v", nullptr), QUIL_Ini_FormatSectionLine(nullptr, 0, "s", nullptr),
        QUIL_Ini_FormatSectionLine(d.get(), 1, nullptr, nullptr)};
    // clang-format on
    for (size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_EQ(refused[i], i < 2 ? INI_NO_LINES : INI_BAD_ARGUMENT) << i; // 130: no text
    }
    EXPECT_TRUE(d.lines() == split("[a]\n|x=1\n|[b]\n") && d.doc.modified == 0);
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(d.get(), 1, "y", "2", "c"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_AppendSectionLine(d.get(), "c"), QUIL_SUCCESS);
    EXPECT_EQ(d.lines(), split("[a]\n|x=1\n|y=2 ;c\n|[b]\n|[c]\n"));
    ASSERT_EQ(QUIL_Ini_DeleteKey(d.get(), "a", "x"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(d.get(), 0, "z", "3", nullptr), QUIL_SUCCESS);
    EXPECT_EQ(d.lines(), split("[a]\n|z=3\n|y=2 ;c\n|[b]\n|[c]\n"))
        << "a removed line is taken over";
    d.reload(std::string(198, '\n'));
    for (uint32_t after : {197u, 198u}) {
        ASSERT_EQ(QUIL_Ini_InsertKeyLine(d.get(), after, "y", "1", nullptr), QUIL_SUCCESS);
        EXPECT_EQ(d.doc.lineCapacity, after == 197 ? 200u : 250u);
    }
}

TEST(IniSetValue, PutsTheLineWhereItsPathSays) {
    // clang-format off
    const std::tuple<const char *, const char *, const char *, const char *, const char *> cases[] = {
        {"", "Net", "Port", "80", "[Net]\n|Port=80\n"}, // a new section in an empty document
        // A new key goes after the last slot of its section.
        {"[a]\n|x=1\n|\n|;c\n|[b]\n|y=2\n", "a", "z", "3", "[a]\n|x=1\n|\n|;c\n|z=3\n|[b]\n|y=2\n"},
        {"x=0\n|[a]\n", "A", "k", "v", "x=0\n|[a]\n|k=v\n"},
        // A replaced line keeps the spelling of the key and its comment.
        {"[Net]\r\n|Port = 1 ;old\r\n", "net", "PORT", "2", "[Net]\r\n|Port=2 ;old\n"},
        {"[s]\n|Port=1 ;old\n", "s", "Port", nullptr, "[s]\n|Port= ;old\n"}, {"[s]\n|k=v ;\n", "s", "k", "new", "[s]\n|k=new ;\n"},
        // The later of two sections and the later of two keys.
        {"[s]\n|k=1\n|[s]\n|k=2\n|k=3\n|[t]\n", "s", "k", "9", "[s]\n|k=1\n|[s]\n|k=2\n|k=9\n|[t]\n"},
        {"[a]\n", "b", nullptr, nullptr, "[a]\n|[b]\n"}, {"[a]\n", "a", "k", "\"x ;y\"", "[a]\n|k=\"x ;y\"\n"},
        {"[a]\n", "a", "path", "C:\\\\", "[a]\n|path=C:\\\\\n"}, {"junk\n|[a]\n", "a", "k", "1", "junk\n|[a]\n|k=1\n"},
        // A removed slot after the section is taken over.
        {"[a]\n|x=1\n|[b]\n|y=2\n", "a", "z", "3", "[a]\n|<null>|z=3\n|[b]\n|y=2\n"}};
    // clang-format on
    for (const auto &[before, section, key, value, after] : cases) {
        std::string bytes = before;
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '|'), bytes.end());
        Doc d(bytes);
        if (std::string(after).find("<null>") != std::string::npos) {
            ASSERT_EQ(QUIL_Ini_DeleteKey(d.get(), "a", "x"), QUIL_SUCCESS);
        }
        ASSERT_EQ(QUIL_Ini_SetValue(d.get(), section, key, value), QUIL_SUCCESS) << after;
        EXPECT_TRUE(d.lines() == split(after) && d.doc.modified == 1) << after;
    }
}

TEST(IniSetValue, RefusesWhatWouldNotReadBackAndChangesNothing) {
    const std::string longValue(505, 'v'); // one byte more than the line "k=... ;note\n" may hold
    // clang-format off
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {nullptr, "k", "v"}, {"", "k", "v"}, {"a", "", "v"}, {"a", nullptr, "v"}, {"a", "k", "1\n[evil]"},
        {"a", "new\nkey", "1"}, {"new\nsection", "k", "1"}, {"a", "x=y", "1"}, {"x]y", "k", "1"}, {" c ", "k", "1"},
        {"a", " z", "1"}, {"a", ";z", "1"}, {"a", "z", "C:\\dir\\"}, {"a", "k", "x ;y"}, {"a", "k", longValue.c_str()}};
    // clang-format on
    Doc d("[a]\nk=1 ;note\n[b]\n");
    for (const auto &[section, key, value] : cases) {
        EXPECT_EQ(QUIL_Ini_SetValue(d.get(), section, key, value), INI_BAD_ARGUMENT)
            << (section ? section : "<null>") << "/" << (key ? key : "<null>") << "=" << value;
    }
    EXPECT_TRUE(d.lines() == split("[a]\n|k=1 ;note\n|[b]\n") && d.doc.modified == 0);
    d.reload("[a]\nk=1\n[b]\nbad\n"); // an invalid line after the section fails every path
    EXPECT_EQ(QUIL_Ini_SetValue(d.get(), "a", "k", "2"), INI_BAD_LINE);
    EXPECT_EQ(QUIL_Ini_SetValue(d.get(), "new", "k", "2"), INI_BAD_LINE);
    EXPECT_TRUE(d.lines() == split("[a]\n|k=1\n|[b]\n|bad\n") && d.doc.modified == 0);
    IniFile empty{};
    EXPECT_EQ(QUIL_Ini_SetValue(&empty, "a", "k", "v"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_SetValue(nullptr, "a", "k", "v"), INI_BAD_ARGUMENT);
}

// ---- Validation ----

TEST(IniValidate, LinesAndDocumentsGiveTheStrictGrammarsCodeAndTheFirstOffendingLine) {
    // clang-format off
    const std::pair<std::string, uint32_t> keyLines[] = {
        {"k=1, 2\n", 0}, {"k=1,2\n", 180}, {"k=a;b\n", 190}, {"k=\"abc\n", 180}, {"k=x ;c\n", 0}, {"k=x\t;c\n", 0},
        {"my key=1\n", 120}, {"=1\n", 120}, {" =1\n", 120}, {"k\tx=1\n", 0}, {"abc\n", 160}, {"k=\n", 0}, {"k=", 0},
        {"k=   \r\n", 0}, {"k= ;c\n", 0}, {"k=;c\n", 190}, {"k=\"a, b\", c\n", 0}, {"k=\"a;b\" ;c\n", 0},
        {"k=\"a\\\"b\"\n", 0}, {"k=\"a\\\"\n", 180}, {"k=\"a\",b\n", 180}, {"k=1, , 2\n", 180}, {"k=1, ;c\n", 180},
        {"k=1, \n", 180}, {"k=1,", 180}, {"k=\"abc\"", 0}, {"\xEF\xBB\xBFk=1\n", 0}, {"\xEF\xBB\xBF=1\n", 120}};
    const std::pair<std::string, uint32_t> sectionLines[] = {
        {"[a]\n", 0}, {"[a]", 0}, {"[ sect ]\r\n", 0}, {" [a]\n", 110}, {"[a];c\n", 110}, {"[a] x\n", 110},
        {"[a] ;c\n", 0}, {"[a]   \n", 0}, {"[a]\t;c\n", 110}, {"[]\n", 110}, {"[ ]\n", 110}, {"[a[b]\n", 110},
        {"a]\n", 110}, {"[a\n", 110}, {"\xEF\xBB\xBF[a]\n", 0}};
    const std::tuple<const char *, uint32_t, uint32_t> documents[] = {
        {"; c\n[a] ;x\nk=1, 2\n\n", QUIL_SUCCESS, 4}, {"; c\nk=1\n[a]\n", INI_KEY_BEFORE_SECTION, 2},
        {"[a]\nx=1\nmy key=1\n", INI_BAD_KEY, 3}, {"[a]\n  [b]\n", INI_BAD_SECTION, 2},
        {"[a]\njunk\nk=a;b\n", INI_BAD_LINE, 2}, {"[a]\nk=a;b\n", INI_BAD_COMMENT, 2},
        {"[a]\nk=\"x\n", INI_BAD_VALUE_LIST, 2}, {"[a]\nk=1, \\\n2\nk=1,2\n", INI_BAD_VALUE_LIST, 3},
        {"\xEF\xBB\xBF[a]\nk=1\n", QUIL_SUCCESS, 2}, {"", INI_NO_LINES, 0}};
    // clang-format on
    for (const auto &[text, result] : keyLines) {
        EXPECT_EQ(QUIL_Ini_CheckKeyLine(text.c_str()), result) << text;
    }
    for (const auto &[text, result] : sectionLines) {
        EXPECT_EQ(QUIL_Ini_CheckSectionLine(text.c_str()), result) << text;
    }
    for (const auto &[text, result, line] : documents) {
        Doc d(text);
        uint32_t lineNo = 99;
        EXPECT_EQ(QUIL_Ini_Validate(d.get(), &lineNo), result) << text;
        EXPECT_TRUE(lineNo == line && d.doc.modified == 0) << text;
    }
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

// A removal reads the whole document before it removes anything, and removes from every section
// of the name; "code N" leaves the document unchanged.
TEST(IniRemove, RemovesFromEverySectionOfTheNameOrNothing) {
    // clang-format off
    const std::tuple<const char *, const char *, const char *, const char *> cases[] = {
        {"[Net]\nPORT=1\nhost=h\n[x]\nport=3\n[net]\nPort=2\n", "net", "port", "[Net]\n|<null>|host=h\n|[x]\n|port=3\n|[net]\n|<null>"},
        {"top=1\n[a]\nx=1\n\n; about b\n[b]\ny=2\n[A]\nz=3\n", "a", nullptr, "top=1\n|<null>|<null>|<null>|<null>|[b]\n|y=2\n|<null>|<null>"},
        {"k=0\n[a]\nx=1\n", "a", "k", "code 20"}, {"k=0\n[a]\nx=1\n", "b", "x", "code 10"},
        {"k=0\n[a]\nx=1\n", "b", nullptr, "code 10"}, {"[a]\nx=1\n[b]\n=2\n", "a", "x", "[a]\n|<null>|[b]\n|=2\n"},
        {"[a]\nx=1\n[b]\n=2\n", "b", "y", "code 120"}, {"[a]\nx=1\n[b]\njunk\n", "a", "x", "code 160"},
        {"[a]\nx=1\n[b]\njunk\n", "a", nullptr, "code 160"}, {"", "a", "k", "code 130"}, {"", "a", nullptr, "code 130"}};
    // clang-format on
    for (const auto &[text, section, key, after] : cases) {
        Doc d(text);
        const Lines before = d.lines();
        uint32_t phys = d.doc.physLineCount;
        uint32_t code = key != nullptr ? QUIL_Ini_DeleteKey(d.get(), section, key)
                                       : QUIL_Ini_DeleteSection(d.get(), section);
        if (code != QUIL_SUCCESS) {
            EXPECT_EQ("code " + std::to_string(code), after) << text;
            EXPECT_TRUE(d.lines() == before && d.doc.modified == 0) << text;
            continue;
        }
        Lines now = d.lines();
        EXPECT_EQ(now, split(after)) << text;
        EXPECT_EQ(d.doc.modified, 1u);
        auto removed = static_cast<uint32_t>(std::count(now.begin(), now.end(), "<null>"));
        EXPECT_EQ(d.doc.physLineCount + removed, phys);
    }
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
