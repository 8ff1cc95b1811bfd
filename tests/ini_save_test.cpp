// Saves that lose nothing: the backup file and what a save refuses, the new file's access; writers
// wait for each other's lock, also across processes; closing never replaces a file that another
// program changed since the load; and a save killed at any moment leaves the old or the new text.
// Every single failure of a save: fault_sweep_test.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ini_write_support.h"

namespace {

namespace fs = std::filesystem;
using wextest::is_all_zero;
using wextest::read_file;
using wextest::ScopedIni;
using wextest::TempDir;
using wextest::write_file;

constexpr char kOld[] = "[s]\nk=1\n";
constexpr char kOurs[] = "[s]\nk=2\n";

uint32_t load_for_update(const char *path, IniFile *doc) {
    return QUIL_Ini_LoadForUpdate(path, doc, 0);
}

auto files_in(const TempDir &dir) {
    return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
}

// Loads kOld and sets k to 2; a settled load is in 2116, long after the file's times.
void load_and_edit(uint32_t (*load)(const char *, IniFile *), bool settled, const std::string &path,
                   IniFile *doc) {
    write_file(path, kOld);
    QUIL_Adapter_SetTime(settled ? uint64_t{1} << 62 : 0);
    ASSERT_EQ(load(path.c_str(), doc), QUIL_SUCCESS);
    QUIL_Adapter_SetTime(0);
    ASSERT_EQ(QUIL_Ini_SetValue(doc, "s", "k", "2"), QUIL_SUCCESS);
}

// Only the change time and the bytes tell.
void rewrite_keeping_size_and_time(const std::string &path) {
    fs::file_time_type modified = fs::last_write_time(path);
    write_file(path, "[s]\nk=3\n");
    fs::last_write_time(path, modified);
}

// Only the identity tells (the lock of a load for update would keep Windows from the rename).
void replace_by_equal_file(const std::string &path) {
    write_file(path + ".new", kOld);
    fs::rename(path + ".new", path);
}

// Whether the file system of a temporary directory can exchange two names in one step.
bool exchanges_names() {
    TempDir dir;
    write_file(dir.file("a"), "a");
    write_file(dir.file("b"), "b");
    return QUIL_ExchangeFiles(dir.file("a").c_str(), dir.file("b").c_str()) == 0;
}

// Another program that takes no lock replaces the file as an editor or sed -i does, during the
// save: the change of a close's row is made through the adapter's hook right before a call.
const std::string *g_changed = nullptr;
void (*g_change)(const std::string &) = nullptr;
void change_now(void *) {
    g_change(*g_changed);
}

// A changed file stays as changed, the close gives 200 and our text goes to the backup file,
// whose name it hands out. A file unchanged or only touched is replaced. A change made during the
// save, right before the exchange (where names can be exchanged), right before the check of the
// file (where they cannot), or right before the rename that follows that check, is found but in
// the instant that only the exchange closes, where names cannot be exchanged.
TEST(IniCloseCheck, OnlyAFileChangedSinceTheLoadIsKeptAndOurTextGoesToTheBackup) {
    uint32_t beforeExchange = exchanges_names() ? INI_CHANGED_ON_DISK : QUIL_SUCCESS;
    auto longer = [](const std::string &path) { write_file(path, "[s]\nk=1\nx=1\n"); };
    auto touch = [](const std::string &path) {
        fs::last_write_time(path, fs::file_time_type::clock::now());
    };
    auto none = [](const std::string &) {};
    // clang-format off
    const std::tuple<const char *, void (*)(const std::string &), uint32_t (*)(const char *, IniFile *), bool, QuilAdapterOp, uint32_t> rows[] = {
        {"rewritten longer", longer, load_for_update, false, QUIL_OP_COUNT, INI_CHANGED_ON_DISK},
        {"same size and time, settled", rewrite_keeping_size_and_time, load_for_update, true, QUIL_OP_COUNT, INI_CHANGED_ON_DISK},
        {"same size and time, recent", rewrite_keeping_size_and_time, QUIL_Ini_Load, false, QUIL_OP_COUNT, INI_CHANGED_ON_DISK},
        {"replaced by an equal file", replace_by_equal_file, QUIL_Ini_Load, false, QUIL_OP_COUNT, INI_CHANGED_ON_DISK},
        {"unchanged, settled", none, QUIL_Ini_Load, true, QUIL_OP_COUNT, QUIL_SUCCESS},
        {"unchanged, recent", none, load_for_update, false, QUIL_OP_COUNT, QUIL_SUCCESS},
        {"touched, settled", touch, load_for_update, true, QUIL_OP_COUNT, QUIL_SUCCESS},
        {"replaced before the exchange", replace_by_equal_file, QUIL_Ini_Load, false, QUIL_OP_EXCHANGE, beforeExchange},
        {"replaced before the check, no exchange", replace_by_equal_file, QUIL_Ini_Load, false, QUIL_OP_IDENTITY, INI_CHANGED_ON_DISK},
        {"replaced before the rename, no exchange", replace_by_equal_file, QUIL_Ini_Load, false, QUIL_OP_RENAME, QUIL_SUCCESS}};
    // clang-format on
    for (const auto &[name, change, load, settled, instant, code] : rows) {
        SCOPED_TRACE(name);
        TempDir dir;
        std::string path = dir.file("app.ini");
        ScopedIni doc;
        load_and_edit(load, settled, path, doc.get());
        std::string theirs = read_file(path);
        if (instant == QUIL_OP_COUNT) {
            change(path);
            theirs = read_file(path);
        } else {
            g_changed = &path;
            g_change = change;
            QUIL_Adapter_FailNth(QUIL_OP_EXCHANGE, instant == QUIL_OP_EXCHANGE ? 0 : 1);
            QUIL_Adapter_BeforeCall(instant, change_now, nullptr);
        }
        char *backup = nullptr;
        EXPECT_EQ(QUIL_Ini_CloseWithBackupName(path.c_str(), doc.get(), &backup), code);
        EXPECT_TRUE(is_all_zero(doc.doc));
        EXPECT_EQ(read_file(path), code == QUIL_SUCCESS ? kOurs : theirs);
        EXPECT_EQ(backup != nullptr, code != QUIL_SUCCESS);
        if (backup != nullptr) {
            EXPECT_EQ(read_file(backup), kOurs);
            fs::remove(backup);
            QUIL_MemFreeD(backup, __LINE__, __FILE__);
        }
        EXPECT_EQ(files_in(dir), 1);
    }
}

// An unchanged document is released unsaved; one without path or lines is refused and released.
TEST(IniClose, ReleasesAnUnchangedDocumentAndRefusesOneWithoutLinesOrPath) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    ScopedIni doc;
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), nullptr), INI_BAD_ARGUMENT);
    load_and_edit(QUIL_Ini_Load, false, path, doc.get());
    doc->modified = 0;
    EXPECT_EQ(QUIL_Ini_Close(nullptr, doc.get()), QUIL_SUCCESS);
    for (const char *to : {static_cast<const char *>(nullptr), ""}) {
        load_and_edit(QUIL_Ini_Load, false, path, doc.get());
        EXPECT_EQ(QUIL_Ini_Close(to, doc.get()), INI_NO_LINES);
        EXPECT_TRUE(is_all_zero(doc.doc));
    }
    doc->modified = 1;
    doc->lineCount = 3;
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), INI_BAD_ARGUMENT);
    EXPECT_TRUE(is_all_zero(doc.doc));
    EXPECT_EQ(read_file(path), kOld);
}

