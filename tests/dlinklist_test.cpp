// The doubly linked list: insertion at every position, cursor bookkeeping after every kind of
// removal, walks whose visit routine changes the list. Every allocation failure of Init and Insert
// is driven by fault_sweep_test; random operation sequences against a reference model by
// fuzz/containers_fuzzer.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "wex_dlinklist.h"
#include "wex_result_codes.h"

namespace {

// Elements are characters of a static string, so a list reads back as text ("RSPQ").
const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
void *el(char c) {
    return const_cast<char *>(&kLetters[c - 'A']);
}
char letter(const void *element) {
    return *static_cast<const char *>(element);
}

std::vector<char> g_released;
void record_release(void *element) {
    g_released.push_back(letter(element));
}

uint32_t same_letter(const void *key, const void *item) {
    return letter(key) == letter(item) ? 0u : 1u;
}

class DLinkListTest : public testing::Test {
  protected:
    DLinkList *list = nullptr;

    void SetUp() override {
        g_released.clear();
        ASSERT_EQ(QUIL_DLinkList_Init(same_letter, record_release, &list), QUIL_SUCCESS);
    }
    void TearDown() override {
        if (list != nullptr) {
            EXPECT_EQ(QUIL_DLinkList_Deinit(list, 1), QUIL_SUCCESS);
        }
    }

    // Inserts each letter of text at position.
    void insert_all(const std::string &text, uint32_t position = DLINK_POS_TAIL) {
        for (char c : text) {
            ASSERT_EQ(QUIL_DLinkList_Insert(list, el(c), position), QUIL_SUCCESS);
        }
    }

    // The list read both ways, after checking that the two directions agree with each other and
    // with count, and that the cursor is a node of the list.
    std::string contents() const {
        std::string forward, backward;
        bool cursorFound = list->cursor == nullptr;
        for (DLinkNode *n = list->head; n != nullptr; n = n->next) {
            forward += letter(n->element);
            cursorFound = cursorFound || n == list->cursor;
            if (n->next != nullptr) {
                EXPECT_EQ(n->next->prev, n);
            }
        }
        for (DLinkNode *n = list->tail; n != nullptr; n = n->prev) {
            backward.insert(backward.begin(), letter(n->element));
        }
        EXPECT_EQ(forward, backward);
        EXPECT_EQ(forward.size(), list->count);
        EXPECT_TRUE(cursorFound) << "the cursor is not a node of the list";
        EXPECT_EQ(list->count == 0, list->cursor == nullptr);
        if (list->head != nullptr) {
            EXPECT_EQ(list->head->prev, nullptr);
            EXPECT_EQ(list->tail->next, nullptr);
        }
        return forward;
    }

    char cursor() const { return list->cursor == nullptr ? '-' : letter(list->cursor->element); }
};

TEST(DLinkListInit, RefusesNullOutputAndNullReleaseWithoutWritingTheOutput) {
    DLinkList *untouched = reinterpret_cast<DLinkList *>(0x1);
    EXPECT_EQ(QUIL_DLinkList_Init(same_letter, nullptr, &untouched), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(untouched, reinterpret_cast<DLinkList *>(0x1));
    EXPECT_EQ(QUIL_DLinkList_Init(same_letter, record_release, nullptr), DLINK_BAD_ARGUMENT);
}

TEST(DLinkListInit, AcceptsAMissingComparisonRoutineButThenNeedsOnePerSearch) {
    DLinkList *list = nullptr;
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, record_release, &list), QUIL_SUCCESS);
    ASSERT_EQ(QUIL_DLinkList_Insert(list, el('A'), DLINK_POS_TAIL), QUIL_SUCCESS);
    void *found = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), nullptr, &found), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(found, el('Z')) << "the output is cleared only after the argument checks";
    EXPECT_EQ(QUIL_DLinkList_Remove(list, el('A'), nullptr, &found), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('A'), nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), same_letter, &found), QUIL_SUCCESS);
    EXPECT_EQ(found, el('A'));
    EXPECT_EQ(QUIL_DLinkList_Deinit(list, 1), QUIL_SUCCESS);
}

