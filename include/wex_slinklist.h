/* Static linked list: the operation set of the doubly linked list over a node array allocated
 * once, with index links and a free list. Internal interface: not exported by the shared library.
 *
 * Result codes: SLINK_* in wex_result_codes.h (they differ from the doubly linked list's: 30 is
 * "full", 40 "no match", 50 "no predecessor", 60 "no successor", 70 "empty", 80 "stopped").
 * Argument checks run first; a failing operation leaves the list as it was, apart from an output
 * that the operation's comment says is preset to null.
 *
 * Storage: one block, allocated by Init and never grown, holds the record in the room of its
 * first three node slots and then `capacity` nodes. Nodes are linked by index (SLINK_NONE for
 * none); free nodes are chained through `next` from `freeHead`, last freed first reused. No
 * operation after Init allocates. The list stores element pointers only (never null) and passes
 * them to the release routine only in the Delete operations and in Deinit with keepElements = 0.
 *
 * Cursor: a successful insertion or search leaves it on the new or found element; a removal moves
 * it to the removed element's successor, or to its predecessor when the removed one was the last.
 * It is SLINK_NONE only when the list is empty. One list must be used by one thread at a time. */
#ifndef WEX_SLINKLIST_H
#define WEX_SLINKLIST_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLINK_NONE 0xFFFFFFFFu

typedef struct SLinkNode {
    uint32_t prev; /* in use: predecessor; free: 0 once given back */
    uint32_t next; /* in use: successor; free: the next free node */
    void *element; /* in use: never null; free: null once given back */
} SLinkNode;

typedef struct SLinkList {
    uint32_t head, tail, cursor, capacity, count, freeHead;
    SLinkNode *nodes;         /* capacity nodes, in the record's block */
    QUIL_CompareFunc compare; /* default for Query, Remove, Delete; may be null */
    QUIL_ReleaseFunc release; /* never null */
} SLinkList;

/* Insert positions. */
#define SLINK_POS_HEAD   0u /* before the first element */
#define SLINK_POS_TAIL   1u /* after the last element */
#define SLINK_POS_BEFORE 2u /* directly before the cursor */
#define SLINK_POS_AFTER  3u /* directly after the cursor */

/* Creates an empty list of capacity nodes with a default comparison routine (may be null) and a
 * release routine. Returns 0 and stores the list in *list; 10 when capacity is 0 or its block would
 * not fit a 32-bit allocation size, or list or release is null; 20 when memory is short. *list is
 * written only on success. The caller ends the list with QUIL_SLinkList_Deinit. */
uint32_t QUIL_SLinkList_Init(uint32_t capacity, QUIL_CompareFunc compare, QUIL_ReleaseFunc release,
                             SLinkList **list);

/* Inserts element at position (SLINK_POS_*) in the most recently freed node and puts the cursor
 * on it. Into an empty list any position is accepted. Returns 0; 10 for a null list or element;
 * 30 when every node is in use; 10 for a position above 3 on a non-empty list. On failure the list
 * is unchanged. */
uint32_t QUIL_SLinkList_Insert(SLinkList *list, void *element, uint32_t position);

/* Puts the cursor on the first element (SLINK_NONE for an empty list). Returns 0, or 10 for a
 * null list. */
uint32_t QUIL_SLinkList_Set_CurPtr(SLinkList *list);

/* Store the number of elements, or the capacity, in the output. Return 0, or 10 for a null
 * argument. */
uint32_t QUIL_SLinkList_Get_NodeNumber(SLinkList *list, uint32_t *count);
uint32_t QUIL_SLinkList_Get_MaxNodeNumber(SLinkList *list, uint32_t *capacity);

/* Read the first / last element without moving the cursor. Return 10 when list or element is
 * null; otherwise *element is first set to null, then 70 for an empty list; 0 with the element. */
uint32_t QUIL_SLinkList_Get_HeadNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_TailNode(SLinkList *list, void **element);