// The backup file is the document's name, the time and ".ibk"; it is created exclusively.
TEST(IniClose, ATakenBackupNameFailsWith180AndChangesNoFile) {
    TempDir dir;
    const std::tuple<uint64_t, const char *, const char *> cases[] = {
        {123, "app.ini", "app123.ibk"},
        {UINT64_MAX, "app.ini", "app18446744073709551615.ibk"}, // never cut
        {123, "cfg.d/settings", "cfg.d/settings123.ibk"}        // cut only in the file name
    };
    fs::create_directory(dir.file("cfg.d"));
    for (const auto &[time, document, taken] : cases) {
        std::string path = dir.file(document);
        ScopedIni doc;
        load_and_edit(QUIL_Ini_Load, false, path, doc.get());
        write_file(dir.file(taken), "someone else's");
        QUIL_Adapter_SetTime(time);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), INI_BACKUP_FAILED) << taken;
        QUIL_Adapter_SetTime(0);
        EXPECT_TRUE(is_all_zero(doc.doc));
        EXPECT_EQ(read_file(path), kOld);
        EXPECT_EQ(read_file(dir.file(taken)), "someone else's");
    }
}

// A missing document file fails with 50 and keeps the new text in the backup. When an incomplete
// backup file cannot be removed either, it stays, and the document is whole.
TEST(IniClose, AMissingDocumentOrAnUnremovableBackupLeavesNoTextIncomplete) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    std::string backup = dir.file("app123.ibk");
    ScopedIni doc;
    for (bool missing : {true, false}) {
        load_and_edit(QUIL_Ini_Load, false, path, doc.get());
        if (missing) {
            fs::remove(path);
        }
        QUIL_Adapter_SetTime(123);
        wextest::ScopedFault write(QUIL_OP_FWRITE, missing ? 0 : 2);
        wextest::ScopedFault remove(QUIL_OP_REMOVE, missing ? 0 : 1);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()),
                  missing ? INI_SAVE_FAILED : INI_BACKUP_FAILED);
        QUIL_Adapter_SetTime(0);
        EXPECT_EQ(wextest::file_exists(path) ? read_file(path) : "missing",
                  missing ? "missing" : kOld);
        EXPECT_TRUE(wextest::file_exists(backup));
        EXPECT_TRUE(!missing || read_file(backup) == kOurs);
        fs::remove(backup);
    }
}