TEST_F(DLinkListTest, InsertsAtAllFourPositionsRelativeToEndsAndCursor) {
    const struct {
        char letter;
        uint32_t position;
        const char *after;
    } steps[] = {{'P', 9, "P"}, // an empty list takes any position
                 {'Q', DLINK_POS_TAIL, "PQ"},
                 {'R', DLINK_POS_HEAD, "RPQ"},
                 {'S', DLINK_POS_AFTER, "RSPQ"},
                 {'T', DLINK_POS_BEFORE, "RTSPQ"},
                 {'A', DLINK_POS_HEAD, "ARTSPQ"},
                 {'B', DLINK_POS_BEFORE, "BARTSPQ"},
                 {'C', DLINK_POS_TAIL, "BARTSPQC"},
                 {'D', DLINK_POS_AFTER, "BARTSPQCD"}};
    for (const auto &step : steps) {
        ASSERT_EQ(QUIL_DLinkList_Insert(list, el(step.letter), step.position), QUIL_SUCCESS);
        EXPECT_EQ(contents(), step.after);
        EXPECT_EQ(cursor(), step.letter) << "the new element holds the cursor";
    }
}

TEST_F(DLinkListTest, RefusedInsertionsChangeNothingAndKeepNoNode) {
    EXPECT_EQ(QUIL_DLinkList_Insert(list, nullptr, DLINK_POS_TAIL), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Insert(nullptr, el('A'), DLINK_POS_TAIL), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(contents(), "");
    insert_all("AB");
    uint32_t live = QUIL_Adapter_LiveBlocks();
    EXPECT_EQ(QUIL_DLinkList_Insert(list, el('C'), 4), DLINK_BAD_ARGUMENT);
    for (uint32_t position : {0u, 3u, 4u, 99u}) { // the allocation comes before the position check
        wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(QUIL_DLinkList_Insert(list, el('C'), position), DLINK_NO_MEMORY);
    }
    EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live);
    EXPECT_EQ(contents(), "AB");
    EXPECT_EQ(cursor(), 'B');
}

