// Looking up values and listing sections and keys of a loaded document.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ini_read_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::load_bytes;
using wextest::ScopedFault;
using wextest::ScopedIni;
using wextest::take_list;
using wextest::TempDir;

namespace {

using Names = std::vector<std::string>;

// A document loaded from text, with the three reading operations as plain calls.
class Lookup : public testing::Test {
  protected:
    void load(const std::string &text) {
        ASSERT_EQ(load_bytes(dir_, text, doc_.get()), QUIL_SUCCESS);
    }

    // The value of key in section, or the code when the lookup fails.
    std::string value(const char *section, const char *key) {
        char *found = reinterpret_cast<char *>(1);
        uint32_t result = QUIL_Ini_GetValue(doc_.get(), section, key, &found);
        std::string text = result != QUIL_SUCCESS ? "code " + std::to_string(result)
                           : found == nullptr     ? "<none>"
                                                  : std::string(found);
        if (result != QUIL_SUCCESS) {
            EXPECT_EQ(found, nullptr) << "a failed lookup leaves the value null";
        }
        QUIL_MemFreeD(found, __LINE__, "test");
        return text;
    }

    uint32_t sections(Names *names) {
        uint32_t count = 99;
        char **list = reinterpret_cast<char **>(1);
        uint32_t result = QUIL_Ini_GetSections(doc_.get(), &count, &list);
        return finish_list(result, count, list, names);
    }

    uint32_t keys(const char *section, Names *names) {
        uint32_t count = 99;
        char **list = reinterpret_cast<char **>(1);
        uint32_t result = QUIL_Ini_GetKeys(doc_.get(), section, &count, &list);
        return finish_list(result, count, list, names);
    }

    // Removes line i as a removal would: the slot becomes null.
    void remove_line(uint32_t i) { QUIL_MemFreeSetNullD(&doc_->lines[i], __LINE__, "test"); }

    TempDir dir_;
    ScopedIni doc_;

  private:
    static uint32_t finish_list(uint32_t result, uint32_t count, char **list, Names *names) {
        if (result != QUIL_SUCCESS) {
            EXPECT_EQ(list, nullptr) << "a failed listing leaves no list behind";
            EXPECT_EQ(count, 0u);
        }
        *names = take_list(list);
        if (result == QUIL_SUCCESS) {
            EXPECT_EQ(count, names->size());
        }
        return result;
    }
};

TEST_F(Lookup, TheLastHeaderOfANameHoldsItsKeys) {
    load("[A]\nx=1\n[B]\n[A]\ny=2\n");
    Names names;
    ASSERT_EQ(sections(&names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"A", "B", "A"}));
    ASSERT_EQ(keys("a", &names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"y"}));
    EXPECT_EQ(value("A", "x"), "code 20");
    EXPECT_EQ(value("A", "y"), "2");
}

TEST_F(Lookup, TheLastLineOfAKeyGivesItsValueAndBothAreListed) {
    load("[s]\nk=first\nother=1\nK = second ;c\n");
    EXPECT_EQ(value("S", "k"), "second");
    Names names;
    ASSERT_EQ(keys("s", &names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"k", "other", "K"}));
}

TEST_F(Lookup, NamesMatchWithoutRegardToCaseOrSurroundingBlanks) {
    load("  [ Net ]  \r\n  Port = 80 \r\n");
    EXPECT_EQ(value("net", "PORT"), "80");
    EXPECT_EQ(value("NET", "port"), "80");
}

TEST_F(Lookup, KeysBeforeTheFirstHeaderBelongToNoSection) {
    load("k=1\n;c\n[s]\nj=2\n");
    EXPECT_EQ(value("s", "k"), "code 20");
    Names names;
    ASSERT_EQ(keys("s", &names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"j"}));
}

TEST_F(Lookup, ASectionWithoutKeyLinesGivesTwenty) {
    load("[empty]\n[comments]\n; k=1\n\n  \n[last]\nk=1\n");
    Names names;
    for (const char *section : {"empty", "comments"}) {
        EXPECT_EQ(value(section, "k"), "code 20") << section;
        EXPECT_EQ(keys(section, &names), INI_NO_KEY) << section;
    }
}

