// End-to-end tests of the quil tool: each row runs quil as a process in a temporary directory
// holding a few files, and checks its output, its messages and its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "test_support.h"

namespace {

struct Row {
    const char *command; // the shell command line after "quil"; $D is the directory
    const char *out;     // the whole standard output
    const char *err;     // a part of the standard error
    int status;
    const char *file = nullptr; // a file of the directory ...
    const char *bytes = "";     // ... and its whole text afterwards
};

// clang-format off
const Row kRows[] = {
    // ini: lookups and listings
    {"ini get $D/super.conf unix_http_server file", "/var/run/supervisor.sock\n", "", 0},
    {"ini get $D/odbc.ini 'PostgreSQL test' UserName", "\n", "", 0},
    {"ini get $D/super.conf net port", "", "no section [net]", 1},
    {"ini get $D/super.conf supervisord nosuchkey", "", "no key nosuchkey in section [supervisord]", 1},
    {"ini sections $D/inih.ini", "protocol\nuser\n", "", 0},
    {"ini keys $D/inih.ini user", "name\nemail\nactive\npi\n", "", 0},
    // ini: edits change exactly their lines, or nothing
    {"ini set $D/app.ini net port 80 && $Q ini set $D/app.ini a y", "", "", 0, "app.ini", "[a]\nx=1\ny=\n[net]\nport=80\n"},
    {"ini set $D/app.ini a x 2 && $Q ini get $D/app.ini a x", "2\n", "", 0, "app.ini", "[a]\nx=2\n"},
    {"ini set $D/app.ini a x '1\n[evil]'", "", "refused", 1, "app.ini", "[a]\nx=1\n"},
    {"ini del $D/app.ini a x && $Q ini del $D/app.ini A", "", "", 0, "app.ini", ""},
    {"ini del $D/app.ini nosuch", "", "no section [nosuch]", 1, "app.ini", "[a]\nx=1\n"},
    {"ini set $D/spaced.ini a x 1 && ls -i $D/spaced.ini >$D/after && cmp -s $D/before $D/after", "", "", 0, "spaced.ini", "[a]\nx = 1\n"},
    {"ini del $D/spaced.ini a nokey; ls -i $D/spaced.ini >$D/after && cmp -s $D/before $D/after", "", "", 0, "spaced.ini", "[a]\nx = 1\n"},
    // ini: validation and load failures name the file and the physical line
    {"ini validate $D/app.ini", "", "", 0},
    {"ini validate $D/app.ini $D/bad.ini", "", "/bad.ini:4: malformed value list\n", 1},
    {"ini validate $D/early.ini", "", ":2: key line before the first section header", 1},
    {"ini get $D/missing.ini a b", "", "No such file or directory", 3},
    {"ini sections $D/long.conf", "", ": line ", 1},
    {"ini sections $D/nul.ini", "", "line 3: NUL byte", 1},
    {"ini sections $D", "", "", 3},
    // checksums: fixed-width lower-case hex and the name, as md5sum writes them
    {"crc16 $D/check.txt", "31c3  $D/check.txt\n", "", 0},
    {"crc32 $D/check.txt $D/empty", "2dfd2d88  $D/check.txt\n00000000  $D/empty\n", "", 0},
    {"crc16 <$D/abc", "9dd6  -\n", "", 0},
    {"md5 $D/empty $D/abc $D/f55 $D/f56 $D/f64 $D/big $D/'odd\\name' >$D/ours && cd $D && md5sum empty abc f55 f56 f64 big 'odd\\name' | sed 's|  |  '$D'/|' | cmp - ours", "", "", 0},
    {"md5 --check $D/sums", "$D/abc: OK\n$D/check.txt: FAILED\n", "1 computed checksum did NOT match", 1},
    {"md5 --check $D/sums-missing", "$D/gone: FAILED open or read\n", "", 3},
    {"md5 --check $D/app.ini", "", "", 1},
    // addresses
    {"ip 0x0A.0.0.01:0x1F90 192.168.1.2 '[2001:DB8:0:0:0::1]:443' 1:0:0:2:0:0:0:3 ::ffff:0:0",
     "10.0.0.1:8080\n192.168.1.2\n[2001:db8::1]:443\n1:0:0:2::3\n::ffff:0.0.0.0\n", "", 0},
    {"ip 1.2.3.4 1.2.3.4:70000 '[::1]xyz'", "1.2.3.4\n", "'1.2.3.4:70000'", 1},
    {"ip 1.2.3.4:70000 '[::1]xyz'", "", "'[::1]xyz'", 1},
    // usage
    {"", "", "", 2}, {"frobnicate", "", "", 2}, {"ini get only-a-file", "", "", 2}, {"ip", "", "", 2},
    {"--version | cut -c1-5; for c in ini crc16 crc32 md5 ip; do $Q $c --help | grep -c 'usage: quil'; done", "quil \n1\n1\n1\n1\n1\n", "", 0}};
// clang-format on

// The text with $D replaced by the directory and $Q by the quoted path of quil.
std::string replaced(std::string text, const std::string &dir) {
    for (const auto &[token, by] :
         {std::pair{"$D", dir}, {"$Q", "'" + std::string(QUIL_PATH) + "'"}}) {
        for (size_t at = text.find(token); at != std::string::npos;
             at = text.find(token, at + by.size())) {
            text.replace(at, 2, by);
        }
    }
    return text;
}

class Quil : public testing::TestWithParam<Row> {};

TEST_P(Quil, RunsAsItsRowSays) {
    const Row &row = GetParam();
    wextest::TempDir dir;
    for (const auto &[from, to] : {std::pair{"supervisord.conf", "super.conf"},
                                   {"odbc.ini.template", "odbc.ini"},
                                   {"inih-test.ini", "inih.ini"},
                                   {"nasty-600-byte-line.conf", "long.conf"}}) {
        wextest::write_file(dir.file(to),
                            wextest::read_file(wextest::data_path(std::string("ini/") + from)));
    }
    // Several of quil's read blocks, written only for the row that reads it.
    std::string big(std::string(row.command).find("big") != std::string::npos ? (3u << 20) + 17 : 0,
                    'x');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 2654435761u >> 13);
    }
    // clang-format off
    const std::string files[][2] = {
        {"app.ini", "[a]\nx=1\n"}, {"spaced.ini", "[a]\nx = 1\n"}, {"bad.ini", "[a]\nk=a\\\n b\nj=1,2\n"},
        {"early.ini", "; c\nk=1\n[a]\n"}, {"nul.ini", std::string("[a]\nx=1\ny=\0\n", 12)},
        {"check.txt", "123456789"}, {"empty", ""}, {"abc", "abc"}, {"big", big}, {"odd\\name", "x"},
        {"f55", std::string(55, 'x')}, {"f56", std::string(56, 'x')}, {"f64", std::string(64, 'x')},
        {"sums", "900150983cd24fb0d6963f7d28e17f72  $D/abc\n00000000000000000000000000000000  $D/check.txt\n"},
        {"sums-missing", "900150983cd24fb0d6963f7d28e17f72  $D/gone\n"}};
    // clang-format on
    for (const auto &[name, bytes] : files) {
        wextest::write_file(dir.file(name), replaced(bytes, dir.path()));
    }
    std::string command =
        replaced(std::string("ls -i $D/spaced.ini >$D/before; $Q ") + row.command + " 2>$D/stderr",
                 dir.path());
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, got);
    }
    int status = pclose(pipe);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status) << command;
    EXPECT_EQ(out, replaced(row.out, dir.path())) << command;
    std::string err = wextest::read_file(dir.file("stderr"));
    EXPECT_NE(err.find(replaced(row.err, dir.path())), std::string::npos) << err;
    if (row.file != nullptr) {
        EXPECT_EQ(wextest::read_file(dir.file(row.file)), row.bytes) << command;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, Quil, testing::ValuesIn(kRows));

} // namespace
