// Reading INI documents: loading, the line grammar, lookups and listings, and their failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ini_parser/source/ini_internal.h"
#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::is_all_zero;
using wextest::lines_of;
using wextest::ScopedFault;
using wextest::TempDir;

namespace {

using wextest::Lines;
using Text = std::optional<std::string>;
const Text kNone = std::nullopt;

// Takes a string handed out by the library and releases it.
Text take(char *text) {
    Text taken = text != nullptr ? Text(text) : kNone;
    QUIL_MemFreeD(text, __LINE__, "test");
    return taken;
}

// A document loaded from bytes written to a temporary file, released at the end of the scope.
struct Doc {
    TempDir dir;
    IniFile doc{};
    uint32_t loaded;
    explicit Doc(const std::string &bytes) {
        wextest::write_file(dir.file("doc.ini"), bytes);
        loaded = QUIL_Ini_Load(dir.file("doc.ini").c_str(), &doc);
    }
    ~Doc() { QUIL_Ini_Free(&doc); }
};

// ---- Loading ----

struct BreakCase {
    std::string bytes;
    Lines lines;
    uint32_t physLines;
};

const BreakCase kBreakCases[] = {
    {"a=1\r\nb=2\nc=3\r", {"a=1\r\n", "b=2\n", "c=3\r"}, 3}, // each line keeps its break
    {"a\n\rb\n", {"a\n\r", "b\n"}, 2},                       // LF CR is one break
    {"a\r\rb\r", {"a\r", "\r", "b\r"}, 3},                   // CR CR and LF LF are two
    {"a\n\nb", {"a\n", "\n", "b\r"}, 3},                     // a last line gets a CR
    {"k=ab\\\r\ncd\r\n", {"k=abcd\r\n"}, 2},                 // continuation over CR LF,
    {"k=ab\\\n\rcd\n", {"k=abcd\n"}, 2},                     // LF CR,
    {"k=ab\\\rcd\r", {"k=abcd\r"}, 2},                       // CR
    {"a\\\nb\\\nc\n", {"abc\n"}, 3},                         // and again
    {"a\\\r\rb\n", {"a\r", "b\n"}, 3},
    {"a\\\n\nb\n", {"a\n", "b\n"}, 3},     // a continuation onto an empty line ends the line
    {"a\\\\\nb\n", {"a\\\\\n", "b\n"}, 2}, // a doubled backslash stays and does not join
    {"a\\b\\", {"a\\b\r"}, 1},             // one before another byte stays; a last one goes
    {"a=1\\\n", {"a=1\r"}, 1},             // a continuation at the end goes
    {"a\n\\b\n", {"a\n", "\\b\n"}, 2},     // a line may begin with a backslash
    {"a\\\n\\\nb\n", {"ab\n"}, 3},         // a joined line may begin with a continuation
    {"a\\\n\\\\b\n", {"a\\\\b\n"}, 2},     // or with a doubled backslash
    {"", {}, 0},
};

// Loading reads ahead a block at a time and stores runs of plain bytes at once, holds the byte
// after a line for the next one and never seeks; QUIL_Ini_ReadLine takes one byte at a time and
// gives the byte after a line back to the file. Both must read the same lines.
struct LineByLine {
    uint32_t result = QUIL_SUCCESS;
    Lines lines;
    uint32_t physLines = 0;
};

LineByLine read_line_by_line(const std::string &path) {
    LineByLine read;
    QUIL_FILE *file = QUIL_Fopen(path.c_str(), "r");
    char *line = nullptr;
    uint32_t length = 0;
    uint32_t phys = 0;
    while ((read.result = QUIL_Ini_ReadLine(&line, file, &length, &phys)) == QUIL_SUCCESS) {
        read.lines.emplace_back(line);
        read.physLines += phys;
        take(line);
    }
    QUIL_Fclose(file);
    if (read.result == INI_NO_LINES) {
        read.result = QUIL_SUCCESS;
    }
    return read;
}

TEST(IniLoad, KeepsLogicalLinesWithTheirBreaksAndDropsContinuationsAsReadLineDoes) {
    for (const BreakCase &c : kBreakCases) {
        Doc d(c.bytes);
        ASSERT_EQ(d.loaded, QUIL_SUCCESS) << testing::PrintToString(c.bytes);
        EXPECT_EQ(lines_of(d.doc), c.lines) << testing::PrintToString(c.bytes);
        EXPECT_EQ(d.doc.physLineCount, c.physLines) << testing::PrintToString(c.bytes);
        EXPECT_EQ(d.doc.lineCapacity, 200u);
        LineByLine read = read_line_by_line(d.dir.file("doc.ini"));
        EXPECT_EQ(read.lines, c.lines) << testing::PrintToString(c.bytes);
        EXPECT_EQ(read.physLines, c.physLines);
    }
}

std::string random_text(std::mt19937 &random, size_t size, bool withNul) {
    static const std::string kPieces[] = {"\r",
                                          "\n",
                                          "\r\n",
                                          "\n\r",
                                          "\\",
                                          "\\\n",
                                          "\\\\",
                                          "k = v ;c",
                                          "[s]",
                                          " ",
                                          "\t",
                                          std::string(40, 'x'),
                                          std::string(170, 'y')};
    std::string text;
    while (text.size() < size) {
        text += kPieces[random() % std::size(kPieces)];
    }
    if (withNul) {
        text[random() % text.size()] = '\0';
    }
    return text;
}

// Texts full of breaks, backslashes and long runs, some with a NUL or a line at the length
// limit, across several read-ahead blocks.
TEST(IniLoad, LoadsEveryTextAsReadingItLineByLineDoes) {
    std::mt19937 random(2026);
    for (int round = 0; round < 60; ++round) {
        std::string bytes = random_text(random, 1000 + random() % 30000, round % 10 == 9);
        Doc d(bytes);
        LineByLine expected = read_line_by_line(d.dir.file("doc.ini"));
        ASSERT_EQ(d.loaded, expected.result) << "round " << round;
        if (d.loaded == QUIL_SUCCESS) {
            EXPECT_EQ(lines_of(d.doc), expected.lines) << "round " << round;
            EXPECT_EQ(d.doc.physLineCount, expected.physLines) << "round " << round;
        }
    }
}

TEST(IniReadLine, ReportsTheBytesReadWithoutAnAppendedBreak) {
    Doc d("k=v\\\r\nw");
    QUIL_FILE *file = QUIL_Fopen(d.dir.file("doc.ini").c_str(), "r");
    char *line = nullptr;
    uint32_t length = 0;
    uint32_t phys = 0;
    EXPECT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), QUIL_SUCCESS);
    EXPECT_EQ(take(line), "k=vw\r");
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(phys, 2u);
    QUIL_Fclose(file);
}

