// The strict grammar of validation, and the removal of keys and sections.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::lines_of;
using wextest::load_bytes;
using wextest::ScopedFault;
using wextest::ScopedIni;
using wextest::TempDir;

namespace {

using wextest::Lines;

const std::string kByteOrderMark = "\xEF\xBB\xBF";

struct CheckCase {
    std::string text;
    uint32_t result;
};

// Gives every case a readable name built from its text.
std::string case_name(const std::string &text, size_t index) {
    std::string name = "Case" + std::to_string(index) + "_";
    for (char c : text) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

class KeyLineCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(KeyLineCheck, GivesTheStrictGrammarsCode) {
    EXPECT_EQ(QUIL_Ini_CheckKeyLine(GetParam().text.c_str()), GetParam().result) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    IniValidate, KeyLineCheck,
    testing::Values(
        CheckCase{"k=1, 2\n", QUIL_SUCCESS}, CheckCase{"k=1,2\n", INI_BAD_VALUE_LIST},
        CheckCase{"k=a;b\n", INI_BAD_COMMENT}, CheckCase{"k=\"abc\n", INI_BAD_VALUE_LIST},
        CheckCase{"k=x ;c\n", QUIL_SUCCESS}, CheckCase{"k=x\t;c\n", QUIL_SUCCESS},
        CheckCase{"my key=1\n", INI_BAD_KEY}, CheckCase{"=1\n", INI_BAD_KEY},
        CheckCase{" =1\n", INI_BAD_KEY}, CheckCase{"k\tx=1\n", QUIL_SUCCESS},
        CheckCase{"abc\n", INI_BAD_LINE}, CheckCase{"k=\n", QUIL_SUCCESS},
        CheckCase{"k=", QUIL_SUCCESS}, CheckCase{"k=   \r\n", QUIL_SUCCESS},
        CheckCase{"k= ;c\n", QUIL_SUCCESS}, CheckCase{"k=;c\n", INI_BAD_COMMENT},
        CheckCase{"k=\"a, b\", c\n", QUIL_SUCCESS}, CheckCase{"k=\"a;b\" ;c\n", QUIL_SUCCESS},
        CheckCase{"k=\"a\\\"b\"\n", QUIL_SUCCESS}, CheckCase{"k=\"a\\\"\n", INI_BAD_VALUE_LIST},
        CheckCase{"k=\"a\",b\n", INI_BAD_VALUE_LIST}, CheckCase{"k=1, , 2\n", INI_BAD_VALUE_LIST},
        CheckCase{"k=1, ;c\n", INI_BAD_VALUE_LIST},
        // A list never ends with a comma, also when a blank and the break follow it.
        CheckCase{"k=1, \n", INI_BAD_VALUE_LIST}, CheckCase{"k=1,", INI_BAD_VALUE_LIST},
        // A closing quote may be the last byte of a text without a break.
        CheckCase{"k=\"abc\"", QUIL_SUCCESS}, CheckCase{kByteOrderMark + "k=1\n", QUIL_SUCCESS}),
    [](const testing::TestParamInfo<CheckCase> &info) {
        return case_name(info.param.text, info.index);
    });

class SectionLineCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(SectionLineCheck, GivesTheStrictGrammarsCode) {
    EXPECT_EQ(QUIL_Ini_CheckSectionLine(GetParam().text.c_str()), GetParam().result)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    IniValidate, SectionLineCheck,
    testing::Values(CheckCase{"[a]\n", QUIL_SUCCESS}, CheckCase{"[a]", QUIL_SUCCESS},
                    CheckCase{"[ sect ]\r\n", QUIL_SUCCESS}, CheckCase{" [a]\n", INI_BAD_SECTION},
                    CheckCase{"[a];c\n", INI_BAD_SECTION}, CheckCase{"[a] x\n", INI_BAD_SECTION},
                    CheckCase{"[a] ;c\n", QUIL_SUCCESS}, CheckCase{"[a]   \n", QUIL_SUCCESS},
                    CheckCase{"[a]\t;c\n", INI_BAD_SECTION}, CheckCase{"[]\n", INI_BAD_SECTION},
                    CheckCase{"[ ]\n", INI_BAD_SECTION}, CheckCase{"[a[b]\n", INI_BAD_SECTION},
                    CheckCase{"a]\n", INI_BAD_SECTION}, CheckCase{"[a\n", INI_BAD_SECTION},
                    CheckCase{kByteOrderMark + "[a]\n", QUIL_SUCCESS}),
    [](const testing::TestParamInfo<CheckCase> &info) {
        return case_name(info.param.text, info.index);
    });

TEST(IniValidateChecks, NullTextsAreRefused) {
    EXPECT_EQ(QUIL_Ini_CheckSectionLine(nullptr), INI_BAD_SECTION);
    EXPECT_EQ(QUIL_Ini_CheckKeyLine(nullptr), INI_BAD_ARGUMENT);
}

using IniDocument = wextest::IniLinesTest;

// ---- Validation ----

struct ValidateCase {
    const char *name;
    Lines lines;
    uint32_t result;
    uint32_t lineNo;
};

class Validation : public IniDocument, public testing::WithParamInterface<ValidateCase> {};

TEST_P(Validation, ReportsTheFirstOffendingLine) {
    load(GetParam().lines);
    uint32_t lineNo = 99;
    EXPECT_EQ(QUIL_Ini_Validate(doc_.get(), &lineNo), GetParam().result);
    EXPECT_EQ(lineNo, GetParam().lineNo);
}

INSTANTIATE_TEST_SUITE_P(
    IniValidate, Validation,
    testing::Values(
        ValidateCase{"AValidDocument", {"; c\n", "[a] ;x\n", "k=1, 2\n", "\n"}, QUIL_SUCCESS, 4},
        ValidateCase{
            "AKeyBeforeTheFirstHeader", {"; c\n", "k=1\n", "[a]\n"}, INI_KEY_BEFORE_SECTION, 2},
        ValidateCase{"ABlankInAKey", {"[a]\n", "x=1\n", "my key=1\n"}, INI_BAD_KEY, 3},
        ValidateCase{"AnIndentedHeader", {"[a]\n", "  [b]\n"}, INI_BAD_SECTION, 2},
        ValidateCase{"AnInvalidLine", {"[a]\n", "junk\n", "k=a;b\n"}, INI_BAD_LINE, 2},
        ValidateCase{"AMissingSpaceBeforeAComment", {"[a]\n", "k=a;b\n"}, INI_BAD_COMMENT, 2},
        ValidateCase{"AnUnclosedQuote", {"[a]\n", "k=\"x\n"}, INI_BAD_VALUE_LIST, 2},
        ValidateCase{"ALineNumberCountsLogicalLines",
                     {"[a]\n", "k=1, \\\n", "2\n", "k=1,2\n"},
                     INI_BAD_VALUE_LIST,
                     3},
        ValidateCase{
            "AByteOrderMarkBeforeTheFirstHeader", {"\xEF\xBB\xBF[a]\n", "k=1\n"}, QUIL_SUCCESS, 2}),
    [](const testing::TestParamInfo<ValidateCase> &info) { return std::string(info.param.name); });

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

TEST_F(IniDocument, AFailedAllocationRemovesNothing) {
    load({"[a]\n", "x=1\n"});
    {
        ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), INI_NO_MEMORY);
    }
    {
        ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "a"), INI_NO_MEMORY);
    }
    EXPECT_EQ(lines(), (Lines{"[a]\n", "x=1\n"}));
    EXPECT_EQ(doc_->modified, 0u);
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
