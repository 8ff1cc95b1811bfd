/* Hash table with a fixed number of chained buckets, copied keys and a cursor.
 * Internal interface: not exported by the shared library.
 *
 * Result codes: HASH_* in wex_result_codes.h. Argument checks run first; a failing operation
 * leaves the table as it was. The table never grows or rehashes: the bucket of a key is its hash
 * value modulo the bucket count, and each chain holds its entries from the newest to the oldest.
 *
 * Keys: every entry holds the table's own copy of the key, a block of keyLength bytes obtained
 * from the adapter (QUIL_MemMallocS). The table does not keep the length, so the hash and
 * comparison routines must find a key's extent from the key itself (a terminated text, or keys of
 * one fixed size). A removed entry's copy is passed to the releaseKey routine, which owns it from
 * then on and gives it back to the adapter (QUIL_MemFreeD). Elements are opaque and never null;
 * the table passes them to releaseElement only in the Delete operations and in Deinit with
 * keepElements = 0.
 *
 * Cursor: the entry last inserted, found or visited; a removal moves it to the removed entry's
 * successor in its chain, or to null when there is none. One table must be used by one thread at
 * a time, including what its routines do with it. */
#ifndef WEX_HASH_H
#define WEX_HASH_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct HashNode {
    uint8_t *key;          /* the table's copy of the key */
    void *element;         /* never null */
    struct HashNode *next; /* the next older entry of the same bucket */
} HashNode;

typedef struct HashTable {
    uint32_t bucketCount;
    uint32_t count;
    HashNode **buckets; /* bucketCount chain heads, in the same block as the record */
    QUIL_HashFunc hash;
    QUIL_CompareFunc compare; /* compare(key, stored key copy) */
    QUIL_ReleaseFunc releaseKey;
    QUIL_ReleaseFunc releaseElement;
    HashNode *cursor; /* null when there is no current entry */
} HashTable;

/* Creates an empty table of bucketCount chains with its four routines, all required.
 * Returns 0 and stores the table in *table; 10 when table or a routine is null, bucketCount is 0,
 * or the record with its chain heads would not fit a 32-bit allocation size; 20 when memory is
 * short. *table is written only on success. The caller ends the table with QUIL_Hash_Deinit. */
uint32_t QUIL_Hash_Init(uint32_t bucketCount, QUIL_HashFunc hash, QUIL_CompareFunc compare,
                        QUIL_ReleaseFunc releaseKey, QUIL_ReleaseFunc releaseElement,
                        HashTable **table);

/* Ends the table. With keepElements = 0 every entry's key copy goes to releaseKey and then its
 * element to releaseElement, bucket by bucket, each chain from the newest entry. With any other
 * value neither routine is called: the table gives its key copies back itself and leaves the
 * elements to the caller. Returns 0, or 10 for a null table. The caller's handle is not cleared
 * and must not be used again; the routines must not use the table being destroyed. */
uint32_t QUIL_Hash_Deinit(HashTable *table, uint32_t keepElements);

/* Stores element under a copy of the key's first keyLength bytes, at the head of its chain, and
 * puts the cursor on the new entry. Returns 0; 10 for a null table, key or element or a keyLength
 * of 0; 80 when the hash routine fails; 90 when an equal key is already stored (the element is not
 * stored); 20 when memory is short. On failure the table is unchanged and nothing is kept. */
uint32_t QUIL_Hash_Insert(HashTable *table, const void *key, uint32_t keyLength, void *element);

/* Finds the entry whose stored key equals key and puts the cursor on it. Returns 0 with its
 * element in *element; 10 for a null table, key or element; 60 for an empty table (the hash
 * routine is not called); 80 when the hash routine fails; 30 when no entry matches. On failure
 * *element and the cursor are untouched. */
uint32_t QUIL_Hash_Query(HashTable *table, const void *key, void **element);

/* Removes the entry whose stored key equals key: its key copy goes to releaseKey, its element is
 * handed back in *element (the caller owns it), and the cursor moves to the entry's successor in
 * its chain, or to null. Codes and the output after a failure as for QUIL_Hash_Query. */
uint32_t QUIL_Hash_Remove(HashTable *table, const void *key, void **element);

/* Removes the entry at the cursor as QUIL_Hash_Remove does. Returns 0; 10 for a null table or
 * element; after those checks *element is null on every failure: 100 when there is no current
 * entry; 80 when the hash routine fails; 30 when the entry is not in the chain its key now hashes
 * to (the hash routine's answer changed since the insertion), in which case nothing is removed.
 * Safe inside a walk: the walk goes on with the removed entry's successor. */
uint32_t QUIL_Hash_Remove_CurNode(HashTable *table, void **element);

/* As QUIL_Hash_Remove and QUIL_Hash_Remove_CurNode, but pass the element to releaseElement. On
 * failure the code of the Remove counterpart is returned and releaseElement is not called. */
uint32_t QUIL_Hash_Delete(HashTable *table, const void *key);
uint32_t QUIL_Hash_Delete_CurNode(HashTable *table);

/* Calls visit(first, element, second) for every entry, bucket by bucket in ascending order and
 * each chain from its head, with the cursor on the entry being visited. The routine may remove
 * that entry through QUIL_Hash_Remove_CurNode or QUIL_Hash_Delete_CurNode: the walk goes on with
 * its successor. An operation that moves the cursor elsewhere makes the walk go on from there in
 * that entry's chain, then with the next bucket. Returns 0 after the last bucket; 70 when visit
 * returned non-zero (the cursor stays where the routine left it); 10 for a null table or visit;
 * 60 for an empty table (visit is never called). */
uint32_t QUIL_Hash_Process_Table(HashTable *table, QUIL_VisitFunc visit, void *first, void *second);

/* Store the number of buckets, or of entries, in *n. Return 0, or 10 when table or n is null. */
uint32_t QUIL_Hash_Get_BucketNumber(HashTable *table, uint32_t *n);
uint32_t QUIL_Hash_Get_NodeNumber(HashTable *table, uint32_t *n);

#ifdef __cplusplus
}
#endif

#endif
