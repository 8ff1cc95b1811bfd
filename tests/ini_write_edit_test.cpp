// Editing INI documents: the six written line formats, storing, inserting and appending lines,
// and setting a value by its three paths, with every refusal leaving the document as it was.
// Every allocation failure of every path is swept in fault_sweep_test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace {

using wextest::Lines;

using IniEdit = wextest::IniLinesTest;

// Lines written as one string, each ending before a '|'.
Lines split(const std::string &text) {
    Lines lines;
    for (size_t start = 0; start < text.size();) {
        size_t bar = std::min(text.find('|', start), text.size());
        lines.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return lines;
}

// ---- The six formats ----

TEST_F(IniEdit, EachFormatWritesTheLineOfItsForm) {
    struct {
        bool section;
        const char *first; // key or section name
        const char *value;
        const char *comment;
        const char *line;
    } const cases[] = {
        {false, "Port", "80", "listen port", "Port=80 ;listen port\n"},
        {false, "Port", "80", nullptr, "Port=80\n"},
        {false, "Port", nullptr, "listen port", "Port= ;listen port\n"},
        {false, "Port", nullptr, nullptr, "Port=\n"},
        {false, "k", "", "", "k= ;\n"},
        {true, "Network", nullptr, "main link", "[Network] ;main link\n"},
        {true, "Network", nullptr, nullptr, "[Network]\n"},
    };
    load({});
    doc_->lineCount = 1; // slot 0 is released with the document
    for (const auto &c : cases) {
        QUIL_MemFreeSetNullD(&doc_->lines[0], __LINE__, "test");
        doc_->modified = 0;
        uint32_t result = c.section
                              ? QUIL_Ini_FormatSectionLine(doc_.get(), 0, c.first, c.comment)
                              : QUIL_Ini_FormatKeyLine(doc_.get(), 0, c.first, c.value, c.comment);
        ASSERT_EQ(result, QUIL_SUCCESS) << c.line;
        EXPECT_STREQ(doc_->lines[0], c.line);
        EXPECT_EQ(doc_->modified, 1u);
    }
}

// A formatted line is never longer than the 511 bytes the reader takes back.
TEST_F(IniEdit, FormatsRefuseEmptyNamesAndLinesTheReaderCouldNotTakeBack) {
    struct {
        bool section;
        size_t nameLength;
        const char *comment;
        uint32_t result;
    } const cases[] = {
        // Keys with a value of 500 bytes.
        {false, 8, nullptr, QUIL_SUCCESS},      {false, 9, nullptr, INI_BAD_ARGUMENT},
        {false, 6, "c", QUIL_SUCCESS}, // 511 bytes with the comment
        {false, 7, "c", INI_BAD_ARGUMENT},      {true, 507, nullptr, QUIL_SUCCESS},
        {true, 508, nullptr, INI_BAD_ARGUMENT}, {true, 505, "c", QUIL_SUCCESS},
        {true, 506, "c", INI_BAD_ARGUMENT},     {false, 0, nullptr, INI_BAD_ARGUMENT},
        {true, 0, nullptr, INI_BAD_ARGUMENT},
    };
    load({});
    doc_->lineCount = 1;
    const std::string value(500, 'v');
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.nameLength) + (c.section ? " section" : " key"));
        QUIL_MemFreeSetNullD(&doc_->lines[0], __LINE__, "test");
        doc_->modified = 0;
        std::string first(c.nameLength, 'k');
        uint32_t result =
            c.section
                ? QUIL_Ini_FormatSectionLine(doc_.get(), 0, first.c_str(), c.comment)
                : QUIL_Ini_FormatKeyLine(doc_.get(), 0, first.c_str(), value.c_str(), c.comment);
        EXPECT_EQ(result, c.result);
        if (result == QUIL_SUCCESS) {
            EXPECT_LE(std::string(doc_->lines[0]).size(), 511u);
        } else {
            EXPECT_EQ(doc_->lines[0], nullptr);
            EXPECT_EQ(doc_->modified, 0u);
        }
    }
    EXPECT_EQ(QUIL_Ini_FormatKeyLine(nullptr, 0, "k", "v", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_FormatKeyLine(doc_.get(), 1, nullptr, "v", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_FormatSectionLine(nullptr, 0, "s", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_FormatSectionLine(doc_.get(), 1, nullptr, nullptr), INI_BAD_ARGUMENT);
}

// ---- Storing, inserting and appending ----

TEST_F(IniEdit, StoreLineRefusesEmptyTextsAndSlotsItMayNotFill) {
    load({"a=1\n"});
    EXPECT_EQ(QUIL_Ini_StoreLine(doc_.get(), 1, ""), INI_NO_LINES);
    EXPECT_EQ(QUIL_Ini_StoreLine(doc_.get(), 1, nullptr), INI_NO_LINES);
    EXPECT_EQ(QUIL_Ini_StoreLine(doc_.get(), 0, "b=2\n"), INI_BAD_ARGUMENT) << "slot in use";
    EXPECT_EQ(QUIL_Ini_StoreLine(doc_.get(), doc_->lineCapacity, "b=2\n"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_StoreLine(nullptr, 1, "b=2\n"), INI_BAD_ARGUMENT);
    EXPECT_EQ(lines(), Lines{"a=1\n"});
    EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(IniEdit, InsertKeyLineMovesTheLaterLinesUpOrTakesOverARemovedLine) {
    load({"[a]\n", "x=1\n", "[b]\n"});
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 1, "y", "2", "c"), QUIL_SUCCESS);
    EXPECT_EQ(lines(), split("[a]\n|x=1\n|y=2 ;c\n|[b]\n"));
    ASSERT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 0, "z", "3", nullptr), QUIL_SUCCESS);
    EXPECT_EQ(lines(), split("[a]\n|z=3\n|y=2 ;c\n|[b]\n"));
}

