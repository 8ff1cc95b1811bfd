// Loading an INI document: line breaks, continuations, the line limit, growth, NUL bytes and
// every failure path.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "ini_read_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::is_all_zero;
using wextest::lines_of;
using wextest::load_bytes;
using wextest::ScopedFault;
using wextest::ScopedIni;
using wextest::TempDir;

namespace {

struct BreakCase {
    const char *name;
    std::string bytes;
    std::vector<std::string> lines;
    uint32_t physLines;
};

std::vector<BreakCase> break_cases() {
    return {
        {"each line keeps its own break", "a=1\r\nb=2\nc=3\r", {"a=1\r\n", "b=2\n", "c=3\r"}, 3},
        {"LF CR is one break", "a\n\rb\n", {"a\n\r", "b\n"}, 2},
        {"CR CR is two breaks", "a\r\rb\r", {"a\r", "\r", "b\r"}, 3},
        {"LF LF is two breaks", "a\n\nb\n", {"a\n", "\n", "b\n"}, 3},
        {"a last line without break gets a CR", "a=1\nb=2", {"a=1\n", "b=2\r"}, 2},
        {"backslash CR LF joins the next line", "k=ab\\\r\ncd\r\n", {"k=abcd\r\n"}, 2},
        {"backslash LF CR joins the next line", "k=ab\\\n\rcd\n", {"k=abcd\n"}, 2},
        {"backslash CR joins the next line", "k=ab\\\rcd\r", {"k=abcd\r"}, 2},
        {"a joined line may be joined again", "a\\\nb\\\nc\n", {"abc\n"}, 3},
        {"a continuation onto an empty line ends the line", "a\\\r\rb\n", {"a\r", "b\n"}, 3},
        {"a continuation onto an empty LF line ends it", "a\\\n\nb\n", {"a\n", "b\n"}, 3},
        {"a doubled backslash stays and does not join", "a\\\\\nb\n", {"a\\\\\n", "b\n"}, 2},
        {"a backslash before other bytes stays", "a\\b\n", {"a\\b\n"}, 1},
        {"a backslash as last byte is dropped", "a=1\\", {"a=1\r"}, 1},
        {"a continuation at the end of the file is dropped", "a=1\\\n", {"a=1\r"}, 1},
        {"a line after a break may begin with a backslash", "a\n\\b\n", {"a\n", "\\b\n"}, 2},
        {"a joined line may begin with a backslash", "a\\\n\\\nb\n", {"ab\n"}, 3},
        {"a joined line may begin with a doubled backslash", "a\\\n\\\\b\n", {"a\\\\b\n"}, 2},
        {"a single break is a line", "\n", {"\n"}, 1},
        {"an empty file has no lines", "", {}, 0},
    };
}

class LineBreaks : public testing::TestWithParam<BreakCase> {};

TEST_P(LineBreaks, LoadAsTheTableSays) {
    TempDir dir;
    ScopedIni doc;
    ASSERT_EQ(load_bytes(dir, GetParam().bytes, doc.get()), QUIL_SUCCESS);
    EXPECT_EQ(lines_of(doc.doc), GetParam().lines);
    EXPECT_EQ(doc->physLineCount, GetParam().physLines);
    EXPECT_EQ(doc->modified, 0u);
    EXPECT_EQ(doc->lineCapacity, 200u);
}

INSTANTIATE_TEST_SUITE_P(Table, LineBreaks, testing::ValuesIn(break_cases()),
                         [](const testing::TestParamInfo<BreakCase> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p != '\0'; ++p) {
                                 if (std::isalnum(static_cast<unsigned char>(*p)) != 0) {
                                     name += *p;
                                 }
                             }
                             return name;
                         });

// Reads lines one by one from a file holding bytes.
class ReadLineTest : public testing::Test {
  protected:
    QUIL_FILE *open(const std::string &bytes) {
        path_ = dir_.file("lines");
        wextest::write_file(path_, bytes);
        file_ = QUIL_Fopen(path_.c_str(), "r");
        return file_;
    }
    ~ReadLineTest() override { QUIL_Fclose(file_); }

    TempDir dir_;
    std::string path_;
    QUIL_FILE *file_ = nullptr;
};

TEST_F(ReadLineTest, ReportsTheBytesReadWithoutTheAppendedBreak) {
    QUIL_FILE *file = open("k=v\\\r\nw");
    char *line = nullptr;
    uint32_t length = 9;
    uint32_t phys = 9;
    ASSERT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), QUIL_SUCCESS);
    EXPECT_STREQ(line, "k=vw\r");
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(phys, 2u);
    QUIL_MemFreeD(line, __LINE__, "test");
    EXPECT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), INI_NO_LINES);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(phys, 0u);
}

