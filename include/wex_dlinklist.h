/* Doubly linked list: caller elements (opaque, never null) in heap nodes linked both ways, with a
 * cursor on one current node. Exported by the shared library.
 *
 * Result codes: DLINK_* in wex_result_codes.h. Argument checks run in parameter order; a failed
 * check changes nothing. The list stores element pointers only: it never reads, copies or frees
 * what they point to, except by passing them to the release routine in the Delete operations and
 * in Deinit with keepElements = 0.
 *
 * Cursor: a successful insertion or search leaves it on the new or found element; a removal moves
 * it to the removed element's successor, or to its predecessor when the removed one was the last.
 * It is null only when the list is empty. One list must be used by one thread at a time. */
#ifndef WEX_DLINKLIST_H
#define WEX_DLINKLIST_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DLinkNode {
    struct DLinkNode *prev; /* null for the first node */
    struct DLinkNode *next; /* null for the last node */
    void *element;
} DLinkNode;

typedef struct DLinkList {
    DLinkNode *head;
    DLinkNode *tail;
    DLinkNode *cursor;
    uint32_t count;
    QUIL_CompareFunc compare; /* default for Query, Remove, Delete; may be null */
    QUIL_ReleaseFunc release; /* never null */
} DLinkList;

/* Insert positions. */
#define DLINK_POS_HEAD   0u /* before the first element */
#define DLINK_POS_TAIL   1u /* after the last element */
#define DLINK_POS_BEFORE 2u /* directly before the cursor */
#define DLINK_POS_AFTER  3u /* directly after the cursor */

/* Creates an empty list with a default comparison routine (may be null) and a release routine.
 * Returns 0 and stores the new list in *list; 10 when list or release is null; 20 when memory is
 * short. *list is written only on success. The caller ends the list with QUIL_DLinkList_Deinit. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Init(QUIL_CompareFunc compare, QUIL_ReleaseFunc release,
                                         DLinkList **list);

/* Inserts element at position (DLINK_POS_*) and puts the cursor on it. Into an empty list any
 * position is accepted. Returns 0; 10 for a null list or element, or a position above 3 on a
 * non-empty list; 20 when memory is short (checked before the position). On failure the list is
 * unchanged. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Insert(DLinkList *list, void *element, uint32_t position);

/* Puts the cursor on the first element (null when empty). Returns 0, or 10 for a null list. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Set_CurPtr(DLinkList *list);

/* Stores the number of elements in *count. Returns 0, or 10 when list or count is null. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Get_NodeNumber(DLinkList *list, uint32_t *count);

/* Readers. Each returns 10 when list or element is null; otherwise it first sets *element to null,
 * then returns 60 for an empty list. On success *element is the element read and the result 0.
 * Get_HeadNode, Get_TailNode and Get_CurNode leave the cursor alone; Get_NextNode and Get_PriorNode
 * move it one step and return 50 (no successor) or 40 (no predecessor) without moving it. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Get_HeadNode(DLinkList *list, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Get_TailNode(DLinkList *list, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Get_CurNode(DLinkList *list, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Get_NextNode(DLinkList *list, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Get_PriorNode(DLinkList *list, void **element);

/* Move the cursor one step forward / back. Return 0; 10 for a null list; 60 for an empty list;
 * 50 / 40 when there is no next / prior element (the cursor stays). */
QUIL_EXPORT uint32_t QUIL_DLinkList_NextPtr(DLinkList *list);
QUIL_EXPORT uint32_t QUIL_DLinkList_PriorPtr(DLinkList *list);

/* Finds the first element from the head for which compare(key, element) returns 0, using the
 * list's routine when compare is null, and puts the cursor on it. Returns 0 with the element in
 * *element; 10 for a null list, key or element, or no routine at all; 60 for an empty list; 30
 * when nothing matches (the cursor stays). After the null checks *element is null on failure. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Query(DLinkList *list, const void *key,
                                          QUIL_CompareFunc compare, void **element);

/* Calls visit(first, element, second) for every element from the head, with the cursor on the
 * element being visited. The routine may remove that element (or insert) through this list: the
 * walk goes on from wherever the cursor then stands, so nothing is skipped. Returns 0 after the
 * last element; 70 when visit returned non-zero (the cursor stays where the routine left it);
 * 10 for a null list or visit; 60 for an empty list (visit is never called). */
QUIL_EXPORT uint32_t QUIL_DLinkList_Process_List(DLinkList *list, QUIL_VisitFunc visit, void *first,
                                                 void *second);

/* Unlink the first element matching key (as in Query), the cursor's, the first or the last
 * element and hand it back in *element; the caller owns it from then on. Return 0; 10 for a null
 * list, key or element, or no routine at all; 60 for an empty list; 30 when no element matches
 * (list and cursor unchanged). After the null checks *element is null on failure. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Remove(DLinkList *list, const void *key,
                                           QUIL_CompareFunc compare, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Remove_CurNode(DLinkList *list, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Remove_HeadNode(DLinkList *list, void **element);
QUIL_EXPORT uint32_t QUIL_DLinkList_Remove_TailNode(DLinkList *list, void **element);

/* As the Remove operations, but pass the element to the list's release routine. On failure the
 * code of the Remove counterpart is returned and the routine is not called. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Delete(DLinkList *list, const void *key,
                                           QUIL_CompareFunc compare);
QUIL_EXPORT uint32_t QUIL_DLinkList_Delete_CurNode(DLinkList *list);
QUIL_EXPORT uint32_t QUIL_DLinkList_Delete_HeadNode(DLinkList *list);
QUIL_EXPORT uint32_t QUIL_DLinkList_Delete_TailNode(DLinkList *list);

/* Ends the list: with keepElements = 0 the release routine gets every element, first to last;
 * with any other value the elements are left alone. Every node and the record are given back.
 * Returns 0, or 10 for a null list. The caller's handle is not cleared and must not be used again;
 * a release routine must not use the list being destroyed. */
QUIL_EXPORT uint32_t QUIL_DLinkList_Deinit(DLinkList *list, uint32_t keepElements);

#ifdef __cplusplus
}
#endif

#endif
