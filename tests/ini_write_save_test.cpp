// Saving INI documents: wrapping long lines, the backup file and its name, the replacement of the
// document file (access, links, atomicity) and every failure of the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
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

struct WrapCase {
    const char *name;
    std::string text;
    std::vector<size_t> pieces; // lengths of the physical lines written, continuations left out
};

std::string high(size_t n) {
    return std::string(n, '\xC3');
}

std::vector<WrapCase> wrap_cases() {
    std::string a77(77, 'a');
    return {
        {"SeventyNineBytesStayWhole", std::string(78, 'a') + "\n", {79}},
        {"EightyBytesAreCutAfter78", std::string(79, 'a') + "\n", {78, 2}},
        {"AHighByteAt78TakesItsPartner", a77 + high(1) + "bb\n", {79, 2}},
        {"TwoHighBytesAt77And78EndAPiece", std::string(76, 'a') + high(2) + "bb\n", {78, 3}},
        {"AnOddBackslashRunIsNotCut", a77 + "\\x" + "bb\n", {77, 5}},
        {"AnEvenBackslashRunMayEndAPiece", std::string(76, 'a') + "\\\\" + "bb\n", {78, 3}},
        {"ACarriageReturnAndLineFeedStayTogether", std::string(78, 'a') + "\r\n", {77, 3}},
        {"ALineBreakIsNeverLeftAlone", a77 + high(1) + "b\n", {77, 3}},
        {"LongLinesAreCutAgain", std::string(200, 'a') + "\n", {78, 78, 45}},
        {"AnEmptyTextWritesNothing", "", {0}},
    };
}

class Wrapping : public testing::TestWithParam<WrapCase> {};

TEST_P(Wrapping, CutsWhereTheTableSaysAndReadsBack) {
    const WrapCase &c = GetParam();
    TempDir dir;
    std::string bytes = written(dir, c.text);
    EXPECT_EQ(piece_lengths(bytes), c.pieces);
    if (!c.text.empty()) {
        ScopedIni doc;
        ASSERT_EQ(QUIL_Ini_Load(dir.file("line").c_str(), doc.get()), QUIL_SUCCESS);
        EXPECT_EQ(wextest::lines_of(doc.doc), std::vector<std::string>{c.text});
    }
}

INSTANTIATE_TEST_SUITE_P(IniSave, Wrapping, testing::ValuesIn(wrap_cases()),
                         [](const testing::TestParamInfo<WrapCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(IniSaveWrapping, AShortWriteFailsWith180) {
    TempDir dir;
    QUIL_FILE *file = QUIL_Fopen(dir.file("f").c_str(), "w");
    ASSERT_NE(file, nullptr);
    for (uint32_t n = 1; n <= 3; ++n) {
        ScopedFault fault(QUIL_OP_FWRITE, n);
        EXPECT_EQ(QUIL_Ini_WriteLine(file, (std::string(100, 'a') + "\n").c_str()),
                  INI_BACKUP_FAILED);
    }
    QUIL_Fclose(file);
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

TEST_F(IniClose, AChangedDocumentReplacesTheFileAndLeavesNoBackup) {
    load_and_edit();
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_TRUE(is_all_zero(doc_.doc));
    EXPECT_EQ(wextest::read_file(path_), kNew);
    EXPECT_EQ(directory_entries(dir_.path()), std::vector<std::string>{"app.ini"});
}

TEST_F(IniClose, ANullDocumentOrAChangedOneWithoutLinesIsRefused) {
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), nullptr), INI_BAD_ARGUMENT);
    IniFile noLines{1, 3, 0, 0, nullptr};
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

TEST_F(IniClose, ATakenBackupNameFailsWith180AndChangesNoFile) {
    wextest::write_file(backup(), "someone else's");
    load_and_edit();
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), INI_BACKUP_FAILED);
    EXPECT_TRUE(is_all_zero(doc_.doc));
    EXPECT_EQ(wextest::read_file(path_), kOld);
    EXPECT_EQ(wextest::read_file(backup()), "someone else's");
}

TEST_F(IniClose, ALinkPlantedAtTheBackupNameIsNeverFollowed) {
    std::string victim = dir_.file("victim");
    wextest::write_file(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), backup().c_str()), 0);
    load_and_edit();
    EXPECT_NE(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(wextest::read_file(victim), "precious");
    EXPECT_EQ(wextest::read_file(path_), kOld);
}

TEST_F(IniClose, ADanglingLinkAtTheBackupNameIsNotFollowed) {
    std::string target = dir_.file("created-through-link");
    ASSERT_EQ(symlink(target.c_str(), backup().c_str()), 0);
    load_and_edit();
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), INI_SAVE_FAILED);
    EXPECT_FALSE(wextest::file_exists(target));
    EXPECT_EQ(wextest::read_file(path_), kOld);
}

TEST_F(IniClose, TheBackupNameHoldsTheWholeLargestTime) {
    QUIL_Adapter_SetTime(UINT64_MAX);
    std::string longest = dir_.file("app18446744073709551615.ibk");
    wextest::write_file(longest, "taken");
    load_and_edit();
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), INI_BACKUP_FAILED);
}

