// Static linked list: one block allocated at creation holds the record and a fixed array of nodes
// linked by index; free nodes form a last-in, first-out list through their next index. Nothing is
// allocated after creation. Every check comes before the first change, so a failure changes
// nothing (apart from an output preset to null).
#include "wex_slinklist.h"

#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

constexpr const char *kUnit = "publiclib/slink/source/slinklist_arth";

// The record occupies the room of the block's first node slots (three on the usual 32- and 64-bit
// layouts) and the node array follows it; the whole block must fit the adapter's u32 size.
constexpr uint64_t kRecordSlots = (sizeof(SLinkList) + sizeof(SLinkNode) - 1) / sizeof(SLinkNode);
constexpr uint64_t kMaxBlockSize = UINT32_MAX;
constexpr uint64_t kMaxCapacity = kMaxBlockSize / sizeof(SLinkNode) - kRecordSlots;

uint32_t block_size(uint32_t capacity) {
    return static_cast<uint32_t>((capacity + kRecordSlots) * sizeof(SLinkNode));
}

// Chains every node into the free list in index order.
void chain_free_nodes(SLinkList *list) {
    for (uint32_t i = 0; i + 1 < list->capacity; ++i) {
        list->nodes[i].next = i + 1;
    }
    list->nodes[list->capacity - 1].next = SLINK_NONE;
}

// Takes the most recently freed node; the caller has checked that one is free.
uint32_t take_node(SLinkList *list) {
    uint32_t i = list->freeHead;
    SLinkNode &node = list->nodes[i];
    list->freeHead = node.next;
    node.prev = SLINK_NONE;
    node.next = SLINK_NONE;
    list->count++;
    return i;
}

// Clears node i and puts it at the front of the free list.
void give_back_node(SLinkList *list, uint32_t i) {
    list->nodes[i] = SLinkNode{0, list->freeHead, nullptr};
    list->freeHead = i;
    list->count--;
}

// Links the fresh node n into a non-empty list at position (0 to 3).
void link_node(SLinkList *list, uint32_t n, uint32_t position) {
    SLinkNode *nodes = list->nodes;
    switch (position) {
    case SLINK_POS_HEAD:
        nodes[n].next = list->head;
        nodes[list->head].prev = n;
        list->head = n;
        break;
    case SLINK_POS_TAIL:
        nodes[n].prev = list->tail;
        nodes[list->tail].next = n;
        list->tail = n;
        break;
    case SLINK_POS_BEFORE:
        nodes[n].next = list->cursor;
        nodes[n].prev = nodes[list->cursor].prev;
        if (nodes[n].prev == SLINK_NONE) {
            list->head = n;
        } else {
            nodes[nodes[n].prev].next = n;
        }
        nodes[list->cursor].prev = n;
        break;
    default: // SLINK_POS_AFTER
        nodes[n].prev = list->cursor;
        nodes[n].next = nodes[list->cursor].next;
        if (nodes[n].next == SLINK_NONE) {
            list->tail = n;
        } else {
            nodes[nodes[n].next].prev = n;
        }
        nodes[list->cursor].next = n;
        break;
    }
}

// Unlinks node x, whose links are prev and next, and moves the cursor next to it: to its
// successor, or to its predecessor when x was the last node (nowhere when it was the only one).
// Gives x back and returns its element.
void *unlink_linked(SLinkList *list, uint32_t x, uint32_t prev, uint32_t next) {
    SLinkNode *nodes = list->nodes;
    if (next != SLINK_NONE) {
        list->cursor = next;
        nodes[next].prev = prev;
    } else {
        list->cursor = prev;
        list->tail = prev;
    }
    if (prev != SLINK_NONE) {
        nodes[prev].next = next;
    } else {
        list->head = next;
    }
    void *element = nodes[x].element;
    give_back_node(list, x);
    return element;
}

void *unlink_node(SLinkList *list, uint32_t x) {
    return unlink_linked(list, x, list->nodes[x].prev, list->nodes[x].next);
}

// The ends read only the link they have. Emptying a list from one end, each removal stores the
// link of the new end node that the next removal reads: a read of both links at once would have
// to wait until that store has reached the cache.
void *unlink_head(SLinkList *list) {
    return unlink_linked(list, list->head, SLINK_NONE, list->nodes[list->head].next);
}

void *unlink_tail(SLinkList *list) {
    return unlink_linked(list, list->tail, list->nodes[list->tail].prev, SLINK_NONE);
}

uint32_t find_node(const SLinkList *list, const void *key, QUIL_CompareFunc routine) {
    for (uint32_t i = list->head; i != SLINK_NONE; i = list->nodes[i].next) {
        if (routine(key, list->nodes[i].element) == 0) {
            return i;
        }
    }
    return SLINK_NONE;
}

