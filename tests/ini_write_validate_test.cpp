// The strict grammar of validation, and the removal of keys and sections.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

using wextest::load_bytes;
using wextest::ScopedIni;
using wextest::TempDir;

namespace {

using wextest::Lines;

const std::string kByteOrderMark = "\xEF\xBB\xBF";

TEST(IniValidateChecks, KeyAndSectionLinesGiveTheStrictGrammarsCode) {
    const std::pair<std::string, uint32_t> keyLines[] = {
        {"k=1, 2\n", QUIL_SUCCESS},
        {"k=1,2\n", INI_BAD_VALUE_LIST},
        {"k=a;b\n", INI_BAD_COMMENT},
        {"k=\"abc\n", INI_BAD_VALUE_LIST},
        {"k=x ;c\n", QUIL_SUCCESS},
        {"k=x\t;c\n", QUIL_SUCCESS},
        {"my key=1\n", INI_BAD_KEY},
        {"=1\n", INI_BAD_KEY},
        {" =1\n", INI_BAD_KEY},
        {"k\tx=1\n", QUIL_SUCCESS},
        {"abc\n", INI_BAD_LINE},
        {"k=\n", QUIL_SUCCESS},
        {"k=", QUIL_SUCCESS},
        {"k=   \r\n", QUIL_SUCCESS},
        {"k= ;c\n", QUIL_SUCCESS},
        {"k=;c\n", INI_BAD_COMMENT},
        {"k=\"a, b\", c\n", QUIL_SUCCESS},
        {"k=\"a;b\" ;c\n", QUIL_SUCCESS},
        {"k=\"a\\\"b\"\n", QUIL_SUCCESS},
        {"k=\"a\\\"\n", INI_BAD_VALUE_LIST},
        {"k=\"a\",b\n", INI_BAD_VALUE_LIST},
        {"k=1, , 2\n", INI_BAD_VALUE_LIST},
        {"k=1, ;c\n", INI_BAD_VALUE_LIST},
        // A list never ends with a comma, also when a blank and the break follow it.
        {"k=1, \n", INI_BAD_VALUE_LIST},
        {"k=1,", INI_BAD_VALUE_LIST},
        // A closing quote may be the last byte of a text without a break.
        {"k=\"abc\"", QUIL_SUCCESS},
        {kByteOrderMark + "k=1\n", QUIL_SUCCESS},
    };
    for (const auto &[text, result] : keyLines) {
        EXPECT_EQ(QUIL_Ini_CheckKeyLine(text.c_str()), result) << text;
    }
    const std::pair<std::string, uint32_t> sectionLines[] = {
        {"[a]\n", QUIL_SUCCESS},
        {"[a]", QUIL_SUCCESS},
        {"[ sect ]\r\n", QUIL_SUCCESS},
        {" [a]\n", INI_BAD_SECTION},
        {"[a];c\n", INI_BAD_SECTION},
        {"[a] x\n", INI_BAD_SECTION},
        {"[a] ;c\n", QUIL_SUCCESS},
        {"[a]   \n", QUIL_SUCCESS},
        {"[a]\t;c\n", INI_BAD_SECTION},
        {"[]\n", INI_BAD_SECTION},
        {"[ ]\n", INI_BAD_SECTION},
        {"[a[b]\n", INI_BAD_SECTION},
        {"a]\n", INI_BAD_SECTION},
        {"[a\n", INI_BAD_SECTION},
        {kByteOrderMark + "[a]\n", QUIL_SUCCESS},
    };
    for (const auto &[text, result] : sectionLines) {
        EXPECT_EQ(QUIL_Ini_CheckSectionLine(text.c_str()), result) << text;
    }
    EXPECT_EQ(QUIL_Ini_CheckSectionLine(nullptr), INI_BAD_SECTION);
    EXPECT_EQ(QUIL_Ini_CheckKeyLine(nullptr), INI_BAD_ARGUMENT);
}

using IniDocument = wextest::IniLinesTest;

// ---- Validation ----

TEST_F(IniDocument, ValidationReportsTheFirstOffendingLogicalLine) {
    const std::tuple<Lines, uint32_t, uint32_t> cases[] = {
        {{"; c\n", "[a] ;x\n", "k=1, 2\n", "\n"}, QUIL_SUCCESS, 4},
        {{"; c\n", "k=1\n", "[a]\n"}, INI_KEY_BEFORE_SECTION, 2},
        {{"[a]\n", "x=1\n", "my key=1\n"}, INI_BAD_KEY, 3},
        {{"[a]\n", "  [b]\n"}, INI_BAD_SECTION, 2},
        {{"[a]\n", "junk\n", "k=a;b\n"}, INI_BAD_LINE, 2},
        {{"[a]\n", "k=a;b\n"}, INI_BAD_COMMENT, 2},
        {{"[a]\n", "k=\"x\n"}, INI_BAD_VALUE_LIST, 2},
        {{"[a]\n", "k=1, \\\n", "2\n", "k=1,2\n"}, INI_BAD_VALUE_LIST, 3},
        {{"\xEF\xBB\xBF[a]\n", "k=1\n"}, QUIL_SUCCESS, 2},
    };
    for (const auto &[text, result, line] : cases) {
        ScopedIni doc;
        ASSERT_EQ(load_bytes(dir_, wextest::joined(text), doc.get()), QUIL_SUCCESS);
        uint32_t lineNo = 99;
        EXPECT_EQ(QUIL_Ini_Validate(doc.get(), &lineNo), result) << text[1];
        EXPECT_EQ(lineNo, line) << text[1];
    }
}

TEST_F(IniDocument, ValidationOfADocumentWithoutLinesGives130) {
    load({"[a]\n"});
    uint32_t lineNo = 0;
    ASSERT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Validate(doc_.get(), &lineNo), INI_NO_LINES);
    EXPECT_EQ(lineNo, 1u);
    ScopedIni empty;
    ASSERT_EQ(load_bytes(dir_, "", empty.get()), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Validate(empty.get(), &lineNo), INI_NO_LINES);
}

