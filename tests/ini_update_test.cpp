// Writers that lose nothing: documents loaded for update wait for each other, also across
// processes, a killed holder of the lock blocks no one, and closing never replaces a file that
// another program changed since the load.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace {

namespace fs = std::filesystem;
using wextest::is_all_zero;
using wextest::read_file;
using wextest::ScopedIni;
using wextest::TempDir;
using wextest::write_file;

constexpr char kOld[] = "[s]\nk=1\n";
constexpr char kOurs[] = "[s]\nk=2\n";
constexpr uint32_t kLongWait = 60000;

uint32_t load_for_update(const char *path, IniFile *doc) {
    return QUIL_Ini_LoadForUpdate(path, doc, 0);
}

using Loader = uint32_t (*)(const char *, IniFile *);
constexpr Loader kLoaders[] = {QUIL_Ini_Load, load_for_update};

std::vector<std::string> entries(const TempDir &dir) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// ---- Another program between load and close ----

// What another program does to the document file while it is loaded; false when the system
// refuses it.
struct Change {
    const char *name;
    bool (*apply)(const std::string &path);
};

#ifdef _WIN32
constexpr bool kNoRenameOverOpenFiles = true; // and the lock holds the file open
#else
constexpr bool kNoRenameOverOpenFiles = false;
#endif

bool rewrite_longer(const std::string &path) {
    write_file(path, "[s]\nk=1\nx=1\n");
    return true;
}

// The same size, and the modification time set back to what it was: only the change time and
// the bytes tell.
bool rewrite_keeping_size_and_time(const std::string &path) {
    fs::file_time_type modified = fs::last_write_time(path);
    write_file(path, "[s]\nk=3\n");
    fs::last_write_time(path, modified);
    return true;
}

bool replace_by_rename(const std::string &path) {
    write_file(path + ".new", kOld);
    std::error_code refused;
    fs::rename(path + ".new", path, refused);
    fs::remove(path + ".new");
    return !refused;
}

const Change kChanges[] = {
    {"rewritten longer", rewrite_longer},
    {"rewritten, same size and time", rewrite_keeping_size_and_time},
    {"replaced by an equal file", replace_by_rename},
};