TEST_F(IniEdit, InsertKeyLineRefusesAPlaceOutsideTheDocument) {
    load({"[a]\n"});
    EXPECT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 1, "y", "1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), UINT32_MAX, "y", "1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_InsertKeyLine(nullptr, 0, "y", "1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(lines(), Lines{"[a]\n"});
}

// The array grows by 50 slots as soon as lineCount + 1 reaches the capacity.
TEST_F(IniEdit, InsertionsGrowTheArrayWhenTheLastFreeSlotWouldBeTaken) {
    load(Lines(198, "x=1\n"));
    ASSERT_EQ(doc_->lineCapacity, 200u);
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 197, "y", "1", nullptr), QUIL_SUCCESS);
    EXPECT_EQ(doc_->lineCapacity, 200u);
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 198, "z", "1", nullptr), QUIL_SUCCESS);
    EXPECT_EQ(doc_->lineCapacity, 250u);
    EXPECT_EQ(doc_->lineCount, 200u);
    EXPECT_EQ(lines().back(), "z=1\n");
}

TEST_F(IniEdit, AppendSectionLineAddsAHeaderAtTheEnd) {
    load({"a=1\r\n"});
    ASSERT_EQ(QUIL_Ini_AppendSectionLine(doc_.get(), "net"), QUIL_SUCCESS);
    EXPECT_EQ(lines(), (Lines{"a=1\r\n", "[net]\n"}));
    EXPECT_EQ(QUIL_Ini_AppendSectionLine(doc_.get(), ""), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_AppendSectionLine(nullptr, "x"), INI_BAD_ARGUMENT);
}

// ---- Setting a value ----

