// End-to-end tests of the quil tool: every command run as a process on real files in a temporary
// directory, its output, its messages and its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "test_support.h"

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

std::string quote(const std::string &arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Runs a shell command line, capturing standard output and standard error.
Outcome run_shell(const std::string &command, const wextest::TempDir &dir) {
    std::string errPath = dir.file(".stderr");
    std::string line = command + " 2>" + quote(errPath);
    FILE *pipe = popen(line.c_str(), "r");
    Outcome result{-1, "", ""};
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << line;
        return result;
    }
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.out.append(buffer, got);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = wextest::read_file(errPath);
    return result;
}

class Quil : public testing::Test {
  protected:
    wextest::TempDir dir;

    Outcome quil(const std::vector<std::string> &args) {
        std::string command = quote(QUIL_PATH);
        for (const std::string &arg : args) {
            command += " " + quote(arg);
        }
        return run_shell(command, dir);
    }

    // Copies a corpus file into the temporary directory and returns its new path.
    std::string corpus(const std::string &name) {
        std::string path = dir.file(name);
        wextest::write_file(path, wextest::read_file(wextest::data_path("ini/" + name)));
        return path;
    }

    std::string file_with(const std::string &name, const std::string &bytes) {
        std::string path = dir.file(name);
        wextest::write_file(path, bytes);
        return path;
    }
};

// ---- ini ----

