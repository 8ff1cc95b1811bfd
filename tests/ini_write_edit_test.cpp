// Editing INI documents: the six written line formats, storing, inserting and appending lines,
// and setting a value by its three paths, with every refusal and failure leaving the document
// as it was.
#include <gtest/gtest.h>

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

using IniEdit = wextest::IniLinesTest;

// ---- The six formats ----

struct FormatCase {
    const char *name;
    bool section;
    const char *first; // key or section name
    const char *value;
    const char *comment;
    const char *line;
};

class Formats : public IniEdit, public testing::WithParamInterface<FormatCase> {};

TEST_P(Formats, WriteTheLineOfTheirForm) {
    const FormatCase &c = GetParam();
    load({});
    uint32_t result = c.section
                          ? QUIL_Ini_FormatSectionLine(doc_.get(), 0, c.first, c.comment)
                          : QUIL_Ini_FormatKeyLine(doc_.get(), 0, c.first, c.value, c.comment);
    ASSERT_EQ(result, QUIL_SUCCESS);
    doc_->lineCount = 1;
    EXPECT_EQ(lines(), Lines{c.line});
    EXPECT_EQ(doc_->modified, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    IniEdit, Formats,
    testing::Values(
        FormatCase{"KeyValueComment", false, "Port", "80", "listen port", "Port=80 ;listen port\n"},
        FormatCase{"KeyValue", false, "Port", "80", nullptr, "Port=80\n"},
        FormatCase{"KeyComment", false, "Port", nullptr, "listen port", "Port= ;listen port\n"},
        FormatCase{"KeyAlone", false, "Port", nullptr, nullptr, "Port=\n"},
        FormatCase{"EmptyValueAndComment", false, "k", "", "", "k= ;\n"},
        FormatCase{"SectionComment", true, "Network", nullptr, "main link",
                   "[Network] ;main link\n"},
        FormatCase{"Section", true, "Network", nullptr, nullptr, "[Network]\n"}),
    [](const testing::TestParamInfo<FormatCase> &info) { return std::string(info.param.name); });

struct LimitCase {
    const char *name;
    bool section;
    size_t nameLength;
    size_t valueLength;
    const char *comment;
    uint32_t result;
};

class FormatLimits : public IniEdit, public testing::WithParamInterface<LimitCase> {};

// A formatted line is never longer than the 511 bytes the reader takes back.
TEST_P(FormatLimits, RefuseLinesTheReaderCouldNotTakeBack) {
    const LimitCase &c = GetParam();
    load({});
    std::string first(c.nameLength, 'k');
    std::string value(c.valueLength, 'v');
    uint32_t result =
        c.section ? QUIL_Ini_FormatSectionLine(doc_.get(), 0, first.c_str(), c.comment)
                  : QUIL_Ini_FormatKeyLine(doc_.get(), 0, first.c_str(), value.c_str(), c.comment);
    EXPECT_EQ(result, c.result);
    if (result == QUIL_SUCCESS) {
        doc_->lineCount = 1;
        EXPECT_LE(std::string(doc_->lines[0]).size(), 511u);
    } else {
        EXPECT_EQ(doc_->lines[0], nullptr);
        EXPECT_EQ(doc_->modified, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    IniEdit, FormatLimits,
    testing::Values(LimitCase{"KeyAndValueOf508", false, 8, 500, nullptr, QUIL_SUCCESS},
                    LimitCase{"KeyAndValueOf509", false, 9, 500, nullptr, INI_BAD_ARGUMENT},
                    LimitCase{"WithCommentTo511Bytes", false, 6, 500, "c", QUIL_SUCCESS},
                    LimitCase{"WithCommentTo512Bytes", false, 7, 500, "c", INI_BAD_ARGUMENT},
                    LimitCase{"SectionOf507", true, 507, 0, nullptr, QUIL_SUCCESS},
                    LimitCase{"SectionOf508", true, 508, 0, nullptr, INI_BAD_ARGUMENT},
                    LimitCase{"SectionWithCommentTo511Bytes", true, 505, 0, "c", QUIL_SUCCESS},
                    LimitCase{"SectionWithCommentTo512Bytes", true, 506, 0, "c", INI_BAD_ARGUMENT},
                    LimitCase{"EmptyKey", false, 0, 1, nullptr, INI_BAD_ARGUMENT},
                    LimitCase{"EmptySection", true, 0, 0, nullptr, INI_BAD_ARGUMENT}),
    [](const testing::TestParamInfo<LimitCase> &info) { return std::string(info.param.name); });

TEST_F(IniEdit, FormattersRefuseNullArguments) {
    load({});
    EXPECT_EQ(QUIL_Ini_FormatKeyLine(nullptr, 0, "k", "v", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_FormatKeyLine(doc_.get(), 0, nullptr, "v", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_FormatSectionLine(nullptr, 0, "s", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_FormatSectionLine(doc_.get(), 0, nullptr, nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(doc_->modified, 0u);
}

// ---- Storing ----

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

TEST_F(IniEdit, StoreLineLeavesTheSlotEmptyWhenMemoryIsShort) {
    load({"a=1\n"});
    ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_Ini_StoreLine(doc_.get(), 1, "b=2\n"), INI_NO_MEMORY);
    EXPECT_EQ(doc_->lines[1], nullptr);
    EXPECT_EQ(doc_->modified, 0u);
}

// ---- Inserting and appending ----

TEST_F(IniEdit, InsertKeyLineMovesTheLaterLinesUp) {
    load({"[a]\n", "x=1\n", "[b]\n"});
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 1, "y", "2", "c"), QUIL_SUCCESS);
    EXPECT_EQ(lines(), (Lines{"[a]\n", "x=1\n", "y=2 ;c\n", "[b]\n"}));
}

TEST_F(IniEdit, InsertKeyLineTakesOverARemovedLineWithoutCountingIt) {
    load({"[a]\n", "x=1\n", "[b]\n"});
    ASSERT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 0, "y", "2", nullptr), QUIL_SUCCESS);
    EXPECT_EQ(lines(), (Lines{"[a]\n", "y=2\n", "[b]\n"}));
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

TEST_F(IniEdit, AFailedGrowthLeavesTheLinesAsTheyWere) {
    load(Lines(198, "x=1\n"));
    ASSERT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 0, "y", "1", nullptr), QUIL_SUCCESS);
    doc_->modified = 0;
    Lines before = lines();
    ScopedFault fault(QUIL_OP_ALLOC, 2); // the first is the line, the second the growth
    EXPECT_EQ(QUIL_Ini_InsertKeyLine(doc_.get(), 0, "y", "1", nullptr), INI_NO_MEMORY);
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(IniEdit, AppendSectionLineAddsAHeaderAtTheEnd) {
    load({"a=1\r\n"});
    ASSERT_EQ(QUIL_Ini_AppendSectionLine(doc_.get(), "net"), QUIL_SUCCESS);
    EXPECT_EQ(lines(), (Lines{"a=1\r\n", "[net]\n"}));
    EXPECT_EQ(QUIL_Ini_AppendSectionLine(doc_.get(), ""), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_AppendSectionLine(nullptr, "x"), INI_BAD_ARGUMENT);
}

// ---- Setting a value ----

struct SetCase {
    const char *name;
    Lines before;
    const char *section;
    const char *key;
    const char *value;
    Lines after;
};

class SetValuePaths : public IniEdit, public testing::WithParamInterface<SetCase> {};

TEST_P(SetValuePaths, PutTheLineWhereTheTableSays) {
    const SetCase &c = GetParam();
    load(c.before);
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), c.section, c.key, c.value), QUIL_SUCCESS);
    EXPECT_EQ(lines(), c.after);
    EXPECT_EQ(doc_->modified, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    IniEdit, SetValuePaths,
    testing::Values(
        SetCase{"NewSectionInAnEmptyDocument", {}, "Net", "Port", "80", {"[Net]\n", "Port=80\n"}},
        SetCase{"NewKeyAfterTheLastSlotOfTheSection",
                {"[a]\n", "x=1\n", "\n", ";c\n", "[b]\n", "y=2\n"},
                "a",
                "z",
                "3",
                {"[a]\n", "x=1\n", "\n", ";c\n", "z=3\n", "[b]\n", "y=2\n"}},
        SetCase{"NewKeyAfterAHeaderThatIsTheLastLine",
                {"x=0\n", "[a]\n"},
                "A",
                "k",
                "v",
                {"x=0\n", "[a]\n", "k=v\n"}},
        SetCase{"ReplaceKeepsTheSpellingAndTheComment",
                {"[Net]\r\n", "Port = 1 ;old\r\n"},
                "net",
                "PORT",
                "2",
                {"[Net]\r\n", "Port=2 ;old\n"}},
        SetCase{"NullValueForANewKey", {"[s]\n"}, "s", "Port", nullptr, {"[s]\n", "Port=\n"}},
        SetCase{"NullValueKeepsTheComment",
                {"[s]\n", "Port=1 ;old\n"},
                "s",
                "Port",
                nullptr,
                {"[s]\n", "Port= ;old\n"}},
        SetCase{"AnEmptyCommentKeepsItsSeparator",
                {"[s]\n", "k=v ;\n"},
                "s",
                "k",
                "new",
                {"[s]\n", "k=new ;\n"}},
        SetCase{"TheLaterOfTwoSectionsAndTheLaterOfTwoKeys",
                {"[s]\n", "k=1\n", "[s]\n", "k=2\n", "k=3\n", "[t]\n"},
                "s",
                "k",
                "9",
                {"[s]\n", "k=1\n", "[s]\n", "k=2\n", "k=9\n", "[t]\n"}},
        SetCase{
            "NullKeyCreatesTheHeaderAlone", {"[a]\n"}, "b", nullptr, nullptr, {"[a]\n", "[b]\n"}},
        SetCase{"ANewSectionKeepsTheCallersSpelling",
                {"[a]\n"},
                "Big Net",
                "k",
                "1",
                {"[a]\n", "[Big Net]\n", "k=1\n"}},
        SetCase{"AQuotedCommentSeparatorIsAValue",
                {"[a]\n"},
                "a",
                "k",
                "\"x ;y\"",
                {"[a]\n", "k=\"x ;y\"\n"}},
        SetCase{"ADoubledBackslashEndsAValue",
                {"[a]\n"},
                "a",
                "path",
                "C:\\\\",
                {"[a]\n", "path=C:\\\\\n"}},
        SetCase{"AnInvalidLineBeforeTheSectionIsNotLookedAt",
                {"junk\n", "[a]\n"},
                "a",
                "k",
                "1",
                {"junk\n", "[a]\n", "k=1\n"}}),
    [](const testing::TestParamInfo<SetCase> &info) { return std::string(info.param.name); });

TEST_F(IniEdit, SetValueTakesOverARemovedSlotAfterTheSection) {
    load({"[a]\n", "x=1\n", "[b]\n", "y=2\n"});
    ASSERT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "a", "z", "3"), QUIL_SUCCESS);
    EXPECT_EQ(lines(), (Lines{"[a]\n", "<null>", "z=3\n", "[b]\n", "y=2\n"}));
}

