// Doubly linked list: heap nodes linked both ways, a cursor, and caller routines for comparison,
// release and visits. Every check comes before the first change, so a failure changes nothing.
#include "wex_dlinklist.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

constexpr const char *kUnit = "publiclib/dlink/source/dlinklist_arth";

DLinkNode *new_node() {
    return static_cast<DLinkNode *>(QUIL_MemMallocS(sizeof(DLinkNode), 0, __LINE__, kUnit));
}

void free_node(DLinkNode *node) {
    QUIL_MemFreeSetNullD(&node, __LINE__, kUnit);
}

// Links n into a non-empty list at position (0 to 3).
void link_node(DLinkList *list, DLinkNode *n, uint32_t position) {
    switch (position) {
    case DLINK_POS_HEAD:
        n->next = list->head;
        list->head->prev = n;
        list->head = n;
        break;
    case DLINK_POS_TAIL:
        n->prev = list->tail;
        list->tail->next = n;
        list->tail = n;
        break;
    case DLINK_POS_BEFORE:
        n->next = list->cursor;
        n->prev = list->cursor->prev;
        if (n->prev == nullptr) {
            list->head = n;
        } else {
            n->prev->next = n;
        }
        list->cursor->prev = n;
        break;
    default: // DLINK_POS_AFTER
        n->prev = list->cursor;
        n->next = list->cursor->next;
        if (n->next == nullptr) {
            list->tail = n;
        } else {
            n->next->prev = n;
        }
        list->cursor->next = n;
        break;
    }
}

// Unlinks x and moves the cursor next to it: to its successor, or to its predecessor when x was
// the last node. Hands back x's element and gives x back.
void *unlink_node(DLinkList *list, DLinkNode *x) {
    if (x->next != nullptr) {
        list->cursor = x->next;
        x->next->prev = x->prev;
    } else {
        list->cursor = x->prev;
        list->tail = x->prev;
    }
    if (x->prev != nullptr) {
        x->prev->next = x->next;
    } else {
        list->head = x->next;
    }
    void *element = x->element;
    free_node(x);
    list->count--;
    return element;
}

// The routine a search uses: the caller's, else the list's (may be null).
QUIL_CompareFunc search_routine(const DLinkList *list, QUIL_CompareFunc compare) {
    return compare != nullptr ? compare : list->compare;
}

DLinkNode *find_node(const DLinkList *list, const void *key, QUIL_CompareFunc routine) {
    for (DLinkNode *n = list->head; n != nullptr; n = n->next) {
        if (routine(key, n->element) == 0) {
            return n;
        }
    }
    return nullptr;
}

