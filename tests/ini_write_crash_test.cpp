// A save killed at any moment: after each kill of a child process saving a document over and
// over, the document path holds the whole old or the whole new text and loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ini_write_support.h"

namespace {

// In the child: saves with the value going from 1 to 2 and back, and reports every save.
[[noreturn]] void save_forever(const std::string &path, int report) {
    for (uint32_t round = 0;; ++round) {
        IniFile doc{};
        if (QUIL_Ini_Load(path.c_str(), &doc) != QUIL_SUCCESS ||
            QUIL_Ini_SetValue(&doc, "s", "v", round % 2 == 0 ? "2" : "1") != QUIL_SUCCESS ||
            QUIL_Ini_Close(path.c_str(), &doc) != QUIL_SUCCESS || write(report, "s", 1) != 1) {
            _exit(1);
        }
    }
}

#ifdef _WIN32
// On Windows the child is this program run again for this test alone, which finds the document
// and the pipe end it inherited in its environment.
TEST(IniCrash, DISABLED_SavingChild) {
    const char *path = std::getenv("WEX_CRASH_TEST_DOCUMENT");
    const char *report = std::getenv("WEX_CRASH_TEST_REPORT");
    if (path == nullptr || report == nullptr) {
        GTEST_SKIP() << "runs only as the child of the crash test";
    }
    save_forever(path, std::atoi(report));
}
#endif

class SavingChild {
  public:
    explicit SavingChild(const std::string &path) {
        int fds[2] = {-1, -1};
#ifdef _WIN32
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        _pipe(fds, 64, _O_BINARY); // inherited by the child
        _putenv(("WEX_CRASH_TEST_DOCUMENT=" + path).c_str());
        _putenv(("WEX_CRASH_TEST_REPORT=" + std::to_string(fds[1])).c_str());
        std::string quoted = "\"" + std::string(self) + "\"";
        const char *args[] = {quoted.c_str(), "--gtest_brief=1", "--gtest_also_run_disabled_tests",
                              "--gtest_filter=IniCrash.DISABLED_SavingChild", nullptr};
        child_ = _spawnv(_P_NOWAIT, self, args);
#else
        if (pipe(fds) == 0 && (child_ = fork()) == 0) {
            save_forever(path, fds[1]);
        }
#endif
        close(fds[1]);
        reports_ = fds[0];
    }
    ~SavingChild() {
        close(reports_);
    }
    bool started() const {
        return child_ > 0;
    }
    bool wait_for_save() {
        char done = 0;
        return read(reports_, &done, 1) == 1;
    }
    // Kills the child; false when it had ended on its own before.
    bool kill() {
#ifdef _WIN32
        auto process = reinterpret_cast<HANDLE>(child_);
        TerminateProcess(process, 137);
        WaitForSingleObject(process, INFINITE);
        DWORD code = 0;
        bool killed = GetExitCodeProcess(process, &code) && code == 137;
        CloseHandle(process);
        return killed;
#else
        auto pid = static_cast<pid_t>(child_);
        ::kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFSIGNALED(status);
#endif
    }

  private:
    int reports_ = -1;
    intptr_t child_ = -1; // a process handle on Windows, a process id elsewhere
};

// A document long enough that writing it takes a while, with the value v of section s.
std::string document(const std::string &value) {
    std::string text = "[s]\nv=" + value + "\n";
    for (int i = 0; i < 400; ++i) {
        text += "key" + std::to_string(i) + "=a value that makes the file long enough\n";
    }
    return text;
}

TEST(IniCrash, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewText) {
    wextest::Doc d(document("1"));
    std::mt19937 rng(20261206);
    for (int kill = 0; kill < 40; ++kill) {
        SavingChild child(d.path);
        ASSERT_TRUE(child.started());
        // Up to three finished saves, then a spin, so that the kill lands anywhere in a save.
        for (auto saves = rng() % 4; saves > 0; --saves) {
            ASSERT_TRUE(child.wait_for_save()) << "the saving process ended on its own";
        }
        volatile uint64_t sink = 0;
        for (auto spins = rng() % 3000000; spins > 0; --spins) {
            sink = sink + spins;
        }
        EXPECT_TRUE(child.kill()) << "kill " << kill << ": the child failed on its own";
        std::string now = wextest::read_file(d.path);
        EXPECT_TRUE(now == document("1") || now == document("2")) << "kill " << kill;
        d.reload(now);
        EXPECT_EQ(d.loaded, QUIL_SUCCESS);
    }
}

} // namespace