// A document saved as another file: one loaded from a file is written to an existing other file
// without comparing it with the file it read; a document from memory, which has no file, writes
// nothing without a path, and creates a new file where none is, with the access new files get.
TEST(IniCloseCheck, SavingAsAnotherFileWritesItWithoutComparingOrCreatesIt) {
    TempDir dir;
    std::string copy = dir.file("copy.ini");
    std::string created = dir.file("new.ini");
    write_file(copy, "[other]\n");
    ScopedIni doc;
    load_and_edit(load_for_update, false, dir.file("app.ini"), doc.get());
    EXPECT_EQ(QUIL_Ini_Close(copy.c_str(), doc.get()), QUIL_SUCCESS);
    for (const char *to : {static_cast<const char *>(nullptr), created.c_str()}) {
        ASSERT_EQ(QUIL_Ini_LoadMemory(kOld, sizeof kOld - 1, doc.get(), 0), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_SetValue(doc.get(), "s", "k", "2"), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_Ini_Close(to, doc.get()), to == nullptr ? INI_NO_LINES : QUIL_SUCCESS);
    }
    EXPECT_EQ(read_file(copy), kOurs);
    EXPECT_EQ(read_file(created), kOurs);
    EXPECT_EQ(files_in(dir), 3);
#ifndef _WIN32
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(created).permissions(), static_cast<fs::perms>(0666 & ~mask));
#endif
}

TEST(IniLoadForUpdate, ASecondWriterTimesOutUntilTheFirstClosesOrFrees) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    ScopedIni first;
    ScopedIni second;
    ScopedIni reader;
    load_and_edit(load_for_update, false, path, first.get());
    std::memset(second.get(), 0xA5, sizeof(IniFile));
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), second.get(), 0), INI_LOCK_TIMEOUT);
    EXPECT_TRUE(is_all_zero(second.doc));
    EXPECT_EQ(QUIL_Ini_Load(path.c_str(), reader.get()), QUIL_SUCCESS) << "readers never wait";

    // The save renames a new file over the locked one; the lock goes with the document.
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), first.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), second.get(), 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), first.get(), 0), INI_LOCK_TIMEOUT);
    QUIL_Ini_Free(second.get());
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), first.get(), 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(dir.file("missing.ini").c_str(), second.get(), 0),
              INI_OPEN_FAILED);
}