TEST_F(ReadLineTest, GivesBackTheByteThatBeginsTheNextLine) {
    QUIL_FILE *file = open("a\nb\n");
    char *line = nullptr;
    uint32_t length = 0;
    uint32_t phys = 0;
    ASSERT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), QUIL_SUCCESS);
    QUIL_MemFreeD(line, __LINE__, "test");
    ASSERT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), QUIL_SUCCESS);
    EXPECT_STREQ(line, "b\n");
    QUIL_MemFreeD(line, __LINE__, "test");
}

TEST_F(ReadLineTest, RefusesNullArguments) {
    QUIL_FILE *file = open("a\n");
    char *line = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(QUIL_Ini_ReadLine(nullptr, file, &n, &n), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ReadLine(&line, nullptr, &n, &n), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ReadLine(&line, file, nullptr, &n), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ReadLine(&line, file, &n, nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(line, nullptr);
}

// The longest logical line is 511 bytes with its line break and joined lines.
struct LimitCase {
    const char *name;
    std::string bytes;
    uint32_t result;
};

std::vector<LimitCase> limit_cases() {
    const std::string a509(509, 'a');
    const std::string a510(510, 'a');
    return {
        {"511BytesWithCrLfLoad", a509 + "\r\n", QUIL_SUCCESS},
        {"512BytesWithCrLfFail", a510 + "\r\n", INI_LINE_TOO_LONG},
        {"511JoinedBytesLoad", std::string(300, 'a') + "\\\r\n" + std::string(209, 'b') + "\r\n",
         QUIL_SUCCESS},
        {"512JoinedBytesFail", std::string(300, 'a') + "\\\r\n" + std::string(210, 'b') + "\r\n",
         INI_LINE_TOO_LONG},
        {"511BytesWithoutBreakLoad", std::string(511, 'a'), QUIL_SUCCESS},
        {"ADoubledBackslashReachingTheLimitFails", a510 + "\\\\", INI_LINE_TOO_LONG},
        {"ABackslashAndByteReachingTheLimitFail", a510 + "\\b", INI_LINE_TOO_LONG},
        {"ALongLineAfterShortOnesFails", "[s]\nk=1\n" + a510 + "\r\n", INI_LINE_TOO_LONG},
    };
}

class LineLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(LineLimit, IsFiveHundredElevenBytes) {
    TempDir dir;
    ScopedIni doc;
    EXPECT_EQ(load_bytes(dir, GetParam().bytes, doc.get()), GetParam().result);
    if (GetParam().result != QUIL_SUCCESS) {
        EXPECT_TRUE(is_all_zero(doc.doc));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, LineLimit, testing::ValuesIn(limit_cases()),
                         [](const testing::TestParamInfo<LimitCase> &info) {
                             return std::string(info.param.name);
                         });

std::string numbered_lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    return text;
}

TEST(IniLoadGrowth, GrowsByFiftySlotsWhenTheNextLineWouldTakeTheLastSlot) {
    struct Case {
        int lines;
        uint32_t capacity;
    };
    for (Case c : {Case{198, 200}, Case{199, 250}, Case{248, 250}, Case{249, 300}}) {
        TempDir dir;
        ScopedIni doc;
        ASSERT_EQ(load_bytes(dir, numbered_lines(c.lines), doc.get()), QUIL_SUCCESS);
        EXPECT_EQ(doc->lineCount, static_cast<uint32_t>(c.lines));
        EXPECT_EQ(doc->lineCapacity, c.capacity) << c.lines << " lines";
        for (uint32_t i = doc->lineCount; i < doc->lineCapacity; ++i) {
            EXPECT_EQ(doc->lines[i], nullptr) << "slot " << i;
        }
        EXPECT_STREQ(
            doc->lines[c.lines - 1],
            ("k" + std::to_string(c.lines - 1) + "=" + std::to_string(c.lines - 1) + "\n").c_str());
    }
}

TEST(IniLoadNul, AFileHoldingANulByteAnywhereFailsAndLeavesTheRecordZero) {
    const std::vector<std::string> files = {
        std::string("\0a=1\n", 5),
        std::string("a=1\n\0", 5),
        std::string("[s]\na=\0b\nc=1\n", 13),
        std::string("a=1\\\n\0", 6),
        std::string("a\\\0", 3),
        // "[a]" in UTF-16LE with its byte-order mark
        std::string("\xFF\xFE[\0a\0]\0\r\0\n\0", 12),
    };
    for (const std::string &bytes : files) {
        TempDir dir;
        IniFile doc{};
        EXPECT_EQ(load_bytes(dir, bytes, &doc), INI_BAD_LINE);
        EXPECT_TRUE(is_all_zero(doc));
    }
}

TEST(IniLoadArguments, NullArgumentsLeaveTheRecordUntouched) {
    IniFile doc{};
    doc.lineCount = 7;
    EXPECT_EQ(QUIL_Ini_Load(nullptr, &doc), INI_BAD_ARGUMENT);
    EXPECT_EQ(doc.lineCount, 7u);
    EXPECT_EQ(QUIL_Ini_Load("x.ini", nullptr), INI_BAD_ARGUMENT);
}

TEST(IniLoadArguments, AMissingFileGivesThirtyWithTheRecordZero) {
    TempDir dir;
    IniFile doc{};
    doc.lineCount = 7;
    EXPECT_EQ(QUIL_Ini_Load(dir.file("missing.ini").c_str(), &doc), INI_OPEN_FAILED);
    EXPECT_TRUE(is_all_zero(doc));
}

TEST(IniLoadByteOrderMark, IsKeptInTheFirstLine) {
    TempDir dir;
    ScopedIni doc;
    ASSERT_EQ(load_bytes(dir, "\xEF\xBB\xBF[a]\r\nk=1\r\n", doc.get()), QUIL_SUCCESS);
    EXPECT_STREQ(doc->lines[0], "\xEF\xBB\xBF[a]\r\n");
}

TEST(IniFree, ReleasesEveryLineAndZeroesTheRecord) {
    TempDir dir;
    IniFile doc{};
    ASSERT_EQ(load_bytes(dir, numbered_lines(300), &doc), QUIL_SUCCESS);
    QUIL_MemFreeSetNullD(&doc.lines[5], __LINE__, "test"); // a removed line
    QUIL_Ini_Free(&doc);
    EXPECT_TRUE(is_all_zero(doc));
    QUIL_Ini_Free(&doc); // an all-zero record is accepted
    QUIL_Ini_Free(nullptr);
}

TEST(IniGrowLines, RefusesARecordWithoutArray) {
    IniFile doc{};
    EXPECT_EQ(QUIL_Ini_GrowLines(&doc), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GrowLines(nullptr), INI_BAD_ARGUMENT);
}

TEST(IniGrowLines, AFailedGrowthLeavesTheDocumentAsItWas) {
    TempDir dir;
    ScopedIni doc;
    ASSERT_EQ(load_bytes(dir, "[a]\nk=1\n", doc.get()), QUIL_SUCCESS);
    char **lines = doc->lines;
    {
        ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(QUIL_Ini_GrowLines(doc.get()), INI_NO_MEMORY);
    }
    EXPECT_EQ(doc->lines, lines);
    EXPECT_EQ(doc->lineCapacity, 200u);
    ASSERT_EQ(QUIL_Ini_GrowLines(doc.get()), QUIL_SUCCESS);
    EXPECT_EQ(doc->lineCapacity, 250u);
    EXPECT_EQ(lines_of(doc.doc), (std::vector<std::string>{"[a]\n", "k=1\n"}));
    for (uint32_t i = 2; i < 250; ++i) {
        EXPECT_EQ(doc->lines[i], nullptr);
    }
}

// Every allocation of a load that grows its array, failed in turn.
TEST(IniLoadFaults, EveryAllocationFailureGivesEightyAndLeavesNothing) {
    TempDir dir;
    std::string path = dir.file("big.ini");
    wextest::write_file(path, numbered_lines(260));
    for (uint32_t n = 1;; ++n) {
        IniFile doc{};
        uint32_t result = 0;
        {
            ScopedFault fault(QUIL_OP_ALLOC, n);
            result = QUIL_Ini_Load(path.c_str(), &doc);
        }
        if (result == QUIL_SUCCESS) {
            EXPECT_EQ(doc.lineCount, 260u);
            EXPECT_GT(n, 260u); // the array, 260 lines and two growths
            QUIL_Ini_Free(&doc);
            break;
        }
        ASSERT_EQ(result, INI_NO_MEMORY) << "allocation " << n;
        EXPECT_TRUE(is_all_zero(doc));
    }
}

TEST(IniLoadFaults, AFailedPushBackGivesEighty) {
    TempDir dir;
    for (uint32_t n : {1u, 2u}) {
        IniFile doc{};
        ScopedFault fault(QUIL_OP_FSEEK, n);
        EXPECT_EQ(load_bytes(dir, "a=1\nb=2\nc=3\n", &doc), INI_NO_MEMORY);
        EXPECT_TRUE(is_all_zero(doc));
    }
}

TEST(IniLoadFaults, AFileThatCannotBeOpenedGivesThirty) {
    TempDir dir;
    IniFile doc{};
    ScopedFault fault(QUIL_OP_FOPEN, 1);
    EXPECT_EQ(load_bytes(dir, "a=1\n", &doc), INI_OPEN_FAILED);
    EXPECT_TRUE(is_all_zero(doc));
}

} // namespace
