// Saving INI documents: wrapping long lines, the backup file and its name, the replacement of the
// document file (access, links, atomicity) and every failure of the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::is_all_zero;
using wextest::ScopedFault;
using wextest::ScopedIni;
using wextest::TempDir;

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kTime = 123;

// The bytes QUIL_Ini_WriteLine puts into a file for text.
std::string written(const TempDir &dir, const std::string &text) {
    std::string path = dir.file("line");
    QUIL_FILE *file = QUIL_Fopen(path.c_str(), "w");
    EXPECT_NE(file, nullptr);
    EXPECT_EQ(QUIL_Ini_WriteLine(file, text.c_str()), QUIL_SUCCESS);
    QUIL_Fclose(file);
    return wextest::read_file(path);
}

// The lengths of the physical lines of bytes written by wrapping: pieces without "\\\n".
std::vector<size_t> piece_lengths(const std::string &bytes) {
    std::vector<size_t> lengths;
    size_t start = 0;
    for (size_t cut = bytes.find("\\\n"); cut != std::string::npos;
         cut = bytes.find("\\\n", start)) {
        lengths.push_back(cut - start);
        start = cut + 2;
    }
    lengths.push_back(bytes.size() - start);
    return lengths;
}

std::vector<std::string> directory_entries(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// ---- Wrapping ----

std::string high(size_t n) {
    return std::string(n, '\xC3');
}

TEST(IniSaveWrapping, CutsLongLinesWhereTheyReadBackByteForByte) {
    const std::string a77(77, 'a');
    // The text, and the lengths of the physical lines written, continuations left out.
    const std::pair<std::string, std::vector<size_t>> cases[] = {
        {std::string(78, 'a') + "\n", {79}},
        {std::string(79, 'a') + "\n", {78, 2}},
        {a77 + high(1) + "bb\n", {79, 2}},                  // a high byte at 78 takes its partner
        {std::string(76, 'a') + high(2) + "bb\n", {78, 3}}, // two high bytes end a piece
        {a77 + "\\x" + "bb\n", {77, 5}},                    // an odd backslash run is not cut
        {std::string(76, 'a') + "\\\\" + "bb\n", {78, 3}},  // an even run may end a piece
        {std::string(78, 'a') + "\r\n", {77, 3}},           // CR LF stay together
        {a77 + high(1) + "b\n", {77, 3}},                   // a break is never left alone
        {std::string(200, 'a') + "\n", {78, 78, 45}},
        {"", {0}},
    };
    for (const auto &[text, pieces] : cases) {
        SCOPED_TRACE(text);
        TempDir dir;
        EXPECT_EQ(piece_lengths(written(dir, text)), pieces);
        if (!text.empty()) {
            ScopedIni doc;
            ASSERT_EQ(QUIL_Ini_Load(dir.file("line").c_str(), doc.get()), QUIL_SUCCESS);
            EXPECT_EQ(wextest::lines_of(doc.doc), std::vector<std::string>{text});
        }
    }
}

// ---- Closing ----

class IniClose : public testing::Test {
  protected:
    void SetUp() override {
        path_ = dir_.file("app.ini");
        wextest::write_file(path_, kOld);
        QUIL_Adapter_SetTime(kTime);
    }

    // Loads the document and sets one value, so that closing writes it.
    void load_and_edit() {
        ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "s", "k", "2"), QUIL_SUCCESS);
    }

    std::string backup() const { return dir_.file("app123.ibk"); }

    static constexpr const char *kOld = "[s]\r\nk = 1\r\n; note\r\n";
    static constexpr const char *kNew = "[s]\r\nk=2\n; note\r\n";
    TempDir dir_;
    std::string path_;
    ScopedIni doc_;
};

TEST_F(IniClose, AnUnchangedDocumentIsReleasedWithoutTouchingAnyFile) {
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    uint64_t opens = QUIL_Adapter_CallCount(QUIL_OP_FOPEN);
    EXPECT_EQ(QUIL_Ini_Close(nullptr, doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_FOPEN), opens);
    EXPECT_TRUE(is_all_zero(doc_.doc));
}

TEST_F(IniClose, ANullDocumentOrAChangedOneWithoutLinesIsRefused) {
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), nullptr), INI_BAD_ARGUMENT);
    IniFile noLines{};
    noLines.modified = 1;
    noLines.lineCount = 3;
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), &noLines), INI_BAD_ARGUMENT);
    EXPECT_TRUE(is_all_zero(noLines));
    EXPECT_EQ(wextest::read_file(path_), kOld);
}

TEST_F(IniClose, AChangedDocumentWithoutPathIsReleasedWith130) {
    for (const char *path : {static_cast<const char *>(nullptr), ""}) {
        load_and_edit();
        EXPECT_EQ(QUIL_Ini_Close(path, doc_.get()), INI_NO_LINES);
        EXPECT_TRUE(is_all_zero(doc_.doc));
    }
    EXPECT_EQ(wextest::read_file(path_), kOld);
}

TEST_F(IniClose, RemovedLinesLeaveNoTraceAndAnEmptiedDocumentIsAnEmptyFile) {
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_DeleteSection(doc_.get(), "s"), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(wextest::read_file(path_), "");
}