TEST_F(DLinkListTest, ReadersOnAnEmptyListReport60AndClearTheOutput) {
    using Reader = uint32_t (*)(DLinkList *, void **);
    for (Reader read :
         {QUIL_DLinkList_Get_HeadNode, QUIL_DLinkList_Get_TailNode, QUIL_DLinkList_Get_CurNode,
          QUIL_DLinkList_Get_NextNode, QUIL_DLinkList_Get_PriorNode, QUIL_DLinkList_Remove_CurNode,
          QUIL_DLinkList_Remove_HeadNode, QUIL_DLinkList_Remove_TailNode}) {
        void *element = el('Z');
        EXPECT_EQ(read(list, &element), DLINK_EMPTY);
        EXPECT_EQ(element, nullptr);
        EXPECT_EQ(read(list, nullptr), DLINK_BAD_ARGUMENT);
        element = el('Z');
        EXPECT_EQ(read(nullptr, &element), DLINK_BAD_ARGUMENT);
        EXPECT_EQ(element, el('Z'));
    }
    EXPECT_EQ(QUIL_DLinkList_NextPtr(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_PriorPtr(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Set_CurPtr(list), QUIL_SUCCESS);
    EXPECT_EQ(list->cursor, nullptr);
    uint32_t count = 99;
    EXPECT_EQ(QUIL_DLinkList_Get_NodeNumber(list, &count), QUIL_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(QUIL_DLinkList_Get_NodeNumber(list, nullptr), DLINK_BAD_ARGUMENT);
}

TEST_F(DLinkListTest, SteppingStopsAtBothEndsAndEndReadsLeaveTheCursor) {
    insert_all("ABC");
    uint32_t count = 0;
    EXPECT_EQ(QUIL_DLinkList_Get_NodeNumber(list, &count), QUIL_SUCCESS);
    EXPECT_EQ(count, 3u);
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Get_NextNode(list, &element), DLINK_NO_NEXT);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(QUIL_DLinkList_NextPtr(list), DLINK_NO_NEXT);
    EXPECT_EQ(cursor(), 'C');
    EXPECT_EQ(QUIL_DLinkList_Get_PriorNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('B'));
    EXPECT_EQ(QUIL_DLinkList_Get_HeadNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('A'));
    EXPECT_EQ(QUIL_DLinkList_Get_TailNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('C'));
    EXPECT_EQ(QUIL_DLinkList_Get_CurNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('B'));
    EXPECT_EQ(QUIL_DLinkList_PriorPtr(list), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_DLinkList_Get_PriorNode(list, &element), DLINK_NO_PRIOR);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(QUIL_DLinkList_PriorPtr(list), DLINK_NO_PRIOR);
    EXPECT_EQ(cursor(), 'A');
    EXPECT_EQ(QUIL_DLinkList_Get_NextNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('B'));
    EXPECT_EQ(QUIL_DLinkList_Set_CurPtr(list), QUIL_SUCCESS);
    EXPECT_EQ(cursor(), 'A');
}

TEST_F(DLinkListTest, QueryChecksItsArgumentsBeforeReporting60ForAnEmptyList) {
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Query(list, nullptr, nullptr, &element), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(element, el('Z'));
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), nullptr, nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Query(nullptr, el('A'), same_letter, &element), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), nullptr, &element), DLINK_EMPTY);
    EXPECT_EQ(element, nullptr);
}

TEST_F(DLinkListTest, QueryPutsTheCursorOnTheFirstMatchOrLeavesItWithout30) {
    insert_all("ABAB");
    ASSERT_EQ(QUIL_DLinkList_PriorPtr(list), QUIL_SUCCESS);
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('X'), nullptr, &element), DLINK_NO_MATCH);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(list->cursor, list->tail->prev);
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('B'), nullptr, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, list->head->next->element);
    EXPECT_EQ(list->cursor, list->head->next);
    auto only_a = [](const void *, const void *item) -> uint32_t {
        return letter(item) == 'A' ? 0u : 1u;
    };
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('B'), only_a, &element), QUIL_SUCCESS)
        << "the caller's routine takes precedence over the stored one";
    EXPECT_EQ(list->cursor, list->head);
}

// ---- Removal and the cursor ----

TEST_F(DLinkListTest, RemovingByKeyWithoutAMatchReports30AndReleasesNothing) {
    insert_all("ABC");
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Remove(list, el('X'), nullptr, &element), DLINK_NO_MATCH);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(contents(), "ABC");
    EXPECT_EQ(cursor(), 'C');
}

uint32_t remove_key_c(DLinkList *list, void **element) {
    return QUIL_DLinkList_Remove(list, el('C'), nullptr, element);
}
uint32_t remove_key_d(DLinkList *list, void **element) {
    return QUIL_DLinkList_Remove(list, el('D'), nullptr, element);
}

struct CursorRemovalCase {
    const char *name;
    int cursorIndex; // where the cursor stands in "ABCD" before the removal
    uint32_t (*remove)(DLinkList *, void **);
    char removed;
    const char *after;
    char cursorAfter;
};

void PrintTo(const CursorRemovalCase &c, std::ostream *os) {
    *os << c.name;
}

class DLinkListCursorRemoval : public DLinkListTest,
                               public testing::WithParamInterface<CursorRemovalCase> {};

