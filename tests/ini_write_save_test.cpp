// Saving INI documents: the backup file and its name, the replacement of the document file. The
// case files and the document fuzzer save long edited lines cut into pieces; every single failure
// of a save is swept in fault_sweep_test.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ini_write_support.h"

namespace {

namespace fs = std::filesystem;
using wextest::Doc;
using wextest::file_exists;
using wextest::is_all_zero;
using wextest::read_file;
using wextest::write_file;

class IniClose : public testing::Test {
  protected:
    void SetUp() override {
        QUIL_Adapter_SetTime(123);
        write_file(path_, kOld);
    }
    void TearDown() override { QUIL_Ini_Free(&doc_); }
    // Loads path and sets k of s to 2, so that closing writes it.
    void load_and_edit(const std::string &path) {
        ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc_), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_SetValue(&doc_, "s", "k", "2"), QUIL_SUCCESS);
    }

    static constexpr const char *kOld = "[s]\r\nk = 1\r\n; note\r\n";
    static constexpr const char *kNew = "[s]\r\nk=2\n; note\r\n";
    wextest::TempDir dir_;
    std::string path_ = dir_.file("app.ini");
    std::string backup_ = dir_.file("app123.ibk");
    IniFile doc_{};
};

// An unchanged document is released unsaved; one without path or lines is refused and released.
TEST_F(IniClose, ReleasesAnUnchangedDocumentAndRefusesOneWithoutLinesOrPath) {
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), nullptr), INI_BAD_ARGUMENT);
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), &doc_), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Close(nullptr, &doc_), QUIL_SUCCESS);
    for (const char *path : {static_cast<const char *>(nullptr), ""}) {
        load_and_edit(path_);
        EXPECT_EQ(QUIL_Ini_Close(path, &doc_), INI_NO_LINES);
        EXPECT_TRUE(is_all_zero(doc_));
    }
    doc_.modified = 1;
    doc_.lineCount = 3;
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), &doc_), INI_BAD_ARGUMENT);
    EXPECT_TRUE(is_all_zero(doc_));
    EXPECT_EQ(read_file(path_), kOld);
}

// The backup file is the document's name, the time and ".ibk"; it is created exclusively.
TEST_F(IniClose, ATakenBackupNameFailsWith180AndChangesNoFile) {
    const std::tuple<uint64_t, const char *, const char *> cases[] = {
        {123, "app.ini", "app123.ibk"},
        {UINT64_MAX, "app.ini", "app18446744073709551615.ibk"}, // never cut
        {123, "cfg.d/settings", "cfg.d/settings123.ibk"}        // cut only in the file name
    };
    fs::create_directory(dir_.file("cfg.d"));
    for (const auto &[time, document, taken] : cases) {
        std::string path = dir_.file(document);
        write_file(path, kOld);
        write_file(dir_.file(taken), "someone else's");
        QUIL_Adapter_SetTime(time);
        load_and_edit(path);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), &doc_), INI_BACKUP_FAILED) << taken;
        EXPECT_TRUE(is_all_zero(doc_));
        EXPECT_EQ(read_file(path), kOld);
        EXPECT_EQ(read_file(dir_.file(taken)), "someone else's");
    }
}

// A missing document file fails with 50 and keeps the new text in the backup. When an incomplete
// backup file cannot be removed either, it stays, and the document is whole.
TEST_F(IniClose, AMissingDocumentOrAnUnremovableBackupLeavesNoTextIncomplete) {
    load_and_edit(path_);
    fs::remove(path_);
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), &doc_), INI_SAVE_FAILED);
    EXPECT_FALSE(file_exists(path_));
    EXPECT_EQ(read_file(backup_), kNew);
    fs::remove(backup_);
    write_file(path_, kOld);
    load_and_edit(path_);
    wextest::ScopedFault write(QUIL_OP_FWRITE, 2);
    wextest::ScopedFault remove(QUIL_OP_REMOVE, 1);
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), &doc_), INI_BACKUP_FAILED);
    EXPECT_EQ(read_file(path_), kOld);
    EXPECT_TRUE(file_exists(backup_));
}

#ifndef _WIN32
size_t files_in_directory(const wextest::TempDir &dir) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

// A save never blocks, follows nothing and never replaces what its caller could not write in
// place: a FIFO or a link (even to nothing) at the backup name is a taken name, met at once; a
// document that is a FIFO or a directory by the time of the save, a 0444 document, or one that
// belongs to another user, is refused before anything is written. Root writes any file: the last
// two are tried as user 65534 in a child process.
TEST_F(IniClose, ASaveRefusesWhatItCouldNotWriteInPlaceAndNeverBlocks) {
    std::string target = dir_.file("created-through-link");
    for (bool fifo : {true, false}) {
        ASSERT_EQ(fifo ? mkfifo(backup_.c_str(), 0600) : symlink(target.c_str(), backup_.c_str()),
                  0);
        load_and_edit(path_);
        EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), &doc_), INI_BACKUP_FAILED);
        EXPECT_EQ(read_file(path_), kOld);
        fs::remove(backup_);
    }
    EXPECT_FALSE(file_exists(target));
    for (bool fifo : {true, false}) {
        write_file(path_, kOld);
        load_and_edit(path_);
        fs::remove(path_);
        ASSERT_EQ(fifo ? mkfifo(path_.c_str(), 0600) : mkdir(path_.c_str(), 0700), 0);
        EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), &doc_), INI_NOT_WRITABLE);
        EXPECT_EQ(QUIL_LastError(), QUIL_ERROR_NOT_REGULAR);
        fs::remove(path_);
    }
    write_file(path_, kOld);
    ASSERT_EQ(chmod(dir_.path().c_str(), 0777), 0);
    bool root = geteuid() == 0;
    for (mode_t mode : {mode_t{0444}, mode_t{0644}}) {
        if (!root && mode == 0644) {
            continue; // our own file, which we may write
        }
        ASSERT_EQ(chmod(path_.c_str(), mode), 0);
        pid_t child = fork();
        if (child == 0) {
            if (root && (chown(path_.c_str(), 0, 0) != 0 || setuid(65534) != 0)) {
                _exit(2);
            }
            load_and_edit(path_);
            bool refused = QUIL_Ini_Close(path_.c_str(), &doc_) == INI_NOT_WRITABLE &&
                           QUIL_LastError() == EACCES && read_file(path_) == kOld &&
                           files_in_directory(dir_) == 1;
            _exit(refused ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << std::oct << mode;
    }
}

TEST_F(IniClose, TheNewFileKeepsThePermissionBitsAndALinkedDocumentItsLink) {
    ASSERT_EQ(chmod(path_.c_str(), 0640), 0); // the backup file is created with 0600
    load_and_edit(path_);
    ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), &doc_), QUIL_SUCCESS);
    struct stat st {};
    ASSERT_EQ(stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    fs::create_directory(dir_.file("real"));
    write_file(dir_.file("real/app.ini"), kOld);
    std::string link = dir_.file("link.ini");
    ASSERT_EQ(symlink("real/app.ini", link.c_str()), 0);
    load_and_edit(link);
    EXPECT_EQ(QUIL_Ini_Close(link.c_str(), &doc_), QUIL_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(dir_.file("real/app.ini")), kNew);
}
#endif

} // namespace
