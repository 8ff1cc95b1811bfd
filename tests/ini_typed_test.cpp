// Typed values: the readers over the table of texts in tests/data/typed_values.txt. The getters
// answer in the case files of tests/data/ini and under fault_sweep_test.
#include <gtest/gtest.h>

#include <string>

#include "ini_write_support.h"
#include "wex_result_codes.h"

namespace {

const char *const kTypes[] = {"int", "uint", "float", "bool"};

TEST(IniTypedValues, EveryTextOfTheTableReadsAsItSays) {
    for (const wextest::Row &row : wextest::read_rows("typed_values.txt")) {
        EXPECT_EQ(wextest::typed(row.fields[0], {row.fields[1].c_str()}), row.fields[2])
            << row.where;
    }
    for (const char *type : kTypes) {
        EXPECT_EQ(wextest::typed(type, {nullptr}), "code 170") << type;
    }
    EXPECT_EQ(QUIL_Ini_ParseInt64("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseUint64("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseDouble("1", nullptr), INI_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Ini_ParseBool("1", nullptr), INI_BAD_ARGUMENT);
}

// The getters of a document (the case files hold what they answer): a null document or output.
TEST(IniTypedGetters, RefuseANullDocumentOrOutput) {
    wextest::Doc d("[n]\nport = 8080\n");
    EXPECT_EQ(wextest::typed("bool", {nullptr, true, nullptr, "n", "port"}), "code 170");
    // A null output comes first, before the lookup could fail otherwise.
    EXPECT_EQ(QUIL_Ini_GetInt64(d.get(), "x", "port", nullptr), INI_BAD_ARGUMENT);
}

} // namespace
