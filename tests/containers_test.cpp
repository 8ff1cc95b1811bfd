// The containers where the reference models of fuzz/containers_fuzzer.cpp (run by ctest as
// fuzz_containers) cannot look: creation limits and the static list's node management.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "wex_dlinklist.h"
#include "wex_hash.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

int g_items[8];
std::string g_log; // what the release routines were given, in order

int number(const void *element) {
    return static_cast<int>(static_cast<const int *>(element) - g_items);
}
void release_item(void *element) {
    g_log += "e" + std::to_string(number(element)) + " ";
}

TEST(ContainerCreation, BadArgumentsAreRefusedWithoutAllocatingAndTheLargestSizeIsTried) {
    const uint32_t maxCapacity = UINT32_MAX / sizeof(SLinkNode) - 3;
    const uint32_t maxBuckets = (UINT32_MAX - sizeof(HashTable)) / sizeof(HashNode *);
    auto hash = wextest::hash_u32_key;
    auto compare = wextest::compare_u32_key;
    auto keys = wextest::release_key_copy;
    DLinkList *dlist = reinterpret_cast<DLinkList *>(0x1);
    SLinkList *slist = nullptr;
    HashTable *table = nullptr;
    uint64_t allocations = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
    const uint32_t refused[] = {
        QUIL_DLinkList_Init(nullptr, nullptr, &dlist),
        QUIL_DLinkList_Init(nullptr, release_item, nullptr),
        QUIL_SLinkList_Init(0, nullptr, release_item, &slist),
        QUIL_SLinkList_Init(1, nullptr, release_item, nullptr),
        QUIL_SLinkList_Init(1, nullptr, nullptr, &slist),
        QUIL_SLinkList_Init(maxCapacity + 1, nullptr, release_item, &slist),
        QUIL_Hash_Init(0, hash, compare, keys, release_item, &table),
        QUIL_Hash_Init(1, nullptr, compare, keys, release_item, &table),
        QUIL_Hash_Init(1, hash, nullptr, keys, release_item, &table),
        QUIL_Hash_Init(1, hash, compare, nullptr, release_item, &table),
        QUIL_Hash_Init(1, hash, compare, keys, nullptr, &table),
        QUIL_Hash_Init(1, hash, compare, keys, release_item, nullptr),
        QUIL_Hash_Init(maxBuckets + 1, hash, compare, keys, release_item, &table)};
    for (uint32_t code : refused) {
        EXPECT_EQ(code, 10u);
    }
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_ALLOC), allocations);
    EXPECT_EQ(dlist, reinterpret_cast<DLinkList *>(0x1));
    wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_SLinkList_Init(maxCapacity, nullptr, release_item, &slist), 20u);
    QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_Hash_Init(maxBuckets, hash, compare, keys, release_item, &table), 20u);
    EXPECT_EQ(slist, nullptr);
    EXPECT_EQ(table, nullptr);
}

TEST(SLinkListNodes, TheNodesFollowTheRecordAndNodeManagementRefusesWhatItCannotDo) {
    SLinkList *list = nullptr;
    ASSERT_EQ(QUIL_SLinkList_Init(1, nullptr, release_item, &list), QUIL_SUCCESS);
    EXPECT_EQ(reinterpret_cast<SLinkNode *>(list) + 3, list->nodes);
    EXPECT_EQ(QUIL_SLinkList_AllocNode(nullptr), SLINK_NONE);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list, 0), 10u); // nothing is in use
    EXPECT_EQ(QUIL_SLinkList_AllocNode(list), 0u);
    EXPECT_EQ(QUIL_SLinkList_AllocNode(list), SLINK_NONE);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list, SLINK_NONE), 10u);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list, 1), 10u);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list, 0), QUIL_SUCCESS);
    EXPECT_EQ(list->count, 0u);
    EXPECT_EQ(list->freeHead, 0u);
    EXPECT_EQ(QUIL_SLinkList_Deinit(list, 0), QUIL_SUCCESS);
}

} // namespace