TEST_F(Lookup, AHeaderOnTheLastLineHasAnEmptySection) {
    load("[a]\nk=1\n[b]\n");
    EXPECT_EQ(value("b", "k"), "code 20");
    Names names;
    EXPECT_EQ(keys("b", &names), INI_NO_KEY);
}

TEST_F(Lookup, TheLastSectionReachesTheLastLine) {
    load("[a]\nx=1\n\n; note\n\ny=2");
    EXPECT_EQ(value("a", "y"), "2");
    Names names;
    ASSERT_EQ(keys("a", &names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"x", "y"}));
}

TEST_F(Lookup, AKeyLineWithoutValueGivesANullValue) {
    load("[a]\nk=\nj= ;only a comment\n");
    EXPECT_EQ(value("a", "k"), "<none>");
    EXPECT_EQ(value("a", "j"), "<none>");
}

TEST_F(Lookup, ADocumentWithoutHeadersGivesTenFromAllThree) {
    load("k=1\n; c\n");
    Names names;
    EXPECT_EQ(value("a", "k"), "code 10");
    EXPECT_EQ(sections(&names), INI_NO_SECTION);
    EXPECT_EQ(keys("a", &names), INI_NO_SECTION);
}

TEST_F(Lookup, ADocumentWithoutLinesGivesOneHundredThirty) {
    load("");
    Names names;
    EXPECT_EQ(value("a", "k"), "code 130");
    EXPECT_EQ(sections(&names), INI_NO_LINES);
    EXPECT_EQ(keys("a", &names), INI_NO_LINES);
}

TEST_F(Lookup, RemovedLinesAreSkippedAndEndNothing) {
    load("[a]\nx=1\n[b]\ny=2\nz=3\n");
    remove_line(2); // [b]: its keys now belong to [a]
    remove_line(4);
    EXPECT_EQ(value("a", "y"), "2");
    EXPECT_EQ(value("a", "z"), "code 20");
    Names names;
    ASSERT_EQ(sections(&names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"a"}));
    ASSERT_EQ(keys("a", &names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"x", "y"}));
}

TEST_F(Lookup, AFileWithAByteOrderMarkIsReadFromItsFirstHeader) {
    load("\xEF\xBB\xBF[Desktop Entry]\nName=x\n");
    EXPECT_EQ(value("desktop entry", "name"), "x");
    Names names;
    ASSERT_EQ(sections(&names), QUIL_SUCCESS);
    EXPECT_EQ(names, (Names{"Desktop Entry"}));
}

TEST_F(Lookup, AnInvalidLineFailsTheSectionListingWhereverItStands) {
    load("[a]\nk=1\nendif\n[b]\nj=2\n");
    Names names;
    EXPECT_EQ(sections(&names), INI_BAD_LINE);
}

TEST_F(Lookup, AnInvalidLineFailsLookupsOnlyWhenTheyPassIt) {
    load("[a]\nk=1\nendif\n[b]\nj=2\n");
    Names names;
    EXPECT_EQ(value("b", "j"), "2");
    ASSERT_EQ(keys("b", &names), QUIL_SUCCESS);
    EXPECT_EQ(value("a", "k"), "code 160");
    EXPECT_EQ(keys("a", &names), INI_BAD_LINE);
    EXPECT_EQ(value("missing", "k"), "code 160");
}

TEST_F(Lookup, AMalformedKeyLineFailsOnlyLookupsInItsSection) {
    load("[a]\nk=1\n[b]\n=1\nj=2\n");
    Names names;
    EXPECT_EQ(value("a", "k"), "1");
    EXPECT_EQ(value("b", "j"), "2"); // found before the walk reaches the line
    EXPECT_EQ(value("b", "x"), "code 120");
    EXPECT_EQ(keys("b", &names), INI_BAD_KEY);
}

TEST_F(Lookup, AHeaderWithTextButNoCommentFailsEveryWalkThatPassesIt) {
    load("[a]\nk=1\n[b] x\nj=2\n");
    Names names;
    EXPECT_EQ(value("a", "k"), "code 160");
    EXPECT_EQ(sections(&names), INI_BAD_LINE);
    EXPECT_EQ(value("b", "j"), "code 160");
}