// ---- Refusals: the document stays as it was ----

// With the key "k" and the comment "note", one byte more than a key line may hold.
const std::string kLongValue(505, 'v');

struct RefusalCase {
    const char *name;
    const char *section;
    const char *key;
    const char *value;
    uint32_t result;
};

class SetValueRefusals : public IniEdit, public testing::WithParamInterface<RefusalCase> {};

TEST_P(SetValueRefusals, LeaveTheDocumentUnchanged) {
    const RefusalCase &c = GetParam();
    load({"[a]\n", "k=1 ;note\n", "[b]\n"});
    Lines before = lines();
    EXPECT_EQ(QUIL_Ini_SetValue(doc_.get(), c.section, c.key, c.value), c.result);
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(doc_->modified, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    IniEdit, SetValueRefusals,
    testing::Values(
        RefusalCase{"NullSection", nullptr, "k", "v", INI_BAD_ARGUMENT},
        RefusalCase{"EmptySection", "", "k", "v", INI_BAD_ARGUMENT},
        RefusalCase{"EmptyKey", "a", "", "v", INI_BAD_ARGUMENT},
        RefusalCase{"NullKeyInAnExistingSection", "a", nullptr, "v", INI_BAD_ARGUMENT},
        RefusalCase{"LineFeedInAValue", "a", "k", "1\n[evil]", INI_BAD_ARGUMENT},
        RefusalCase{"CarriageReturnInAValue", "a", "k", "1\rx=2", INI_BAD_ARGUMENT},
        RefusalCase{"LineFeedInANewKey", "a", "new\nkey", "1", INI_BAD_ARGUMENT},
        RefusalCase{"LineFeedInANewSection", "new\nsection", "k", "1", INI_BAD_ARGUMENT},
        RefusalCase{"EqualsInAKey", "a", "x=y", "1", INI_BAD_ARGUMENT},
        RefusalCase{"BracketInASection", "x]y", "k", "1", INI_BAD_ARGUMENT},
        RefusalCase{"BlanksAroundASection", " c ", "k", "1", INI_BAD_ARGUMENT},
        RefusalCase{"BlanksAroundAKey", "a", " z", "1", INI_BAD_ARGUMENT},
        RefusalCase{"AKeyThatReadsAsAComment", "a", ";z", "1", INI_BAD_ARGUMENT},
        RefusalCase{"AKeyThatReadsAsAHeader", "a", "[z", "1", INI_BAD_ARGUMENT},
        RefusalCase{"ASingleBackslashEndingAValue", "a", "z", "C:\\dir\\", INI_BAD_ARGUMENT},
        RefusalCase{"ACommentSeparatorInAValue", "a", "k", "x ;y", INI_BAD_ARGUMENT},
        RefusalCase{"ACommentSeparatorInANewKeysValue", "a", "z", "x ;y", INI_BAD_ARGUMENT},
        RefusalCase{"AValueTooLongToReadBack", "a", "k", kLongValue.c_str(), INI_BAD_ARGUMENT}),
    [](const testing::TestParamInfo<RefusalCase> &info) { return std::string(info.param.name); });

TEST_F(IniEdit, AnInvalidLineAfterTheSectionFailsTheWholeSetting) {
    load({"[a]\n", "k=1\n", "[b]\n", "bad\n"});
    Lines before = lines();
    EXPECT_EQ(QUIL_Ini_SetValue(doc_.get(), "a", "k", "2"), INI_BAD_LINE);
    EXPECT_EQ(QUIL_Ini_SetValue(doc_.get(), "new", "k", "2"), INI_BAD_LINE);
    EXPECT_EQ(lines(), before);
    EXPECT_EQ(doc_->modified, 0u);
}

TEST_F(IniEdit, SetValueRefusesADocumentWithoutLineArray) {
    IniFile empty{};
    EXPECT_EQ(QUIL_Ini_SetValue(&empty, "a", "k", "v"), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_SetValue(nullptr, "a", "k", "v"), INI_BAD_ARGUMENT);
}

// Every allocation of every path fails in turn: the document keeps its lines, nothing leaks.
struct FaultCase {
    const char *name;
    const char *section;
    const char *key;
};

class SetValueFaults : public IniEdit, public testing::WithParamInterface<FaultCase> {};

TEST_P(SetValueFaults, LeaveTheDocumentUnchangedAtEveryAllocation) {
    const FaultCase &c = GetParam();
    for (uint32_t n = 1;; ++n) {
        ScopedIni doc;
        // 199 lines in 200 slots: every new line makes the array grow.
        ASSERT_EQ(
            load_bytes(dir_, std::string("[a]\nk=1 ;c\n") + std::string(196, '\n'), doc.get()),
            QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_SetValue(doc.get(), "a", "pad", "1"), QUIL_SUCCESS);
        doc->modified = 0;
        Lines before = lines_of(doc.doc);
        uint32_t result = QUIL_SUCCESS;
        {
            ScopedFault fault(QUIL_OP_ALLOC, n);
            result = QUIL_Ini_SetValue(doc.get(), c.section, c.key, "2");
        }
        if (result == QUIL_SUCCESS) {
            EXPECT_GT(n, 1u);
            break;
        }
        EXPECT_EQ(result, INI_NO_MEMORY) << "allocation " << n;
        EXPECT_EQ(lines_of(doc.doc), before) << "allocation " << n;
        EXPECT_EQ(doc->modified, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(IniEdit, SetValueFaults,
                         testing::Values(FaultCase{"Replace", "a", "k"},
                                         FaultCase{"InsertWithGrowth", "a", "new"},
                                         FaultCase{"AppendWithGrowth", "b", "new"},
                                         FaultCase{"AppendHeaderAlone", "b", nullptr}),
                         [](const testing::TestParamInfo<FaultCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