TEST_P(DLinkListCursorRemoval, LeavesTheCursorWhereTheRuleSays) {
    const CursorRemovalCase &c = GetParam();
    insert_all("ABCD");
    ASSERT_EQ(QUIL_DLinkList_Set_CurPtr(list), QUIL_SUCCESS);
    for (int i = 0; i < c.cursorIndex; ++i) {
        ASSERT_EQ(QUIL_DLinkList_NextPtr(list), QUIL_SUCCESS);
    }
    void *element = nullptr;
    ASSERT_EQ(c.remove(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(letter(element), c.removed);
    EXPECT_EQ(contents(), c.after);
    EXPECT_EQ(cursor(), c.cursorAfter);
    EXPECT_TRUE(g_released.empty()) << "a removal hands the element back without releasing it";
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, DLinkListCursorRemoval,
    testing::Values(
        CursorRemovalCase{"CurrentFirst", 0, QUIL_DLinkList_Remove_CurNode, 'A', "BCD", 'B'},
        CursorRemovalCase{"CurrentMiddle", 1, QUIL_DLinkList_Remove_CurNode, 'B', "ACD", 'C'},
        CursorRemovalCase{"CurrentLast", 3, QUIL_DLinkList_Remove_CurNode, 'D', "ABC", 'C'},
        CursorRemovalCase{"HeadWithCursorOnLast", 3, QUIL_DLinkList_Remove_HeadNode, 'A', "BCD",
                          'B'},
        CursorRemovalCase{"HeadWithCursorOnHead", 0, QUIL_DLinkList_Remove_HeadNode, 'A', "BCD",
                          'B'},
        CursorRemovalCase{"TailWithCursorOnFirst", 0, QUIL_DLinkList_Remove_TailNode, 'D', "ABC",
                          'C'},
        CursorRemovalCase{"TailWithCursorInside", 1, QUIL_DLinkList_Remove_TailNode, 'D', "ABC",
                          'C'},
        CursorRemovalCase{"KeyInside", 0, remove_key_c, 'C', "ABD", 'D'},
        CursorRemovalCase{"KeyLast", 0, remove_key_d, 'D', "ABC", 'C'}),
    [](const testing::TestParamInfo<CursorRemovalCase> &info) { return info.param.name; });

TEST_F(DLinkListTest, DeleteReleasesExactlyTheRemovedElementAndAFailedOneNone) {
    EXPECT_EQ(QUIL_DLinkList_Delete_TailNode(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Delete_HeadNode(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Delete_CurNode(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('A'), nullptr), DLINK_EMPTY);
    insert_all("ABC");
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('X'), nullptr), DLINK_NO_MATCH);
    EXPECT_EQ(QUIL_DLinkList_Delete(list, nullptr, nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Delete_CurNode(nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_TRUE(g_released.empty());
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('B'), nullptr), QUIL_SUCCESS);
    EXPECT_EQ(g_released, std::vector<char>{'B'});
    EXPECT_EQ(cursor(), 'C');
    EXPECT_EQ(QUIL_DLinkList_Delete_HeadNode(list), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_DLinkList_Delete_TailNode(list), QUIL_SUCCESS);
    EXPECT_EQ(g_released, (std::vector<char>{'B', 'A', 'C'}));
    EXPECT_EQ(contents(), "");
    EXPECT_EQ(list->head, nullptr);
    EXPECT_EQ(list->tail, nullptr);
    insert_all("D");
    EXPECT_EQ(contents(), "D") << "an emptied list takes new elements";
}

TEST_F(DLinkListTest, DeinitReleasesEveryElementInOrderUnlessAskedToKeepThem) {
    insert_all("ABC");
    ASSERT_EQ(QUIL_DLinkList_Deinit(list, 0), QUIL_SUCCESS);
    list = nullptr;
    EXPECT_EQ(g_released, (std::vector<char>{'A', 'B', 'C'}));

    g_released.clear();
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, record_release, &list), QUIL_SUCCESS);
    insert_all("ABC");
    ASSERT_EQ(QUIL_DLinkList_Deinit(list, 7), QUIL_SUCCESS);
    list = nullptr;
    EXPECT_TRUE(g_released.empty());
    EXPECT_EQ(QUIL_DLinkList_Deinit(nullptr, 0), DLINK_BAD_ARGUMENT);
}

// ---- Walks ----

// A walk over a list whose visit routine stops at one element, deletes some or inserts 'Z' after
// one; the walk goes on from wherever the cursor stands after the visit.
struct WalkCase {
    const char *name;
    const char *list;
    char stopAt;
    const char *deleteThese;
    char insertAfter;
    uint32_t result;
    const char *visited;
    const char *after;
    char cursorAfter;
};

struct Walk {
    DLinkList *list;
    const WalkCase &c;
    std::string visited;
};

uint32_t walk_visit(void *first, void *element, void *second) {
    auto *walk = static_cast<Walk *>(first);
    EXPECT_EQ(second, &walk->visited) << "the second caller value is passed unchanged";
    char c = letter(element);
    walk->visited += c;
    if (c == walk->c.stopAt) {
        return 1;
    }
    if (std::string(walk->c.deleteThese).find(c) != std::string::npos) {
        EXPECT_EQ(QUIL_DLinkList_Delete_CurNode(walk->list), QUIL_SUCCESS);
    }
    if (c == walk->c.insertAfter) {
        EXPECT_EQ(QUIL_DLinkList_Insert(walk->list, el('Z'), DLINK_POS_AFTER), QUIL_SUCCESS);
    }
    return 0;
}

void PrintTo(const WalkCase &c, std::ostream *os) {
    *os << c.name;
}

class DLinkListWalk : public DLinkListTest, public testing::WithParamInterface<WalkCase> {};

TEST_P(DLinkListWalk, VisitsWhatTheRuleSaysAndLeavesTheListAndCursor) {
    const WalkCase &c = GetParam();
    insert_all(c.list);
    Walk walk{list, c, ""};
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), c.result);
    EXPECT_EQ(walk.visited, c.visited);
    EXPECT_EQ(contents(), c.after);
    EXPECT_EQ(cursor(), c.cursorAfter);
    EXPECT_EQ(std::string(g_released.begin(), g_released.end()), c.deleteThese);
}

