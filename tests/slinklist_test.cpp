// The static linked list: what the reference model below cannot see (the block's layout, the
// argument checks, walks whose routine deletes, Deinit's release order). The model test checks
// insertion at every position, the full list, the LIFO free list, every cursor rule and code; every
// allocation failure of Init is driven by fault_sweep_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

int g_items[64];
std::string g_released;

void *item(int n) {
    return &g_items[n];
}
int number(const void *element) {
    return static_cast<int>(static_cast<const int *>(element) - g_items);
}

// The key is an item number.
uint32_t match_number(const void *key, const void *element) {
    return *static_cast<const int *>(key) == number(element) ? 0 : 1;
}

void release_item(void *element) {
    g_released += std::to_string(number(element)) + " ";
}

class SLinkTest : public testing::Test {
  protected:
    void SetUp() override { g_released.clear(); }
    void TearDown() override {
        if (list_ != nullptr) {
            EXPECT_EQ(QUIL_SLinkList_Deinit(list_, 1), QUIL_SUCCESS);
        }
    }
    void make(uint32_t capacity) {
        ASSERT_EQ(QUIL_SLinkList_Init(capacity, match_number, release_item, &list_), QUIL_SUCCESS);
    }
    void insert_all(std::initializer_list<int> numbers) {
        for (int n : numbers) {
            ASSERT_EQ(QUIL_SLinkList_Insert(list_, item(n), SLINK_POS_TAIL), QUIL_SUCCESS);
        }
    }
    // The elements from the head, as "n n n", with the cursor's marked by a star.
    std::string contents() const {
        std::string text;
        for (uint32_t i = list_->head; i != SLINK_NONE; i = list_->nodes[i].next) {
            text +=
                std::to_string(number(list_->nodes[i].element)) + (i == list_->cursor ? "* " : " ");
        }
        return text;
    }
    SLinkList *list_ = nullptr;
};

TEST_F(SLinkTest, InitRefusesBadArgumentsWithoutAllocating) {
    const uint64_t maxCapacity = UINT32_MAX / sizeof(SLinkNode) - 3;
    uint64_t allocations = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
    SLinkList *l = nullptr;
    EXPECT_EQ(QUIL_SLinkList_Init(0, nullptr, release_item, &l), 10u);
    EXPECT_EQ(QUIL_SLinkList_Init(1, nullptr, release_item, nullptr), 10u);
    EXPECT_EQ(QUIL_SLinkList_Init(1, nullptr, nullptr, &l), 10u);
    EXPECT_EQ(
        QUIL_SLinkList_Init(static_cast<uint32_t>(maxCapacity + 1), nullptr, release_item, &l),
        10u);
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_ALLOC), allocations);

    // The largest capacity whose block fits reaches the allocator (which is made to fail).
    wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
    EXPECT_EQ(QUIL_SLinkList_Init(static_cast<uint32_t>(maxCapacity), nullptr, release_item, &l),
              20u);
    EXPECT_EQ(l, nullptr);
}

TEST_F(SLinkTest, TheNodesFollowTheRecordInItsBlock) {
    make(4); // the model test checks the free chain that starts here
    EXPECT_EQ(reinterpret_cast<SLinkNode *>(list_) + 3, list_->nodes);
}

TEST_F(SLinkTest, NullOutputLocationsAndAMissingRoutineAreRefusedAndChangeNothing) {
    make(3);
    insert_all({1, 2});
    ASSERT_EQ(QUIL_SLinkList_Set_CurPtr(list_), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_SLinkList_Get_NextNode(list_, nullptr), 10u);
    EXPECT_EQ(QUIL_SLinkList_Remove_CurNode(list_, nullptr), 10u);
    EXPECT_EQ(QUIL_SLinkList_Get_PriorNode(list_, nullptr), 10u);
    EXPECT_EQ(contents(), "1* 2 ");
    EXPECT_EQ(g_released, "");
    SLinkList *noRoutine = nullptr;
    int key = 1;
    void *out = item(9);
    ASSERT_EQ(QUIL_SLinkList_Init(1, nullptr, release_item, &noRoutine), QUIL_SUCCESS);
    EXPECT_EQ(QUIL_SLinkList_Query(noRoutine, &key, nullptr, &out), 10u)
        << "no routine to search by";
    QUIL_SLinkList_Deinit(noRoutine, 0);
}

