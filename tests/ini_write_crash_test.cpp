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

constexpr int kKills = 40;
constexpr uint32_t kMostSavesBeforeAKill = 3;
constexpr uint32_t kMostSpins = 3000000;

// A document long enough that writing it takes a while, with the value v of section s.
std::string document(const std::string &value) {
    std::string text = "[s]\nv=" + value + "\n";
    for (int i = 0; i < 400; ++i) {
        text += "key" + std::to_string(i) + "=a value that makes the file long enough\n";
    }
    return text;
}

// In the child: saves the document again and again, the value going from 1 to 2 and back, and
// reports every finished save (report() returns false when it cannot).
template <typename Report> [[noreturn]] void save_forever(const std::string &path, Report report) {
    for (uint32_t round = 0;; ++round) {
        IniFile doc{};
        const char *value = round % 2 == 0 ? "2" : "1";
        if (QUIL_Ini_Load(path.c_str(), &doc) != QUIL_SUCCESS ||
            QUIL_Ini_SetValue(&doc, "s", "v", value) != QUIL_SUCCESS ||
            QUIL_Ini_Close(path.c_str(), &doc) != QUIL_SUCCESS) {
            _exit(1);
        }
        if (!report()) {
            _exit(2);
        }
    }
}

#ifdef _WIN32

// On Windows the child is this test program started again to run only the disabled test below,
// told the document and the pipe to report on through its environment.
constexpr char kDocumentVariable[] = "WEX_CRASH_TEST_DOCUMENT";
constexpr char kReportVariable[] = "WEX_CRASH_TEST_REPORT";
constexpr wchar_t kChildArguments[] =
    L" --gtest_also_run_disabled_tests --gtest_filter=IniCrash.DISABLED_SavingChild";
constexpr UINT kKilledExitCode = 137;

class SavingChild {
  public:
    explicit SavingChild(const std::string &path) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        HANDLE reportEnd = nullptr;
        if (!CreatePipe(&reports_, &reportEnd, &inherited, 0)) {
            return;
        }
        SetHandleInformation(reports_, HANDLE_FLAG_INHERIT, 0);
        HANDLE quiet = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited,
                                   OPEN_EXISTING, 0, nullptr);
        SetEnvironmentVariableA(kDocumentVariable, path.c_str());
        SetEnvironmentVariableA(kReportVariable,
                                std::to_string(reinterpret_cast<uintptr_t>(reportEnd)).c_str());
        start(quiet);
        CloseHandle(quiet);
        CloseHandle(reportEnd);
    }
    ~SavingChild() {
        CloseHandle(reports_);
        if (process_ != nullptr) {
            CloseHandle(process_);
        }
    }
    SavingChild(const SavingChild &) = delete;
    SavingChild &operator=(const SavingChild &) = delete;

    bool started() const { return process_ != nullptr; }

    bool wait_for_save() {
        char done = 0;
        DWORD read = 0;
        return ReadFile(reports_, &done, 1, &read, nullptr) && read == 1;
    }

    // Kills the child; false when it had ended on its own before.
    bool kill() {
        TerminateProcess(process_, kKilledExitCode);
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 0;
        return GetExitCodeProcess(process_, &code) && code == kKilledExitCode;
    }

  private:
    void start(HANDLE quiet) {
        wchar_t self[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
        if (length == 0 || length == MAX_PATH) {
            return;
        }
        std::wstring command = L"\"" + std::wstring(self) + L"\"" + kChildArguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = quiet;
        startup.hStdError = quiet;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                           &startup, &info)) {
            CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
    }

    HANDLE reports_ = nullptr;
    HANDLE process_ = nullptr;
};

TEST(IniCrash, DISABLED_SavingChild) {
    const char *path = std::getenv(kDocumentVariable);
    const char *report = std::getenv(kReportVariable);
    if (path == nullptr || report == nullptr) {
        GTEST_SKIP() << "runs only as the child of the crash test";
    }
    auto handle = reinterpret_cast<HANDLE>(std::strtoull(report, nullptr, 10));
    save_forever(path, [handle] {
        const char done = 's';
        DWORD written = 0;
        return WriteFile(handle, &done, 1, &written, nullptr) && written == 1;
    });
}

#else

class SavingChild {
  public:
    explicit SavingChild(const std::string &path) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            int report = fds[1];
            save_forever(path, [report] {
                const char done = 's';
                return write(report, &done, 1) == 1;
            });
        }
        close(fds[1]);
        reports_ = fds[0];
    }
    ~SavingChild() {
        if (reports_ >= 0) {
            close(reports_);
        }
    }
    SavingChild(const SavingChild &) = delete;
    SavingChild &operator=(const SavingChild &) = delete;

    bool started() const { return pid_ > 0; }

    bool wait_for_save() {
        char done = 0;
        return read(reports_, &done, 1) == 1;
    }

    // Kills the child; false when it had ended on its own before.
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

// Waits for saves finished saves, then spins a while, so that the kill lands anywhere in a save.
void let_it_run(SavingChild &child, uint32_t saves, uint32_t spins) {
    for (uint32_t i = 0; i < saves; ++i) {
        ASSERT_TRUE(child.wait_for_save()) << "the saving process ended on its own";
    }
    volatile uint64_t sink = 0;
    for (uint32_t i = 0; i < spins; ++i) {
        sink = sink + i;
    }
}

TEST(IniCrash, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewText) {
    wextest::TempDir dir;
    std::string path = dir.file("doc.ini");
    const std::string one = document("1");
    const std::string two = document("2");
    wextest::write_file(path, one);
    std::mt19937 rng(20261206);

    for (int kill = 0; kill < kKills; ++kill) {
        SavingChild child(path);
        ASSERT_TRUE(child.started());
        uint32_t saves = static_cast<uint32_t>(rng() % (kMostSavesBeforeAKill + 1));
        uint32_t spins = static_cast<uint32_t>(rng() % kMostSpins);
        let_it_run(child, saves, spins);
        EXPECT_TRUE(child.kill()) << "kill " << kill << ": the child failed on its own";

        std::string now = wextest::read_file(path);
        EXPECT_TRUE(now == one || now == two)
            << "kill " << kill << " left " << now.size() << " bytes";
        wextest::ScopedIni doc;
        EXPECT_EQ(QUIL_Ini_Load(path.c_str(), doc.get()), QUIL_SUCCESS);
    }
}

} // namespace