TEST_F(Lookup, AnEmptyHeaderFailsWithOneHundredTen) {
    load("[a]\nk=1\n[ ]\n");
    Names names;
    EXPECT_EQ(value("a", "k"), "code 110");
    EXPECT_EQ(sections(&names), INI_BAD_SECTION);
}

TEST_F(Lookup, ResultsOutliveTheDocument) {
    load("[a]\nk=v\n");
    char *found = nullptr;
    ASSERT_EQ(QUIL_Ini_GetValue(doc_.get(), "a", "k", &found), QUIL_SUCCESS);
    uint32_t count = 0;
    char **list = nullptr;
    ASSERT_EQ(QUIL_Ini_GetKeys(doc_.get(), "a", &count, &list), QUIL_SUCCESS);
    QUIL_Ini_Free(doc_.get());
    EXPECT_STREQ(found, "v");
    EXPECT_EQ(take_list(list), (Names{"k"}));
    QUIL_MemFreeD(found, __LINE__, "test");
}

TEST_F(Lookup, NullArgumentsGiveOneHundredSeventy) {
    load("[a]\nk=v\n");
    IniFile empty{};
    char *found = nullptr;
    uint32_t count = 0;
    char **list = nullptr;
    EXPECT_EQ(QUIL_Ini_GetValue(nullptr, "a", "k", &found), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetValue(&empty, "a", "k", &found), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetValue(doc_.get(), nullptr, "k", &found), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetValue(doc_.get(), "a", nullptr, &found), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetValue(doc_.get(), "a", "k", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetSections(&empty, &count, &list), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetSections(doc_.get(), nullptr, &list), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetSections(doc_.get(), &count, nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetKeys(&empty, "a", &count, &list), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetKeys(doc_.get(), nullptr, &count, &list), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetKeys(doc_.get(), "a", nullptr, &list), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetKeys(doc_.get(), "a", &count, nullptr), INI_BAD_ARGUMENT);
}

TEST_F(Lookup, FreeListAcceptsNullAndAnEmptyList) {
    QUIL_Ini_FreeList(nullptr);
    auto **list = static_cast<char **>(QUIL_MemMallocS(sizeof(char *), 0, __LINE__, "test"));
    QUIL_Ini_FreeList(list);
}

// Every allocation of a listing or lookup, failed in turn: 80, no list, nothing left over.
TEST_F(Lookup, EveryAllocationFailureGivesEightyAndLeavesNothing) {
    load("[a]\nx=1\ny=2\n[b]\nz=3\n");
    struct Step {
        const char *operation;
        uint32_t allocations;
    };
    for (Step step : {Step{"sections", 3}, Step{"keys", 3}, Step{"value", 1}}) {
        for (uint32_t n = 1; n <= step.allocations + 1; ++n) {
            Names names;
            std::string operation = step.operation;
            uint32_t result = 0;
            std::string found;
            {
                ScopedFault fault(QUIL_OP_ALLOC, n);
                if (operation == "sections") {
                    result = sections(&names);
                } else if (operation == "keys") {
                    result = keys("a", &names);
                } else {
                    found = value("a", "y");
                    result = found == "code 80" ? INI_NO_MEMORY : QUIL_SUCCESS;
                }
            }
            uint32_t expected = n <= step.allocations ? INI_NO_MEMORY : QUIL_SUCCESS;
            EXPECT_EQ(result, expected) << operation << ", allocation " << n;
        }
    }
}

TEST_F(Lookup, AHeaderNameLongerThanAnyLineStillMatches) {
    load("[a]\nk=1\n");
    // A header built by hand, longer than any line a file can give.
    std::string longName(700, 'n');
    std::string header = "[" + longName + "]\n";
    remove_line(0);
    doc_->lines[0] = static_cast<char *>(
        QUIL_MemMallocD(static_cast<uint32_t>(header.size() + 1), __LINE__, "test"));
    std::copy(header.c_str(), header.c_str() + header.size() + 1, doc_->lines[0]);
    std::string upper(700, 'N');
    EXPECT_EQ(value(upper.c_str(), "k"), "1");
    {
        ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(value(upper.c_str(), "k"), "code 80");
    }
}

} // namespace
