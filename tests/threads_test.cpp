// Threads that each own their lists, tables and documents and share the stateless families (CRC,
// MD5 with a context each, the address parsers) while another thread reads the adapter's
// counters. Built with ThreadSanitizer in CI, where any data race fails the run; here every
// thread also checks its own results.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ini_write_support.h"
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

constexpr int kWorkers = 4;
constexpr int kRounds = 50;
constexpr int kElements = 64;

const char kCheckText[] = "123456789";
constexpr uint16_t kCheckCrc16 = 0x31C3;
constexpr uint32_t kCheckCrc32 = 0x2DFD2D88;
constexpr uint8_t kMd5OfAbc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                   0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};

void release_nothing(void *) {}

void use_lists(std::vector<int> &items) {
    DLinkList *dlist = nullptr;
    SLinkList *slist = nullptr;
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, release_nothing, &dlist), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_SLinkList_Init(kElements, nullptr, release_nothing, &slist), QUIL_SUCCESS);
    for (int &item : items) {
        EXPECT_EQ(QUIL_DLinkList_Insert(dlist, &item, DLINK_POS_TAIL), QUIL_SUCCESS);
        EXPECT_EQ(QUIL_SLinkList_Insert(slist, &item, SLINK_POS_HEAD), QUIL_SUCCESS);
    }
    void *element = nullptr;
    EXPECT_EQ(QUIL_DLinkList_Remove_HeadNode(dlist, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, &items.front());
    EXPECT_EQ(QUIL_SLinkList_Remove_HeadNode(slist, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, &items.back());
    EXPECT_EQ(QUIL_DLinkList_Deinit(dlist, 0), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_SLinkList_Deinit(slist, 0), QUIL_SUCCESS);
}

void use_table(std::vector<int> &items) {
    HashTable *table = nullptr;
    ASSERT_EQ(QUIL_Hash_Init(7, wextest::hash_u32_key, wextest::compare_u32_key,
                             wextest::release_key_copy, release_nothing, &table),
              QUIL_SUCCESS);
    for (uint32_t key = 0; key < items.size(); ++key) {
        EXPECT_EQ(QUIL_Hash_Insert(table, &key, sizeof key, &items[key]), QUIL_SUCCESS);
    }
    for (uint32_t key = 0; key < items.size(); key += 2) {
        EXPECT_EQ(QUIL_Hash_Delete(table, &key), QUIL_SUCCESS);
    }
    uint32_t count = 0;
    EXPECT_EQ(QUIL_Hash_Get_NodeNumber(table, &count), QUIL_SUCCESS);
    EXPECT_EQ(count, items.size() / 2);
    EXPECT_EQ(QUIL_Hash_Deinit(table, 0), QUIL_SUCCESS);
}

void use_document(const std::string &path, int round) {
    wextest::ScopedIni doc;
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc.get()), QUIL_SUCCESS);
    std::string value = std::to_string(round);
    EXPECT_EQ(QUIL_Ini_SetValue(doc.get(), "run", "round", value.c_str()), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc.get()), QUIL_SUCCESS);
    char *read = nullptr;
    EXPECT_EQ(QUIL_Ini_GetValue(doc.get(), "run", "round", &read), QUIL_SUCCESS);
    EXPECT_STREQ(read, value.c_str());
    QUIL_MemFreeD(read, __LINE__, "threads_test");
}

void use_shared_families() {
    uint16_t crc16 = 0;
    uint32_t crc32 = 0;
    EXPECT_EQ(QUIL_CRC_16(kCheckText, 9, &crc16), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_CRC_32(kCheckText, 9, &crc32), QUIL_SUCCESS);
    EXPECT_EQ(crc16, kCheckCrc16);
    EXPECT_EQ(crc32, kCheckCrc32);

    MD5Context context;
    uint8_t digest[16];
    QUIL_MD5_Init(&context);
    QUIL_MD5_Update(&context, "abc", 3);
    QUIL_MD5_Final(digest, &context);
    EXPECT_EQ(std::memcmp(digest, kMd5OfAbc, sizeof digest), 0);

    uint8_t v4[4];
    uint8_t v6[16];
    uint16_t port = 0;
    EXPECT_EQ(QUIL_IpAddr_ParseV4("10.1.2.3:8080", v4, &port), IPADDR_WITH_PORT);
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(QUIL_IpAddr_ParseV6("[fe80::1]:443", v6, &port), QUIL_SUCCESS);
    EXPECT_EQ(port, 443);
    EXPECT_EQ(v6[0], 0xfe);
    EXPECT_EQ(v6[15], 1);
}

void work(const std::string &path) {
    std::vector<int> items(kElements);
    for (int round = 0; round < kRounds; ++round) {
        use_lists(items);
        use_table(items);
        use_document(path, round);
        use_shared_families();
    }
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
    for (int w = 0; w < kWorkers; ++w) {
        std::string path = dir.file("worker" + std::to_string(w) + ".ini");
        wextest::write_file(path, "; worker settings\n[run]\nround=none\n");
        workers.emplace_back(work, path);
    }
    for (std::thread &worker : workers) {
        worker.join();
    }
    done.store(true);
    counterReader.join();
}

} // namespace
