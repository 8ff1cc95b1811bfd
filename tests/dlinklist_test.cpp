// The doubly linked list: insertion at every position, cursor bookkeeping after every kind of
// removal, walks whose visit routine changes the list, and every allocation failure.
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

TEST(DLinkListInit, AFailedAllocationReports20AndLeavesTheOutput) {
    DLinkList *untouched = nullptr;
    wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_DLinkList_Init(same_letter, record_release, &untouched), DLINK_NO_MEMORY);
    EXPECT_EQ(untouched, nullptr);
}

TEST_F(DLinkListTest, InsertsAtAllFourPositionsRelativeToEndsAndCursor) {
    insert_all("P");
    insert_all("Q");
    insert_all("R", DLINK_POS_HEAD);
    EXPECT_EQ(contents(), "RPQ");
    EXPECT_EQ(cursor(), 'R');
    insert_all("S", DLINK_POS_AFTER);
    EXPECT_EQ(contents(), "RSPQ");
    EXPECT_EQ(cursor(), 'S');
    insert_all("T", DLINK_POS_BEFORE);
    EXPECT_EQ(contents(), "RTSPQ");
    EXPECT_EQ(cursor(), 'T');
}

TEST_F(DLinkListTest, InsertingBeforeTheFirstOrAfterTheLastMovesTheEnds) {
    insert_all("B");
    insert_all("A", DLINK_POS_BEFORE);
    EXPECT_EQ(letter(list->head->element), 'A');
    ASSERT_EQ(QUIL_DLinkList_NextPtr(list), QUIL_SUCCESS);
    insert_all("C", DLINK_POS_AFTER);
    EXPECT_EQ(letter(list->tail->element), 'C');
    EXPECT_EQ(contents(), "ABC");
}

TEST_F(DLinkListTest, AnEmptyListAcceptsAnyPositionForItsFirstElement) {
    ASSERT_EQ(QUIL_DLinkList_Insert(list, el('A'), 9), QUIL_SUCCESS);
    EXPECT_EQ(list->head, list->tail);
    EXPECT_EQ(list->cursor, list->head);
    EXPECT_EQ(contents(), "A");
}

TEST_F(DLinkListTest, ABadPositionOnAFilledListChangesNothingAndKeepsNoNode) {
    insert_all("AB");
    uint32_t live = QUIL_Adapter_LiveBlocks();
    EXPECT_EQ(QUIL_DLinkList_Insert(list, el('C'), 4), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live);
    EXPECT_EQ(contents(), "AB");
    EXPECT_EQ(cursor(), 'B');
}

TEST_F(DLinkListTest, ANullElementIsRefusedEvenByAnEmptyList) {
    EXPECT_EQ(QUIL_DLinkList_Insert(list, nullptr, DLINK_POS_TAIL), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Insert(nullptr, el('A'), DLINK_POS_TAIL), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(contents(), "");
}

TEST_F(DLinkListTest, AFailedNodeAllocationReports20BeforeLookingAtThePosition) {
    insert_all("AB");
    for (uint32_t position : {0u, 1u, 2u, 3u, 4u, 99u}) {
        wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(QUIL_DLinkList_Insert(list, el('C'), position), DLINK_NO_MEMORY);
        EXPECT_EQ(contents(), "AB");
        EXPECT_EQ(cursor(), 'B');
    }
}

// The n-th of twenty allocations (the record, then nineteen nodes) fails: the failing call
// reports 20 and the list holds exactly what was inserted before it.
TEST(DLinkListFaults, EveryOneOfTwentyAllocationsCanFailWithoutChangingTheList) {
    for (uint32_t n = 1; n <= 20; ++n) {
        wextest::ScopedFault fault(QUIL_OP_ALLOC, n);
        DLinkList *list = nullptr;
        uint32_t result = QUIL_DLinkList_Init(same_letter, record_release, &list);
        if (n == 1) {
            EXPECT_EQ(result, DLINK_NO_MEMORY);
            EXPECT_EQ(list, nullptr);
            continue;
        }
        ASSERT_EQ(result, QUIL_SUCCESS);
        uint32_t inserted = 0;
        for (uint32_t i = 0; i < 19; ++i) {
            result = QUIL_DLinkList_Insert(list, el(static_cast<char>('A' + i)), i % 4);
            if (i + 2 == n) {
                EXPECT_EQ(result, DLINK_NO_MEMORY) << "allocation " << n;
                break;
            }
            ASSERT_EQ(result, QUIL_SUCCESS);
            ++inserted;
        }
        EXPECT_EQ(list->count, inserted);
        EXPECT_EQ(list->cursor == nullptr, inserted == 0);
        EXPECT_EQ(QUIL_DLinkList_Deinit(list, 1), QUIL_SUCCESS);
    }
}

TEST_F(DLinkListTest, CountsItsElements) {
    uint32_t count = 99;
    EXPECT_EQ(QUIL_DLinkList_Get_NodeNumber(list, &count), QUIL_SUCCESS);
    EXPECT_EQ(count, 0u);
    insert_all("ABCDE");
    EXPECT_EQ(QUIL_DLinkList_Get_NodeNumber(list, &count), QUIL_SUCCESS);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(QUIL_DLinkList_Get_NodeNumber(list, nullptr), DLINK_BAD_ARGUMENT);
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
}

TEST_F(DLinkListTest, HeadAndTailReadsLeaveTheCursor) {
    insert_all("ABC");
    ASSERT_EQ(QUIL_DLinkList_PriorPtr(list), QUIL_SUCCESS);
    void *element = nullptr;
    EXPECT_EQ(QUIL_DLinkList_Get_HeadNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('A'));
    EXPECT_EQ(QUIL_DLinkList_Get_TailNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('C'));
    EXPECT_EQ(QUIL_DLinkList_Get_CurNode(list, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('B'));
    EXPECT_EQ(cursor(), 'B');
}

TEST_F(DLinkListTest, SteppingStopsAtBothEndsWithoutMovingTheCursor) {
    insert_all("ABC");
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Get_NextNode(list, &element), DLINK_NO_NEXT);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(QUIL_DLinkList_NextPtr(list), DLINK_NO_NEXT);
    EXPECT_EQ(cursor(), 'C');
    EXPECT_EQ(QUIL_DLinkList_Get_PriorNode(list, &element), QUIL_SUCCESS);
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

TEST_F(DLinkListTest, QueryFindsTheFirstMatchFromTheHeadAndPutsTheCursorThere) {
    insert_all("ABAB");
    void *element = nullptr;
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('B'), nullptr, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, list->head->next->element);
    EXPECT_EQ(list->cursor, list->head->next);
}

TEST_F(DLinkListTest, QueryWithoutAMatchReports30AndLeavesTheCursor) {
    insert_all("ABC");
    ASSERT_EQ(QUIL_DLinkList_PriorPtr(list), QUIL_SUCCESS);
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('X'), nullptr, &element), DLINK_NO_MATCH);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(cursor(), 'B');
}

