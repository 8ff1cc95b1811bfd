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
#include "wex_crc.h"
#include "wex_dlinklist.h"
#include "wex_hash.h"
#include "wex_ini.h"
#include "wex_ipaddr.h"
#include "wex_md5.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

constexpr int kElements = 64;

void release_nothing(void *) {}

void use_containers(std::vector<int> &items) {
    DLinkList *dlist = nullptr;
    SLinkList *slist = nullptr;
    HashTable *table = nullptr;
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, release_nothing, &dlist), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_SLinkList_Init(kElements, nullptr, release_nothing, &slist), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Hash_Init(7, wextest::hash_u32_key, wextest::compare_u32_key,
                             wextest::release_key_copy, release_nothing, &table),
              QUIL_SUCCESS);
    for (uint32_t key = 0; key < items.size(); ++key) {
        EXPECT_EQ(QUIL_DLinkList_Insert(dlist, &items[key], DLINK_POS_TAIL), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_SLinkList_Insert(slist, &items[key], SLINK_POS_HEAD), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_Hash_Insert(table, &key, sizeof key, &items[key]), QUIL_SUCCESS);
    }
    void *element = nullptr;
    EXPECT_EQ(QUIL_DLinkList_Remove_HeadNode(dlist, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, &items.front());
    EXPECT_EQ(QUIL_SLinkList_Remove_HeadNode(slist, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, &items.back());
    uint32_t key = 5;
    EXPECT_EQ(QUIL_Hash_Query(table, &key, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, &items[5]);
    EXPECT_EQ(QUIL_DLinkList_Deinit(dlist, 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_SLinkList_Deinit(slist, 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Hash_Deinit(table, 0), QUIL_SUCCESS);
}

void use_document(const std::string &path, int round) {
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
}

void use_shared_families() {
    uint32_t crc32 = 0;
    EXPECT_EQ(QUIL_CRC_32("123456789", 9, &crc32), QUIL_SUCCESS);
    EXPECT_EQ(crc32, 0x2DFD2D88u);
    MD5Context context;
    uint8_t digest[16];
    QUIL_MD5_Init(&context);
    QUIL_MD5_Update(&context, "abc", 3);
    QUIL_MD5_Final(digest, &context);
    EXPECT_EQ(digest[0], 0x90);
    EXPECT_EQ(digest[15], 0x72);
    uint8_t v6[16];
    uint16_t port = 0;
    EXPECT_EQ(QUIL_IpAddr_ParseV6("[fe80::1]:443", v6, &port), QUIL_SUCCESS);
    EXPECT_EQ(port, 443);
}

TEST(Threads, OwnContainersAndSharedStatelessFamiliesRunTogether) {
    wextest::TempDir dir;
    std::atomic<bool> done{false};
    std::thread counterReader([&done] {
        uint64_t lastCalls = 0;
        while (!done.load()) {
            QUIL_Adapter_LiveBlocks();
            uint64_t calls = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
            EXPECT_GE(calls, lastCalls);
            lastCalls = calls;
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        std::string path = dir.file("worker" + std::to_string(w) + ".ini");
        wextest::write_file(path, "; worker settings\n[run]\nround=none\n");
        workers.emplace_back([path] {
            std::vector<int> items(kElements);
            for (int round = 0; round < 50; ++round) {
                use_containers(items);
                use_document(path, round);
                use_shared_families();
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
