// The hash table: what the reference model below cannot see (argument checks, a failing or
// changing hash routine, key copies, walks whose routine deletes, Deinit's order). The model test
// checks newest-first chains, every cursor rule and code, and insertions failing at each allocation
// (with fault_sweep_test, which also sweeps Init).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "wex_hash.h"
#include "wex_result_codes.h"

namespace {

// Keys are u32 values; the hash is the value plus a shift that a test may change.
uint32_t g_hashShift = 0;
bool g_hashFails = false;
int g_hashCalls = 0;
std::string g_log; // release calls in order: "k<key> " and "e<element> "
int g_items[64];

uint32_t hash_u32(const void *key, uint32_t *value) {
    ++g_hashCalls;
    uint32_t k = 0;
    std::memcpy(&k, key, sizeof k);
    *value = k + g_hashShift;
    return g_hashFails ? 1 : 0;
}

uint32_t compare_u32(const void *key, const void *stored) {
    return std::memcmp(key, stored, sizeof(uint32_t)) == 0 ? 0 : 1;
}

void release_key(void *copy) {
    uint32_t k = 0;
    std::memcpy(&k, copy, sizeof k);
    g_log += "k" + std::to_string(k) + " ";
    QUIL_MemFreeD(copy, __LINE__, "hash_test");
}

void *item(uint32_t k) {
    return &g_items[k];
}
ptrdiff_t item_number(const void *element) {
    return static_cast<const int *>(element) - g_items;
}

void release_element(void *element) {
    g_log += "e" + std::to_string(item_number(element)) + " ";
}

uint32_t key_at(const HashNode *entry) {
    uint32_t k = 0;
    std::memcpy(&k, entry->key, sizeof k);
    return k;
}

class HashTest : public testing::Test {
  protected:
    void SetUp() override {
        g_hashShift = 0;
        g_hashFails = false;
        g_hashCalls = 0;
        g_log.clear();
    }
    void TearDown() override {
        if (table_ != nullptr) {
            EXPECT_EQ(QUIL_Hash_Deinit(table_, 1), QUIL_SUCCESS);
        }
    }
    void make(uint32_t buckets) {
        ASSERT_EQ(
            QUIL_Hash_Init(buckets, hash_u32, compare_u32, release_key, release_element, &table_),
            QUIL_SUCCESS);
    }
    uint32_t insert(uint32_t k) { return QUIL_Hash_Insert(table_, &k, sizeof k, item(k)); }
    void insert_all(std::initializer_list<uint32_t> keys) {
        for (uint32_t k : keys) {
            ASSERT_EQ(insert(k), QUIL_SUCCESS);
        }
    }
    // Every element in walk order, as "n n n".
    std::string walk() {
        std::string seen;
        QUIL_Hash_Process_Table(table_, record, &seen, nullptr);
        return seen;
    }
    static uint32_t record(void *seen, void *element, void *) {
        *static_cast<std::string *>(seen) += std::to_string(item_number(element)) + " ";
        return 0;
    }
    HashTable *table_ = nullptr;
};

TEST_F(HashTest, InitRefusesBadArgumentsWithoutAllocating) {
    const uint64_t maxBuckets = (UINT32_MAX - sizeof(HashTable)) / sizeof(HashNode *);
    uint64_t allocations = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
    HashTable *t = nullptr;
    EXPECT_EQ(QUIL_Hash_Init(0, hash_u32, compare_u32, release_key, release_element, &t), 10u);
    EXPECT_EQ(QUIL_Hash_Init(1, nullptr, compare_u32, release_key, release_element, &t), 10u);
    EXPECT_EQ(QUIL_Hash_Init(1, hash_u32, nullptr, release_key, release_element, &t), 10u);
    EXPECT_EQ(QUIL_Hash_Init(1, hash_u32, compare_u32, nullptr, release_element, &t), 10u);
    EXPECT_EQ(QUIL_Hash_Init(1, hash_u32, compare_u32, release_key, nullptr, &t), 10u);
    EXPECT_EQ(QUIL_Hash_Init(1, hash_u32, compare_u32, release_key, release_element, nullptr), 10u);
    EXPECT_EQ(QUIL_Hash_Init(static_cast<uint32_t>(maxBuckets + 1), hash_u32, compare_u32,
                             release_key, release_element, &t),
              10u);
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_ALLOC), allocations);
    EXPECT_EQ(t, nullptr);

    // The largest bucket count whose block fits is asked of the allocator (which is made to fail).
    wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_Hash_Init(static_cast<uint32_t>(maxBuckets), hash_u32, compare_u32, release_key,
                             release_element, &t),
              20u);
    EXPECT_EQ(t, nullptr);
}

