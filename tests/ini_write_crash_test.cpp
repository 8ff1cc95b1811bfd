// A save killed at any moment: a child process saves a document over and over and is killed with
// SIGKILL at random points; after each kill the document path holds the whole old or the whole new
// text and loads.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <random>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

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
// reports every finished save with one byte on the pipe.
[[noreturn]] void save_forever(const std::string &path, int report) {
    for (uint32_t round = 0;; ++round) {
        IniFile doc{};
        const char *value = round % 2 == 0 ? "2" : "1";
        if (QUIL_Ini_Load(path.c_str(), &doc) != QUIL_SUCCESS ||
            QUIL_Ini_SetValue(&doc, "s", "v", value) != QUIL_SUCCESS ||
            QUIL_Ini_Close(path.c_str(), &doc) != QUIL_SUCCESS) {
            _exit(1);
        }
        const char done = 's';
        if (write(report, &done, 1) != 1) {
            _exit(2);
        }
    }
}

// Waits for saves finished saves, then spins a while, so that the kill lands anywhere in a save.
void let_it_run(int reports, uint32_t saves, uint32_t spins) {
    char done = 0;
    for (uint32_t i = 0; i < saves; ++i) {
        ASSERT_EQ(read(reports, &done, 1), 1) << "the saving process ended on its own";
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
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            save_forever(path, fds[1]);
        }
        close(fds[1]);
        uint32_t saves = static_cast<uint32_t>(rng() % (kMostSavesBeforeAKill + 1));
        uint32_t spins = static_cast<uint32_t>(rng() % kMostSpins);
        let_it_run(fds[0], saves, spins);
        ::kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(fds[0]);

        EXPECT_TRUE(WIFSIGNALED(status)) << "kill " << kill << ": the child failed on its own";
        std::string now = wextest::read_file(path);
        EXPECT_TRUE(now == one || now == two)
            << "kill " << kill << " left " << now.size() << " bytes";
        wextest::ScopedIni doc;
        EXPECT_EQ(QUIL_Ini_Load(path.c_str(), doc.get()), QUIL_SUCCESS);
    }
}

} // namespace
