// A save killed at any moment: a child process saves a document over and over and is killed at
// random points (SIGKILL on POSIX systems, TerminateProcess on Windows); after each kill the
// document path holds the whole old or the whole new text and loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace {

// In the child: saves the document again and again, the value going from 1 to 2 and back, and
// reports every finished save (report() returns false when it cannot).
template <typename Report> [[noreturn]] void save_forever(const std::string &path, Report report) {
    for (uint32_t round = 0;; ++round) {
        IniFile doc{};
        if (QUIL_Ini_Load(path.c_str(), &doc) != QUIL_SUCCESS ||
            QUIL_Ini_SetValue(&doc, "s", "v", round % 2 == 0 ? "2" : "1") != QUIL_SUCCESS ||
            QUIL_Ini_Close(path.c_str(), &doc) != QUIL_SUCCESS || !report()) {
            _exit(1);
        }
    }
}

#ifdef _WIN32

// The child is this test program started again to run only the disabled test below, told the
// document and the pipe to report on through its environment.
constexpr UINT kKilledExitCode = 137;

TEST(IniCrash, DISABLED_SavingChild) {
    const char *path = std::getenv("WEX_CRASH_TEST_DOCUMENT");
    const char *report = std::getenv("WEX_CRASH_TEST_REPORT");
    if (path == nullptr || report == nullptr) {
        GTEST_SKIP() << "runs only as the child of the crash test";
    }
    auto handle = reinterpret_cast<HANDLE>(std::strtoull(report, nullptr, 10));
    save_forever(path, [handle] {
        DWORD written = 0;
        return WriteFile(handle, "s", 1, &written, nullptr) && written == 1;
    });
}

class SavingChild {
  public:
    explicit SavingChild(const std::string &path) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        HANDLE reportEnd = nullptr;
        wchar_t self[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
        if (length == 0 || length == MAX_PATH ||
            !CreatePipe(&reports_, &reportEnd, &inherited, 0)) {
            return;
        }
        SetHandleInformation(reports_, HANDLE_FLAG_INHERIT, 0);
        HANDLE quiet = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited,
                                   OPEN_EXISTING, 0, nullptr);
        SetEnvironmentVariableA("WEX_CRASH_TEST_DOCUMENT", path.c_str());
        SetEnvironmentVariableA("WEX_CRASH_TEST_REPORT",
                                std::to_string(reinterpret_cast<uintptr_t>(reportEnd)).c_str());
        std::wstring command = L"\"" + std::wstring(self) +
                               L"\" --gtest_also_run_disabled_tests "
                               L"--gtest_filter=IniCrash.DISABLED_SavingChild";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = quiet;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
        CloseHandle(quiet);
        CloseHandle(reportEnd);
    }
    ~SavingChild() {
        CloseHandle(reports_);
        CloseHandle(process_);
    }
    bool started() const { return process_ != nullptr; }
    bool wait_for_save() {
        char done = 0;
        DWORD got = 0;
        return ReadFile(reports_, &done, 1, &got, nullptr) && got == 1;
    }
    // Kills the child; false when it had ended on its own before.
    // Kills the child; false when it had ended on its own before.
    bool kill() {
        TerminateProcess(process_, kKilledExitCode);
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 0;
        return GetExitCodeProcess(process_, &code) && code == kKilledExitCode;
    }

  private:
    HANDLE reports_ = nullptr;
    HANDLE process_ = nullptr;
};

#else

class SavingChild {
  public:
    explicit SavingChild(const std::string &path) {
        int fds[2] = {-1, -1};
        if (pipe(fds) == 0 && (pid_ = fork()) == 0) {
            close(fds[0]);
            save_forever(path, [report = fds[1]] { return write(report, "s", 1) == 1; });
        }
        close(fds[1]);
        reports_ = fds[0];
    }
    ~SavingChild() { close(reports_); }
    bool started() const { return pid_ > 0; }
    bool wait_for_save() {
        char done = 0;
        return read(reports_, &done, 1) == 1;
    }
    bool kill() {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFSIGNALED(status);
    }

  private:
    int reports_ = -1;
    pid_t pid_ = -1;
};

#endif

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