TEST_F(HashTest, OperationsRefuseNullArguments) {
    make(3);
    uint32_t k = 1;
    void *out = item(9);
    uint32_t n = 0;
    EXPECT_EQ(QUIL_Hash_Insert(nullptr, &k, 4, item(1)), 10u);
    EXPECT_EQ(QUIL_Hash_Insert(table_, nullptr, 4, item(1)), 10u);
    EXPECT_EQ(QUIL_Hash_Insert(table_, &k, 0, item(1)), 10u);
    EXPECT_EQ(QUIL_Hash_Insert(table_, &k, 4, nullptr), 10u);
    EXPECT_EQ(QUIL_Hash_Query(table_, nullptr, &out), 10u);
    EXPECT_EQ(QUIL_Hash_Remove(table_, &k, nullptr), 10u);
    EXPECT_EQ(QUIL_Hash_Remove_CurNode(table_, nullptr), 10u);
    EXPECT_EQ(QUIL_Hash_Process_Table(table_, nullptr, nullptr, nullptr), 10u);
    EXPECT_EQ(QUIL_Hash_Get_NodeNumber(table_, nullptr), 10u);
    EXPECT_EQ(QUIL_Hash_Get_BucketNumber(nullptr, &n), 10u);
    EXPECT_EQ(QUIL_Hash_Deinit(nullptr, 0), 10u);
    EXPECT_EQ(table_->count, 0u);
    EXPECT_EQ(out, item(9));
}

TEST_F(HashTest, EmptyTableAnswers60WithoutHashing) {
    make(3);
    uint32_t k = 1;
    void *out = item(9);
    EXPECT_EQ(QUIL_Hash_Query(table_, &k, &out), 60u);
    EXPECT_EQ(QUIL_Hash_Remove(table_, &k, &out), 60u);
    EXPECT_EQ(QUIL_Hash_Process_Table(table_, record, nullptr, nullptr), 60u);
    EXPECT_EQ(g_hashCalls, 0);
    EXPECT_EQ(out, item(9));
}

TEST_F(HashTest, TheTableKeepsItsOwnCopyOfExactlyKeyLengthBytes) {
    make(2);
    auto *key = new uint8_t[4]{7, 0, 0, 0}; // exactly keyLength bytes, so an over-read would show
    ASSERT_EQ(QUIL_Hash_Insert(table_, key, 4, item(1)), QUIL_SUCCESS);
    delete[] key;
    EXPECT_EQ(key_at(table_->cursor), 7u);
}

TEST_F(HashTest, AFailingHashRoutineGives80AndChangesNothing) {
    make(3);
    insert_all({1, 2});
    g_hashFails = true;
    uint32_t k = 2;
    void *out = item(9);
    EXPECT_EQ(insert(5), 80u);
    EXPECT_EQ(QUIL_Hash_Query(table_, &k, &out), 80u);
    EXPECT_EQ(QUIL_Hash_Remove(table_, &k, &out), 80u);
    EXPECT_EQ(out, item(9));
    EXPECT_EQ(QUIL_Hash_Delete_CurNode(table_), 80u);
    EXPECT_EQ(table_->count, 2u);
    EXPECT_EQ(key_at(table_->cursor), 2u);
    EXPECT_EQ(g_log, "");
}

