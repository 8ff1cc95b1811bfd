// Reading INI documents: loading, the line grammar, lookups and listings, their refusals, and the
// real files of tests/data/ini. Failed allocations: fault_sweep_test; arbitrary texts: the fuzzers.
#include <gtest/gtest.h>

#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <random>
#include <string>

#include "ini_parser/source/ini_store.h"
#include "ini_write_support.h"
#include "wex_result_codes.h"

namespace {

using wextest::ask;
using wextest::Doc;
using wextest::Lines;

// Load cuts the lines that QUIL_Ini_ReadLine cuts one by one (the case files hold the lines of
// each form of break and continuation): at the growth of the line array, and in texts full of
// breaks, backslashes and long runs, some with a NUL, across read-ahead blocks.
TEST(IniLoad, CutsTheLinesThatTheLineReaderCuts) {
    for (size_t count : {198u, 199u, 248u, 249u}) {
        wextest::expect_load_reads(Doc(std::string(count, '\n')));
    }
    // clang-format off
    const std::string pieces[] = {"\r", "\n", "\r\n", "\n\r", "\\", "\\\n", "\\\\", "k = v ;c", "[s]", " \t",
                                  std::string(40, 'x'), std::string(170, 'y')};
    // clang-format on
    std::mt19937 random(2026);
    for (int round = 0; round < 60; ++round) {
        std::string bytes;
        while (bytes.size() < 1000 + 500 * static_cast<size_t>(round)) {
            bytes += pieces[random() % std::size(pieces)];
        }
        if (round % 10 == 9) {
            bytes[random() % bytes.size()] = '\0';
        }
        wextest::expect_load_reads(Doc(bytes));
    }
}

// A read error would cut the text and lose the rest of the file on the next save: the load fails
// (the case files hold the lines too long and the NUL bytes that fail it too); so do null
// arguments.
TEST(IniLoad, RefusesAReadErrorAndNullArguments) {
    IniFile doc{};
    doc.lineCount = 7;
    EXPECT_EQ(QUIL_Ini_Load(nullptr, &doc), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_Load("x.ini", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GrowLines(&doc), INI_BAD_ARGUMENT);
    EXPECT_EQ(doc.lineCount, 7u);
    EXPECT_EQ(QUIL_Ini_LoadMemory("[s]\n", 4, &doc, 4), INI_BAD_ARGUMENT) << "an unknown option";
    wextest::TempDir dir;
    Lines unreadable = {dir.file("missing.ini")};
#ifdef __linux__
    unreadable.insert(unreadable.end(), {dir.path(), "/proc/self/mem"}); // EIO from address 0
#endif
    for (const std::string &path : unreadable) {
        EXPECT_EQ(QUIL_Ini_Load(path.c_str(), &doc), INI_OPEN_FAILED) << path;
        EXPECT_TRUE(wextest::is_all_zero(doc));
    }
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WEX_OWN_ALLOCATOR 1 // the sanitizer's allocator answers no malloc statistics
#endif
#endif
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(WEX_OWN_ALLOCATOR)
// The memory a document holds: at most 16 times its bytes and 1 MiB besides for empty lines, the
// worst case (a line pointer and a stored line for each byte); less than twice its bytes for
// lines of an ordinary length.
TEST(IniLoad, ADocumentHoldsAtMostSixteenTimesItsBytesAndUsuallyLessThanTwice) {
    std::string typical;
    for (int i = 0; typical.size() < (size_t{2} << 20); ++i) {
        typical += i % 12 == 0 ? "[section" + std::to_string(i) + "]\n"
                               : "key" + std::to_string(i) + " = some value ;note\n";
    }
    const std::pair<std::string, double> cases[] = {{std::string(size_t{4} << 20, '\n'), 16.0},
                                                    {typical, 2.0}};
    for (const auto &[bytes, factor] : cases) {
        struct mallinfo2 before = mallinfo2();
        IniFile doc{};
        ASSERT_EQ(QUIL_Ini_LoadMemory(bytes.data(), bytes.size(), &doc, INI_READ_REAL_FILES), 0u);
        struct mallinfo2 after = mallinfo2();
        QUIL_Ini_Free(&doc);
        double held = static_cast<double>((after.uordblks + after.hblkhd) -
                                          (before.uordblks + before.hblkhd));
        double slack = factor > 2 ? 1 << 20 : 0;
        EXPECT_LE(held, factor * static_cast<double>(bytes.size()) + slack) << factor;
    }
}
#endif

// The line reader counts no appended break, and gives nothing after a failed push-back.
TEST(IniLoad, ReadLineCountsWhatItReadAndHandsOutNothingAfterAFailure) {
    for (const char *text : {"k=v\\\r\nw", "a\nb\n"}) {
        bool failing = text[0] == 'a'; // the byte after "a\n" is read and given back
        Doc d(text);
        char *line = nullptr;
        uint32_t length = 9;
        uint32_t phys = 9;
        QUIL_FILE *file = QUIL_Fopen(d.path.c_str(), "r");
        wextest::ScopedFault fault(QUIL_OP_FSEEK, failing ? 1 : 0);
        EXPECT_EQ(QUIL_Ini_ReadLine(&line, file, &length, &phys), failing ? INI_NO_MEMORY : 0u);
        EXPECT_EQ(wextest::take_text(line) + std::to_string(length) + std::to_string(phys),
                  failing ? "<none>00" : "k=vw\r42");
        EXPECT_EQ(QUIL_Ini_ReadLine(&line, nullptr, &length, &phys), INI_BAD_ARGUMENT);
        QUIL_Fclose(file);
    }
}

// ---- Lookup and listing ----

// Null outputs (the case files hold what a null document, name or text gives).
TEST(IniLookup, RefusesNullOutputs) {
    Doc d("[a]\nx=1\n");
    uint32_t count = 0;
    EXPECT_EQ(QUIL_Ini_GetSections(d.get(), &count, nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_Validate(d.get(), nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_GetInt64(d.get(), "none", "x", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseInt64("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseUint64("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseDouble("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseBool("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_SafeStrLen(nullptr), 0u);
    QUIL_Ini_FreeList(nullptr);
    char **list = reinterpret_cast<char **>(&count); // a listing that fails clears it
    EXPECT_EQ(QUIL_Ini_GetKeys(d.get(), "none", &count, &list), INI_NO_SECTION);
    EXPECT_EQ(list, nullptr);
}

// A name longer than any line is compared as a heap copy, whose failure gives 80.
TEST(IniLookup, ANameLongerThanAnyLineIsComparedAsACopy) {
    const std::string longName(700, 'n');
    Doc d("[a]\nk=1\n");
    const std::string header = "[" + longName + "]\n";
    wex::ini::drop_line(d.get(), 0);
    d.doc.lines[0] = static_cast<char *>(
        QUIL_MemMallocD(static_cast<uint32_t>(header.size() + 1), __LINE__, "test"));
    std::memcpy(d.doc.lines[0], header.c_str(), header.size() + 1);
    EXPECT_EQ(ask(d.get(), "value|" + longName + "|k"), "1");
    EXPECT_EQ(ask(d.get(), "value|" + longName + "N|k"), "code 10");
    wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(ask(d.get(), "value|" + longName + "|k"), "code 80");
}

} // namespace
