/* Static linked list: the operation set of the doubly linked list over a node array allocated
 * once, with index links and a free list. Internal interface: not exported by the shared library. */
#ifndef WEX_SLINKLIST_H
#define WEX_SLINKLIST_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLINK_NONE 0xFFFFFFFFu

typedef struct SLinkNode {
    uint32_t prev;
    uint32_t next;
    void *element;
} SLinkNode;

typedef struct SLinkList {
    uint32_t head, tail, cursor, capacity, count, freeHead;
    SLinkNode *nodes;
    QUIL_CompareFunc compare;
    QUIL_ReleaseFunc release;
} SLinkList;

uint32_t QUIL_SLinkList_Init(uint32_t capacity, QUIL_CompareFunc compare, QUIL_ReleaseFunc release,
                             SLinkList **list);
uint32_t QUIL_SLinkList_Insert(SLinkList *list, void *element, uint32_t position);
uint32_t QUIL_SLinkList_Set_CurPtr(SLinkList *list);
uint32_t QUIL_SLinkList_Get_NodeNumber(SLinkList *list, uint32_t *count);
uint32_t QUIL_SLinkList_Get_MaxNodeNumber(SLinkList *list, uint32_t *capacity);
uint32_t QUIL_SLinkList_Get_HeadNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_TailNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_CurNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_NextNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Get_PriorNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_NextPtr(SLinkList *list);
uint32_t QUIL_SLinkList_PriorPtr(SLinkList *list);
uint32_t QUIL_SLinkList_Query(SLinkList *list, const void *key, QUIL_CompareFunc compare,
                              void **element);
uint32_t QUIL_SLinkList_Process_List(SLinkList *list, QUIL_VisitFunc visit, void *first,
                                     void *second);
uint32_t QUIL_SLinkList_Remove(SLinkList *list, const void *key, QUIL_CompareFunc compare,
                               void **element);
uint32_t QUIL_SLinkList_Remove_CurNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Remove_HeadNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Remove_TailNode(SLinkList *list, void **element);
uint32_t QUIL_SLinkList_Delete(SLinkList *list, const void *key, QUIL_CompareFunc compare);
uint32_t QUIL_SLinkList_Delete_CurNode(SLinkList *list);
uint32_t QUIL_SLinkList_Delete_HeadNode(SLinkList *list);
uint32_t QUIL_SLinkList_Delete_TailNode(SLinkList *list);
uint32_t QUIL_SLinkList_Deinit(SLinkList *list, uint32_t keepElements);
uint32_t QUIL_SLinkList_AllocNode(SLinkList *list);
uint32_t QUIL_SLinkList_FreeNode(SLinkList *list, uint32_t index);

#ifdef __cplusplus
}
#endif

#endif