/* Readers at the cursor. Each returns 10 when list or element is null and 70 for an empty list,
 * leaving *element untouched; otherwise *element is set to null first. Get_CurNode reads the
 * element at the cursor. Get_NextNode / Get_PriorNode move the cursor one step and read the
 * element there, or return 60 (no successor) / 50 (no predecessor) with the cursor unmoved. */
uint32_t QUIL_SLinkList_Get_CurNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_NextNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_PriorNode(SLinkList *list, void **element);

/* Move the cursor one step forward / back. Return 0; 10 for a null list; 70 for an empty list;
 * 60 / 50 when there is no next / prior element (the cursor stays). */
uint32_t QUIL_SLinkList_NextPtr(SLinkList *list);
uint32_t QUIL_SLinkList_PriorPtr(SLinkList *list);

/* Finds the first element from the head for which compare(key, element) returns 0, using the
 * list's routine when compare is null, and puts the cursor on it. Returns 0 with the element in
 * *element; 10 for a null list, no routine at all, or a null key or element; 70 for an empty list;
 * 40 when nothing matches (the cursor stays). After the null checks *element is null on failure. */
uint32_t QUIL_SLinkList_Query(SLinkList *list, const void *key, QUIL_CompareFunc compare,
                              void **element);

/* Calls visit(first, element, second) for every element from the head, with the cursor on the
 * element being visited. The routine may remove that element (or insert) through this list: the
 * walk goes on from wherever the cursor then stands. Removing the last element thus moves the walk
 * back to its predecessor, which is visited again. Returns 0 after the last element; 80 when visit
 * returned non-zero (the cursor stays where the routine left it); 10 for a null list or visit; 70
 * for an empty list (visit is never called). */
uint32_t QUIL_SLinkList_Process_List(SLinkList *list, QUIL_VisitFunc visit, void *first,
                                     void *second);

/* Unlink the first element matching key (as in Query), the cursor's, the first or the last
 * element, give its node back to the free list and hand the element back in *element; the caller
 * owns it from then on. The cursor moves to the removed element's successor, or its predecessor
 * when it was the last. Return 0; 10 for a null list or element (Remove: also a null key or no
 * routine at all); 70 for an empty list; Remove: 40 when nothing matches (list and cursor
 * unchanged). *element is set to null after the null checks (Remove_CurNode: after the test for
 * an empty list) and stays null on failure. */
uint32_t QUIL_SLinkList_Remove(SLinkList *list, const void *key, QUIL_CompareFunc compare,
                               void **element);
uint32_t QUIL_SLinkList_Remove_CurNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Remove_HeadNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Remove_TailNode(SLinkList *list, void **element);

/* As the Remove operations, but pass the element to the list's release routine. On failure the
 * code of the Remove counterpart is returned and the routine is not called. */
uint32_t QUIL_SLinkList_Delete(SLinkList *list, const void *key, QUIL_CompareFunc compare);
uint32_t QUIL_SLinkList_Delete_CurNode(SLinkList *list);
uint32_t QUIL_SLinkList_Delete_HeadNode(SLinkList *list);
uint32_t QUIL_SLinkList_Delete_TailNode(SLinkList *list);

/* Ends the list: with keepElements = 0 the release routine gets every element, first to last;
 * with any other value the elements are left alone. The block is given back. Returns 0, or 10 for
 * a null list. The caller's handle is not cleared and must not be used again. */
uint32_t QUIL_SLinkList_Deinit(SLinkList *list, uint32_t keepElements);

/* Node management under the operations above; a caller that uses them keeps the links itself.
 * AllocNode takes the most recently freed node, counts it in use and returns its index with prev
 * and next set to SLINK_NONE (the element is the caller's to write); it returns SLINK_NONE for a
 * null or full list. FreeNode clears node index and makes it the first free node without
 * unlinking it; it returns 0, or 10 for a null list, an index that is SLINK_NONE or not below the
 * capacity, or a list with no node in use. */
uint32_t QUIL_SLinkList_AllocNode(SLinkList *list);
uint32_t QUIL_SLinkList_FreeNode(SLinkList *list, uint32_t index);

#ifdef __cplusplus
}
#endif

#endif