// The shared checks of Query and Remove; on success *element is null and *routine is set.
uint32_t check_search(DLinkList *list, const void *key, QUIL_CompareFunc compare, void **element,
                      QUIL_CompareFunc *routine) {
    if (list == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    *routine = search_routine(list, compare);
    if (*routine == nullptr || key == nullptr || element == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    *element = nullptr;
    return list->count == 0 ? DLINK_EMPTY : QUIL_SUCCESS;
}

// The shared checks of the readers; on success *element is null.
uint32_t check_read(DLinkList *list, void **element) {
    if (list == nullptr || element == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    *element = nullptr;
    return list->count == 0 ? DLINK_EMPTY : QUIL_SUCCESS;
}

// Passes a removed element to the list's release routine when the removal succeeded.
uint32_t release_removed(DLinkList *list, uint32_t result, void *element) {
    if (result == QUIL_SUCCESS && element != nullptr) {
        list->release(element);
    }
    return result;
}

} // namespace

extern "C" {

uint32_t QUIL_DLinkList_Init(QUIL_CompareFunc compare, QUIL_ReleaseFunc release, DLinkList **list) {
    if (list == nullptr || release == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    auto *made = static_cast<DLinkList *>(QUIL_MemMallocS(sizeof(DLinkList), 0, __LINE__, kUnit));
    if (made == nullptr) {
        return DLINK_NO_MEMORY;
    }
    made->compare = compare;
    made->release = release;
    *list = made;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Insert(DLinkList *list, void *element, uint32_t position) {
    if (list == nullptr || element == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    // The node comes first: a failed allocation reports 20 whatever the position.
    DLinkNode *n = new_node();
    if (n == nullptr) {
        return DLINK_NO_MEMORY;
    }
    if (list->count == 0) {
        list->head = list->tail = n;
    } else if (position > DLINK_POS_AFTER) {
        QUIL_MemFreeD(n, __LINE__, kUnit); // never linked
        return DLINK_BAD_ARGUMENT;
    } else {
        link_node(list, n, position);
    }
    n->element = element;
    list->cursor = n;
    list->count++;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Set_CurPtr(DLinkList *list) {
    if (list == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    list->cursor = list->head;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Get_NodeNumber(DLinkList *list, uint32_t *count) {
    if (list == nullptr || count == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    *count = list->count;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Get_HeadNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result == QUIL_SUCCESS) {
        *element = list->head->element;
    }
    return result;
}

uint32_t QUIL_DLinkList_Get_TailNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result == QUIL_SUCCESS) {
        *element = list->tail->element;
    }
    return result;
}

uint32_t QUIL_DLinkList_Get_CurNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result == QUIL_SUCCESS) {
        *element = list->cursor->element;
    }
    return result;
}

uint32_t QUIL_DLinkList_Get_NextNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (list->cursor->next == nullptr) {
        return DLINK_NO_NEXT;
    }
    list->cursor = list->cursor->next;
    *element = list->cursor->element;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Get_PriorNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (list->cursor->prev == nullptr) {
        return DLINK_NO_PRIOR;
    }
    list->cursor = list->cursor->prev;
    *element = list->cursor->element;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_NextPtr(DLinkList *list) {
    if (list == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    if (list->count == 0) {
        return DLINK_EMPTY;
    }
    if (list->cursor->next == nullptr) {
        return DLINK_NO_NEXT;
    }
    list->cursor = list->cursor->next;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_PriorPtr(DLinkList *list) {
    if (list == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    if (list->count == 0) {
        return DLINK_EMPTY;
    }
    if (list->cursor->prev == nullptr) {
        return DLINK_NO_PRIOR;
    }
    list->cursor = list->cursor->prev;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Query(DLinkList *list, const void *key, QUIL_CompareFunc compare,
                              void **element) {
    QUIL_CompareFunc routine = nullptr;
    uint32_t result = check_search(list, key, compare, element, &routine);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    DLinkNode *match = find_node(list, key, routine);
    if (match == nullptr) {
        return DLINK_NO_MATCH;
    }
    list->cursor = match;
    *element = match->element;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Process_List(DLinkList *list, QUIL_VisitFunc visit, void *first,
                                     void *second) {
    if (list == nullptr || visit == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    if (list->count == 0) {
        return DLINK_EMPTY;
    }
    DLinkNode *n = list->head;
    while (n != nullptr) {
        list->cursor = n;
        if (visit(first, n->element, second) != 0) {
            return DLINK_STOPPED;
        }
        // The routine may have removed n or moved the cursor: go on from the cursor then, and
        // read n->next only while n is known to be alive.
        n = list->cursor != n ? list->cursor : n->next;
    }
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Remove(DLinkList *list, const void *key, QUIL_CompareFunc compare,
                               void **element) {
    QUIL_CompareFunc routine = nullptr;
    uint32_t result = check_search(list, key, compare, element, &routine);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    DLinkNode *match = find_node(list, key, routine);
    if (match == nullptr) {
        return DLINK_NO_MATCH;
    }
    *element = unlink_node(list, match);
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Remove_CurNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result == QUIL_SUCCESS) {
        *element = unlink_node(list, list->cursor);
    }
    return result;
}

uint32_t QUIL_DLinkList_Remove_HeadNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    DLinkNode *h = list->head;
    list->head = list->cursor = h->next;
    if (h->next != nullptr) {
        h->next->prev = nullptr;
    } else {
        list->tail = nullptr;
    }
    *element = h->element;
    free_node(h);
    list->count--;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Remove_TailNode(DLinkList *list, void **element) {
    uint32_t result = check_read(list, element);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    DLinkNode *t = list->tail;
    list->tail = list->cursor = t->prev;
    if (t->prev != nullptr) {
        t->prev->next = nullptr;
    } else {
        list->head = nullptr;
    }
    *element = t->element;
    free_node(t);
    list->count--;
    return QUIL_SUCCESS;
}

uint32_t QUIL_DLinkList_Delete(DLinkList *list, const void *key, QUIL_CompareFunc compare) {
    void *element = nullptr;
    uint32_t result = QUIL_DLinkList_Remove(list, key, compare, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_DLinkList_Delete_CurNode(DLinkList *list) {
    void *element = nullptr;
    uint32_t result = QUIL_DLinkList_Remove_CurNode(list, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_DLinkList_Delete_HeadNode(DLinkList *list) {
    void *element = nullptr;
    uint32_t result = QUIL_DLinkList_Remove_HeadNode(list, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_DLinkList_Delete_TailNode(DLinkList *list) {
    void *element = nullptr;
    uint32_t result = QUIL_DLinkList_Remove_TailNode(list, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_DLinkList_Deinit(DLinkList *list, uint32_t keepElements) {
    if (list == nullptr) {
        return DLINK_BAD_ARGUMENT;
    }
    DLinkNode *n = list->head;
    while (n != nullptr) {
        DLinkNode *next = n->next;
        if (keepElements == 0) {
            list->release(n->element);
        }
        free_node(n);
        n = next;
    }
    QUIL_MemFreeSetNullD(&list, __LINE__, kUnit);
    return QUIL_SUCCESS;
}

} // extern "C"