TEST_F(IniDocument, ValidationRefusesNullArgumentsAndChangesNothing) {
    load({"[a]\n", "k=1\n"});
    uint32_t lineNo = 0;
    EXPECT_EQ(QUIL_Ini_Validate(nullptr, &lineNo), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_Validate(doc_.get(), nullptr), INI_BAD_ARGUMENT);
    IniFile noLines{};
    EXPECT_EQ(QUIL_Ini_Validate(&noLines, &lineNo), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_Validate(doc_.get(), &lineNo), QUIL_SUCCESS);
    EXPECT_EQ(doc_->modified, 0u);
}

// ---- Removing keys ----

TEST_F(IniDocument, DeleteKeyRemovesTheKeyFromEverySectionOfTheName) {
    load({"[Net]\n", "PORT=1\n", "host=h\n", "[x]\n", "port=3\n", "[net]\n", "Port=2\n"});
    uint32_t phys = doc_->physLineCount;
    ASSERT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "net", "port"), QUIL_SUCCESS);
    EXPECT_EQ(lines(),
              (Lines{"[Net]\n", "<null>", "host=h\n", "[x]\n", "port=3\n", "[net]\n", "<null>"}));
    EXPECT_EQ(doc_->lineCount, 7u);
    EXPECT_EQ(doc_->physLineCount, phys - 2);
    EXPECT_EQ(doc_->modified, 1u);
}

TEST_F(IniDocument, DeleteKeyTellsAMissingKeyFromAMissingSection) {
    load({"k=0\n", "[a]\n", "x=1\n"});
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "k"), INI_NO_KEY);
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "b", "x"), INI_NO_SECTION);
    EXPECT_EQ(lines(), (Lines{"k=0\n", "[a]\n", "x=1\n"}));
    EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(IniDocument, AMalformedKeyLineInAnotherSectionDoesNotStopARemoval) {
    load({"[a]\n", "x=1\n", "[b]\n", "=2\n"});
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "b", "y"), INI_BAD_KEY);
}

// A removal reads the whole document before it removes anything.
TEST_F(IniDocument, AnInvalidLineAnywhereFailsARemovalWithoutRemovingAnything) {
    load({"[a]\n", "x=1\n", "[b]\n", "junk\n"});
    Lines before = lines();
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), INI_BAD_LINE);
    EXPECT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), INI_BAD_LINE);
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(IniDocument, RemovalsRefuseNullArgumentsAndEmptyDocuments) {
    load({});
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "k"), INI_NO_LINES);
    EXPECT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), INI_NO_LINES);
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), nullptr, "k"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_DeleteKey(nullptr, "a", "k"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_DeleteSection(doc_.get(), nullptr), INI_BAD_ARGUMENT);
    IniFile noLines{};
    EXPECT_EQ(QUIL_Ini_DeleteSection(&noLines, "a"), INI_BAD_ARGUMENT);
}

// ---- Removing sections ----

TEST_F(IniDocument, DeleteSectionRemovesEverySectionOfTheNameWithAllItsLines) {
    load({"top=1\n", "[a]\n", "x=1\n", "\n", "; about b\n", "[b]\n", "y=2\n", "[A]\n", "z=3\n"});
    ASSERT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), QUIL_SUCCESS);
    EXPECT_EQ(lines(), (Lines{"top=1\n", "<null>", "<null>", "<null>", "<null>", "[b]\n", "y=2\n",
                              "<null>", "<null>"}));
    EXPECT_EQ(doc_->modified, 1u);
    EXPECT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), INI_NO_SECTION);
}

TEST_F(IniDocument, RemovingLinesCreatedByEditingNeverTurnsThePhysicalCountNegative) {
    load({});
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "a", "k", "1"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), QUIL_SUCCESS);
    EXPECT_EQ(doc_->physLineCount, 0u);
}

} // namespace