#ifndef _WIN32

constexpr uint32_t kLongWait = 60000;

// Runs body in a child process, which exits with its result.
template <typename Body> pid_t spawn(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    return pid;
}

int exit_code(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A save never blocks, follows nothing and never replaces what its caller could not write in
// place: a FIFO or a link (even to nothing) at the backup name is a taken name, met at once; a
// document that is a FIFO or a directory by the time of the save, a 0444 document, or one that
// belongs to another user, is refused before anything is written. Root writes any file: the last
// two are tried as user 65534 in a child process.
TEST(IniClose, ASaveRefusesWhatItCouldNotWriteInPlaceAndNeverBlocks) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    std::string backup = dir.file("app123.ibk");
    std::string target = dir.file("created-through-link");
    ScopedIni doc;
    for (bool fifo : {true, false}) {
        ASSERT_EQ(fifo ? mkfifo(backup.c_str(), 0600) : symlink(target.c_str(), backup.c_str()), 0);
        load_and_edit(QUIL_Ini_Load, false, path, doc.get());
        QUIL_Adapter_SetTime(123);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), INI_BACKUP_FAILED);
        QUIL_Adapter_SetTime(0);
        EXPECT_EQ(read_file(path), kOld);
        fs::remove(backup);
    }
    EXPECT_FALSE(wextest::file_exists(target));
    for (bool fifo : {true, false}) {
        load_and_edit(QUIL_Ini_Load, false, path, doc.get());
        fs::remove(path);
        ASSERT_EQ(fifo ? mkfifo(path.c_str(), 0600) : mkdir(path.c_str(), 0700), 0);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), INI_NOT_WRITABLE);
        EXPECT_EQ(QUIL_LastError(), QUIL_ERROR_NOT_REGULAR);
        fs::remove(path);
    }
    write_file(path, kOld);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    bool root = geteuid() == 0;
    for (mode_t mode : {mode_t{0444}, mode_t{0644}}) {
        if (!root && mode == 0644) {
            continue; // our own file, which we may write
        }
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        pid_t child = spawn([&] {
            if (root && (chown(path.c_str(), 0, 0) != 0 || setuid(65534) != 0)) {
                return 2;
            }
            IniFile mine{};
            bool refused = QUIL_Ini_Load(path.c_str(), &mine) == QUIL_SUCCESS &&
                           QUIL_Ini_SetValue(&mine, "s", "k", "2") == QUIL_SUCCESS &&
                           QUIL_Ini_Close(path.c_str(), &mine) == INI_NOT_WRITABLE &&
                           QUIL_LastError() == EACCES && read_file(path) == kOld &&
                           files_in(dir) == 1;
            return refused ? 0 : 1;
        });
        EXPECT_EQ(exit_code(child), 0) << std::oct << mode;
    }
}

// The backup file is created with 0600.
TEST(IniClose, TheNewFileKeepsThePermissionBitsAndALinkedDocumentItsLink) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    ScopedIni doc;
    load_and_edit(QUIL_Ini_Load, false, path, doc.get());
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), QUIL_SUCCESS);
    EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0640));
    fs::create_directory(dir.file("real"));
    std::string link = dir.file("link.ini");
    ASSERT_EQ(symlink("real/app.ini", link.c_str()), 0);
    load_and_edit(QUIL_Ini_Load, false, link, doc.get());
    EXPECT_EQ(QUIL_Ini_Close(link.c_str(), doc.get()), QUIL_SUCCESS);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(read_file(dir.file("real/app.ini")), kOurs);
}