// The shared checks and search of Query and Remove; on success *match is the matching node.
// After the null checks *element is null.
uint32_t search(SLinkList *list, const void *key, QUIL_CompareFunc compare, void **element,
                uint32_t *match) {
    if (list == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    QUIL_CompareFunc routine = compare != nullptr ? compare : list->compare;
    if (routine == nullptr || key == nullptr || element == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    *element = nullptr;
    if (list->count == 0) {
        return SLINK_EMPTY;
    }
    *match = find_node(list, key, routine);
    return *match != SLINK_NONE ? QUIL_SUCCESS : SLINK_NO_MATCH;
}

// Checks of the operations at the cursor: 70 for an empty list comes before *element is preset
// to null, so an empty list leaves the output as it was.
uint32_t check_at_cursor(const SLinkList *list, void **element) {
    if (list == nullptr || element == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    if (list->count == 0) {
        return SLINK_EMPTY;
    }
    *element = nullptr;
    return QUIL_SUCCESS;
}

// Checks of the operations at either end: *element is preset to null before the test for an
// empty list.
uint32_t check_at_end(const SLinkList *list, void **element) {
    if (list == nullptr || element == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    *element = nullptr;
    return list->count == 0 ? SLINK_EMPTY : QUIL_SUCCESS;
}

// Moves the cursor of a non-empty list one step; 60 / 50 when it has no successor / predecessor.
uint32_t step_next(SLinkList *list) {
    uint32_t next = list->nodes[list->cursor].next;
    if (next == SLINK_NONE) {
        return SLINK_NO_NEXT;
    }
    list->cursor = next;
    return QUIL_SUCCESS;
}

uint32_t step_prior(SLinkList *list) {
    uint32_t prev = list->nodes[list->cursor].prev;
    if (prev == SLINK_NONE) {
        return SLINK_NO_PRIOR;
    }
    list->cursor = prev;
    return QUIL_SUCCESS;
}

// Passes a removed element to the list's release routine when the removal succeeded.
uint32_t release_removed(SLinkList *list, uint32_t result, void *element) {
    if (result == QUIL_SUCCESS && element != nullptr) {
        list->release(element);
    }
    return result;
}

} // namespace

extern "C" {

uint32_t QUIL_SLinkList_Init(uint32_t capacity, QUIL_CompareFunc compare, QUIL_ReleaseFunc release,
                             SLinkList **list) {
    if (capacity == 0 || capacity > kMaxCapacity || list == nullptr || release == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    auto *made =
        static_cast<SLinkList *>(QUIL_MemMallocS(block_size(capacity), 0, __LINE__, kUnit));
    if (made == nullptr) {
        return SLINK_NO_MEMORY;
    }
    // The zero fill leaves count 0, freeHead 0 and every node's prev and element 0.
    made->head = made->tail = made->cursor = SLINK_NONE;
    made->capacity = capacity;
    made->nodes = reinterpret_cast<SLinkNode *>(made) + kRecordSlots;
    made->compare = compare;
    made->release = release;
    chain_free_nodes(made);
    *list = made;
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Deinit(SLinkList *list, uint32_t keepElements) {
    if (list == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    if (keepElements == 0) {
        for (uint32_t i = list->head; i != SLINK_NONE; i = list->nodes[i].next) {
            list->release(list->nodes[i].element);
            list->nodes[i].element = nullptr;
        }
    }
    QUIL_MemFreeSetNullD(&list, __LINE__, kUnit);
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Insert(SLinkList *list, void *element, uint32_t position) {
    if (list == nullptr || element == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    if (list->freeHead == SLINK_NONE) {
        return SLINK_FULL;
    }
    if (list->count != 0 && position > SLINK_POS_AFTER) {
        return SLINK_BAD_ARGUMENT;
    }
    uint32_t n = take_node(list);
    if (list->head == SLINK_NONE) {
        list->head = list->tail = n;
    } else {
        link_node(list, n, position);
    }
    list->nodes[n].element = element;
    list->cursor = n;
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Set_CurPtr(SLinkList *list) {
    if (list == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    list->cursor = list->head;
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Get_NodeNumber(SLinkList *list, uint32_t *count) {
    if (list == nullptr || count == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    *count = list->count;
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Get_MaxNodeNumber(SLinkList *list, uint32_t *capacity) {
    if (list == nullptr || capacity == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    *capacity = list->capacity;
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Get_HeadNode(SLinkList *list, void **element) {
    uint32_t result = check_at_end(list, element);
    if (result == QUIL_SUCCESS) {
        *element = list->nodes[list->head].element;
    }
    return result;
}

uint32_t QUIL_SLinkList_Get_TailNode(SLinkList *list, void **element) {
    uint32_t result = check_at_end(list, element);
    if (result == QUIL_SUCCESS) {
        *element = list->nodes[list->tail].element;
    }
    return result;
}

uint32_t QUIL_SLinkList_Get_CurNode(SLinkList *list, void **element) {
    uint32_t result = check_at_cursor(list, element);
    if (result == QUIL_SUCCESS) {
        *element = list->nodes[list->cursor].element;
    }
    return result;
}

uint32_t QUIL_SLinkList_Get_NextNode(SLinkList *list, void **element) {
    uint32_t result = check_at_cursor(list, element);
    if (result == QUIL_SUCCESS) {
        result = step_next(list);
    }
    if (result == QUIL_SUCCESS) {
        *element = list->nodes[list->cursor].element;
    }
    return result;
}

uint32_t QUIL_SLinkList_Get_PriorNode(SLinkList *list, void **element) {
    uint32_t result = check_at_cursor(list, element);
    if (result == QUIL_SUCCESS) {
        result = step_prior(list);
    }
    if (result == QUIL_SUCCESS) {
        *element = list->nodes[list->cursor].element;
    }
    return result;
}

uint32_t QUIL_SLinkList_NextPtr(SLinkList *list) {
    if (list == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    return list->count == 0 ? SLINK_EMPTY : step_next(list);
}

uint32_t QUIL_SLinkList_PriorPtr(SLinkList *list) {
    if (list == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    return list->count == 0 ? SLINK_EMPTY : step_prior(list);
}

uint32_t QUIL_SLinkList_Query(SLinkList *list, const void *key, QUIL_CompareFunc compare,
                              void **element) {
    uint32_t match = SLINK_NONE;
    uint32_t result = search(list, key, compare, element, &match);
    if (result == QUIL_SUCCESS) {
        list->cursor = match;
        *element = list->nodes[match].element;
    }
    return result;
}

uint32_t QUIL_SLinkList_Process_List(SLinkList *list, QUIL_VisitFunc visit, void *first,
                                     void *second) {
    if (list == nullptr || visit == nullptr) {
        return SLINK_BAD_ARGUMENT;
    }
    if (list->count == 0) {
        return SLINK_EMPTY;
    }
    uint32_t i = list->head;
    while (i != SLINK_NONE) {
        list->cursor = i;
        if (visit(first, list->nodes[i].element, second) != 0) {
            return SLINK_STOPPED;
        }
        // The routine may have removed node i or moved the cursor: go on from the cursor then.
        i = list->cursor != i ? list->cursor : list->nodes[i].next;
    }
    return QUIL_SUCCESS;
}

uint32_t QUIL_SLinkList_Remove(SLinkList *list, const void *key, QUIL_CompareFunc compare,
                               void **element) {
    uint32_t match = SLINK_NONE;
    uint32_t result = search(list, key, compare, element, &match);
    if (result == QUIL_SUCCESS) {
        *element = unlink_node(list, match);
    }
    return result;
}

uint32_t QUIL_SLinkList_Remove_CurNode(SLinkList *list, void **element) {
    uint32_t result = check_at_cursor(list, element);
    if (result == QUIL_SUCCESS) {
        *element = unlink_node(list, list->cursor);
    }
    return result;
}

// Unlinking either end by the cursor rule leaves the cursor on the new head, or the new tail.
uint32_t QUIL_SLinkList_Remove_HeadNode(SLinkList *list, void **element) {
    uint32_t result = check_at_end(list, element);
    if (result == QUIL_SUCCESS) {
        *element = unlink_head(list);
    }
    return result;
}

uint32_t QUIL_SLinkList_Remove_TailNode(SLinkList *list, void **element) {
    uint32_t result = check_at_end(list, element);
    if (result == QUIL_SUCCESS) {
        *element = unlink_tail(list);
    }
    return result;
}

uint32_t QUIL_SLinkList_Delete(SLinkList *list, const void *key, QUIL_CompareFunc compare) {
    void *element = nullptr;
    uint32_t result = QUIL_SLinkList_Remove(list, key, compare, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_SLinkList_Delete_CurNode(SLinkList *list) {
    void *element = nullptr;
    uint32_t result = QUIL_SLinkList_Remove_CurNode(list, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_SLinkList_Delete_HeadNode(SLinkList *list) {
    void *element = nullptr;
    uint32_t result = QUIL_SLinkList_Remove_HeadNode(list, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_SLinkList_Delete_TailNode(SLinkList *list) {
    void *element = nullptr;
    uint32_t result = QUIL_SLinkList_Remove_TailNode(list, &element);
    return release_removed(list, result, element);
}

uint32_t QUIL_SLinkList_AllocNode(SLinkList *list) {
    if (list == nullptr || list->freeHead == SLINK_NONE) {
        return SLINK_NONE;
    }
    return take_node(list);
}

uint32_t QUIL_SLinkList_FreeNode(SLinkList *list, uint32_t index) {
    // A list without nodes in use has nothing to give back: the count must not wrap.
    if (list == nullptr || index == SLINK_NONE || index >= list->capacity || list->count == 0) {
        return SLINK_BAD_ARGUMENT;
    }
    give_back_node(list, index);
    return QUIL_SUCCESS;
}

} // extern "C"
