/* Hash table with a fixed number of chained buckets, copied keys and a cursor.
 * Internal interface: not exported by the shared library. */
#ifndef WEX_HASH_H
#define WEX_HASH_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HashNode {
    uint8_t *key;
    void *element;
    struct HashNode *next;
} HashNode;

typedef struct HashTable {
    uint32_t bucketCount;
    uint32_t count;
    HashNode **buckets;
    QUIL_HashFunc hash;
    QUIL_CompareFunc compare;
    QUIL_ReleaseFunc releaseKey;
    QUIL_ReleaseFunc releaseElement;
    HashNode *cursor;
} HashTable;

uint32_t QUIL_Hash_Init(uint32_t bucketCount, QUIL_HashFunc hash, QUIL_CompareFunc compare,
                        QUIL_ReleaseFunc releaseKey, QUIL_ReleaseFunc releaseElement,
                        HashTable **table);
uint32_t QUIL_Hash_Deinit(HashTable *table, uint32_t keepElements);
uint32_t QUIL_Hash_Insert(HashTable *table, const void *key, uint32_t keyLength, void *element);
uint32_t QUIL_Hash_Query(HashTable *table, const void *key, void **element);
uint32_t QUIL_Hash_Remove(HashTable *table, const void *key, void **element);
uint32_t QUIL_Hash_Remove_CurNode(HashTable *table, void **element);
uint32_t QUIL_Hash_Delete(HashTable *table, const void *key);
uint32_t QUIL_Hash_Delete_CurNode(HashTable *table);
uint32_t QUIL_Hash_Process_Table(HashTable *table, QUIL_VisitFunc visit, void *first, void *second);
uint32_t QUIL_Hash_Get_BucketNumber(HashTable *table, uint32_t *n);
uint32_t QUIL_Hash_Get_NodeNumber(HashTable *table, uint32_t *n);

#ifdef __cplusplus
}
#endif

#endif