// Documents are lines joined by '|'; "<null>" is a removed line.
TEST_F(IniEdit, SetValuePutsTheLineWhereItsPathSays) {
    struct {
        const char *before, *section, *key, *value, *after;
    } const cases[] = {
        {"", "Net", "Port", "80", "[Net]\n|Port=80\n"}, // a new section in an empty document
        // A new key goes after the last slot of its section.
        {"[a]\n|x=1\n|\n|;c\n|[b]\n|y=2\n", "a", "z", "3", "[a]\n|x=1\n|\n|;c\n|z=3\n|[b]\n|y=2\n"},
        {"x=0\n|[a]\n", "A", "k", "v", "x=0\n|[a]\n|k=v\n"},
        // A replaced line keeps the spelling of the key and its comment.
        {"[Net]\r\n|Port = 1 ;old\r\n", "net", "PORT", "2", "[Net]\r\n|Port=2 ;old\n"},
        {"[s]\n", "s", "Port", nullptr, "[s]\n|Port=\n"},
        {"[s]\n|Port=1 ;old\n", "s", "Port", nullptr, "[s]\n|Port= ;old\n"},
        {"[s]\n|k=v ;\n", "s", "k", "new", "[s]\n|k=new ;\n"},
        // The later of two sections and the later of two keys.
        {"[s]\n|k=1\n|[s]\n|k=2\n|k=3\n|[t]\n", "s", "k", "9",
         "[s]\n|k=1\n|[s]\n|k=2\n|k=9\n|[t]\n"},
        {"[a]\n", "b", nullptr, nullptr, "[a]\n|[b]\n"}, // a null key: the header alone
        {"[a]\n", "Big Net", "k", "1", "[a]\n|[Big Net]\n|k=1\n"},
        {"[a]\n", "a", "k", "\"x ;y\"", "[a]\n|k=\"x ;y\"\n"},
        {"[a]\n", "a", "path", "C:\\\\", "[a]\n|path=C:\\\\\n"},
        {"junk\n|[a]\n", "a", "k", "1", "junk\n|[a]\n|k=1\n"}, // lines before are not looked at
        // A removed slot after the section is taken over.
        {"[a]\n|x=1\n|[b]\n|y=2\n", "a", "z", "3", "[a]\n|<null>|z=3\n|[b]\n|y=2\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.after);
        wextest::ScopedIni doc;
        ASSERT_EQ(wextest::load_bytes(dir_, wextest::joined(split(c.before)), doc.get()),
                  QUIL_SUCCESS);
        if (std::string(c.after).find("<null>") != std::string::npos) {
            ASSERT_EQ(QUIL_Ini_DeleteKey(doc.get(), "a", "x"), QUIL_SUCCESS);
        }
        ASSERT_EQ(QUIL_Ini_SetValue(doc.get(), c.section, c.key, c.value), QUIL_SUCCESS);
        EXPECT_EQ(wextest::lines_of(doc.doc), split(c.after));
        EXPECT_EQ(doc->modified, 1u);
    }
}

// ---- Refusals: the document stays as it was ----

TEST_F(IniEdit, SetValueRefusesWhatWouldNotReadBackAndChangesNothing) {
    // With the key "k" and the comment "note", one byte more than a key line may hold.
    const std::string longValue(505, 'v');
    struct {
        const char *section, *key, *value;
    } const cases[] = {
        {nullptr, "k", "v"},     {"", "k", "v"},
        {"a", "", "v"},          {"a", nullptr, "v"},
        {"a", "k", "1\n[evil]"}, {"a", "k", "1\rx=2"},
        {"a", "new\nkey", "1"},  {"new\nsection", "k", "1"},
        {"a", "x=y", "1"},       {"x]y", "k", "1"},
        {" c ", "k", "1"},       {"a", " z", "1"},
        {"a", ";z", "1"},        {"a", "[z", "1"},
        {"a", "z", "C:\\dir\\"}, {"a", "k", "x ;y"},
        {"a", "z", "x ;y"},      {"a", "k", longValue.c_str()},
    };
    load({"[a]\n", "k=1 ;note\n", "[b]\n"});
    Lines before = lines();
    for (const auto &c : cases) {
        EXPECT_EQ(QUIL_Ini_SetValue(doc_.get(), c.section, c.key, c.value), INI_BAD_ARGUMENT)
            << (c.section ? c.section : "<null>") << "/" << (c.key ? c.key : "<null>") << "="
            << c.value;
    }
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(IniEdit, AnInvalidLineAfterTheSectionFailsTheWholeSetting) {
    load({"[a]\n", "k=1\n", "[b]\n", "bad\n"});
    Lines before = lines();
    EXPECT_EQ(QUIL_Ini_SetValue(doc_.get(), "a", "k", "2"), INI_BAD_LINE);
    EXPECT_EQ(QUIL_Ini_SetValue(doc_.get(), "new", "k", "2"), INI_BAD_LINE);
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(doc_->modified, 0u);
    IniFile empty{};
    EXPECT_EQ(QUIL_Ini_SetValue(&empty, "a", "k", "v"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_SetValue(nullptr, "a", "k", "v"), INI_BAD_ARGUMENT);
}

} // namespace
