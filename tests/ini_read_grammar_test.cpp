// The INI line grammar: kinds, section headers, key lines and comments.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::ScopedFault;

namespace {

using Text = std::optional<std::string>;
const Text kNone = std::nullopt;

// Takes a string handed out by the grammar and releases it.
Text take(char *text) {
    Text taken = text != nullptr ? Text(text) : kNone;
    QUIL_MemFreeD(text, __LINE__, "test");
    return taken;
}

std::string printable(const std::string &text) {
    std::string shown;
    for (char c : text) {
        shown += c == '\r'   ? std::string("\\r")
                 : c == '\n' ? std::string("\\n")
                             : std::string(1, c);
    }
    return shown;
}

TEST(IniLineType, IsDecidedByTheFirstByteThatIsNotBlank) {
    struct Case {
        const char *text;
        uint32_t result;
        uint32_t kind;
    };
    const Case cases[] = {
        {"   ", QUIL_SUCCESS, INI_LINE_BLANK},
        {"\t", QUIL_SUCCESS, INI_LINE_BLANK},
        {"   \r\n", QUIL_SUCCESS, INI_LINE_EMPTY},
        {"\n", QUIL_SUCCESS, INI_LINE_EMPTY},
        {";a=b\n", QUIL_SUCCESS, INI_LINE_COMMENT},
        {"  # x\n", QUIL_SUCCESS, INI_LINE_COMMENT},
        {"[a]\n", QUIL_SUCCESS, INI_LINE_SECTION},
        {" \t[a b c=d\n", QUIL_SUCCESS, INI_LINE_SECTION},
        {"k=v\n", QUIL_SUCCESS, INI_LINE_KEY},
        {"  my key = v", QUIL_SUCCESS, INI_LINE_KEY},
        {"abc\r\n", INI_BAD_LINE, INI_LINE_INVALID},
        {"endif", INI_BAD_LINE, INI_LINE_INVALID},
        {"\xEF\xBB\xBF[Desktop Entry]\n", QUIL_SUCCESS, INI_LINE_SECTION},
        {"\xEF\xBB\xBF;c\n", QUIL_SUCCESS, INI_LINE_COMMENT},
        {"\xEF\xBB\xBF\r\n", QUIL_SUCCESS, INI_LINE_EMPTY},
        {"\xEF\xBB[a]\n", INI_BAD_LINE, INI_LINE_INVALID}, // not a whole mark
    };
    for (const Case &c : cases) {
        uint32_t kind = INI_LINE_UNSET;
        EXPECT_EQ(QUIL_Ini_GetLineType(c.text, &kind), c.result) << printable(c.text);
        EXPECT_EQ(kind, c.kind) << printable(c.text);
    }
}

TEST(IniLineType, RefusesANullOrEmptyTextWithoutWritingTheKind) {
    uint32_t kind = INI_LINE_UNSET;
    EXPECT_EQ(QUIL_Ini_GetLineType(nullptr, &kind), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetLineType("", &kind), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetLineType("\xEF\xBB\xBF", &kind), INI_BAD_ARGUMENT);
    EXPECT_EQ(kind, INI_LINE_UNSET);
    EXPECT_EQ(QUIL_Ini_GetLineType("k=v", nullptr), INI_BAD_ARGUMENT);
}

struct SectionCase {
    const char *text;
    uint32_t result;
    Text name;
    Text comment;
};

TEST(IniSectionLine, IsCutIntoNameAndComment) {
    const SectionCase cases[] = {
        {"[ sect ]\n", QUIL_SUCCESS, "sect", kNone},
        {"  [a]\n", QUIL_SUCCESS, "a", kNone},
        {"[a]  \t\r\n", QUIL_SUCCESS, "a", kNone},
        {"[a b]\n", QUIL_SUCCESS, "a b", kNone},
        {"[a[b]\n", QUIL_SUCCESS, "a[b", kNone},
        {"[a]b]\n", INI_BAD_LINE, kNone, kNone},
        {"[a] ;c\n", QUIL_SUCCESS, "a", "c"},
        {"[a] x ;c\n", QUIL_SUCCESS, "a", "c"},
        {"[a] ;  c d \r\n", QUIL_SUCCESS, "a", "c d"},
        {"[a] ;\n", QUIL_SUCCESS, "a", ""},
        {"[a];c\n", INI_BAD_LINE, kNone, kNone},
        {"[a] x\n", INI_BAD_LINE, kNone, kNone},
        {"[a]\t;c\n", INI_BAD_LINE, kNone, kNone},
        {"[]\n", INI_BAD_SECTION, kNone, kNone},
        {"[ ]\n", INI_BAD_SECTION, kNone, kNone},
        {"[\t \t]\r\n", INI_BAD_SECTION, kNone, kNone},
        {"[a", INI_BAD_SECTION, kNone, kNone},
        {"]a[\n", INI_BAD_SECTION, kNone, kNone},
        {"ab", INI_BAD_SECTION, kNone, kNone},
        {"abc\n", INI_BAD_SECTION, kNone, kNone},
        {"\xEF\xBB\xBF[Desktop Entry]\n", QUIL_SUCCESS, "Desktop Entry", kNone},
    };
    for (const SectionCase &c : cases) {
        char *name = nullptr;
        char *comment = nullptr;
        EXPECT_EQ(QUIL_Ini_ParseSectionLine(c.text, &name, &comment), c.result) << c.text;
        EXPECT_EQ(take(name), c.name) << printable(c.text);
        EXPECT_EQ(take(comment), c.comment) << printable(c.text);
    }
}

TEST(IniSectionLine, RefusesNullArguments) {
    char *name = reinterpret_cast<char *>(1);
    char *comment = reinterpret_cast<char *>(1);
    EXPECT_EQ(QUIL_Ini_ParseSectionLine(nullptr, &name, &comment), INI_BAD_SECTION);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(comment, nullptr);
    EXPECT_EQ(QUIL_Ini_ParseSectionLine("[a]", nullptr, &comment), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseSectionLine("[a]", &name, nullptr), INI_BAD_ARGUMENT);
}

struct KeyCase {
    const char *text;
    uint32_t result;
    Text key;
    Text value;
    Text comment;
};

TEST(IniKeyLine, IsCutIntoKeyValueAndComment) {
    const KeyCase cases[] = {
        {"name = some text ;note\n", QUIL_SUCCESS, "name", "some text", "note"},
        {"name= ;note\n", QUIL_SUCCESS, "name", kNone, "note"},
        {"name=\n", QUIL_SUCCESS, "name", kNone, kNone},
        {"name=", QUIL_SUCCESS, "name", kNone, kNone},
        {"name=a;b\n", QUIL_SUCCESS, "name", "a;b", kNone},
        {"name=a\t;b\n", QUIL_SUCCESS, "name", "a\t;b", kNone},
        {"name=;x ;y\n", QUIL_SUCCESS, "name", ";x ;y", kNone},
        {"my key=1\n", QUIL_SUCCESS, "my key", "1", kNone},
        {"  k\t=\t v \r\n", QUIL_SUCCESS, "k", "v", kNone},
        {"k=   \r\n", QUIL_SUCCESS, "k", kNone, kNone},
        {"a=b=c\n", QUIL_SUCCESS, "a", "b=c", kNone},
        {"k=v #c\n", QUIL_SUCCESS, "k", "v #c", kNone},
        {"k=v ;\n", QUIL_SUCCESS, "k", "v", ""},
        {"k=v ;  c d  \r\n", QUIL_SUCCESS, "k", "v", "c d"},
        {"k=v  ;a ;b\n", QUIL_SUCCESS, "k", "v", "a ;b"},
        {"name=\"x ;y\" ;note\n", QUIL_SUCCESS, "name", "\"x ;y\"", "note"},
        {"name=a ;b\"c\"\n", QUIL_SUCCESS, "name", "a ;b\"c\"", kNone},
        {"k=a ;b\\\"\n", QUIL_SUCCESS, "k", "a", "b\\\""},
        {"k=\"a\\\\b\"\n", QUIL_SUCCESS, "k", "\"a\\\\b\"", kNone},
        {"\xEF\xBB\xBFk=v\n", QUIL_SUCCESS, "k", "v", kNone},
        {"=1\n", INI_BAD_KEY, kNone, kNone, kNone},
        {" \t=1\n", INI_BAD_KEY, kNone, kNone, kNone},
        {"abc\n", INI_BAD_LINE, kNone, kNone, kNone},
    };
    for (const KeyCase &c : cases) {
        char *key = nullptr;
        char *value = nullptr;
        char *comment = nullptr;
        EXPECT_EQ(QUIL_Ini_ParseKeyLine(c.text, &key, &value, &comment), c.result)
            << printable(c.text);
        EXPECT_EQ(take(key), c.key) << printable(c.text);
        EXPECT_EQ(take(value), c.value) << printable(c.text);
        EXPECT_EQ(take(comment), c.comment) << printable(c.text);
    }
}

TEST(IniKeyLine, RefusesNullArguments) {
    char *out = nullptr;
    EXPECT_EQ(QUIL_Ini_ParseKeyLine(nullptr, &out, &out, &out), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseKeyLine("k=v", nullptr, &out, &out), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseKeyLine("k=v", &out, nullptr, &out), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseKeyLine("k=v", &out, &out, nullptr), INI_BAD_ARGUMENT);
}

TEST(IniComment, IsTheTrimmedTextAfterTheFirstSpaceSemicolon) {
    struct Case {
        const char *text;
        uint32_t result;
        Text comment;
    };
    const Case cases[] = {
        {"x ;c\n", QUIL_SUCCESS, "c"},     {"x ;\tc d \t\r\n", QUIL_SUCCESS, "c d"},
        {"x ;", QUIL_SUCCESS, ""},         {"x ;  \r\n", QUIL_SUCCESS, ""},
        {"x ;a ;b", QUIL_SUCCESS, "a ;b"}, {"x;c\n", INI_BAD_LINE, kNone},
        {"x\t;c\n", INI_BAD_LINE, kNone},
    };
    for (const Case &c : cases) {
        char *comment = nullptr;
        EXPECT_EQ(QUIL_Ini_ParseComment(c.text, &comment), c.result) << printable(c.text);
        EXPECT_EQ(take(comment), c.comment) << printable(c.text);
    }
    char *comment = nullptr;
    EXPECT_EQ(QUIL_Ini_ParseComment(nullptr, &comment), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseComment("x ;c", nullptr), INI_BAD_ARGUMENT);
}

TEST(IniPositions, SkipBlanksStopsOnTheLimitEvenWhenItIsBlank) {
    const char *text = "   a";
    const char *pos = text;
    QUIL_Ini_SkipBlanks(&pos, text + 1);
    EXPECT_EQ(pos, text + 1);
    pos = text;
    QUIL_Ini_SkipBlanks(&pos, text + 3);
    EXPECT_EQ(pos, text + 3);
    pos = text + 3;
    QUIL_Ini_SkipBlanks(&pos, text); // a limit behind the position: no move
    EXPECT_EQ(pos, text + 3);
    QUIL_Ini_SkipBlanks(nullptr, text);
}

TEST(IniPositions, TrimBackStopsOnTheLimitEvenWhenItIsWhite) {
    const char *text = "a \t\r\n";
    const char *pos = text + 4;
    QUIL_Ini_TrimBack(&pos, text);
    EXPECT_EQ(pos, text);
    pos = text + 4;
    QUIL_Ini_TrimBack(&pos, text + 2);
    EXPECT_EQ(pos, text + 2);
    QUIL_Ini_TrimBack(nullptr, text);
}

TEST(IniPositions, SafeStrLenCountsANullTextAsEmpty) {
    EXPECT_EQ(QUIL_Ini_SafeStrLen(nullptr), 0u);
    EXPECT_EQ(QUIL_Ini_SafeStrLen("abc"), 3u);
}

TEST(IniGrammarFaults, EveryAllocationFailureOfAKeyLineLeavesNothing) {
    for (uint32_t n = 1; n <= 3; ++n) {
        char *key = nullptr;
        char *value = nullptr;
        char *comment = nullptr;
        ScopedFault fault(QUIL_OP_ALLOC, n);
        EXPECT_EQ(QUIL_Ini_ParseKeyLine("k = v ;c\n", &key, &value, &comment), INI_NO_MEMORY);
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(value, nullptr);
        EXPECT_EQ(comment, nullptr);
    }
}

TEST(IniGrammarFaults, EveryAllocationFailureOfAHeaderOrCommentLeavesNothing) {
    for (uint32_t n = 1; n <= 2; ++n) {
        char *name = nullptr;
        char *comment = nullptr;
        ScopedFault fault(QUIL_OP_ALLOC, n);
        EXPECT_EQ(QUIL_Ini_ParseSectionLine("[a] ;c\n", &name, &comment), INI_NO_MEMORY);
        EXPECT_EQ(name, nullptr);
        EXPECT_EQ(comment, nullptr);
    }
    char *comment = nullptr;
    ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_Ini_ParseComment("x ;c", &comment), INI_NO_MEMORY);
    EXPECT_EQ(comment, nullptr);
}

} // namespace