struct Visitor {
    SLinkList *list;
    int deleteFrom = 99; // delete every element whose number is at least this
    int stopAt = -1;
    std::string seen;
};

uint32_t visit(void *v, void *element, void *) {
    auto *visitor = static_cast<Visitor *>(v);
    visitor->seen += std::to_string(number(element)) + " ";
    if (number(element) == visitor->stopAt) {
        return 1;
    }
    if (number(element) >= visitor->deleteFrom) {
        EXPECT_EQ(QUIL_SLinkList_Delete_CurNode(visitor->list), QUIL_SUCCESS);
    }
    return 0;
}

TEST_F(SLinkTest, WalksStopOnRequestAndSurviveDeletingTheVisitedElement) {
    make(4);
    Visitor empty{list_, 99, -1, ""};
    EXPECT_EQ(QUIL_SLinkList_Process_List(list_, visit, &empty, nullptr), 70u);
    EXPECT_EQ(empty.seen, "");
    insert_all({0, 1, 2, 3});

    Visitor stopping{list_, 99, 2, ""};
    EXPECT_EQ(QUIL_SLinkList_Process_List(list_, visit, &stopping, nullptr), 80u);
    EXPECT_EQ(contents(), "0 1 2* 3 ");

    Visitor deletingLast{list_, 3, -1, ""}; // the predecessor is visited again
    EXPECT_EQ(QUIL_SLinkList_Process_List(list_, visit, &deletingLast, nullptr), QUIL_SUCCESS);
    EXPECT_EQ(deletingLast.seen, "0 1 2 3 2 ");
    EXPECT_EQ(contents(), "0 1 2* ");

    Visitor deletingAll{list_, 0, -1, ""};
    EXPECT_EQ(QUIL_SLinkList_Process_List(list_, visit, &deletingAll, nullptr), QUIL_SUCCESS);
    EXPECT_EQ(deletingAll.seen, "0 1 2 ");
    EXPECT_EQ(list_->count, 0u);
    EXPECT_EQ(g_released, "3 0 1 2 ");
}

TEST_F(SLinkTest, DeinitReleasesEveryElementFromFirstToLastOrNone) {
    make(4);
    insert_all({2, 0, 1});
    EXPECT_EQ(QUIL_SLinkList_Deinit(list_, 0), QUIL_SUCCESS);
    EXPECT_EQ(g_released, "2 0 1 ");
    list_ = nullptr;
    make(4);
    insert_all({2, 0, 1});
    g_released.clear();
    EXPECT_EQ(QUIL_SLinkList_Deinit(list_, 1), QUIL_SUCCESS);
    EXPECT_EQ(g_released, "");
    list_ = nullptr;
}

TEST_F(SLinkTest, NodeManagementRefusesWhatItCannotTakeOrGiveBack) {
    make(1);
    EXPECT_EQ(QUIL_SLinkList_AllocNode(nullptr), SLINK_NONE);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list_, 0), 10u); // nothing is in use
    EXPECT_EQ(QUIL_SLinkList_AllocNode(list_), 0u);
    EXPECT_EQ(QUIL_SLinkList_AllocNode(list_), SLINK_NONE);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list_, SLINK_NONE), 10u);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list_, 1), 10u);
    EXPECT_EQ(QUIL_SLinkList_FreeNode(list_, 0), QUIL_SUCCESS);
    EXPECT_EQ(list_->count, 0u);
    EXPECT_EQ(list_->freeHead, 0u);
}

