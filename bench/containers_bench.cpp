// Containers beside their peers, per operation over a million: the doubly linked list against
// utlist with malloc'd nodes and std::list, the static linked list against std::list, and the hash
// table against GLib's GHashTable, std::unordered_map and uthash, all hashing the same 16-byte
// keys with the same function.
#include <benchmark/benchmark.h>

#include <glib.h>
#include <uthash.h>
#include <utlist.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <random>
#include <unordered_map>
#include <vector>

#include "bench_support.h"
#include "wex_dlinklist.h"
#include "wex_hash.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

using wex::bench::set_per_operation;

constexpr uint32_t kCount = 1000000;

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::abort();
}

void *element_of(uint32_t i) {
    return reinterpret_cast<void *>(static_cast<uintptr_t>(i) + 1);
}

void release_nothing(void *) {}

// ---- Lists: a million appended at the back, then a million taken from the front ----

template <typename Push, typename Pop>
void time_phase(benchmark::State &state, bool timePush, Push push, Pop pop) {
    for (auto _ : state) {
        if (!timePush) {
            state.PauseTiming();
        }
        push();
        if (timePush) {
            state.PauseTiming();
        } else {
            state.ResumeTiming();
        }
        pop();
        if (timePush) {
            state.ResumeTiming();
        }
    }
    set_per_operation(state, kCount);
}

// The library's lists: insert at the tail, then remove the head, a million times each.
template <typename List, typename InsertAtTail, typename RemoveHead>
void library_list_phases(benchmark::State &state, bool timePush, List *list,
                         InsertAtTail insertAtTail, RemoveHead removeHead) {
    auto push = [list, insertAtTail] {
        for (uint32_t i = 0; i < kCount; ++i) {
            insertAtTail(list, element_of(i));
        }
    };
    auto pop = [list, removeHead] {
        void *element = nullptr;
        for (uint32_t i = 0; i < kCount; ++i) {
            removeHead(list, &element);
            benchmark::DoNotOptimize(element);
        }
    };
    time_phase(state, timePush, push, pop);
}

void dlink_phases(benchmark::State &state, bool timePush) {
    DLinkList *list = nullptr;
    if (QUIL_DLinkList_Init(nullptr, release_nothing, &list) != QUIL_SUCCESS) {
        fail("DLinkList_Init");
    }
    library_list_phases(
        state, timePush, list,
        [](DLinkList *l, void *e) { return QUIL_DLinkList_Insert(l, e, DLINK_POS_TAIL); },
        QUIL_DLinkList_Remove_HeadNode);
    QUIL_DLinkList_Deinit(list, 1);
}

void slink_phases(benchmark::State &state, bool timePush) {
    SLinkList *list = nullptr;
    if (QUIL_SLinkList_Init(kCount, nullptr, release_nothing, &list) != QUIL_SUCCESS) {
        fail("SLinkList_Init");
    }
    library_list_phases(
        state, timePush, list,
        [](SLinkList *l, void *e) { return QUIL_SLinkList_Insert(l, e, SLINK_POS_TAIL); },
        QUIL_SLinkList_Remove_HeadNode);
    QUIL_SLinkList_Deinit(list, 1);
}

struct UtNode {
    void *element;
    UtNode *prev;
    UtNode *next;
};

void utlist_phases(benchmark::State &state, bool timePush) {
    UtNode *head = nullptr;
    auto push = [&head] {
        for (uint32_t i = 0; i < kCount; ++i) {
            auto *node = static_cast<UtNode *>(std::malloc(sizeof(UtNode)));
            node->element = element_of(i);
            DL_APPEND(head, node);
        }
    };
    auto pop = [&head] {
        for (uint32_t i = 0; i < kCount; ++i) {
            UtNode *node = head;
            DL_DELETE(head, node);
            benchmark::DoNotOptimize(node->element);
            std::free(node);
        }
    };
    time_phase(state, timePush, push, pop);
}

void stdlist_phases(benchmark::State &state, bool timePush) {
    std::list<void *> list;
    auto push = [&list] {
        for (uint32_t i = 0; i < kCount; ++i) {
            list.push_back(element_of(i));
        }
    };
    auto pop = [&list] {
        for (uint32_t i = 0; i < kCount; ++i) {
            benchmark::DoNotOptimize(list.front());
            list.pop_front();
        }
    };
    time_phase(state, timePush, push, pop);
}