TEST_F(HashTest, RemovingAtTheCursorHandsTheElementBackAndMovesToTheSuccessor) {
    make(1);
    void *out = item(9);
    EXPECT_EQ(QUIL_Hash_Remove_CurNode(table_, &out), 100u);
    EXPECT_EQ(out, nullptr);
    insert_all({1, 2, 3}); // chain 3 2 1
    uint32_t k = 2;
    ASSERT_EQ(QUIL_Hash_Query(table_, &k, &out), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_Hash_Remove_CurNode(table_, &out), QUIL_SUCCESS);
    EXPECT_EQ(out, item(2));
    EXPECT_EQ(g_log, "k2 ");
    EXPECT_EQ(key_at(table_->cursor), 1u);
    EXPECT_EQ(QUIL_Hash_Delete_CurNode(table_), QUIL_SUCCESS); // the chain's last entry
    EXPECT_EQ(g_log, "k2 k1 e1 ");
    EXPECT_EQ(table_->cursor, nullptr);
    EXPECT_EQ(QUIL_Hash_Delete_CurNode(table_), 100u);
    EXPECT_EQ(walk(), "3 ");
}

TEST_F(HashTest, AnEntryLostFromItsChainIsNotReportedAsRemoved) {
    make(4);
    insert_all({1, 2});
    g_hashShift = 1; // key 2 now hashes to bucket 3, while its entry sits in bucket 2
    void *out = item(9);
    EXPECT_EQ(QUIL_Hash_Remove_CurNode(table_, &out), 30u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(table_->count, 2u);
    EXPECT_EQ(key_at(table_->cursor), 2u);
    EXPECT_EQ(g_log, "");
}

// Deletes the entry it is given when its number is in the set.
struct Visitor {
    HashTable *table;
    std::vector<long> deleteThese;
    std::string seen;
};

uint32_t visit_and_delete(void *v, void *element, void *) {
    auto *visitor = static_cast<Visitor *>(v);
    ptrdiff_t n = item_number(element);
    visitor->seen += std::to_string(n) + " ";
    for (long d : visitor->deleteThese) {
        if (d == n) {
            EXPECT_EQ(QUIL_Hash_Delete_CurNode(visitor->table), QUIL_SUCCESS);
        }
    }
    return 0;
}

TEST_F(HashTest, AWalkSurvivesDeletingEveryEntryItVisits) {
    make(3);
    insert_all({0, 3, 6, 1, 4, 2});
    Visitor v{table_, {0, 1, 2, 3, 4, 6}, ""};
    EXPECT_EQ(QUIL_Hash_Process_Table(table_, visit_and_delete, &v, nullptr), QUIL_SUCCESS);
    EXPECT_EQ(v.seen, "6 3 0 4 1 2 ");
    EXPECT_EQ(table_->count, 0u);
    EXPECT_EQ(table_->cursor, nullptr);
}

TEST_F(HashTest, AWalkSurvivesDeletingTheLastEntryOfAChain) {
    make(3);
    insert_all({0, 3, 1});
    Visitor v{table_, {0}, ""};
    EXPECT_EQ(QUIL_Hash_Process_Table(table_, visit_and_delete, &v, nullptr), QUIL_SUCCESS);
    EXPECT_EQ(v.seen, "3 0 1 ");
    EXPECT_EQ(walk(), "3 1 ");
}

TEST_F(HashTest, DeinitReleasesKeyThenElementOrOnlyGivesBackItsOwnCopies) {
    make(2);
    insert_all({1, 2, 3});
    EXPECT_EQ(QUIL_Hash_Deinit(table_, 0), QUIL_SUCCESS);
    EXPECT_EQ(g_log, "k2 e2 k3 e3 k1 e1 ");
    table_ = nullptr;

    make(2);
    insert_all({1, 2, 3});
    g_log.clear();
    EXPECT_EQ(QUIL_Hash_Deinit(table_, 1), QUIL_SUCCESS); // the leak check sees the key copies go
    EXPECT_EQ(g_log, "");
    table_ = nullptr;
}

// A reference for the table: its contents by key, and each bucket's chain, newest first.
struct HashModel {
    std::map<uint32_t, void *> entries;
    std::vector<std::list<uint32_t>> chains;
    const uint32_t *cursor = nullptr; // the key at the cursor, or null

    std::list<uint32_t> &chain(uint32_t k) { return chains[k % chains.size()]; }
    void remove(uint32_t k) {
        auto &c = chain(k);
        auto at = c.erase(std::find(c.begin(), c.end(), k));
        cursor = at == c.end() ? nullptr : &*at;
        entries.erase(k);
    }
};

void expect_same(const HashTable *table, const HashModel &model) {
    ASSERT_EQ(table->count, model.entries.size());
    ASSERT_EQ(table->cursor == nullptr, model.cursor == nullptr);
    if (model.cursor != nullptr) {
        ASSERT_EQ(key_at(table->cursor), *model.cursor);
    }
    for (uint32_t b = 0; b < table->bucketCount; ++b) {
        const HashNode *e = table->buckets[b];
        for (uint32_t k : model.chains[b]) {
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(key_at(e), k);
            ASSERT_EQ(e->element, model.entries.at(k));
            e = e->next;
        }
        ASSERT_EQ(e, nullptr);
    }
}

uint32_t stop_at_countdown(void *countdown, void *, void *) {
    return --*static_cast<int *>(countdown) == 0 ? 1 : 0;
}

TEST_F(HashTest, RandomOperationsMatchAReferenceModel) {
    constexpr uint32_t kBuckets = 7;
    constexpr uint32_t kKeys = 40;
    make(kBuckets);
    HashModel model;
    model.chains.resize(kBuckets);
    std::mt19937 rng(20261206);
    auto pick = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (int step = 0; step < 100000; ++step) {
        uint32_t k = pick(kKeys);
        bool present = model.entries.count(k) != 0;
        bool empty = model.entries.empty();
        void *out = item(63);
        void *element = item(pick(60));
        uint32_t op = pick(7);
        if ((step / 5000) % 2 == 0 && op == 4) {
            op = 0; // every other stretch fills the table
        }
        switch (op) {
        case 0: { // insert, sometimes failing an allocation or the hash routine
            uint32_t fault = present ? 0 : pick(8);
            g_hashFails = fault == 3;
            wextest::ScopedFault failing(QUIL_OP_ALLOC, fault < 3 ? fault : 0);
            uint32_t expected = g_hashFails                ? 80u
                                : present                  ? 90u
                                : fault == 1 || fault == 2 ? 20u
                                                           : 0u;
            ASSERT_EQ(QUIL_Hash_Insert(table_, &k, sizeof k, element), expected);
            g_hashFails = false;
            if (expected == 0) {
                model.entries[k] = element;
                model.chain(k).push_front(k);
                model.cursor = &model.chain(k).front();
            }
            break;
        }
        case 1:
        case 2: {
            uint32_t expected = empty ? 60u : present ? 0u : 30u;
            ASSERT_EQ(QUIL_Hash_Query(table_, &k, &out), expected);
            ASSERT_EQ(out, expected == 0 ? model.entries[k] : item(63));
            if (expected == 0) {
                auto &c = model.chain(k);
                model.cursor = &*std::find(c.begin(), c.end(), k);
            }
            break;
        }
        case 3: {
            uint32_t expected = empty ? 60u : present ? 0u : 30u;
            void *stored = present ? model.entries[k] : item(63);
            ASSERT_EQ(QUIL_Hash_Remove(table_, &k, &out), expected);
            ASSERT_EQ(out, stored);
            if (expected == 0) {
                model.remove(k);
            }
            break;
        }
        case 4: {
            ASSERT_EQ(QUIL_Hash_Remove_CurNode(table_, &out), model.cursor ? 0u : 100u);
            ASSERT_EQ(out, model.cursor ? model.entries[*model.cursor] : nullptr);
            if (model.cursor != nullptr) {
                model.remove(*model.cursor);
            }
            break;
        }
        default: { // a walk that stops at a random entry or runs to the end
            int countdown = static_cast<int>(pick(kKeys)) + 1;
            uint32_t total = static_cast<uint32_t>(model.entries.size());
            uint32_t expected = empty ? 60u : countdown <= static_cast<int>(total) ? 70u : 0u;
            int visits = expected == 70 ? countdown : static_cast<int>(total);
            ASSERT_EQ(QUIL_Hash_Process_Table(table_, stop_at_countdown, &countdown, nullptr),
                      expected);
            for (auto &c : model.chains) {
                for (const uint32_t &key : c) {
                    if (visits-- > 0) {
                        model.cursor = &key;
                    }
                }
            }
            break;
        }
        }
        g_log.clear();
        expect_same(table_, model);
        if (HasFatalFailure()) {
            FAIL() << "at step " << step;
        }
    }
}

} // namespace
