// quil run as a process: each row is a shell command line run in a temporary directory holding a
// few files, checked by its output, a part of its messages, its exit status and what app.ini holds
// afterwards (a row that must leave app.ini alone must not even rewrite it).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

#include "test_support.h"
#include "wex_ini.h"

namespace {

const char kBase[] = "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\n";

// Values that a shell would take apart unless --format sh quotes them right.
const char kShellValues[] = "it's\n'\n''a'\\''b\nsay \"hi ;x\"\nback\\slash\\\\\n$HOME ${x} $(id)\n"
                            "`id` \\` ok\ntab\tand  blanks\na;b # c | d & e > f\n*\n~\n\\n%s\n";

// Values that JSON must escape, UTF-8 to copy, and bytes outside UTF-8 at the edges of its table.
const char kJsonIni[] =
    "[q]\nquote = say \"hi\" ;not the value\npath = a\\b\\c\ntab = a\tb\n"
    "text = \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\nff = a\xFFz\n"
    "ctl = \x01\x1F\x7F\b\f\n"
    "edges = \xC2\x80 \xC1\xBF \xDF\xBF \xC3\xC0 \xE0\xA0\x80 \xE0\x9F\xBF "
    "\xED\x9F\xBF \xED\xA0\x80 \xE1\x80\xC0 \xEF\xBF\xBF \xF0\x90\x80\x80 "
    "\xF0\x8F\xBF\xBF \xF4\x8F\xBF\xBF \xF4\x90\x80\x80 \xF5\x80\x80\x80 \xE2\x82 \xF0\x9F\x98\n"
    "none =\n[Caf\xC3\xA9 \xFF]\nK\xFF = 1\n";
const char kJsonOut[] =
    "{\n  \"q\": {\n    \"quote\": \"say \\\"hi\\\"\",\n    \"path\": \"a\\\\b\\\\c\",\n"
    "    \"tab\": \"a\\tb\",\n    \"text\": \"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\",\n"
    "    \"ff\": \"a\\udcffz\",\n    \"ctl\": \"\\u0001\\u001f\\u007f\\b\\f\",\n"
    "    \"edges\": \"\xC2\x80 \\udcc1\\udcbf \xDF\xBF \\udcc3\\udcc0 \xE0\xA0\x80 "
    "\\udce0\\udc9f\\udcbf \xED\x9F\xBF \\udced\\udca0\\udc80 \\udce1\\udc80\\udcc0 "
    "\xEF\xBF\xBF \xF0\x90\x80\x80 \\udcf0\\udc8f\\udcbf\\udcbf \xF4\x8F\xBF\xBF "
    "\\udcf4\\udc90\\udc80\\udc80 \\udcf5\\udc80\\udc80\\udc80 \\udce2\\udc82 "
    "\\udcf0\\udc9f\\udc98\",\n"
    "    \"none\": null\n  },\n  \"Caf\xC3\xA9 \\udcff\": {\n    \"K\\udcff\": \"1\"\n  }\n}\n";

struct Row {
    const char *command; // a shell command line in the directory; $Q is quil
    const char *input;   // standard input
    const char *out;     // the whole standard output
    const char *err;     // a part of the standard error
    int status;
    const char *file = nullptr; // app.ini afterwards; null: untouched, not even rewritten
};

// clang-format off
const Row kRows[] = {
    // ini: lookups, listings and formats for scripts
    {"$Q ini get -- app.ini a x", "", "1\n", "", 0},
    {"$Q ini set app.ini b k && $Q ini get app.ini b k && $Q ini sections app.ini && $Q ini keys app.ini B", "", "\na\nb\ny\nk\n", "", 0, "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\nk=\n"},
    {"$Q ini get app.ini c x", "", "", "app.ini: no section [c]", 1},
    {"$Q ini get app.ini a --help", "", "", "app.ini: no key --help in section [a]", 1},
    {"$Q ini get --format lines app.ini", "", "[a] x = 1\n[b] y = 2\n", "", 0},
    {"$Q ini get --format=sh app.ini A", "", "x='1'\n", "", 0},
    {"$Q ini get --format sh app.ini c", "", "", "no section [c]", 1},
    {"$Q ini get --format json app.ini && $Q ini get --format=json app.ini B && $Q ini get --format json empty", "",
     "{\n  \"a\": {\n    \"x\": \"1\"\n  },\n  \"b\": {\n    \"y\": \"2\"\n  }\n}\n{\n  \"b\": {\n    \"y\": \"2\"\n  }\n}\n{}\n", "", 0},
    {"$Q ini get --format json json.ini", "", kJsonOut, "", 0},
    {"$Q ini get --format json w.ini S; $Q ini get --format json app.ini c", "", "{\n  \"s\": {}\n}\n", "app.ini: no section [c]", 1},
    // ini get --type and --default
    {"$Q ini get --type int typed.ini n hex && $Q ini get --type=uint typed.ini N HEX && $Q ini get --type float typed.ini n ratio && "
     "$Q ini get --type bool typed.ini n flag && $Q ini get --type int typed.ini n min", "", "255\n255\n0.25\ntrue\n-9223372036854775808\n", "", 0},
    {"for a in 'uint typed.ini n min' 'float typed.ini n big' 'bool typed.ini n none' 'int typed.ini n flag'; do $Q ini get --type $a; echo $?; done", "",
     "1\n1\n1\n1\n", "quil: typed.ini: [n] min: '-0x8000000000000000' is not an unsigned integer\nquil: typed.ini: [n] big: '1e999' is out of range for a "
     "floating-point number\nquil: typed.ini: [n] none: has no value, not a boolean\nquil: typed.ini: [n] flag: 'YES' is not an integer\n", 0},
    {"$Q ini get --default 80 --type int typed.ini web port; $Q ini get --default= typed.ini n gone; $Q ini get --default x empty a b; "
     "$Q ini get --default x typed.ini n hex; $Q ini get --default 1 --type int typed.ini n flag; echo $?; $Q ini get --default x broken.ini a b; echo $?; "
     "$Q ini get --default x missing.ini a b; echo $?", "", "80\n\nx\n0xFF\n1\n1\n3\n", "missing.ini: No such file", 0},
    {"$Q ini get --format sh values.ini s >vars && . ./vars && printf '%s\\n' \"$v0\" \"$v1\" \"$v2\" \"$v3\" \"$v4\" \"$v5\" \"$v6\" \"$v7\" \"$v8\" \"$v9\" \"$v10\" \"$v11\"",
     "", kShellValues, "not.a.name: not a shell variable name, skipped", 0},
    // ini: batches are saved whole or not at all, the rest of the file byte for byte
    {"$Q ini set app.ini a x 5 b z 6 'c d' w \"it's\"", "", "", "", 0, "; settings\n[a]\nx = 5 ;keep\n\n[b]\ny=2\nz=6\n[c d]\nw = it's\n"},
    {"$Q ini set app.ini a x 1 b y 2", "", "", "", 0},
    {"for v in 'v ;w' 'v\t' '1\n[evil]'; do $Q ini set app.ini a x 5 b z \"$v\"; echo $?; done", "", "1\n1\n1\n", "refused", 0},
    {"$Q ini set --existing app.ini a x 5 a new 1", "", "", "no key new in section [a]", 1},
    {"$Q ini set --existing --wait=2 app.ini a x 5", "", "", "", 0, "; settings\n[a]\nx = 5 ;keep\n\n[b]\ny=2\n"},
    {"$Q ini del app.ini a x b y && $Q ini del app.ini B", "", "", "", 0, "; settings\n[a]\n\n"},
    {"$Q ini del app.ini a x b nokey", "", "", "no key nokey in section [b]", 1},
    {"$Q ini del app.ini c", "", "", "no section [c]", 1},
    // ini merge: keys of standard input by their sections, those before any header into SECTION
    {"$Q ini merge app.ini", "; ours\n[B]\ny = 3 ;theirs\nq = \"v ;w\"\n[c]\n[a]\nx=9\n", "", "", 0, "; settings\n[a]\nx = 9 ;keep\n\n[b]\ny=3\nq=\"v ;w\"\n[c]\n"},
    {"$Q ini merge app.ini c", "top=1\n[b]\nk=\n", "", "", 0, "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\nk=\n[c]\ntop = 1\n"},
    {"$Q ini merge app.ini", "top=1\n", "", "line 1: key outside any section", 1},
    {"$Q ini merge app.ini", "[b]\ny=3\nnot a key line\n", "", "", 0, "; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=3\n"},
    {"$Q ini merge --existing app.ini", "[b]\ny=3\n[c]\n", "", "no section [c]", 1},
    {"$Q ini merge app.ini", "", "", "", 0},
    // ini: writers started at once, each with a key of its own, lose none of the others' changes
    {"for i in $(seq 40); do $Q ini set w.ini s k$i $i || echo lost & done; wait; grep -c = w.ini; "
     "for i in $(seq 10); do printf '[s]\\nm%s=1\\n' $i | $Q ini merge w.ini || echo lost & done; wait; grep -c = w.ini; "
     "for i in $(seq 10); do $Q ini del w.ini s k$i || echo lost & done; wait; grep -c = w.ini", "", "40\n50\n40\n", "", 0},
    // ini: validation and load failures name the file and the physical line
    {"$Q ini validate app.ini", "", "", "", 0},
    {"$Q ini validate app.ini bad.ini", "", "", "bad.ini:4: malformed value list\n", 1},
    {"$Q ini validate early.ini", "", "", "early.ini:2: key line before the first section header", 1},
    {"$Q ini get missing.ini a b", "", "", "missing.ini: No such file or directory", 3},
    {"$Q ini sections .", "", "", "", 3},
    // ini: what a writer may not replace is refused at once, and its cause named
    {"mkfifo f.ini && timeout 5 $Q ini set f.ini s k 1; echo $?; $Q ini set /dev/null s k 1; echo $?; ln app.ini other.ini && $Q ini set app.ini a x 2 && cat other.ini",
     "", "3\n3\n; settings\n[a]\nx = 1 ;keep\n\n[b]\ny=2\n", "f.ini: not a regular file\nquil: /dev/null: not a regular file\nquil: app.ini: saved; its 1 other name(s) (hard links) keep the old text", 0, "; settings\n[a]\nx = 2 ;keep\n\n[b]\ny=2\n"},
    {"$Q ini sections long.ini && $Q ini validate long.ini", "", "a\n", "long.ini: line 2: line of 512 bytes", 1},
    {"$Q ini sections nul.ini", "", "", "nul.ini: line 3: NUL byte", 1},
    // checksums: fixed-width lower-case hex and the name, as md5sum writes them
    {"$Q crc16 check.txt && $Q crc32 check.txt empty", "", "31c3  check.txt\n2dfd2d88  check.txt\n00000000  empty\n", "", 0},
    {"$Q crc16", "abc", "9dd6  -\n", "", 0},
    {"$Q md5 empty abc f55 f56 f64 big 'odd\\name' >ours && md5sum empty abc f55 f56 f64 big 'odd\\name' | cmp - ours", "", "", "", 0},
    {"$Q md5 --check sums", "", "abc: OK\ncheck.txt: FAILED\n", "1 computed checksum did NOT match", 1},
    {"$Q md5 --check sums-missing", "", "gone: FAILED open or read\n", "", 3},
    {"$Q md5 --check app.ini", "", "", "", 1},
    // addresses
    {"$Q ip 0x0A.0.0.01:0x1F90 192.168.1.2 '[2001:DB8:0:0:0::1]:443' 1:0:0:2:0:0:0:3 ::ffff:0:0", "",
     "10.0.0.1:8080\n192.168.1.2\n[2001:db8::1]:443\n1:0:0:2::3\n::ffff:0.0.0.0\n", "", 0},
    {"$Q ip 1.2.3.4 1.2.3.4:70000 '[::1]xyz'", "", "1.2.3.4\n", "'1.2.3.4:70000': not an IPv4 or IPv6 address with an optional port\nquil: '[::1]xyz'", 1},
    // usage
    {"$Q", "", "", "", 2}, {"$Q frobnicate", "", "", "", 2}, {"$Q ip", "", "", "", 2},
    {"$Q ini set app.ini a x 1 b", "", "", "", 2}, {"$Q ini set --wait -1 app.ini a x 1", "", "", "", 2},
    {"$Q ini get --existing app.ini a x", "", "", "", 2}, {"$Q ini get --format xml app.ini a", "", "", "", 2},
    {"$Q ini get --format sh app.ini a x", "", "", "", 2}, {"$Q ini get --type hex app.ini a x", "", "", "", 2},
    {"$Q ini get --format json --default x app.ini", "", "", "", 2}, {"$Q ini get --format json app.ini a x", "", "", "", 2},
    {"$Q --version | cut -c1-5; for c in ini 'ini get' 'ini set' 'ini del' 'ini merge' 'ini sections' 'ini keys' 'ini validate' crc16 crc32 md5 ip; do $Q $c --help | grep -c \"^usage: quil $c \"; done",
     "", "quil \n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n1\n", "", 0}};
// clang-format on

void PrintTo(const Row &row, std::ostream *os) {
    *os << row.command;
}

class Quil : public testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        std::istringstream lines(kShellValues);
        std::string values = "[s]\nnot.a.name=1\n";
        int count = 0;
        for (std::string line; std::getline(lines, line);) {
            values += "v" + std::to_string(count++) + "=" + line + "\n";
        }
        // clang-format off
        const std::pair<const char *, std::string> files[] = {
            {"app.ini", kBase}, {"w.ini", "[s]\n"}, {"values.ini", values}, {"bad.ini", "[a]\nk=a\\\n b\nj=1,2\n"},
            {"early.ini", "; c\nk=1\n[a]\n"}, {"long.ini", "[a]\nk=" + std::string(600, 'v') + "\n"},
            {"nul.ini", std::string("[a]\nx=1\ny=\0\n", 12)}, {"check.txt", "123456789"}, {"empty", ""},
            {"abc", "abc"}, {"odd\\name", "x"}, {"f55", std::string(55, 'x')}, {"f56", std::string(56, 'x')},
            {"f64", std::string(64, 'x')}, {"json.ini", kJsonIni}, {"broken.ini", std::string("[a]\nx=\0\n", 7)},
            {"typed.ini", "[n]\nhex = 0xFF\nratio = 2.50e-1\nflag = YES\nmin = -0x8000000000000000\nbig = 1e999\nnone =\n"},
            {"sums", "900150983cd24fb0d6963f7d28e17f72  abc\n00000000000000000000000000000000  check.txt\n"},
            {"sums-missing", "900150983cd24fb0d6963f7d28e17f72  gone\n"}};
        // clang-format on
        for (const auto &[name, bytes] : files) {
            wextest::write_file(dir.file(name), bytes);
        }
    }

    // Runs row.command with $Q set, standard input from the row and standard error into a file.
    void check(const Row &row) {
        SCOPED_TRACE(row.command);
        std::string app = dir.file("app.ini");
        struct stat before {};
        ASSERT_EQ(stat(app.c_str(), &before), 0);
        wextest::write_file(dir.file("in"), row.input);
        std::string command = "cd '" + dir.path() + "' && Q='" + QUIL_PATH + "' && {\n" +
                              row.command + "\n} <in 2>err";
        FILE *pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[4096];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            out.append(buffer, got);
        }
        int status = pclose(pipe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
        EXPECT_EQ(out, row.out);
        std::string err = wextest::read_file(dir.file("err"));
        EXPECT_NE(err.find(row.err), std::string::npos) << err;
        EXPECT_EQ(wextest::read_file(app), row.file != nullptr ? row.file : kBase);
        struct stat after {};
        ASSERT_EQ(stat(app.c_str(), &after), 0);
        EXPECT_TRUE(row.file != nullptr || after.st_ino == before.st_ino) << "app.ini rewritten";
    }

    wextest::TempDir dir;
};

