// Hash table: a fixed number of chained buckets whose heads follow the record in one block, a
// copy of the key in every entry, and a cursor that lets a walk survive the removal of the entry
// it visits. Every check comes before the first change, so a failure changes nothing.
#include "wex_hash.h"

#include "common/bounded.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

constexpr const char *kUnit = "publiclib/hash/source/hash_arth";

// The record and its chain heads share one block, whose size must fit the adapter's u32.
constexpr uint64_t kMaxBlockSize = UINT32_MAX;
constexpr uint64_t kMaxBucketCount = (kMaxBlockSize - sizeof(HashTable)) / sizeof(HashNode *);
static_assert(sizeof(HashTable) % alignof(HashNode *) == 0, "the chain heads follow the record");

uint32_t table_block_size(uint32_t bucketCount) {
    return static_cast<uint32_t>(sizeof(HashTable) + uint64_t{bucketCount} * sizeof(HashNode *));
}

HashNode *new_entry() {
    return static_cast<HashNode *>(QUIL_MemMallocS(sizeof(HashNode), 0, __LINE__, kUnit));
}

void free_entry(HashNode *entry) {
    QUIL_MemFreeSetNullD(&entry, __LINE__, kUnit);
}

// Finds the head of key's chain: the hash value modulo the bucket count. Returns false when the
// caller's hash routine fails.
bool chain_of(const HashTable *table, const void *key, HashNode ***head) {
    uint32_t value = 0;
    if (table->hash(key, &value) != 0) {
        return false;
    }
    *head = &table->buckets[value % table->bucketCount];
    return true;
}

// The link (chain head or predecessor's next) that points at the first entry whose stored key
// equals key, or null when none does.
HashNode **find_by_key(const HashTable *table, HashNode **head, const void *key) {
    for (HashNode **link = head; *link != nullptr; link = &(*link)->next) {
        if (table->compare(key, (*link)->key) == 0) {
            return link;
        }
    }
    return nullptr;
}

// The link that points at entry, or null when entry is not in the chain.
HashNode **find_entry(HashNode **head, const HashNode *entry) {
    for (HashNode **link = head; *link != nullptr; link = &(*link)->next) {
        if (*link == entry) {
            return link;
        }
    }
    return nullptr;
}

// Unlinks the entry that *link points at and moves the cursor to its successor in the chain
// (null when there is none). The key copy goes to releaseKey, the entry is given back, and its
// element is handed back to the caller.
void *unlink_entry(HashTable *table, HashNode **link) {
    HashNode *entry = *link;
    *link = entry->next;
    table->cursor = entry->next;
    table->count--;
    void *element = entry->element;
    table->releaseKey(entry->key);
    free_entry(entry);
    return element;
}

// The checks and the search shared by Query and Remove. The output is not written here, so a
// failure leaves it as the caller had it.
uint32_t search(HashTable *table, const void *key, void **element, HashNode ***link) {
    if (table == nullptr || key == nullptr || element == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    if (table->count == 0) {
        return HASH_EMPTY;
    }
    HashNode **head = nullptr;
    if (!chain_of(table, key, &head)) {
        return HASH_HASH_FAILED;
    }
    *link = find_by_key(table, head, key);
    return *link != nullptr ? QUIL_SUCCESS : HASH_NO_MATCH;
}

// Passes a removed element to the element release routine when the removal succeeded.
uint32_t release_removed(HashTable *table, uint32_t result, void *element) {
    if (result == QUIL_SUCCESS && element != nullptr) {
        table->releaseElement(element);
    }
    return result;
}

// Gives back one entry at teardown. The key copy is the table's own block: without the caller's
// routines it goes back to the adapter directly.
void destroy_entry(const HashTable *table, HashNode *entry, bool releaseElements) {
    if (releaseElements) {
        table->releaseKey(entry->key);
        table->releaseElement(entry->element);
    } else {
        QUIL_MemFreeD(entry->key, __LINE__, kUnit);
    }
    free_entry(entry);
}

} // namespace