TEST(IniReadLine, AFailedPushBackGivesEightyAndNoLine) {
    Doc d("a\nb\n");
    QUIL_FILE *file = QUIL_Fopen(d.dir.file("doc.ini").c_str(), "r");
    char *line = nullptr;
    uint32_t length = 9;
    uint32_t phys = 9;
    {
        ScopedFault fault(QUIL_OP_FSEEK, 1);
        EXPECT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), INI_NO_MEMORY);
    }
    EXPECT_EQ(line, nullptr);
    EXPECT_EQ(length + phys, 0u);
    EXPECT_EQ(QUIL_Ini_ReadLine(&line, nullptr, &length, &phys), INI_BAD_ARGUMENT);
    QUIL_Fclose(file);
}

// The longest logical line is 511 bytes, its break and joined lines included.
TEST(IniLoad, RefusesALogicalLineOfFiveHundredTwelveBytes) {
    const std::string a509(509, 'a');
    const std::string a300(300, 'a');
    const std::pair<std::string, uint32_t> cases[] = {
        {a509 + "\r\n", QUIL_SUCCESS},
        {a509 + "a\r\n", INI_LINE_TOO_LONG},
        {a300 + "\\\r\n" + std::string(209, 'b') + "\r\n", QUIL_SUCCESS},
        {a300 + "\\\r\n" + std::string(210, 'b') + "\r\n", INI_LINE_TOO_LONG},
        {a509 + "a", QUIL_SUCCESS},
        // The CR that a last line without break gets would make 512 bytes, which a saved file
        // could not load again.
        {a509 + "aa", INI_LINE_TOO_LONG},
        {a509 + "a\\\\", INI_LINE_TOO_LONG}, // a doubled backslash stored at the limit
        {"[s]\nk=1\n" + a509 + "a\r\n", INI_LINE_TOO_LONG},
    };
    for (const auto &[bytes, result] : cases) {
        Doc d(bytes);
        EXPECT_EQ(d.loaded, result) << bytes.size() << " bytes";
        EXPECT_EQ(is_all_zero(d.doc), result != QUIL_SUCCESS);
    }
}

