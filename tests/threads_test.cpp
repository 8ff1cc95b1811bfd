// Threads that each own a list and a document and share what the library keeps for the whole
// process: the adapter's counters, which another thread reads meanwhile, the clock that names
// backup files and the CRC engine bound on first use. (The other families keep no state outside
// their callers' records.) Built with ThreadSanitizer in CI, where any data race fails the run;
// here every thread also checks its own results.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "wex_publiclib.h"

namespace {

void release_nothing(void *) {}

// One round of a worker: a list of its own, its document edited and saved, a CRC.
void work(const std::string &path, int round) {
    int items[64] = {};
    DLinkList *list = nullptr;
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, release_nothing, &list), QUIL_SUCCESS);
    for (int &item : items) {
        EXPECT_EQ(QUIL_DLinkList_Insert(list, &item, DLINK_POS_TAIL), QUIL_SUCCESS);
    }
    EXPECT_EQ(QUIL_DLinkList_Deinit(list, 0), QUIL_SUCCESS);

    IniFile doc{};
    std::string value = std::to_string(round);
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_SetValue(&doc, "run", "round", value.c_str()), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), &doc), QUIL_SUCCESS);
    EXPECT_EQ(wextest::read_file(path), "[run]\nround=" + value + "\n");

    uint32_t crc32 = 0;
    EXPECT_TRUE(QUIL_CRC_32("123456789", 9, &crc32) == QUIL_SUCCESS && crc32 == 0x2DFD2D88u);
}

TEST(Threads, OwnContainersAndSharedStateRunTogether) {
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
        std::string path = dir.file("worker" + std::to_string(w) + ".ini");
        wextest::write_file(path, "[run]\nround=none\n");
        workers.emplace_back([path] {
            for (int round = 0; round < 50; ++round) {
                work(path, round);
            }
        });
    }
    for (std::thread &worker : workers) {
        worker.join();
    }
    done.store(true);
    counterReader.join();
}

} // namespace