// The backup file is the document's name, the time and ".ibk"; it is created exclusively.
TEST_F(IniClose, ATakenBackupNameFailsWith180AndChangesNoFile) {
    const std::tuple<uint64_t, const char *, const char *> cases[] = {
        {kTime, "app.ini", "app123.ibk"},
        {UINT64_MAX, "app.ini", "app18446744073709551615.ibk"}, // never cut
        {kTime, "cfg.d/settings", "cfg.d/settings123.ibk"},     // cut only in the file name
    };
    fs::create_directory(dir_.file("cfg.d"));
    for (const auto &[time, document, taken] : cases) {
        std::string path = dir_.file(document);
        wextest::write_file(path, kOld);
        wextest::write_file(dir_.file(taken), "someone else's");
        QUIL_Adapter_SetTime(time);
        ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc_.get()), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "s", "k", "2"), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc_.get()), INI_BACKUP_FAILED) << taken;
        EXPECT_TRUE(is_all_zero(doc_.doc));
        EXPECT_EQ(wextest::read_file(path), kOld);
        EXPECT_EQ(wextest::read_file(dir_.file(taken)), "someone else's");
    }
}

#ifndef _WIN32
TEST_F(IniClose, ALinkPlantedAtTheBackupNameIsNeverFollowed) {
    std::string victim = dir_.file("victim");
    wextest::write_file(victim, "precious");
    std::string target = dir_.file("created-through-link");
    for (const std::string &linked : {victim, target}) {
        fs::remove(backup());
        ASSERT_EQ(symlink(linked.c_str(), backup().c_str()), 0);
        load_and_edit();
        EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()),
                  linked == victim ? INI_BACKUP_FAILED : INI_SAVE_FAILED);
        EXPECT_EQ(wextest::read_file(path_), kOld);
    }
    EXPECT_EQ(wextest::read_file(victim), "precious");
    EXPECT_FALSE(wextest::file_exists(target));
}
#endif

TEST_F(IniClose, AMissingDocumentFileFailsWith50AndKeepsTheNewTextInTheBackup) {
    load_and_edit();
    ASSERT_EQ(unlink(path_.c_str()), 0);
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), INI_SAVE_FAILED);
    EXPECT_FALSE(wextest::file_exists(path_));
    EXPECT_EQ(wextest::read_file(backup()), kNew);
}

#ifndef _WIN32
TEST_F(IniClose, TheNewFileKeepsThePermissionBits) {
    for (mode_t mode : {0600u, 0640u, 0644u}) {
        ASSERT_EQ(chmod(path_.c_str(), mode), 0);
        load_and_edit();
        QUIL_Adapter_SetTime(kTime + mode);
        ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
        struct stat st {};
        ASSERT_EQ(stat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        EXPECT_EQ(st.st_uid, getuid());
    }
}

TEST_F(IniClose, ALinkedDocumentIsSavedIntoItsFileAndTheLinkStays) {
    fs::create_directory(dir_.file("real"));
    std::string real = dir_.file("real/app.ini");
    wextest::write_file(real, kOld);
    std::string link = dir_.file("link.ini");
    ASSERT_EQ(symlink("real/app.ini", link.c_str()), 0);
    ASSERT_EQ(QUIL_Ini_Load(link.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "s", "k", "2"), QUIL_SUCCESS);

    EXPECT_EQ(QUIL_Ini_Close(link.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(wextest::read_file(real), kNew);
    EXPECT_EQ(directory_entries(dir_.file("real")), std::vector<std::string>{"app.ini"});
}
#endif

// LF then CR (or CR then LF) read as one break: lines that come to stand so by an edit must
// still come back as lines of their own, and lines not edited keep their breaks.
TEST_F(IniClose, AnEditDoesNotJoinOrSplitTheLinesAroundIt) {
    const std::tuple<const char *, const char *, const char *> cases[] = {
        // The file, the key removed ("-k") or set to 2, the file saved.
        {"[a]\nx=1\r\rk=2\n", "-x", "[a]\r\rk=2\n"},
        {"[a]\r\nk=1\r\n\r\n[b]\r\n", "k", "[a]\r\nk=2\r\r\n[b]\r\n"},
        {"[a]\nx=1\n\ny=1\r\r\rz=1\r\n", "-y", "[a]\nx=1\r\r\r\rz=1\r\n"},
    };
    for (const auto &[before, edit, after] : cases) {
        wextest::write_file(path_, before);
        ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
        ASSERT_EQ(edit[0] == '-' ? QUIL_Ini_DeleteKey(doc_.get(), "a", edit + 1)
                                 : QUIL_Ini_SetValue(doc_.get(), "a", edit, "2"),
                  QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
        EXPECT_EQ(wextest::read_file(path_), after) << before;
        EXPECT_EQ(directory_entries(dir_.path()), std::vector<std::string>{"app.ini"});
    }
}

// ---- Failures ----

// Every single failure of every operation of a save is swept in fault_sweep_test.

// When the incomplete backup file cannot be removed either, it stays, and the document is whole.
TEST_F(IniClose, AFailedWriteWhoseBackupCannotBeRemovedLeavesTheDocumentWhole) {
    load_and_edit();
    ScopedFault write(QUIL_OP_FWRITE, 2);
    ScopedFault remove(QUIL_OP_REMOVE, 1);
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), INI_BACKUP_FAILED);
    EXPECT_EQ(wextest::read_file(path_), kOld);
    EXPECT_TRUE(wextest::file_exists(backup()));
}

} // namespace