TEST_F(DLinkListTest, QueryChecksItsArgumentsInOrderBeforeLookingAtTheList) {
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), nullptr, &element), DLINK_EMPTY);
    EXPECT_EQ(element, nullptr);
    element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Query(list, nullptr, nullptr, &element), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(element, el('Z'));
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), nullptr, nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Query(nullptr, el('A'), same_letter, &element), DLINK_BAD_ARGUMENT);
}

TEST_F(DLinkListTest, ACallersRoutineTakesPrecedenceOverTheStoredOne) {
    insert_all("ABC");
    auto always_second = [](const void *, const void *item) -> uint32_t {
        return letter(item) == 'B' ? 0u : 1u;
    };
    void *element = nullptr;
    EXPECT_EQ(QUIL_DLinkList_Query(list, el('A'), always_second, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('B'));
}

// ---- Removal and the cursor ----

TEST_F(DLinkListTest, RemovingByKeyMovesTheCursorNextToTheRemovedElement) {
    insert_all("RSPQ");
    ASSERT_EQ(QUIL_DLinkList_Set_CurPtr(list), QUIL_SUCCESS);
    void *element = nullptr;
    EXPECT_EQ(QUIL_DLinkList_Remove(list, el('P'), nullptr, &element), QUIL_SUCCESS);
    EXPECT_EQ(element, el('P'));
    EXPECT_EQ(cursor(), 'Q');
    EXPECT_EQ(QUIL_DLinkList_Remove(list, el('Q'), nullptr, &element), QUIL_SUCCESS);
    EXPECT_EQ(cursor(), 'S');
    EXPECT_EQ(contents(), "RS");
    EXPECT_TRUE(g_released.empty()) << "Remove hands the element back without releasing it";
}

TEST_F(DLinkListTest, RemovingWithoutAMatchChangesNothing) {
    insert_all("ABC");
    void *element = el('Z');
    EXPECT_EQ(QUIL_DLinkList_Remove(list, el('X'), nullptr, &element), DLINK_NO_MATCH);
    EXPECT_EQ(element, nullptr);
    EXPECT_EQ(contents(), "ABC");
    EXPECT_EQ(cursor(), 'C');
}

struct CursorRemovalCase {
    const char *name;
    int cursorIndex; // where the cursor stands in "ABCD" before the removal
    uint32_t (*remove)(DLinkList *, void **);
    char removed;
    const char *after;
    char cursorAfter;
};

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
                          'C'}),
    [](const testing::TestParamInfo<CursorRemovalCase> &info) { return info.param.name; });

TEST_F(DLinkListTest, RemovingTheOnlyElementEmptiesTheListWhichAcceptsNewOnes) {
    using Remover = uint32_t (*)(DLinkList *, void **);
    for (Remover remove : {QUIL_DLinkList_Remove_CurNode, QUIL_DLinkList_Remove_HeadNode,
                           QUIL_DLinkList_Remove_TailNode}) {
        insert_all("A");
        void *element = nullptr;
        ASSERT_EQ(remove(list, &element), QUIL_SUCCESS);
        EXPECT_EQ(element, el('A'));
        EXPECT_EQ(list->head, nullptr);
        EXPECT_EQ(list->tail, nullptr);
        EXPECT_EQ(contents(), "");
    }
    insert_all("B");
    EXPECT_EQ(contents(), "B");
}