// A reference for the list: item numbers with the node each should occupy, a cursor, and the
// free nodes as a stack.
struct Entry {
    int number;
    uint32_t node;
};
struct SLinkModel {
    std::list<Entry> entries;
    std::list<Entry>::iterator cursor = entries.end();
    std::vector<uint32_t> freeNodes;

    // Removes *at, with the cursor rule of every removal; returns its element.
    void *remove(std::list<Entry>::iterator at) {
        freeNodes.push_back(at->node);
        void *element = item(at->number);
        auto next = entries.erase(at);
        cursor = next != entries.end() || entries.empty() ? next : std::prev(next);
        return element;
    }
    std::list<Entry>::iterator find(int key) {
        auto at = entries.begin();
        while (at != entries.end() && at->number != key) {
            ++at;
        }
        return at;
    }
};

void expect_same(const SLinkList *list, const SLinkModel &model) {
    ASSERT_EQ(list->count, model.entries.size());
    if (model.entries.empty()) {
        ASSERT_EQ(list->cursor, SLINK_NONE);
    }
    uint32_t prev = SLINK_NONE;
    uint32_t i = list->head;
    for (auto at = model.entries.begin(); at != model.entries.end(); ++at) {
        ASSERT_EQ(i, at->node);
        ASSERT_EQ(number(list->nodes[i].element), at->number);
        ASSERT_EQ(list->nodes[i].prev, prev);
        ASSERT_EQ(i == list->cursor, at == model.cursor);
        prev = i;
        i = list->nodes[i].next;
    }
    ASSERT_EQ(i, SLINK_NONE);
    ASSERT_EQ(list->tail, prev);
    uint32_t f = list->freeHead;
    for (auto node = model.freeNodes.rbegin(); node != model.freeNodes.rend(); ++node) {
        ASSERT_EQ(f, *node);
        ASSERT_EQ(list->nodes[f].element, nullptr);
        f = list->nodes[f].next;
    }
    ASSERT_EQ(f, SLINK_NONE);
}

uint32_t stop_at_countdown(void *countdown, void *, void *) {
    return --*static_cast<int *>(countdown) == 0 ? 1 : 0;
}