INSTANTIATE_TEST_SUITE_P(
    Routines, DLinkListWalk,
    testing::Values(
        WalkCase{"EmptyListNeverCallsTheRoutine", "", 0, "", 0, DLINK_EMPTY, "", "", '-'},
        WalkCase{"PlainEndsOnTheLast", "ABCD", 0, "", 0, QUIL_SUCCESS, "ABCD", "ABCD", 'D'},
        WalkCase{"StoppedReports70OnTheStopper", "ABCDE", 'C', "", 0, DLINK_STOPPED, "ABC", "ABCDE",
                 'C'},
        WalkCase{"DeletingEveryElement", "ABCD", 0, "ABCD", 0, QUIL_SUCCESS, "ABCD", "", '-'},
        WalkCase{"DeletingSomeSkipsNoOther", "ABCDE", 0, "BC", 0, QUIL_SUCCESS, "ABCDE", "ADE",
                 'E'},
        WalkCase{"DeletingTheLastRevisitsItsPredecessor", "ABC", 0, "C", 0, QUIL_SUCCESS, "ABCB",
                 "AB", 'B'},
        WalkCase{"GoesOnFromAnInsertedElement", "ABC", 0, "", 'B', QUIL_SUCCESS, "ABZC", "ABZC",
                 'C'}),
    [](const testing::TestParamInfo<WalkCase> &info) { return info.param.name; });

TEST_F(DLinkListTest, AWalkWithoutARoutineIsRefusedEvenOverAnEmptyList) {
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, nullptr, nullptr, nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Process_List(nullptr, walk_visit, nullptr, nullptr),
              DLINK_BAD_ARGUMENT);
}

} // namespace