TEST_P(Quil, RunsAsItsRowSays) {
    if (std::string(GetParam().command).find(" big ") != std::string::npos) {
        // Several of quil's read blocks, written only for the row that reads them.
        std::string big((3u << 20) + 17, 'x');
        for (size_t i = 0; i < big.size(); ++i) {
            big[i] = static_cast<char>(i * 2654435761u >> 13);
        }
        wextest::write_file(dir.file("big"), big);
    }
    check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, Quil, testing::ValuesIn(kRows));

// A writer that cannot get the lock within --wait fails with 3 and changes nothing; readers take
// no lock.
TEST_F(Quil, AWriterThatCannotGetTheLockInTimeChangesNothing) {
    IniFile held{};
    ASSERT_EQ(QUIL_Ini_LoadForUpdate(dir.file("app.ini").c_str(), &held, 0), 0u);
    check({"$Q ini set --wait 0 app.ini a x 5; echo $?; $Q ini merge --wait=0.01 app.ini; echo $?; "
           "$Q ini del --wait 0 app.ini b; echo $?; $Q ini get app.ini a x",
           "[a]\nx=5\n", "3\n3\n3\n1\n", "held its lock for writing longer than --wait", 0});
    QUIL_Ini_Free(&held);
}

// Python's json module reads the JSON output, and each value, through surrogateescape, gives back
// exactly the bytes that quil ini get prints for its key.
TEST_F(Quil, JsonGivesBackEveryValueByteForByteThroughSurrogateescape) {
    if (std::system("python3 -c pass >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no python3";
    }
    wextest::write_file(dir.file("roundtrip.py"), R"(import json, subprocess, sys
quil, path = sys.argv[1:]
def get(*args):
    return subprocess.run([quil, 'ini', 'get', *args], stdout=subprocess.PIPE, check=True).stdout
def raw(text):
    return text.encode('utf-8', 'surrogateescape')
for section, keys in json.loads(get('--format', 'json', path)).items():
    for key, value in keys.items():
        assert get(path, raw(section), raw(key)) == (b'' if value is None else raw(value)) + b'\n'
        print(key.encode('ascii', 'backslashreplace').decode())
)");
    check({"python3 roundtrip.py \"$Q\" json.ini", "",
           "quote\npath\ntab\ntext\nff\nctl\nedges\nnone\nK\\udcff\n", "", 0});
}

} // namespace