TEST_F(SLinkTest, RandomOperationsMatchAReferenceModel) {
    constexpr uint32_t kCapacity = 24;
    constexpr int kNumbers = 20; // fewer numbers than nodes: searches meet duplicates
    make(kCapacity);
    SLinkModel model;
    for (uint32_t n = kCapacity; n-- > 0;) {
        model.freeNodes.push_back(n);
    }
    std::mt19937 rng(20261206);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 100000; ++step) {
        const bool empty = model.entries.empty();
        const uint32_t emptyCode = empty ? SLINK_EMPTY : QUIL_SUCCESS;
        auto &cursor = model.cursor;
        void *out = item(63);
        int n = pick(kNumbers);
        int op = pick(12);
        if ((step / 5000) % 2 == 1 && op == 0) {
            op = 4; // every other stretch drains the list
        }
        switch (op) {
        case 0:
        case 1:
        case 2: { // insert; position 4 stands for any unknown one
            auto position = static_cast<uint32_t>(pick(5));
            uint32_t expected = model.freeNodes.empty()  ? SLINK_FULL
                                : !empty && position > 3 ? SLINK_BAD_ARGUMENT
                                                         : QUIL_SUCCESS;
            ASSERT_EQ(QUIL_SLinkList_Insert(list_, item(n), position), expected);
            if (expected == QUIL_SUCCESS) {
                Entry e{n, model.freeNodes.back()};
                model.freeNodes.pop_back();
                auto at = empty || position == 1 ? model.entries.end()
                          : position == 0        ? model.entries.begin()
                          : position == 2        ? cursor
                                                 : std::next(cursor);
                cursor = model.entries.insert(at, e);
            }
            break;
        }
        case 3: { // search, remove or delete by number
            int how = pick(3);
            auto at = model.find(n);
            uint32_t expected = empty                       ? SLINK_EMPTY
                                : at == model.entries.end() ? SLINK_NO_MATCH
                                                            : QUIL_SUCCESS;
            void *found = expected == QUIL_SUCCESS ? item(n) : nullptr;
            uint32_t result = how == 0   ? QUIL_SLinkList_Query(list_, &n, nullptr, &out)
                              : how == 1 ? QUIL_SLinkList_Remove(list_, &n, match_number, &out)
                                         : QUIL_SLinkList_Delete(list_, &n, nullptr);
            ASSERT_EQ(result, expected);
            ASSERT_EQ(out, how == 2 ? item(63) : found);
            if (expected == QUIL_SUCCESS && how == 0) {
                cursor = at;
            } else if (expected == QUIL_SUCCESS) {
                model.remove(at);
            }
            break;
        }
        case 4: // remove or read an end or the cursor's element
        case 5:
        case 6:
        case 7: {
            using Reader = uint32_t (*)(SLinkList *, void **);
            static constexpr Reader kReaders[2][3] = {
                {QUIL_SLinkList_Get_HeadNode, QUIL_SLinkList_Get_TailNode,
                 QUIL_SLinkList_Get_CurNode},
                {QUIL_SLinkList_Remove_HeadNode, QUIL_SLinkList_Remove_TailNode,
                 QUIL_SLinkList_Remove_CurNode}};
            const bool removing = op < 6;
            const int which = pick(3); // head, tail, cursor
            ASSERT_EQ(kReaders[removing][which](list_, &out), emptyCode);
            if (empty) {
                ASSERT_EQ(out, which == 2 ? item(63) : nullptr); // only the end readers preset it
                break;
            }
            auto at = which == 0   ? model.entries.begin()
                      : which == 1 ? std::prev(model.entries.end())
                                   : cursor;
            ASSERT_EQ(out, item(at->number));
            if (removing) {
                model.remove(at);
            }
            break;
        }
        case 8: // step forward, with or without reading
        case 9: {
            bool forward = pick(2) == 0;
            bool read = pick(2) == 0;
            bool atEnd = !empty && (forward ? std::next(cursor) == model.entries.end()
                                            : cursor == model.entries.begin());
            uint32_t expected = empty   ? SLINK_EMPTY
                                : atEnd ? (forward ? SLINK_NO_NEXT : SLINK_NO_PRIOR)
                                        : QUIL_SUCCESS;
            uint32_t result = forward ? (read ? QUIL_SLinkList_Get_NextNode(list_, &out)
                                              : QUIL_SLinkList_NextPtr(list_))
                                      : (read ? QUIL_SLinkList_Get_PriorNode(list_, &out)
                                              : QUIL_SLinkList_PriorPtr(list_));
            ASSERT_EQ(result, expected);
            if (expected == QUIL_SUCCESS) {
                cursor = forward ? std::next(cursor) : std::prev(cursor);
            }
            ASSERT_EQ(out, !read || empty  ? item(63)
                           : expected != 0 ? nullptr
                                           : item(cursor->number));
            break;
        }
        case 10:
            ASSERT_EQ(QUIL_SLinkList_Set_CurPtr(list_), QUIL_SUCCESS);
            cursor = model.entries.begin();
            break;
        default: { // a walk that stops at a random element or runs to the end
            int countdown = pick(static_cast<int>(kCapacity)) + 1;
            int size = static_cast<int>(model.entries.size());
            uint32_t expected = empty ? SLINK_EMPTY : countdown <= size ? SLINK_STOPPED : 0u;
            if (!empty) {
                cursor = std::next(model.entries.begin(), std::min(countdown, size) - 1);
            }
            ASSERT_EQ(QUIL_SLinkList_Process_List(list_, stop_at_countdown, &countdown, nullptr),
                      expected);
            break;
        }
        }
        g_released.clear();
        expect_same(list_, model);
        if (HasFatalFailure()) {
            FAIL() << "at step " << step;
        }
    }
}

} // namespace