TEST_F(DLinkListTest, DeleteReleasesExactlyTheRemovedElement) {
    insert_all("ABC");
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('B'), nullptr), QUIL_SUCCESS);
    EXPECT_EQ(g_released, std::vector<char>{'B'});
    EXPECT_EQ(cursor(), 'C');
    EXPECT_EQ(QUIL_DLinkList_Delete_HeadNode(list), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_DLinkList_Delete_TailNode(list), QUIL_SUCCESS);
    EXPECT_EQ(g_released, (std::vector<char>{'B', 'A', 'C'}));
    EXPECT_EQ(contents(), "");
}

TEST_F(DLinkListTest, AFailedDeleteCallsNoReleaseRoutine) {
    EXPECT_EQ(QUIL_DLinkList_Delete_TailNode(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Delete_HeadNode(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Delete_CurNode(list), DLINK_EMPTY);
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('A'), nullptr), DLINK_EMPTY);
    insert_all("A");
    EXPECT_EQ(QUIL_DLinkList_Delete(list, el('X'), nullptr), DLINK_NO_MATCH);
    EXPECT_EQ(QUIL_DLinkList_Delete(list, nullptr, nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_EQ(QUIL_DLinkList_Delete_CurNode(nullptr), DLINK_BAD_ARGUMENT);
    EXPECT_TRUE(g_released.empty());
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

struct Walk {
    explicit Walk(DLinkList *walked) : list(walked) {}
    DLinkList *list;
    std::string visited;
    char stopAt = 0;
    std::string deleteThese;
    char insertAfter = 0; // inserts 'Z' after this element when visiting it
};

uint32_t walk_visit(void *first, void *element, void *second) {
    auto *walk = static_cast<Walk *>(first);
    EXPECT_EQ(second, &walk->visited) << "the second caller value is passed unchanged";
    char c = letter(element);
    walk->visited += c;
    if (c == walk->stopAt) {
        return 1;
    }
    if (walk->deleteThese.find(c) != std::string::npos) {
        EXPECT_EQ(QUIL_DLinkList_Delete_CurNode(walk->list), QUIL_SUCCESS);
    }
    if (c == walk->insertAfter) {
        EXPECT_EQ(QUIL_DLinkList_Insert(walk->list, el('Z'), DLINK_POS_AFTER), QUIL_SUCCESS);
    }
    return 0;
}

TEST_F(DLinkListTest, AWalkVisitsEveryElementInOrderAndEndsOnTheLast) {
    insert_all("ABCD");
    Walk walk(list);
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), QUIL_SUCCESS);
    EXPECT_EQ(walk.visited, "ABCD");
    EXPECT_EQ(cursor(), 'D');
}

TEST_F(DLinkListTest, AWalkOverAnEmptyListNeverCallsTheRoutine) {
    Walk walk(list);
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), DLINK_EMPTY);
    EXPECT_EQ(walk.visited, "");
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, nullptr, &walk, nullptr), DLINK_BAD_ARGUMENT);
}

TEST_F(DLinkListTest, AStoppedWalkReports70WithTheCursorOnTheStoppingElement) {
    insert_all("ABCDE");
    Walk walk(list);
    walk.stopAt = 'C';
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), DLINK_STOPPED);
    EXPECT_EQ(walk.visited, "ABC");
    EXPECT_EQ(cursor(), 'C');
}

TEST_F(DLinkListTest, AWalkThatDeletesEveryElementVisitsEachOnceAndEmptiesTheList) {
    insert_all("ABCD");
    Walk walk(list);
    walk.deleteThese = "ABCD";
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), QUIL_SUCCESS);
    EXPECT_EQ(walk.visited, "ABCD");
    EXPECT_EQ(contents(), "");
    EXPECT_EQ(g_released, (std::vector<char>{'A', 'B', 'C', 'D'}));
}

TEST_F(DLinkListTest, AWalkThatDeletesSomeElementsSkipsNoneOfTheOthers) {
    insert_all("ABCDE");
    Walk walk(list);
    walk.deleteThese = "BC";
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), QUIL_SUCCESS);
    EXPECT_EQ(walk.visited, "ABCDE");
    EXPECT_EQ(contents(), "ADE");
}

TEST_F(DLinkListTest, DeletingTheLastElementDuringAWalkRevisitsItsPredecessor) {
    insert_all("ABC");
    Walk walk(list);
    walk.deleteThese = "C";
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), QUIL_SUCCESS);
    EXPECT_EQ(walk.visited, "ABCB");
    EXPECT_EQ(contents(), "AB");
}

TEST_F(DLinkListTest, AWalkGoesOnFromAnElementTheRoutineInserted) {
    insert_all("ABC");
    Walk walk(list);
    walk.insertAfter = 'B';
    EXPECT_EQ(QUIL_DLinkList_Process_List(list, walk_visit, &walk, &walk.visited), QUIL_SUCCESS);
    EXPECT_EQ(walk.visited, "ABZC");
    EXPECT_EQ(contents(), "ABZC");
}

} // namespace
