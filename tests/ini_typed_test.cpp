// Typed values: the readers over the table of texts in tests/data/typed_values.txt, and the
// getters over a document, with every allocation failing in turn.
#include <gtest/gtest.h>

#include <charconv>
#include <iomanip>
#include <sstream>
#include <string>
#include <type_traits>

#include "ini_write_support.h"
#include "wex_result_codes.h"

namespace {

// A value as the table writes it, which is how quil ini get --type prints it.
template <typename T> std::string written(T value) {
    if constexpr (std::is_same_v<T, uint32_t>) {
        return value == 1 ? "true" : value == 0 ? "false" : "neither";
    }
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Reads text, or with lookup set the value of key in section of doc.
struct Source {
    const char *text;
    bool lookup = false;
    IniFile *doc = nullptr;
    const char *section = nullptr, *key = nullptr;
};

// The outcome as the table writes it; a failure must leave the output as it was.
template <typename T>
std::string outcome(uint32_t (*parse)(const char *, T *),
                    uint32_t (*get)(IniFile *, const char *, const char *, T *), Source s) {
    T value = T(42);
    uint32_t code = s.lookup ? get(s.doc, s.section, s.key, &value) : parse(s.text, &value);
    if (code == QUIL_SUCCESS) {
        return written(value);
    }
    EXPECT_EQ(value, T(42)) << "output written by a failure";
    return code == INI_WRONG_TYPE     ? "wrong-type"
           : code == INI_OUT_OF_RANGE ? "out-of-range"
                                      : "code " + std::to_string(code);
}

std::string typed(const std::string &type, Source s) {
    if (type == "int") {
        return outcome(QUIL_Ini_ParseInt64, QUIL_Ini_GetInt64, s);
    }
    if (type == "uint") {
        return outcome(QUIL_Ini_ParseUint64, QUIL_Ini_GetUint64, s);
    }
    if (type == "float") {
        return outcome(QUIL_Ini_ParseDouble, QUIL_Ini_GetDouble, s);
    }
    EXPECT_EQ(type, "bool");
    return outcome(QUIL_Ini_ParseBool, QUIL_Ini_GetBool, s);
}

const char *const kTypes[] = {"int", "uint", "float", "bool"};

TEST(IniTypedValues, EveryTextOfTheTableReadsAsItSays) {
    std::istringstream table(wextest::read_file(wextest::data_path("typed_values.txt")));
    int cases = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        std::string type, text, expected;
        fields >> type >> std::quoted(text) >> expected;
        EXPECT_EQ(typed(type, {text.c_str()}), expected) << line;
        ++cases;
    }
    EXPECT_GT(cases, 50); // the table was read
    for (const char *type : kTypes) {
        EXPECT_EQ(typed(type, {nullptr}), "code 170") << type;
    }
    EXPECT_EQ(QUIL_Ini_ParseInt64("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseUint64("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseDouble("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseBool("1", nullptr), INI_BAD_ARGUMENT);
}

// The getters find the value as QUIL_Ini_GetValue does, pass its codes on and read the text.
TEST(IniTypedGetters, ReadTheValueThatGetValueFindsOrPassItsCodeOn) {
    wextest::Doc d("[n]\nport = 8080 ;web\nbig=0xFFFFFFFFFFFFFFFF\nneg = -1\nnone =\nr=.25\n"
                   "flag=Off\n");
    wextest::Doc bad("[n]\nk=1\nnot a line\n");
    wextest::Doc empty("");
    // clang-format off
    const struct { const char *type; IniFile *doc; const char *section, *key, *expected; } cases[] = {
        {"int", d.get(), "N", "PORT", "8080"}, {"uint", d.get(), "n", "big", "18446744073709551615"},
        {"int", d.get(), "n", "big", "out-of-range"}, {"uint", d.get(), "n", "neg", "wrong-type"},
        {"float", d.get(), "n", "r", "0.25"}, {"bool", d.get(), "n", "flag", "false"},
        {"float", d.get(), "n", "none", "wrong-type"}, {"bool", d.get(), "n", "port", "wrong-type"},
        {"int", d.get(), "x", "port", "code 10"}, {"int", d.get(), "n", "gone", "code 20"},
        {"uint", bad.get(), "n", "k", "code 160"}, {"float", empty.get(), "n", "r", "code 130"},
        {"bool", nullptr, "n", "flag", "code 170"}, {"int", d.get(), nullptr, "port", "code 170"},
        {"uint", d.get(), "n", nullptr, "code 170"}};
    // clang-format on
    for (const auto &c : cases) {
        EXPECT_EQ(typed(c.type, {nullptr, true, c.doc, c.section, c.key}), c.expected)
            << c.type << " " << (c.section ? c.section : "-") << " " << (c.key ? c.key : "-");
    }
    // A null output comes first, before the lookup could fail otherwise.
    EXPECT_EQ(QUIL_Ini_GetInt64(d.get(), "x", "port", nullptr), INI_BAD_ARGUMENT);
}

// Allocation n fails for n = 1, 2, ... until the getter succeeds: each failure gives 80 with the
// output untouched (checked in outcome) and nothing left allocated.
TEST(IniTypedGetters, EveryFailingAllocationGivesEightyAndLeavesTheOutputAlone) {
    wextest::Doc d("[n]\nk = 1\n");
    for (const char *type : kTypes) {
        std::string got = "code 80";
        uint32_t n = 0;
        while (got == "code 80") {
            uint32_t live = QUIL_Adapter_LiveBlocks();
            wextest::ScopedFault fault(QUIL_OP_ALLOC, ++n);
            got = typed(type, {nullptr, true, d.get(), "n", "k"});
            EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live) << type << " with allocation " << n;
        }
        EXPECT_EQ(got, type == std::string("bool") ? "true" : "1");
        EXPECT_GT(n, 1u) << type << ": no allocation failed";
    }
}

} // namespace