// A load time long after the file's times, so that the identity alone decides where it can.
uint64_t long_after_now() {
    auto now = std::chrono::system_clock::now().time_since_epoch() + std::chrono::hours(1);
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

// Loads the document with k set to 2, with the load time recent or long past.
void load_and_edit(Loader load, bool settled, const std::string &path, IniFile *doc) {
    write_file(path, kOld);
    QUIL_Adapter_SetTime(settled ? long_after_now() : 0);
    ASSERT_EQ(load(path.c_str(), doc), QUIL_SUCCESS);
    QUIL_Adapter_SetTime(0);
    ASSERT_EQ(QUIL_Ini_SetValue(doc, "s", "k", "2"), QUIL_SUCCESS);
}

TEST(IniCloseCheck, AFileChangedSinceTheLoadStaysAsChangedAndTheNewTextGoesToTheBackup) {
    for (bool settled : {false, true}) {
        for (Loader load : kLoaders) {
            for (const Change &change : kChanges) {
                SCOPED_TRACE(std::string(change.name) + (settled ? ", settled" : ", recent"));
                TempDir dir;
                std::string path = dir.file("app.ini");
                ScopedIni doc;
                load_and_edit(load, settled, path, doc.get());
                if (!change.apply(path)) {
                    EXPECT_TRUE(kNoRenameOverOpenFiles && load == load_for_update);
                    continue;
                }
                std::string theirs = read_file(path);
                char *backup = nullptr;
                EXPECT_EQ(QUIL_Ini_CloseWithBackupName(path.c_str(), doc.get(), &backup),
                          INI_CHANGED_ON_DISK);
                EXPECT_TRUE(is_all_zero(doc.doc));
                EXPECT_EQ(read_file(path), theirs);
                ASSERT_NE(backup, nullptr);
                EXPECT_EQ(read_file(backup), kOurs);
                fs::remove(backup);
                QUIL_MemFreeD(backup, __LINE__, __FILE__);
                EXPECT_EQ(entries(dir), std::vector<std::string>{"app.ini"});
            }
        }
    }
}

// Unchanged, touched (times only) or saved to another file on purpose: the close saves.
TEST(IniCloseCheck, AFileNotChangedSinceTheLoadIsReplacedAsBefore) {
    for (bool settled : {false, true}) {
        for (Loader load : kLoaders) {
            for (bool touched : {false, true}) {
                TempDir dir;
                std::string path = dir.file("app.ini");
                ScopedIni doc;
                load_and_edit(load, settled, path, doc.get());
                if (touched) {
                    fs::last_write_time(path, fs::file_time_type::clock::now());
                }
                char sentinel = 0;
                char *backup = &sentinel; // must come back null
                EXPECT_EQ(QUIL_Ini_CloseWithBackupName(path.c_str(), doc.get(), &backup),
                          QUIL_SUCCESS);
                EXPECT_EQ(backup, nullptr);
                EXPECT_EQ(read_file(path), kOurs);
                EXPECT_EQ(entries(dir), std::vector<std::string>{"app.ini"});

                std::string copy = dir.file("copy.ini");
                write_file(copy, "[other]\n");
                load_and_edit(load, settled, path, doc.get());
                EXPECT_EQ(QUIL_Ini_Close(copy.c_str(), doc.get()), QUIL_SUCCESS);
                EXPECT_EQ(read_file(copy), kOurs);
            }
        }
    }
}

// ---- The lock ----

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

TEST(IniUpdateProcesses, EveryWriterThatReportsSuccessHasItsKeyInTheFile) {
    constexpr int kWriters = 16;
    TempDir dir;
    std::string path = dir.file("app.ini");
    write_file(path, kOld);
    std::vector<pid_t> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers.push_back(spawn([&path, i] {
            IniFile doc{};
            std::string key = "key" + std::to_string(i);
            if (QUIL_Ini_LoadForUpdate(path.c_str(), &doc, kLongWait) != QUIL_SUCCESS) {
                return 1;
            }
            uint32_t edited = QUIL_Ini_SetValue(&doc, "s", key.c_str(), "v");
            uint32_t closed = QUIL_Ini_Close(path.c_str(), &doc);
            return edited == QUIL_SUCCESS && closed == QUIL_SUCCESS ? 0 : 2;
        }));
    }
    std::vector<int> codes;
    for (pid_t writer : writers) {
        codes.push_back(exit_code(writer));
    }
    std::string text = read_file(path);
    for (size_t i = 0; i < codes.size(); ++i) {
        std::string line = "key" + std::to_string(i) + "=v\n";
        EXPECT_EQ(codes[i], 0) << line;
        EXPECT_TRUE(codes[i] != 0 || text.find(line) != std::string::npos) << line << " lost";
    }
    EXPECT_EQ(entries(dir), std::vector<std::string>{"app.ini"});
}

TEST(IniUpdateProcesses, AHolderMakesOthersTimeOutAndFreesTheLockWhenKilled) {
    TempDir dir;
    std::string path = dir.file("app.ini");
    write_file(path, kOld);
    int locked[2];
    ASSERT_EQ(pipe(locked), 0);
    pid_t holder = spawn([&] {
        IniFile doc{};
        char held = QUIL_Ini_LoadForUpdate(path.c_str(), &doc, kLongWait) == 0 ? 'y' : 'n';
        if (write(locked[1], &held, 1) != 1) {
            return 1;
        }
        for (;;) {
            pause();
        }
    });
    char held = 0;
    ASSERT_EQ(read(locked[0], &held, 1), 1);
    close(locked[0]);
    close(locked[1]);
    ScopedIni doc;
    EXPECT_EQ(held, 'y');
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), doc.get(), 0), INI_LOCK_TIMEOUT);
    EXPECT_TRUE(is_all_zero(doc.doc));
    kill(holder, SIGKILL);
    EXPECT_EQ(exit_code(holder), -1);
    EXPECT_EQ(QUIL_Ini_LoadForUpdate(path.c_str(), doc.get(), 0), QUIL_SUCCESS);
}

#else

TEST(IniUpdateProcesses, RunOnPosixSystemsOnly) {
    GTEST_SKIP() << "the tests with several processes use fork";
}

#endif

} // namespace
