// quil for scripted edits, run as processes: batches, merge, --existing and --format checked by
// output, exit status and the file left behind; writers started at once on one file; a writer
// that cannot get the file's lock in time; and --format sh output evaluated by a shell.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "test_support.h"
#include "wex_ini.h"

extern char **environ;

namespace {

using Strings = std::vector<std::string>;

// Starts program with args, standard input read from input and standard output written to output.
pid_t start(const Strings &args, const std::string &input, const std::string &output) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char *> argv;
    for (const std::string &arg : args) {
        argv.push_back(const_cast<char *>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ), 0) << args[0];
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

int exit_status(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class QuilScripting : public testing::Test {
  protected:
    wextest::TempDir dir;
    std::string file = dir.file("app.ini");

    // quil ini ARGS (F standing for the file), with input as standard input; returns the exit
    // status and puts standard output into out.
    int quil(Strings args, const std::string &input, std::string &out) {
        args.insert(args.begin(), {QUIL_PATH, "ini"});
        for (std::string &arg : args) {
            arg = arg == "F" ? file : arg;
        }
        wextest::write_file(dir.file("in"), input);
        int status = exit_status(start(args, dir.file("in"), dir.file("out")));
        out = wextest::read_file(dir.file("out"));
        return status;
    }
};

const char kBase[] = "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\n";

struct Case {
    Strings args;
    const char *input;
    const char *out;
    int status;
    const char *file; // what the file holds afterwards
};

const Case kCases[] = {
    // Batches: all in one save, the rest of the file byte for byte; one refused value or missing
    // key refuses them all.
    {{"set", "F", "a", "x", "5", "b", "z", "6", "c", "w", "it's"},
     "",
     "",
     0,
     "; settings\n[a]\nx=5 ;keep\n\n[b]\ny=2\nz=6\n[c]\nw=it's\n"},
    {{"set", "F", "b", "k"}, "", "", 0, "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\nk=\n"},
    {{"set", "F", "a", "x", "1", "b", "y", "2"}, "", "", 0, kBase},
    {{"set", "F", "a", "x", "5", "b", "z", "v ;w"}, "", "", 1, kBase},
    {{"set", "F", "a", "x", "5", "b", "z", "v\\"}, "", "", 1, kBase},
    {{"set", "F", "a", "x", "5", "b", "z", "v\t"}, "", "", 1, kBase},
    {{"set", "F", "a", "x", "5", "b", "z", "two\nlines"}, "", "", 1, kBase},
    {{"set", "F", "a", "x", "5", "b]", "z", "1"}, "", "", 1, kBase},
    {{"del", "F", "a", "x", "b", "y"}, "", "", 0, "; settings\n[a]\n\n[b]\n"},
    {{"del", "F", "a", "x", "b", "nokey"}, "", "", 1, kBase},
    {{"del", "F", "b"}, "", "", 0, "; settings\n[a]\nx = 1 ;keep\n\n"},
    // --existing: a missing section or key refuses the batch instead of being created.
    {{"set", "--existing", "F", "a", "x", "5", "a", "new", "1"}, "", "", 1, kBase},
    {{"set", "--existing", "F", "a", "x", "5", "c", "x", "1"}, "", "", 1, kBase},
    {{"set", "--existing", "--wait=2", "F", "a", "x", "5"},
     "",
     "",
     0,
     "; settings\n[a]\nx=5 ;keep\n\n[b]\ny=2\n"},
    // merge: keys of standard input by their sections, outside any section into SECTION.
    {{"merge", "F"},
     "; ours\n[B]\ny = 3 ;theirs\nq = \"v ;w\"\n[c]\n[a]\nx\\\n=9\n",
     "",
     0,
     "; settings\n[a]\nx=9 ;keep\n\n[b]\ny=3\nq=\"v ;w\"\n[c]\n"},
    {{"merge", "F", "c"},
     "top=1\n[b]\nk=\n",
     "",
     0,
     "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\nk=\n[c]\ntop=1\n"},
    {{"merge", "F"}, "top=1\n", "", 1, kBase},
    {{"merge", "F"}, "[b]\ny=3\nnot a key line\n", "", 1, kBase},
    {{"merge", "--existing", "F"}, "[b]\ny=3\nnew=1\n", "", 1, kBase},
    {{"merge", "--existing", "F"}, "[b]\ny=3\n[c]\n", "", 1, kBase},
    {{"merge", "F"}, "", "", 0, kBase},
    // Formats for scripts.
    {{"get", "--format", "lines", "F"}, "", "[a] x = 1\n[b] y = 2\n", 0, kBase},
    {{"get", "--format=sh", "F", "A"}, "", "x='1'\n", 0, kBase},
    {{"get", "--format", "sh", "F", "c"}, "", "", 1, kBase},
    {{"get", "--", "F", "a", "x"}, "", "1\n", 0, kBase},
    {{"get", "F", "a", "--help"}, "", "", 1, kBase},
    // Usage errors change nothing.
    {{"set", "F", "a", "x", "1", "b"}, "", "", 2, kBase},
    {{"set", "--wait", "-1", "F", "a", "x", "1"}, "", "", 2, kBase},
    {{"get", "--existing", "F", "a", "x"}, "", "", 2, kBase},
    {{"get", "--format", "xml", "F", "a"}, "", "", 2, kBase},
    {{"get", "--format", "sh", "F", "a", "x"}, "", "", 2, kBase},
};

TEST_F(QuilScripting, EveryCaseGivesItsOutputStatusAndFile) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + " < " + testing::PrintToString(c.input));
        wextest::write_file(file, kBase);
        std::string out;
        EXPECT_EQ(quil(c.args, c.input, out), c.status);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(wextest::read_file(file), c.file);
    }
}