extern "C" {

uint32_t QUIL_Hash_Init(uint32_t bucketCount, QUIL_HashFunc hash, QUIL_CompareFunc compare,
                        QUIL_ReleaseFunc releaseKey, QUIL_ReleaseFunc releaseElement,
                        HashTable **table) {
    if (table == nullptr || bucketCount == 0 || bucketCount > kMaxBucketCount || hash == nullptr ||
        compare == nullptr || releaseKey == nullptr || releaseElement == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    auto *made = static_cast<HashTable *>(
        QUIL_MemMallocS(table_block_size(bucketCount), 0, __LINE__, kUnit));
    if (made == nullptr) {
        return HASH_NO_MEMORY;
    }
    // The zero fill leaves every chain empty, count 0 and no cursor.
    made->bucketCount = bucketCount;
    made->buckets = reinterpret_cast<HashNode **>(made + 1);
    made->hash = hash;
    made->compare = compare;
    made->releaseKey = releaseKey;
    made->releaseElement = releaseElement;
    *table = made;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Hash_Deinit(HashTable *table, uint32_t keepElements) {
    if (table == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    uint32_t remaining = table->count;
    for (uint32_t b = 0; remaining > 0; ++b) {
        HashNode *entry = table->buckets[b];
        while (entry != nullptr) {
            HashNode *next = entry->next;
            destroy_entry(table, entry, keepElements == 0);
            remaining--;
            entry = next;
        }
    }
    QUIL_MemFreeSetNullD(&table, __LINE__, kUnit);
    return QUIL_SUCCESS;
}

uint32_t QUIL_Hash_Insert(HashTable *table, const void *key, uint32_t keyLength, void *element) {
    if (table == nullptr || key == nullptr || keyLength == 0 || element == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    HashNode **head = nullptr;
    if (!chain_of(table, key, &head)) {
        return HASH_HASH_FAILED;
    }
    if (find_by_key(table, head, key) != nullptr) {
        return HASH_DUPLICATE;
    }
    auto *copy = static_cast<uint8_t *>(QUIL_MemMallocS(keyLength, 0, __LINE__, kUnit));
    if (copy == nullptr) {
        return HASH_NO_MEMORY;
    }
    HashNode *entry = new_entry();
    if (entry == nullptr) {
        QUIL_MemFreeD(copy, __LINE__, kUnit);
        return HASH_NO_MEMORY;
    }
    wex::bounded::memcpy_s(copy, keyLength, key, keyLength);
    entry->key = copy;
    entry->element = element;
    entry->next = *head; // newest first
    *head = entry;
    table->cursor = entry;
    table->count++;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Hash_Query(HashTable *table, const void *key, void **element) {
    HashNode **link = nullptr;
    uint32_t result = search(table, key, element, &link);
    if (result == QUIL_SUCCESS) {
        table->cursor = *link;
        *element = (*link)->element;
    }
    return result;
}

uint32_t QUIL_Hash_Remove(HashTable *table, const void *key, void **element) {
    HashNode **link = nullptr;
    uint32_t result = search(table, key, element, &link);
    if (result == QUIL_SUCCESS) {
        *element = unlink_entry(table, link);
    }
    return result;
}

uint32_t QUIL_Hash_Remove_CurNode(HashTable *table, void **element) {
    if (table == nullptr || element == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    *element = nullptr;
    if (table->cursor == nullptr) {
        return HASH_NO_CURRENT;
    }
    HashNode **head = nullptr;
    if (!chain_of(table, table->cursor->key, &head)) {
        return HASH_HASH_FAILED;
    }
    // The entry is missing from its chain only when the hash routine's answer for its key has
    // changed since the insertion: nothing can be removed then.
    HashNode **link = find_entry(head, table->cursor);
    if (link == nullptr) {
        return HASH_NO_MATCH;
    }
    *element = unlink_entry(table, link);
    return QUIL_SUCCESS;
}

uint32_t QUIL_Hash_Delete(HashTable *table, const void *key) {
    void *element = nullptr;
    uint32_t result = QUIL_Hash_Remove(table, key, &element);
    return release_removed(table, result, element);
}

uint32_t QUIL_Hash_Delete_CurNode(HashTable *table) {
    void *element = nullptr;
    uint32_t result = QUIL_Hash_Remove_CurNode(table, &element);
    return release_removed(table, result, element);
}

uint32_t QUIL_Hash_Process_Table(HashTable *table, QUIL_VisitFunc visit, void *first,
                                 void *second) {
    if (table == nullptr || visit == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    if (table->count == 0) {
        return HASH_EMPTY;
    }
    for (uint32_t b = 0; b < table->bucketCount; ++b) {
        HashNode *entry = table->buckets[b];
        while (entry != nullptr) {
            table->cursor = entry;
            if (visit(first, entry->element, second) != 0) {
                return HASH_STOPPED;
            }
            // The routine may have removed the entry or moved the cursor: go on from the cursor
            // then, and read entry->next only while the entry is known to be alive.
            entry = table->cursor != entry ? table->cursor : entry->next;
        }
    }
    return QUIL_SUCCESS;
}

uint32_t QUIL_Hash_Get_BucketNumber(HashTable *table, uint32_t *n) {
    if (table == nullptr || n == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    *n = table->bucketCount;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Hash_Get_NodeNumber(HashTable *table, uint32_t *n) {
    if (table == nullptr || n == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    *n = table->count;
    return QUIL_SUCCESS;
}

} // extern "C"