TEST_F(Quil, GetPrintsExactlyTheValueAndANewline) {
    std::string conf = corpus("supervisord.conf");
    Outcome r = quil({"ini", "get", conf, "unix_http_server", "file"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/var/run/supervisor.sock\n");
    r = quil({"ini", "get", corpus("odbc.ini.template"), "PostgreSQL test", "UserName"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "\n") << "a key without a value prints an empty line";
}

TEST_F(Quil, MissingSectionsAndKeysAreNamedAndExitWith1) {
    std::string conf = corpus("supervisord.conf");
    Outcome r = quil({"ini", "get", conf, "net", "port"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no section [net]"), std::string::npos) << r.err;
    r = quil({"ini", "get", conf, "supervisord", "nosuchkey"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no key nosuchkey in section [supervisord]"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(Quil, SectionsAndKeysAreListedInFileOrder) {
    std::string ini = corpus("inih-test.ini");
    Outcome r = quil({"ini", "sections", ini});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "protocol\nuser\n");
    r = quil({"ini", "keys", ini, "user"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "name\nemail\nactive\npi\n");
}

TEST_F(Quil, SetChangesOneLineAndGetReadsItBack) {
    std::string ini = corpus("odbcinst.ini.template");
    std::string before = wextest::read_file(ini);
    Outcome r = quil({"ini", "set", ini, "PostgreSQL ANSI", "Setup", "new.so"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = quil({"ini", "get", ini, "PostgreSQL ANSI", "Setup"});
    EXPECT_EQ(r.out, "new.so\n");
    std::string after = wextest::read_file(ini);
    EXPECT_NE(before, after);
    EXPECT_EQ(after.find("new.so"), after.rfind("new.so")) << "exactly one line was changed";
}

TEST_F(Quil, SetCreatesMissingSectionsAndKeys) {
    std::string ini = file_with("app.ini", "[a]\nx=1\n");
    ASSERT_EQ(quil({"ini", "set", ini, "net", "port", "80"}).status, 0);
    ASSERT_EQ(quil({"ini", "set", ini, "a", "y"}).status, 0);
    EXPECT_EQ(wextest::read_file(ini), "[a]\nx=1\ny=\n[net]\nport=80\n");
}

TEST_F(Quil, SetAndDelLeaveTheFileUntouchedWhenNothingChanges) {
    std::string ini = file_with("app.ini", "[a]\nx = 1\n");
    struct stat before {};
    ASSERT_EQ(stat(ini.c_str(), &before), 0);
    EXPECT_EQ(quil({"ini", "set", ini, "a", "x", "1"}).status, 0);
    EXPECT_EQ(quil({"ini", "del", ini, "a", "nokey"}).status, 1);
    struct stat after {};
    ASSERT_EQ(stat(ini.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was not replaced";
    EXPECT_EQ(wextest::read_file(ini), "[a]\nx = 1\n");
}

TEST_F(Quil, DelRemovesAKeyOrAWholeSection) {
    std::string ini = file_with("app.ini", "[a]\nx=1\ny=2\n[b]\nz=3\n");
    ASSERT_EQ(quil({"ini", "del", ini, "a", "x"}).status, 0);
    EXPECT_EQ(wextest::read_file(ini), "[a]\ny=2\n[b]\nz=3\n");
    ASSERT_EQ(quil({"ini", "del", ini, "A"}).status, 0);
    EXPECT_EQ(wextest::read_file(ini), "[b]\nz=3\n");
    Outcome r = quil({"ini", "del", ini, "nosuch"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no section [nosuch]"), std::string::npos) << r.err;
}

TEST_F(Quil, AValueTheLibraryRefusesLeavesTheFileAndExitsWith1) {
    std::string ini = file_with("app.ini", "[a]\nx=1\n");
    Outcome r = quil({"ini", "set", ini, "a", "x", "1\n[evil]"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_EQ(wextest::read_file(ini), "[a]\nx=1\n");
}

TEST_F(Quil, ValidateNamesTheFileAndThePhysicalLine) {
    std::string good = file_with("good.ini", "[a]\nk=1, 2\n");
    std::string bad = file_with("bad.ini", "[a]\nk=a\\\n b\nj=1,2\n");
    EXPECT_EQ(quil({"ini", "validate", good}).status, 0);
    Outcome r = quil({"ini", "validate", good, bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, bad + ":4: malformed value list\n");
    r = quil({"ini", "validate", file_with("early.ini", "; c\nk=1\n[a]\n")});
    EXPECT_NE(r.err.find(":2: key line before the first section header"), std::string::npos)
        << r.err;
}

TEST_F(Quil, LoadFailuresAreReportedWithTheirLine) {
    Outcome r = quil({"ini", "get", dir.file("missing.ini"), "a", "b"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    r = quil({"ini", "sections", corpus("nasty-600-byte-line.conf")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(": line "), std::string::npos) << r.err;
    r = quil({"ini", "sections", file_with("nul.ini", std::string("[a]\nx=1\ny=\0\n", 12))});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 3: NUL byte"), std::string::npos) << r.err;
    r = quil({"ini", "sections", dir.path()});
    EXPECT_EQ(r.status, 3) << r.err;
}

// ---- checksums ----

TEST_F(Quil, CrcPrintsFixedWidthLowercaseHexAndTheName) {
    std::string check = file_with("check.txt", "123456789");
    Outcome r = quil({"crc16", check});
    EXPECT_EQ(r.out, "31c3  " + check + "\n");
    r = quil({"crc32", check, file_with("empty", "")});
    EXPECT_EQ(r.out, "2dfd2d88  " + check + "\n00000000  " + dir.file("empty") + "\n");
    r = run_shell("printf abc | " + quote(QUIL_PATH) + " crc16", dir);
    EXPECT_EQ(r.out, "9dd6  -\n");
}

TEST_F(Quil, Md5PrintsWhatMd5sumPrintsForTheSameFiles) {
    std::mt19937 random(5);
    std::vector<std::string> args = {"md5"};
    for (size_t size : {0u, 1u, 55u, 56u, 64u, 1000u, 1u << 20, (3u << 20) + 17}) {
        std::string bytes(size, '\0');
        for (char &c : bytes) {
            c = static_cast<char>(random());
        }
        args.push_back(file_with("r" + std::to_string(size), bytes));
    }
    args.push_back(file_with("odd\\name", "x"));
    std::string md5sum = "md5sum";
    for (size_t i = 1; i < args.size(); ++i) {
        md5sum += " " + quote(args[i]);
    }
    Outcome ours = quil(args);
    Outcome theirs = run_shell(md5sum, dir);
    EXPECT_EQ(ours.status, 0) << ours.err;
    EXPECT_EQ(ours.out, theirs.out);
}

TEST_F(Quil, Md5CheckReportsGoodBadAndMissingFiles) {
    std::string a = file_with("a", "alpha");
    std::string b = file_with("b", "beta");
    Outcome listed = quil({"md5", a, b});
    std::string list = listed.out;
    ASSERT_EQ(run_shell("md5sum -c - >/dev/null <<'EOF'\n" + list + "EOF", dir).status, 0)
        << "md5sum accepts our list";
    EXPECT_EQ(quil({"md5", "--check", file_with("good.md5", list)}).status, 0);

    wextest::write_file(b, "changed");
    Outcome r = quil({"md5", "--check", dir.file("good.md5")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, a + ": OK\n" + b + ": FAILED\n");
    EXPECT_NE(r.err.find("1 computed checksum did NOT match"), std::string::npos) << r.err;

    std::remove(a.c_str());
    r = quil({"md5", "--check", dir.file("good.md5")});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find(a + ": FAILED open or read"), std::string::npos) << r.out;
    EXPECT_EQ(quil({"md5", "--check", file_with("junk.md5", "not a list\n")}).status, 1);
}

// ---- addresses ----

TEST_F(Quil, IpPrintsCanonicalAddressesWithTheirPorts) {
    Outcome r = quil({"ip", "0x0A.0.0.01:0x1F90", "192.168.1.2", "[2001:DB8:0:0:0::1]:443",
                      "1:0:0:2:0:0:0:3", "::ffff:0:0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "10.0.0.1:8080\n192.168.1.2\n[2001:db8::1]:443\n1:0:0:2::3\n::ffff:0.0.0.0\n");
}

TEST_F(Quil, MalformedAddressesAreNamedAndExitWith1) {
    Outcome r = quil({"ip", "1.2.3.4", "1.2.3.4:70000", "[::1]xyz"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "1.2.3.4\n");
    EXPECT_NE(r.err.find("'1.2.3.4:70000'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("'[::1]xyz'"), std::string::npos) << r.err;
}

// ---- usage ----

TEST_F(Quil, UsageErrorsExitWith2AndHelpWith0) {
    EXPECT_EQ(quil({}).status, 2);
    EXPECT_EQ(quil({"frobnicate"}).status, 2);
    EXPECT_EQ(quil({"ini", "get", "only-a-file"}).status, 2);
    EXPECT_EQ(quil({"ip"}).status, 2);
    for (const char *command : {"ini", "crc16", "crc32", "md5", "ip"}) {
        Outcome r = quil({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find("usage: quil"), std::string::npos) << command;
    }
    Outcome r = quil({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("quil ", 0), 0u);
}

} // namespace