// A holder of the lock is killed; then 16 writers wait for each other and each keeps its key.
TEST(IniUpdateProcesses, AKilledHolderFreesTheLockAndNoWriterLosesItsKey) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    write_file(path, kOld);
    int locked[2];
    ASSERT_EQ(pipe(locked), 0);
    pid_t holder = spawn([&] {
        IniFile doc{};
        if (QUIL_Ini_LoadForUpdate(path.c_str(), &doc, kLongWait) == 0 &&
            write(locked[1], "y", 1) == 1) {
            for (;;) {
                pause();
            }
        }
        return 1;
    });
    close(locked[1]);
    char held = 0;
    ASSERT_EQ(read(locked[0], &held, 1), 1) << "the holder ended without the lock";
    close(locked[0]);
    ScopedIni doc;
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), doc.get(), 0), INI_LOCK_TIMEOUT);
    EXPECT_TRUE(is_all_zero(doc.doc));
    kill(holder, SIGKILL);
    EXPECT_EQ(exit_code(holder), -1);
    ASSERT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), doc.get(), 0), QUIL_SUCCESS);
    QUIL_Ini_Free(doc.get());

    std::vector<pid_t> writers;
    for (int i = 0; i < 16; ++i) {
        writers.push_back(spawn([&path, i] {
            IniFile mine{};
            std::string key = "key" + std::to_string(i);
            return QUIL_Ini_LoadForUpdate(path.c_str(), &mine, kLongWait) != QUIL_SUCCESS ||
                   QUIL_Ini_SetValue(&mine, "s", key.c_str(), "v") != QUIL_SUCCESS ||
                   QUIL_Ini_Close(path.c_str(), &mine) != QUIL_SUCCESS;
        }));
    }
    for (pid_t writer : writers) {
        EXPECT_EQ(exit_code(writer), 0);
    }
    std::string text = read_file(path);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NE(text.find("key" + std::to_string(i) + "=v\n"), std::string::npos) << i;
    }
    EXPECT_EQ(files_in(dir), 1);
}

// A child saves with the value going from 1 to 2 and back and reports each save; after up to
// three saves and a spin it is killed, anywhere in a save. The file then holds the whole old or
// the whole new text, which loads.
TEST(IniUpdateProcesses, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewText) {
    auto document = [](const char *value) {
        std::string text = std::string("[s]\nv=") + value + "\n";
        for (int i = 0; i < 400; ++i) {
            text += "key" + std::to_string(i) + "=a value that makes the file long enough\n";
        }
        return text;
    };
    TempDir dir;
    std::string path = dir.file("app.ini");
    write_file(path, document("1"));
    std::mt19937 rng(20261206);
    for (int kill = 0; kill < 40; ++kill) {
        int saves[2];
        ASSERT_EQ(pipe(saves), 0);
        pid_t child = spawn([&] {
            for (uint32_t round = 0;; ++round) {
                IniFile doc{};
                if (QUIL_Ini_Load(path.c_str(), &doc) != QUIL_SUCCESS ||
                    QUIL_Ini_SetValue(&doc, "s", "v", round % 2 == 0 ? "2" : "1") != 0 ||
                    QUIL_Ini_Close(path.c_str(), &doc) != QUIL_SUCCESS ||
                    write(saves[1], "s", 1) != 1) {
                    return 1;
                }
            }
        });
        close(saves[1]);
        bool saving = true;
        for (auto n = rng() % 4; n > 0 && saving; --n) {
            char saved = 0;
            saving = read(saves[0], &saved, 1) == 1;
        }
        volatile uint64_t sink = 0;
        for (auto spins = rng() % 3000000; spins > 0; --spins) {
            sink = sink + spins;
        }
        ::kill(child, SIGKILL);
        EXPECT_TRUE(saving && exit_code(child) == -1) << kill << ": the child ended on its own";
        close(saves[0]);
        std::string now = read_file(path);
        EXPECT_TRUE(now == document("1") || now == document("2")) << "kill " << kill;
        ScopedIni doc;
        EXPECT_EQ(QUIL_Ini_Load(path.c_str(), doc.get()), QUIL_SUCCESS);
    }
}

#endif

} // namespace
