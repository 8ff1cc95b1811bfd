// Threads that each edit and save a document of their own and take CRCs while another reads the
// adapter's counters. They share what the library keeps for the whole process: the counters, the
// clock that names backup files and the CRC engine bound on first use (the containers and the
// other families keep nothing outside their callers' records). Built with ThreadSanitizer in CI,
// where any data race fails the run; here every thread also checks its own results.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "wex_publiclib.h"

namespace {

void work(const std::string &path) {
    wextest::write_file(path, "[run]\nround=none\n");
    for (int round = 0; round < 50; ++round) {
        IniFile doc{};
        std::string value = std::to_string(round);
        ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_Ini_SetValue(&doc, "run", "round", value.c_str()), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_Ini_Close(path.c_str(), &doc), QUIL_SUCCESS);
        EXPECT_EQ(wextest::read_file(path), "[run]\nround=" + value + "\n");
        uint32_t crc32 = 0;
        EXPECT_TRUE(QUIL_CRC_32("123456789", 9, &crc32) == QUIL_SUCCESS && crc32 == 0x2DFD2D88u);
    }
}

TEST(Threads, DocumentsOfTheirOwnAndTheLibrarysSharedStateRunTogether) {
    wextest::TempDir dir;
    std::atomic<bool> done{false};
    std::thread counterReader([&done] {
        for (uint64_t last = 0, calls = 0; !done.load(); last = calls) {
            QUIL_Adapter_LiveBlocks();
            calls = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
            EXPECT_GE(calls, last);
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back(work, dir.file("worker" + std::to_string(w) + ".ini"));
    }
    for (std::thread &worker : workers) {
        worker.join();
    }
    done.store(true);
    counterReader.join();
}

} // namespace
