// Threads that each own their lists, tables and documents and share the stateless families (CRC,
// MD5 with a context each, the address parsers) while another thread reads the adapter's
// counters. Built with ThreadSanitizer in CI, where any data race fails the run; here every
// thread also checks its own results.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "wex_publiclib.h"

namespace {

void release_nothing(void *) {}

// One round of a worker: its own lists, table and document, then the shared families.
void work(const std::string &path, int round) {
    int items[64] = {};
    DLinkList *dlist = nullptr;
    SLinkList *slist = nullptr;
    HashTable *table = nullptr;
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, release_nothing, &dlist), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_SLinkList_Init(64, nullptr, release_nothing, &slist), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Hash_Init(7, wextest::hash_u32_key, wextest::compare_u32_key,
                             wextest::release_key_copy, release_nothing, &table),
              QUIL_SUCCESS);
    for (uint32_t key = 0; key < 64; ++key) {
        EXPECT_EQ(QUIL_DLinkList_Insert(dlist, &items[key], DLINK_POS_TAIL), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_SLinkList_Insert(slist, &items[key], SLINK_POS_HEAD), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_Hash_Insert(table, &key, sizeof key, &items[key]), QUIL_SUCCESS);
    }
    void *element = nullptr;
    uint32_t key = 5;
    EXPECT_TRUE(QUIL_Hash_Query(table, &key, &element) == QUIL_SUCCESS && element == &items[5]);
    EXPECT_EQ(QUIL_DLinkList_Deinit(dlist, 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_SLinkList_Deinit(slist, 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Hash_Deinit(table, 0), QUIL_SUCCESS);

    IniFile doc{};
    std::string value = std::to_string(round);
    char *read = nullptr;
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_SetValue(&doc, "run", "round", value.c_str()), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), &doc), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_GetValue(&doc, "run", "round", &read), QUIL_SUCCESS);
    EXPECT_STREQ(read, value.c_str());
    QUIL_MemFreeD(read, __LINE__, "threads_test");
    QUIL_Ini_Free(&doc);

    uint32_t crc32 = 0;
    EXPECT_TRUE(QUIL_CRC_32("123456789", 9, &crc32) == QUIL_SUCCESS && crc32 == 0x2DFD2D88u);
    MD5Context context;
    uint8_t digest[16];
    QUIL_MD5_Init(&context);
    QUIL_MD5_Update(&context, "abc", 3);
    QUIL_MD5_Final(digest, &context);
    EXPECT_TRUE(digest[0] == 0x90 && digest[15] == 0x72);
    uint8_t v6[16];
    uint16_t port = 0;
    EXPECT_TRUE(QUIL_IpAddr_ParseV6("[fe80::1]:443", v6, &port) == QUIL_SUCCESS && port == 443);
}

TEST(Threads, OwnContainersAndSharedStatelessFamiliesRunTogether) {
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
        wextest::write_file(path, "; worker settings\n[run]\nround=none\n");
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
