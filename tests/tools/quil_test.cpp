// quil run as a process, from the cases of tests/data/quil/commands.txt: each is a shell command
// line run in a temporary directory that holds the files of tests/data/quil/files.txt.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "test_support.h"
#include "wex_ini.h"

namespace wextest {

void PrintTo(const Case &c, std::ostream *os) {
    *os << c.where;
}

} // namespace wextest

namespace {

// The values of every field of that name one after another, each followed by separator.
std::string joined(const wextest::Case &c, const std::string &name, const char *separator = "") {
    std::string value;
    for (const auto &[field, text] : c.fields) {
        value += field == name ? text + separator : "";
    }
    return value;
}

class Quil : public testing::TestWithParam<wextest::Case> {
  protected:
    void SetUp() override {
        for (const wextest::Case &file : wextest::read_cases("quil/files.txt")) {
            wextest::write_file(dir.file(file.get("name")), joined(file, "bytes"));
        }
    }

    // Runs the case's lines with $Q set, standard input from the case and standard output and
    // error into files, and checks what they gave.
    void check(const wextest::Case &c) {
        SCOPED_TRACE(c.where);
        std::string app = dir.file("app.ini");
        struct stat before {};
        ASSERT_EQ(stat(app.c_str(), &before), 0);
        std::string base = wextest::read_file(app);
        wextest::write_file(dir.file("in"), joined(c, "stdin"));
        std::string command = "cd '" + dir.path() + "' && Q='" + QUIL_PATH + "' && {\n" +
                              joined(c, "run", "\n") + "} <in >out 2>err";
        int status = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::stoi(c.get("status")));
        EXPECT_EQ(wextest::read_file(dir.file("out")), joined(c, "stdout"));
        std::string err = wextest::read_file(dir.file("err"));
        EXPECT_NE(err.find(joined(c, "stderr")), std::string::npos) << err;
        EXPECT_EQ(wextest::read_file(app), c.has("app.ini") ? joined(c, "app.ini") : base);
        struct stat after {};
        ASSERT_EQ(stat(app.c_str(), &after), 0);
        EXPECT_TRUE(c.has("app.ini") || after.st_ino == before.st_ino) << "app.ini rewritten";
    }

    wextest::TempDir dir;
};

TEST_P(Quil, RunsAsItsCaseSays) {
    const wextest::Case &c = GetParam();
    IniFile writer{}; // another writer that holds app.ini's lock
    if (c.get("lock") == "held") {
        ASSERT_EQ(QUIL_Ini_LoadForUpdate(dir.file("app.ini").c_str(), &writer, 0), 0u);
    }
    check(c);
    QUIL_Ini_Free(&writer);
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, Quil,
                         testing::ValuesIn(wextest::read_cases("quil/commands.txt")));

} // namespace