std::string numbered_lines(uint32_t count) {
    std::string text;
    for (uint32_t i = 0; i < count; ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    return text;
}

TEST(IniLoad, GrowsByFiftyNullSlotsWhenTheNextLineWouldTakeTheLastSlot) {
    for (auto [count, capacity] : {std::pair{198u, 200u},
                                   {199u, 250u},
                                   {248u, 250u},
                                   {249u, 300u},
                                   {449u, 500u},
                                   {450u, 500u},
                                   {998u, 1000u},
                                   {999u, 1050u},
                                   {5000u, 5050u}}) {
        Doc d(numbered_lines(count));
        ASSERT_EQ(d.loaded, QUIL_SUCCESS);
        EXPECT_EQ(d.doc.lineCapacity, capacity) << count << " lines";
        EXPECT_EQ(lines_of(d.doc).back(),
                  "k" + std::to_string(count - 1) + "=" + std::to_string(count - 1) + "\n");
        for (uint32_t i = count; i < capacity; ++i) {
            EXPECT_EQ(d.doc.lines[i], nullptr);
        }
    }
}

#ifdef __linux__
// A read error is no end of file: the document would be cut short there and lose the rest of
// the file on the next save. Reading this process's memory from address 0 fails with EIO.
TEST(IniLoad, RefusesAFileWhoseReadingFails) {
    IniFile doc{};
    EXPECT_EQ(QUIL_Ini_Load("/proc/self/mem", &doc), INI_OPEN_FAILED);
    EXPECT_TRUE(is_all_zero(doc));
}
#endif

// A text cut at a NUL byte would lose the rest of the file on the next save.
TEST(IniLoad, RefusesAFileHoldingANulByteAnywhere) {
    const std::string files[] = {
        std::string("\0a=1\n", 5),
        std::string("a=1\n\0", 5),
        std::string("[s]\na=\0b\nc=1\n", 13),
        std::string("a\\\0", 3),
        std::string("\xFF\xFE[\0a\0]\0\r\0\n\0", 12), // UTF-16
    };
    for (const std::string &bytes : files) {
        Doc d(bytes);
        EXPECT_EQ(d.loaded, INI_BAD_LINE);
        EXPECT_TRUE(is_all_zero(d.doc));
    }
}

TEST(IniLoad, NullArgumentsLeaveTheRecordAndAFileThatCannotBeOpenedZeroesIt) {
    TempDir dir;
    IniFile doc{};
    doc.lineCount = 7;
    EXPECT_EQ(QUIL_Ini_Load(nullptr, &doc), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_Load("x.ini", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(doc.lineCount, 7u);
    EXPECT_EQ(QUIL_Ini_Load(dir.file("missing.ini").c_str(), &doc), INI_OPEN_FAILED);
    EXPECT_TRUE(is_all_zero(doc));
    EXPECT_EQ(QUIL_Ini_GrowLines(&doc), INI_BAD_ARGUMENT);
}

// ---- The line grammar ----

TEST(IniGrammar, ClassifiesByTheFirstByteThatIsNotBlank) {
    const std::pair<const char *, uint32_t> cases[] = {
        {"   ", INI_LINE_BLANK},
        {"   \r\n", INI_LINE_EMPTY},
        {";a=b\n", INI_LINE_COMMENT},
        {"  # x\n", INI_LINE_COMMENT},
        {" [a=b\n", INI_LINE_SECTION},
        {"  my key = v", INI_LINE_KEY},
        {"abc\r\n", INI_LINE_INVALID},
        {"\xEF\xBB\xBF[Desktop Entry]\n", INI_LINE_SECTION},
        {"\xEF\xBB[a]\n", INI_LINE_INVALID}, // only a whole byte-order mark is passed over
    };
    for (const auto &[text, kind] : cases) {
        uint32_t found = INI_LINE_UNSET;
        uint32_t result = QUIL_Ini_GetLineType(text, &found);
        EXPECT_EQ(result, kind == INI_LINE_INVALID ? INI_BAD_LINE : QUIL_SUCCESS) << text;
        EXPECT_EQ(found, kind) << text;
    }
    uint32_t kind = INI_LINE_UNSET;
    EXPECT_EQ(QUIL_Ini_GetLineType("", &kind), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetLineType("\xEF\xBB\xBF", &kind), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetLineType(nullptr, &kind), INI_BAD_ARGUMENT);
    EXPECT_EQ(kind, INI_LINE_UNSET);
}

TEST(IniGrammar, CutsSectionHeadersIntoNameAndComment) {
    const std::tuple<const char *, uint32_t, Text, Text> cases[] = {
        {"  [ sect ]  \t\r\n", QUIL_SUCCESS, "sect", kNone},
        {"[a[b]\n", QUIL_SUCCESS, "a[b", kNone},
        {"[a] ;c\n", QUIL_SUCCESS, "a", "c"},
        {"[a] x ;  c d \r\n", QUIL_SUCCESS, "a", "c d"},
        {"[a] ;\n", QUIL_SUCCESS, "a", ""},
        {"[a];c\n", INI_BAD_LINE, kNone, kNone},
        {"[a] x\n", INI_BAD_LINE, kNone, kNone},
        {"[a]\t;c\n", INI_BAD_LINE, kNone, kNone},
        {"[ ]\n", INI_BAD_SECTION, kNone, kNone},
        {"[]\n", INI_BAD_SECTION, kNone, kNone},
        {"]a[\n", INI_BAD_SECTION, kNone, kNone},
        {"ab", INI_BAD_SECTION, kNone, kNone},
        {"\xEF\xBB\xBF[Desktop Entry]\n", QUIL_SUCCESS, "Desktop Entry", kNone},
    };
    for (const auto &[text, result, name, comment] : cases) {
        char *gotName = nullptr;
        char *gotComment = nullptr;
        EXPECT_EQ(QUIL_Ini_ParseSectionLine(text, &gotName, &gotComment), result) << text;
        EXPECT_EQ(take(gotName), name) << text;
        EXPECT_EQ(take(gotComment), comment) << text;
    }
}

TEST(IniGrammar, CutsKeyLinesIntoKeyValueAndComment) {
    const std::tuple<const char *, uint32_t, Text, Text, Text> cases[] = {
        {"name = some text ;note\n", QUIL_SUCCESS, "name", "some text", "note"},
        {"name= ;note\n", QUIL_SUCCESS, "name", kNone, "note"},
        {"name=", QUIL_SUCCESS, "name", kNone, kNone},
        {"k=   \r\n", QUIL_SUCCESS, "k", kNone, kNone},
        {"name=a;b\n", QUIL_SUCCESS, "name", "a;b", kNone},
        {"name=a\t;b\n", QUIL_SUCCESS, "name", "a\t;b", kNone},
        {"my key=b=c #d\n", QUIL_SUCCESS, "my key", "b=c #d", kNone},
        {"k=v  ;a ;b \r\n", QUIL_SUCCESS, "k", "v", "a ;b"},
        {"name=\"x ;y\" ;note\n", QUIL_SUCCESS, "name", "\"x ;y\"", "note"},
        {"name=a ;b\"c\"\n", QUIL_SUCCESS, "name", "a ;b\"c\"", kNone},
        {"k=a ;b\\\"\n", QUIL_SUCCESS, "k", "a", "b\\\""}, // an escaped quote quotes nothing
        {"\xEF\xBB\xBF k=v\n", QUIL_SUCCESS, "k", "v", kNone},
        {" \t=1\n", INI_BAD_KEY, kNone, kNone, kNone},
        {"abc\n", INI_BAD_LINE, kNone, kNone, kNone},
    };
    for (const auto &[text, result, key, value, comment] : cases) {
        char *got[3] = {};
        EXPECT_EQ(QUIL_Ini_ParseKeyLine(text, &got[0], &got[1], &got[2]), result) << text;
        EXPECT_EQ(take(got[0]), key) << text;
        EXPECT_EQ(take(got[1]), value) << text;
        EXPECT_EQ(take(got[2]), comment) << text;
    }
}

TEST(IniGrammar, TakesTheCommentAfterTheFirstSpaceSemicolon) {
    const std::tuple<const char *, uint32_t, Text> cases[] = {
        {"x ;\tc d \t\r\n", QUIL_SUCCESS, "c d"},
        {"x ;  \r\n", QUIL_SUCCESS, ""},
        {"x;c ; d", QUIL_SUCCESS, "d"},
        {"x\t;c\n", INI_BAD_LINE, kNone},
    };
    for (const auto &[text, result, comment] : cases) {
        char *got = nullptr;
        EXPECT_EQ(QUIL_Ini_ParseComment(text, &got), result) << text;
        EXPECT_EQ(take(got), comment) << text;
    }
}

TEST(IniGrammar, PositionsStopOnTheLimitEvenWhenItIsBlankOrWhite) {
    const char *text = "a  \r\n";
    const char *pos = text + 1;
    QUIL_Ini_SkipBlanks(&pos, text + 2);
    EXPECT_EQ(pos, text + 2);
    pos = text + 4;
    QUIL_Ini_TrimBack(&pos, text + 2);
    EXPECT_EQ(pos, text + 2);
    QUIL_Ini_TrimBack(&pos, text);
    EXPECT_EQ(pos, text);
    EXPECT_EQ(QUIL_Ini_SafeStrLen(nullptr), 0u);
}

TEST(IniGrammar, EveryAllocationFailureLeavesNoStringBehind) {
    for (uint32_t n = 1; n <= 3; ++n) {
        char *got[3] = {};
        ScopedFault fault(QUIL_OP_ALLOC, n);
        EXPECT_EQ(QUIL_Ini_ParseKeyLine("k = v ;c\n", &got[0], &got[1], &got[2]), INI_NO_MEMORY);
        EXPECT_TRUE(got[0] == nullptr && got[1] == nullptr && got[2] == nullptr);
    }
    for (uint32_t n = 1; n <= 2; ++n) {
        char *got[2] = {};
        ScopedFault fault(QUIL_OP_ALLOC, n);
        EXPECT_EQ(QUIL_Ini_ParseSectionLine("[a] ;c\n", &got[0], &got[1]), INI_NO_MEMORY);
        EXPECT_TRUE(got[0] == nullptr && got[1] == nullptr);
    }
}

// ---- Lookup and listing ----

// Runs a query on doc: "value|section|key", "sections" or "keys|section". The answer is the
// value ("<none>" for a null one), the names joined by commas, or "code N" after a failure.
std::string ask(IniFile *doc, const std::string &query) {
    std::vector<std::string> words;
    std::stringstream stream(query);
    for (std::string word; std::getline(stream, word, '|');) {
        words.push_back(word);
    }
    uint32_t result = 0;
    uint32_t count = 99;
    char **list = reinterpret_cast<char **>(1);
    char *value = reinterpret_cast<char *>(1);
    if (words[0] == "value") {
        result = QUIL_Ini_GetValue(doc, words[1].c_str(), words[2].c_str(), &value);
        list = nullptr;
    } else if (words[0] == "sections") {
        result = QUIL_Ini_GetSections(doc, &count, &list);
        value = nullptr;
    } else {
        result = QUIL_Ini_GetKeys(doc, words[1].c_str(), &count, &list);
        value = nullptr;
    }
    if (result != QUIL_SUCCESS) {
        EXPECT_TRUE(list == nullptr && value == nullptr) << query << ": a failure leaves no result";
        return "code " + std::to_string(result);
    }
    if (words[0] == "value") {
        return take(value).value_or("<none>");
    }
    std::string names;
    for (uint32_t i = 0; i < count; ++i) {
        names += (i > 0 ? "," : "") + std::string(list[i]);
    }
    EXPECT_EQ(list[count], nullptr);
    QUIL_Ini_FreeList(list);
    return names;
}

struct LookupCase {
    const char *doc;
    const char *query;
    const char *answer;
};

const LookupCase kLookups[] = {
    // The last header of a name holds its keys; the last line of a key gives its value.
    {"[A]\nx=1\n[B]\n[A]\ny=2\n", "sections", "A,B,A"},
    {"[A]\nx=1\n[B]\n[A]\ny=2\n", "keys|a", "y"},
    {"[A]\nx=1\n[B]\n[A]\ny=2\n", "value|A|x", "code 20"},
    {"[s]\nk=first\nother=1\nK = second ;c\n", "value|S|k", "second"},
    {"[s]\nk=first\nother=1\nK = second ;c\n", "keys|s", "k,other,K"},
    {"  [ Net ]  \r\n  Port = 80 \r\n", "value|net|PORT", "80"},
    {"[a]\nk=\nj= ;only a comment\n", "value|a|j", "<none>"},
    // Keys before the first header belong to no section; a section ends at the next header.
    {"k=1\n[s]\nj=2\n", "value|s|k", "code 20"},
    {"k=1\n;c\n", "value|s|k", "code 10"},
    {"k=1\n;c\n", "sections", "code 10"},
    {"k=1\n;c\n", "keys|s", "code 10"},
    {"[e]\n[c]\n; k=1\n\n[l]\nk=1\n", "value|e|k", "code 20"},
    {"[e]\n[c]\n; k=1\n\n[l]\nk=1\n", "keys|c", "code 20"},
    {"[a]\nx=1\n[b]\n", "value|b|x", "code 20"},
    {"[a]\nx=1\n\n; note\n\ny=2", "keys|a", "x,y"},
    {"", "value|a|k", "code 130"},
    {"", "sections", "code 130"},
    // A line that cannot be classified or cut fails every walk that passes it, and only those.
    {"[a]\nk=1\nendif\n[b]\nj=2\n", "sections", "code 160"},
    {"[a]\nk=1\nendif\n[b]\nj=2\n", "value|b|j", "2"},
    {"[a]\nk=1\nendif\n[b]\nj=2\n", "value|a|k", "code 160"},
    {"[a]\nk=1\nendif\n[b]\nj=2\n", "keys|missing", "code 160"},
    {"[a]\nk=1\n[b]\n=1\nj=2\n", "value|a|k", "1"},
    {"[a]\nk=1\n[b]\n=1\nj=2\n", "value|b|j", "2"},
    {"[a]\nk=1\n[b]\n=1\nj=2\n", "value|b|x", "code 120"},
    {"[a]\nk=1\n[b]\n=1\nj=2\n", "keys|b", "code 120"},
    {"[a]\nk=1\n[b] x\nj=2\n", "value|a|k", "code 160"},
    {"[a]\nk=1\n[ ]\n", "sections", "code 110"},
    // A byte-order mark does not hide the first header.
    {"\xEF\xBB\xBF[Desktop Entry]\nName=x\n", "value|desktop entry|name", "x"},
};

TEST(IniLookup, AnswersAsTheLookupConventionsSay) {
    for (const LookupCase &c : kLookups) {
        Doc d(c.doc);
        ASSERT_EQ(d.loaded, QUIL_SUCCESS);
        EXPECT_EQ(ask(&d.doc, c.query), c.answer) << c.query << " in\n" << c.doc;
    }
}

TEST(IniLookup, SkipsRemovedLinesWhichEndNothing) {
    Doc d("[a]\nx=1\n[b]\ny=2\nz=3\n");
    QUIL_MemFreeSetNullD(&d.doc.lines[2], __LINE__, "test"); // [b]: its keys now belong to [a]
    QUIL_MemFreeSetNullD(&d.doc.lines[4], __LINE__, "test");
    EXPECT_EQ(ask(&d.doc, "keys|a"), "x,y");
    EXPECT_EQ(ask(&d.doc, "sections"), "a");
}

TEST(IniLookup, RefusesNullArguments) {
    Doc d("[a]\nk=v\n");
    IniFile empty{};
    char *value = nullptr;
    uint32_t count = 0;
    char **list = nullptr;
    EXPECT_EQ(QUIL_Ini_GetValue(&empty, "a", "k", &value), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetValue(&d.doc, "a", nullptr, &value), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetSections(&d.doc, &count, nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetKeys(&d.doc, nullptr, &count, &list), INI_BAD_ARGUMENT);
    QUIL_Ini_FreeList(nullptr);
}

// Names are compared in a stack buffer as long as any line; a longer one takes a heap copy.
// Lookups compare names in place; cutting the name out and comparing the copy with
// QUIL_StriCmp is the reference.
TEST(IniLookup, ComparesNamesInPlaceAsACutCopyComparesThem) {
    const char *const headers[] = {"[Alpha]\n", "[ alpha ] ;c\r\n", "[alpha beta]\n",
                                   "[al]\n",    "[\xC4lpha]\n",     "[a[b]\n"};
    const char *const names[] = {"alpha", "ALPHA",    "alph", "alphas", "alpha beta",
                                 "al",    "\xE4lpha", "a[b",  ""};
    for (const char *header : headers) {
        for (const char *name : names) {
            char *cut = nullptr;
            char *comment = nullptr;
            ASSERT_EQ(QUIL_Ini_ParseSectionLine(header, &cut, &comment), QUIL_SUCCESS);
            bool matches = false;
            EXPECT_EQ(wex::ini::section_line_matches(header, name, &matches), QUIL_SUCCESS);
            EXPECT_EQ(matches, QUIL_StriCmp(cut, name) == 0) << header << " / " << name;
            take(cut);
            take(comment);
        }
    }
}

TEST(IniLookup, MatchesAHeaderLongerThanAnyLine) {
    Doc d("[a]\nk=1\n");
    std::string header = "[" + std::string(700, 'n') + "]\n";
    QUIL_MemFreeD(d.doc.lines[0], __LINE__, "test");
    auto size = static_cast<uint32_t>(header.size() + 1);
    d.doc.lines[0] = static_cast<char *>(QUIL_MemMallocD(size, __LINE__, "test"));
    std::copy(header.c_str(), header.c_str() + header.size() + 1, d.doc.lines[0]);
    std::string query = "value|" + std::string(700, 'N') + "|k";
    EXPECT_EQ(ask(&d.doc, query), "1");
    ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(ask(&d.doc, query), "code 80");
}

} // namespace