void BM_DList_PushBack_Ours(benchmark::State &state) {
    dlink_phases(state, true);
}
void BM_DList_PopFront_Ours(benchmark::State &state) {
    dlink_phases(state, false);
}
void BM_SList_PushBack_Ours(benchmark::State &state) {
    slink_phases(state, true);
}
void BM_SList_PopFront_Ours(benchmark::State &state) {
    slink_phases(state, false);
}
void BM_List_PushBack_Utlist(benchmark::State &state) {
    utlist_phases(state, true);
}
void BM_List_PopFront_Utlist(benchmark::State &state) {
    utlist_phases(state, false);
}
void BM_List_PushBack_StdList(benchmark::State &state) {
    stdlist_phases(state, true);
}
void BM_List_PopFront_StdList(benchmark::State &state) {
    stdlist_phases(state, false);
}

// ---- Hash tables: a million 16-byte keys, then as many hits (shuffled) and misses ----

constexpr size_t kKeyBytes = 16;
using Key = std::array<uint8_t, kKeyBytes>;

// The one hash function every table uses: two 64-bit words multiplied and folded.
uint32_t key_hash(const void *key) {
    uint64_t a = 0;
    uint64_t b = 0;
    std::memcpy(&a, key, sizeof a);
    std::memcpy(&b, static_cast<const uint8_t *>(key) + sizeof a, sizeof b);
    uint64_t h = (a ^ (b * 0x9E3779B97F4A7C15u)) * 0xC2B2AE3D27D4EB4Fu;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

bool keys_equal(const void *a, const void *b) {
    return std::memcmp(a, b, kKeyBytes) == 0;
}

// Printable 16-byte keys: "k" and fifteen hexadecimal digits of a scrambled number.
Key make_key(uint64_t n) {
    uint64_t x = (n + 1) * 0x9E3779B97F4A7C15u;
    Key key{};
    key[0] = 'k';
    for (size_t i = 1; i < kKeyBytes; ++i) {
        key[i] = static_cast<uint8_t>("0123456789abcdef"[x & 0xF]);
        x >>= 4;
    }
    return key;
}

struct KeySets {
    std::vector<Key> present; // in insertion order
    std::vector<Key> lookups; // the same keys shuffled
    std::vector<Key> absent;
};

const KeySets &key_sets() {
    static const KeySets sets = [] {
        KeySets s;
        for (uint64_t i = 0; i < kCount; ++i) {
            s.present.push_back(make_key(i));
            s.absent.push_back(make_key(i + kCount));
        }
        s.lookups = s.present;
        std::shuffle(s.lookups.begin(), s.lookups.end(), std::mt19937(7));
        return s;
    }();
    return sets;
}

enum class Phase { Insert, Hit, Miss };

// Times phase over a table that insert builds: the insertions themselves, or lookups of present
// or absent keys in the built table.
template <typename Table> void time_table(benchmark::State &state, Phase phase) {
    const KeySets &keys = key_sets();
    if (phase == Phase::Insert) {
        // Creating and tearing down the table are not insertions: a million released entries
        // would make the allocator tidy its free lists when the next table takes its buckets.
        for (auto _ : state) {
            state.PauseTiming();
            Table table;
            state.ResumeTiming();
            table.insert_all(keys.present);
            state.PauseTiming();
            table.clear();
            state.ResumeTiming();
        }
    } else {
        Table table;
        table.insert_all(keys.present);
        const std::vector<Key> &asked = phase == Phase::Hit ? keys.lookups : keys.absent;
        for (auto _ : state) {
            size_t found = 0;
            for (const Key &key : asked) {
                found += table.contains(key) ? 1 : 0;
            }
            if (found != (phase == Phase::Hit ? kCount : 0)) {
                fail("lookup");
            }
        }
        table.clear();
    }
    set_per_operation(state, kCount);
}

uint32_t ours_hash(const void *key, uint32_t *value) {
    *value = key_hash(key);
    return 0;
}

uint32_t ours_compare(const void *key, const void *stored) {
    return keys_equal(key, stored) ? 0 : 1;
}

void ours_release_key(void *key) {
    QUIL_MemFreeD(key, __LINE__, "bench");
}

class OursTable {
  public:
    OursTable() {
        if (QUIL_Hash_Init(kCount, ours_hash, ours_compare, ours_release_key, release_nothing,
                           &table_) != QUIL_SUCCESS) {
            fail("Hash_Init");
        }
    }
    void insert_all(const std::vector<Key> &keys) {
        for (uint32_t i = 0; i < keys.size(); ++i) {
            QUIL_Hash_Insert(table_, keys[i].data(), kKeyBytes, element_of(i));
        }
    }
    bool contains(const Key &key) {
        void *element = nullptr;
        return QUIL_Hash_Query(table_, key.data(), &element) == QUIL_SUCCESS;
    }
    void clear() {
        QUIL_Hash_Deinit(table_, 0);
        table_ = nullptr;
    }

  private:
    HashTable *table_ = nullptr;
};

// GLib stores the caller's key pointers; the keys outlive the table.
class GLibTable {
  public:
    GLibTable()
        : table_(g_hash_table_new([](gconstpointer key) -> guint { return key_hash(key); },
                                  [](gconstpointer a, gconstpointer b) -> gboolean {
                                      return keys_equal(a, b) ? TRUE : FALSE;
                                  })) {}
    void insert_all(const std::vector<Key> &keys) {
        for (uint32_t i = 0; i < keys.size(); ++i) {
            g_hash_table_insert(table_, const_cast<uint8_t *>(keys[i].data()), element_of(i));
        }
    }
    bool contains(const Key &key) { return g_hash_table_lookup(table_, key.data()) != nullptr; }
    void clear() { g_hash_table_destroy(table_); }

  private:
    GHashTable *table_;
};

struct KeyHasher {
    size_t operator()(const Key &key) const { return key_hash(key.data()); }
};

class StdTable {
  public:
    void insert_all(const std::vector<Key> &keys) {
        for (uint32_t i = 0; i < keys.size(); ++i) {
            map_.emplace(keys[i], element_of(i));
        }
    }
    bool contains(const Key &key) { return map_.find(key) != map_.end(); }
    void clear() { map_.clear(); }

  private:
    std::unordered_map<Key, void *, KeyHasher> map_;
};

struct UtEntry {
    Key key;
    void *element;
    UT_hash_handle hh;
};

#undef HASH_FUNCTION
#define HASH_FUNCTION(keyptr, keylen, hashv) ((hashv) = key_hash(keyptr))

// uthash with a malloc'd entry holding a copy of the key, as its documentation does.
class UtTable {
  public:
    void insert_all(const std::vector<Key> &keys) {
        for (uint32_t i = 0; i < keys.size(); ++i) {
            auto *entry = static_cast<UtEntry *>(std::malloc(sizeof(UtEntry)));
            entry->key = keys[i];
            entry->element = element_of(i);
            HASH_ADD(hh, head_, key, kKeyBytes, entry);
        }
    }
    bool contains(const Key &key) {
        UtEntry *found = nullptr;
        HASH_FIND(hh, head_, key.data(), kKeyBytes, found);
        return found != nullptr;
    }
    void clear() {
        UtEntry *entry = nullptr;
        UtEntry *next = nullptr;
        HASH_ITER(hh, head_, entry, next) {
            HASH_DEL(head_, entry);
            std::free(entry);
        }
    }

  private:
    UtEntry *head_ = nullptr;
};

template <typename Table> void BM_Hash_Insert(benchmark::State &state) {
    time_table<Table>(state, Phase::Insert);
}
template <typename Table> void BM_Hash_Hit(benchmark::State &state) {
    time_table<Table>(state, Phase::Hit);
}
template <typename Table> void BM_Hash_Miss(benchmark::State &state) {
    time_table<Table>(state, Phase::Miss);
}

constexpr auto kUnit = benchmark::kMillisecond;
BENCHMARK(BM_DList_PushBack_Ours)->Unit(kUnit);
BENCHMARK(BM_DList_PopFront_Ours)->Unit(kUnit);
BENCHMARK(BM_SList_PushBack_Ours)->Unit(kUnit);
BENCHMARK(BM_SList_PopFront_Ours)->Unit(kUnit);
BENCHMARK(BM_List_PushBack_Utlist)->Unit(kUnit);
BENCHMARK(BM_List_PopFront_Utlist)->Unit(kUnit);
BENCHMARK(BM_List_PushBack_StdList)->Unit(kUnit);
BENCHMARK(BM_List_PopFront_StdList)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Insert, OursTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Insert, GLibTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Insert, StdTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Insert, UtTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Hit, OursTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Hit, GLibTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Hit, StdTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Hit, UtTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Miss, OursTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Miss, GLibTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Miss, StdTable)->Unit(kUnit);
BENCHMARK_TEMPLATE(BM_Hash_Miss, UtTable)->Unit(kUnit);

} // namespace

BENCHMARK_MAIN();