TEST_F(IniClose, TheBackupNameIsCutOnlyInTheFileName) {
    fs::create_directory(dir_.file("cfg.d"));
    std::string path = dir_.file("cfg.d/settings");
    wextest::write_file(path, kOld);
    wextest::write_file(dir_.file("cfg.d/settings123.ibk"), "taken");
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "s", "k", "2"), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc_.get()), INI_BACKUP_FAILED);
}

TEST_F(IniClose, AMissingDocumentFileFailsWith50AndKeepsTheNewTextInTheBackup) {
    load_and_edit();
    ASSERT_EQ(unlink(path_.c_str()), 0);
    EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), INI_SAVE_FAILED);
    EXPECT_FALSE(wextest::file_exists(path_));
    EXPECT_EQ(wextest::read_file(backup()), kNew);
}

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

TEST_F(IniClose, OldLinesKeepTheirBreaksAndNewLinesEndWithLineFeed) {
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "s", "new", "x"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(wextest::read_file(path_), "[s]\r\nk = 1\r\n; note\r\nnew=x\n");
}

// LF then CR (or CR then LF) read as one break: lines that come to stand so must still come back
// as lines of their own.
TEST_F(IniClose, ARemovalDoesNotJoinTheLinesAroundIt) {
    wextest::write_file(path_, "[a]\nx=1\r\rk=2\n");
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "x"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(wextest::lines_of(doc_.doc), (std::vector<std::string>{"[a]\r", "\r", "k=2\n"}));
}

TEST_F(IniClose, ANewLineBeforeAnEmptyLineLeavesTheEmptyLineAsItWas) {
    wextest::write_file(path_, "[a]\r\nk=1\r\n\r\n[b]\r\n");
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "a", "k", "2"), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(wextest::read_file(path_), "[a]\r\nk=2\r\r\n[b]\r\n");
}

TEST_F(IniClose, ARunOfOneByteEmptyLinesIsWrittenAlike) {
    wextest::write_file(path_, "[a]\nx=1\n\ny=1\r\r\rz=1\r\n");
    ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_DeleteKey(doc_.get(), "a", "y"), QUIL_SUCCESS); // "\n" now meets "\r"
    ASSERT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    EXPECT_EQ(wextest::read_file(path_), "[a]\nx=1\r\r\r\rz=1\r\n");
}

// ---- Every failure of the way ----

enum class Backup { None, Kept, HoldsNewText };

struct FaultCase {
    const char *name;
    QuilAdapterOp op;
    uint32_t n;
    uint32_t result;
    Backup backup;
};

class SaveFaults : public IniClose, public testing::WithParamInterface<FaultCase> {};

TEST_P(SaveFaults, LeaveTheDocumentFileWholeAndReportTheirCode) {
    const FaultCase &c = GetParam();
    load_and_edit();
    {
        ScopedFault fault(c.op, c.n);
        EXPECT_EQ(QUIL_Ini_Close(path_.c_str(), doc_.get()), c.result);
    }
    EXPECT_TRUE(is_all_zero(doc_.doc));
    if (c.result == QUIL_SUCCESS) {
        EXPECT_EQ(wextest::read_file(path_), kNew);
    } else {
        EXPECT_EQ(wextest::read_file(path_), kOld);
    }
    switch (c.backup) {
    case Backup::None:
        EXPECT_EQ(directory_entries(dir_.path()), std::vector<std::string>{"app.ini"});
        break;
    case Backup::Kept:
        EXPECT_TRUE(wextest::file_exists(backup()));
        break;
    case Backup::HoldsNewText:
        EXPECT_EQ(wextest::read_file(backup()), kNew);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    IniSave, SaveFaults,
    testing::Values(
        // The first open only asks whether the backup name is taken: it is not.
        FaultCase{"ProbeOpen", QUIL_OP_FOPEN, 1, QUIL_SUCCESS, Backup::None},
        FaultCase{"BackupCreation", QUIL_OP_FOPEN, 2, INI_SAVE_FAILED, Backup::None},
        FaultCase{"FirstWrite", QUIL_OP_FWRITE, 1, INI_BACKUP_FAILED, Backup::None},
        FaultCase{"LastWrite", QUIL_OP_FWRITE, 3, INI_BACKUP_FAILED, Backup::None},
        FaultCase{"Flush", QUIL_OP_FSYNC, 1, INI_BACKUP_FAILED, Backup::None},
        FaultCase{"Access", QUIL_OP_ACCESS, 1, INI_SAVE_FAILED, Backup::HoldsNewText},
        FaultCase{"Rename", QUIL_OP_RENAME, 1, INI_SAVE_FAILED, Backup::HoldsNewText},
        FaultCase{"PathAllocation", QUIL_OP_ALLOC, 1, INI_NO_MEMORY, Backup::None},
        FaultCase{"NameAllocation", QUIL_OP_ALLOC, 2, INI_NO_MEMORY, Backup::None}),
    [](const testing::TestParamInfo<FaultCase> &info) { return std::string(info.param.name); });

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