TEST_F(QuilScripting, EveryCommandHasItsHelp) {
    for (const char *command : {"get", "set", "del", "merge", "sections", "keys", "validate"}) {
        std::string out;
        EXPECT_EQ(quil({command, "--help"}, "", out), 0);
        EXPECT_EQ(out.rfind(std::string("usage: quil ini ") + command, 0), 0u) << out;
    }
}

std::string key_line(int i) {
    return "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
}

// Writers started at once on one file, each with a key of its own: none loses another's change.
TEST_F(QuilScripting, ConcurrentWritersKeepEveryChange) {
    for (auto [command, count] :
         {std::pair<std::string, int>{"set", 40}, {"merge", 10}, {"del", 10}}) {
        SCOPED_TRACE(command);
        bool del = command == "del";
        std::string keys;
        for (int i = 0; i < count; ++i) {
            keys += key_line(i);
        }
        wextest::write_file(file, "[s]\n" + (del ? keys : ""));
        std::vector<pid_t> children;
        for (int i = 0; i < count; ++i) {
            Strings args = {QUIL_PATH, "ini", command, file};
            if (command != "merge") {
                args.insert(args.end(), {"s", "k" + std::to_string(i)});
            }
            if (command == "set") {
                args.push_back(std::to_string(i));
            }
            std::string input = dir.file("in" + std::to_string(i));
            wextest::write_file(input, "[s]\n" + key_line(i));
            children.push_back(start(args, input, "/dev/null"));
        }
        for (pid_t child : children) {
            EXPECT_EQ(exit_status(child), 0);
        }
        std::string after = wextest::read_file(file);
        EXPECT_EQ(after.size(), del ? 4 : 4 + keys.size()) << after;
        for (int i = 0; i < count && !del; ++i) {
            EXPECT_NE(after.find("\n" + key_line(i)), std::string::npos) << key_line(i);
        }
    }
}

// A writer that cannot get the lock within --wait fails with 3 and changes nothing; readers take
// no lock.
TEST_F(QuilScripting, AWriterThatCannotGetTheLockInTimeChangesNothing) {
    wextest::write_file(file, kBase);
    IniFile held{};
    ASSERT_EQ(QUIL_Ini_LoadForUpdate(file.c_str(), &held, 0), 0u);
    std::string out;
    EXPECT_EQ(quil({"set", "--wait", "0", "F", "a", "x", "5"}, "", out), 3);
    EXPECT_EQ(quil({"merge", "--wait=0.01", "F"}, "[a]\nx=5\n", out), 3);
    EXPECT_EQ(quil({"del", "--wait", "0", "F", "b"}, "", out), 3);
    EXPECT_EQ(quil({"get", "F", "a", "x"}, "", out), 0);
    EXPECT_EQ(out, "1\n");
    EXPECT_EQ(wextest::read_file(file), kBase);
    QUIL_Ini_Free(&held);
    EXPECT_EQ(quil({"set", "--wait", "0", "F", "a", "x", "5"}, "", out), 0);
}

// What --format sh prints, evaluated by sh, gives back every value byte for byte.
TEST_F(QuilScripting, ShellAssignmentsGiveBackEveryValue) {
    // One value a line: quotes, backslashes, expansions, blanks and patterns.
    const std::string values =
        "it's\n'\n''a'\\''b\nsay \"hi ;x\"\nback\\slash\\\\\n$HOME ${x} $(id)\n"
        "`id` \\` ok\ntab\tand  blanks\na;b # c | d & e > f\n*\n~\n\\n%s\n";
    std::string text = "[s]\nnot.a.name=1\n";
    std::string script = "eval \"$(\"$0\" ini get --format sh \"$1\" s)\" && printf '%s\\n'";
    for (size_t begin = 0, end = 0, i = 0; (end = values.find('\n', begin)) != std::string::npos;
         begin = end + 1, ++i) {
        text += "v" + std::to_string(i) + "=" + values.substr(begin, end + 1 - begin);
        script += " \"$v" + std::to_string(i) + "\"";
    }
    wextest::write_file(file, text);
    EXPECT_EQ(exit_status(
                  start({"/bin/sh", "-c", script, QUIL_PATH, file}, "/dev/null", dir.file("out"))),
              0);
    EXPECT_EQ(wextest::read_file(dir.file("out")), values);
}

} // namespace
