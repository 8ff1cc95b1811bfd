// An operation sequence taken from the input runs on one of the three containers (the first byte
// chooses) and on a plain reference model; after every step the result code, the element handed
// out, the contents in order, the count, the cursor and (static list) the node reuse must agree,
// a refused call must change nothing, and nothing may leak. Also run under ctest.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <list>
#include <map>
#include <vector>

#include "fuzz_support.h"
#include "wex_dlinklist.h"
#include "wex_hash.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

using wexfuzz::check;

// ---- Elements: numbered items; a key is a pointer to a number ----

constexpr int kNumbers = 12;      // few numbers, so that searches meet duplicates and misses
constexpr int kPreset = kNumbers; // the element a test puts into an output before a call
int g_items[kNumbers + 1];
std::vector<void *> g_released;

void *item(int number) {
    return &g_items[number];
}
int number_of(const void *element) {
    return static_cast<int>(static_cast<const int *>(element) - g_items);
}
uint32_t match_number(const void *key, const void *element) {
    return *static_cast<const int *>(key) == number_of(element) ? 0 : 1;
}
void record_release(void *element) {
    g_released.push_back(element);
}

// Checks that exactly the elements expected went to the release routine since the last check.
void check_released(std::initializer_list<void *> expected) {
    check(std::equal(g_released.begin(), g_released.end(), expected.begin(), expected.end()),
          "the release routine gets exactly the removed elements");
    g_released.clear();
}

// What a walk's visit routine does, one byte of the input per visit.
enum class VisitAction { Continue, Stop, DeleteVisited };

struct Walk {
    FuzzedDataProvider *input;
    std::vector<VisitAction> actions; // what the routine did, visit by visit
};

// The visit routine of every walk: the container is the second caller value.
template <class Container, uint32_t (*DeleteVisited)(Container *)>
uint32_t visit(void *walkState, void *element, void *container) {
    auto &walk = *static_cast<Walk *>(walkState);
    check(element != nullptr, "a walk visits elements");
    auto action = static_cast<VisitAction>(walk.input->ConsumeIntegralInRange<int>(0, 2));
    if (walk.input->remaining_bytes() == 0) {
        action = VisitAction::Continue;
    }
    walk.actions.push_back(action);
    if (action == VisitAction::DeleteVisited) {
        check(DeleteVisited(static_cast<Container *>(container)) == QUIL_SUCCESS,
              "a walk may delete the element it visits");
    }
    return action == VisitAction::Stop ? 1 : 0;
}

// The calls both lists offer, by the family's prefix.
#define WEX_LIST_CALLS(P)                                                                          \
    static constexpr auto Insert = QUIL_##P##_Insert;                                              \
    static constexpr auto SetCursor = QUIL_##P##_Set_CurPtr;                                       \
    static constexpr auto NextPtr = QUIL_##P##_NextPtr;                                            \
    static constexpr auto PriorPtr = QUIL_##P##_PriorPtr;                                          \
    static constexpr auto GetNext = QUIL_##P##_Get_NextNode;                                       \
    static constexpr auto GetPrior = QUIL_##P##_Get_PriorNode;                                     \
    static constexpr auto Query = QUIL_##P##_Query;                                                \
    static constexpr auto Remove = QUIL_##P##_Remove;                                              \
    static constexpr auto Delete = QUIL_##P##_Delete;                                              \
    static constexpr auto DeleteCur = QUIL_##P##_Delete_CurNode;                                   \
    static constexpr auto Walk = QUIL_##P##_Process_List;                                          \
    static constexpr auto Deinit = QUIL_##P##_Deinit;                                              \
    static constexpr auto Count = QUIL_##P##_Get_NodeNumber;                                       \
    static constexpr uint32_t (*kReaders[2][3])(List *, void **) = {                               \
        {QUIL_##P##_Get_HeadNode, QUIL_##P##_Get_TailNode, QUIL_##P##_Get_CurNode},                \
        {QUIL_##P##_Remove_HeadNode, QUIL_##P##_Remove_TailNode, QUIL_##P##_Remove_CurNode}};      \
    static constexpr uint32_t (*kDeleters[3])(List *) = {                                          \
        QUIL_##P##_Delete_HeadNode, QUIL_##P##_Delete_TailNode, QUIL_##P##_Delete_CurNode}

struct DLinkFamily {
    using List = DLinkList;
    static constexpr uint32_t kBadArgument = DLINK_BAD_ARGUMENT, kNoMatch = DLINK_NO_MATCH,
                              kNoPrior = DLINK_NO_PRIOR, kNoNext = DLINK_NO_NEXT,
                              kEmpty = DLINK_EMPTY, kStopped = DLINK_STOPPED,
                              kFull = 0 /* never full */, kNoMemory = DLINK_NO_MEMORY;
    static constexpr bool kEmptyCursorReadClears = true;
    WEX_LIST_CALLS(DLinkList);

    static List *make(FuzzedDataProvider &) {
        List *list = nullptr;
        check(QUIL_DLinkList_Init(match_number, record_release, &list) == QUIL_SUCCESS,
              "a list can be made");
        return list;
    }
    // The elements head to tail, with every link checked both ways; cursorAt gets the cursor's
    // place (the size when the cursor is null).
    static std::vector<int> contents(const List *list, size_t *cursorAt) {
        std::vector<int> numbers;
        *cursorAt = SIZE_MAX;
        const DLinkNode *prev = nullptr;
        for (const DLinkNode *n = list->head; n != nullptr; n = n->next) {
            check(n->prev == prev && numbers.size() < list->count, "list links hold both ways");
            if (n == list->cursor) {
                *cursorAt = numbers.size();
            }
            numbers.push_back(number_of(n->element));
            prev = n;
        }
        check(list->tail == prev, "the tail is the last node");
        if (list->cursor == nullptr) {
            *cursorAt = numbers.size();
        }
        return numbers;
    }
    static std::vector<uint32_t> free_nodes(const List *) { return {}; }
};

struct SLinkFamily {
    using List = SLinkList;
    static constexpr uint32_t kBadArgument = SLINK_BAD_ARGUMENT, kNoMatch = SLINK_NO_MATCH,
                              kNoPrior = SLINK_NO_PRIOR, kNoNext = SLINK_NO_NEXT,
                              kEmpty = SLINK_EMPTY, kStopped = SLINK_STOPPED, kFull = SLINK_FULL,
                              kNoMemory = 0 /* insertion allocates nothing */;
    // On an empty list the cursor readers leave the output; the end readers clear it.
    static constexpr bool kEmptyCursorReadClears = false;
    WEX_LIST_CALLS(SLinkList);
    static constexpr uint32_t kLargestCapacity = 16;

    static List *make(FuzzedDataProvider &input) {
        List *list = nullptr;
        auto capacity = input.ConsumeIntegralInRange<uint32_t>(1, kLargestCapacity);
        check(QUIL_SLinkList_Init(capacity, match_number, record_release, &list) == QUIL_SUCCESS,
              "a list can be made");
        return list;
    }
    static std::vector<int> contents(const List *list, size_t *cursorAt) {
        std::vector<int> numbers;
        *cursorAt = SIZE_MAX;
        uint32_t prev = SLINK_NONE;
        for (uint32_t i = list->head; i != SLINK_NONE; i = list->nodes[i].next) {
            check(i < list->capacity && list->nodes[i].prev == prev && numbers.size() < list->count,
                  "list links hold both ways");
            if (i == list->cursor) {
                *cursorAt = numbers.size();
            }
            numbers.push_back(number_of(list->nodes[i].element));
            prev = i;
        }
        check(list->tail == prev, "the tail is the last node");
        if (list->cursor == SLINK_NONE) {
            *cursorAt = numbers.size();
        }
        uint32_t capacity = 0;
        check(QUIL_SLinkList_Get_MaxNodeNumber(const_cast<List *>(list), &capacity) == 0 &&
                  capacity == list->capacity,
              "the capacity reads back");
        check(free_nodes(list).size() + list->count == list->capacity,
              "every node is in use or free");
        return numbers;
    }
    // The free chain from its head: the node freed last comes first and is reused first.
    static std::vector<uint32_t> free_nodes(const List *list) {
        std::vector<uint32_t> chain;
        for (uint32_t i = list->freeHead; i != SLINK_NONE; i = list->nodes[i].next) {
            check(i < list->capacity && chain.size() < list->capacity &&
                      list->nodes[i].element == nullptr,
                  "the free chain is sound");
            chain.push_back(i);
        }
        return chain;
    }
};

template <class Family> class ListRun {
  public:
    explicit ListRun(FuzzedDataProvider &input)
        : input_(input), list_(Family::make(input)), capacity_(capacity_of(list_)),
          keepElements_(input.ConsumeBool()) {}
    ~ListRun() {
        check(Family::Deinit(list_, keepElements_) == QUIL_SUCCESS, "a list can be ended");
        std::vector<void *> expected;
        for (int n : keepElements_ ? Model() : model_) {
            expected.push_back(item(n));
        }
        check(g_released == expected, "ending a list releases every element, first to last");
        g_released.clear();
    }
    ListRun(const ListRun &) = delete;
    ListRun &operator=(const ListRun &) = delete;

    void step() {
        using Op = void (ListRun::*)();
        static constexpr Op kOps[] = {&ListRun::insert,      &ListRun::insert,
                                      &ListRun::search,      &ListRun::read_or_remove_end,
                                      &ListRun::step_cursor, &ListRun::delete_end,
                                      &ListRun::walk,        &ListRun::reset_cursor,
                                      &ListRun::refuse};
        (this->*kOps[input_.ConsumeIntegralInRange<size_t>(0, std::size(kOps) - 1)])();
        compare();
        check_node_reuse();
    }

  private:
    using Model = std::list<int>;

    static uint32_t capacity_of(const DLinkList *) { return UINT32_MAX; }
    static uint32_t capacity_of(const SLinkList *list) { return list->capacity; }

    bool empty() const { return model_.empty(); }
    uint32_t empty_or(uint32_t code) const { return empty() ? Family::kEmpty : code; }

    // Removes *at from the model with the cursor rule of every removal; returns its element.
    void *remove(Model::iterator at) {
        void *element = item(*at);
        auto next = model_.erase(at);
        cursor_ = next != model_.end() || model_.empty() ? next : std::prev(next);
        return element;
    }

    void reset_cursor() {
        check(Family::SetCursor(list_) == QUIL_SUCCESS, "the cursor can be reset");
        cursor_ = model_.begin();
    }

    // A null list, output, element, key or routine: refused with 10 before anything changes.
    void refuse() {
        typename Family::List *none = nullptr;
        void *out = item(kPreset);
        int key = 0;
        auto visit = [](void *, void *, void *) -> uint32_t { return 0; };
        int which = input_.ConsumeIntegralInRange<int>(0, 29);
        uint32_t result = which < 12 ? Family::kReaders[which / 6][which / 2 % 3](
                                           which % 2 ? list_ : none, which % 2 ? nullptr : &out)
                          : which < 15  ? Family::kDeleters[which - 12](none)
                          : which == 15 ? Family::Insert(list_, nullptr, 0)
                          : which == 16 ? Family::Insert(none, item(0), 0)
                          : which == 17 ? Family::Query(list_, nullptr, match_number, &out)
                          : which == 18 ? Family::Query(list_, &key, match_number, nullptr)
                          : which == 19 ? Family::Query(none, &key, match_number, &out)
                          : which == 20 ? Family::Remove(list_, &key, match_number, nullptr)
                          : which == 21 ? Family::Delete(none, &key, match_number)
                          : which == 22 ? Family::Walk(list_, nullptr, nullptr, nullptr)
                          : which == 23 ? Family::Walk(none, visit, nullptr, nullptr)
                          : which == 24 ? Family::Count(list_, nullptr)
                          : which == 25 ? Family::GetNext(list_, nullptr)
                          : which == 26 ? Family::GetPrior(list_, nullptr)
                          : which == 27 ? Family::NextPtr(none)
                          : which == 28 ? Family::PriorPtr(none)
                                        : Family::Deinit(none, 0);
        check(result == Family::kBadArgument && out == item(kPreset),
              "a null argument is refused with 10 and the output kept");
        check_released({});
    }

    void insert() {
        int n = input_.ConsumeIntegralInRange<int>(0, kNumbers - 1);
        auto position = input_.ConsumeIntegralInRange<uint32_t>(0, 4); // 4: unknown
        bool failAllocation = input_.ConsumeIntegralInRange<int>(0, 15) == 0;
        QUIL_Adapter_FailNth(QUIL_OP_ALLOC, failAllocation ? 1 : 0);
        uint32_t result = Family::Insert(list_, item(n), position);
        QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 0);
        bool full = model_.size() == capacity_;
        uint32_t expected = full                                       ? Family::kFull
                            : Family::kNoMemory != 0 && failAllocation ? Family::kNoMemory
                            : !empty() && position > 3                 ? Family::kBadArgument
                                                                       : QUIL_SUCCESS;
        check(result == expected, "insertion gives the model's code");
        if (expected == QUIL_SUCCESS) {
            auto at = empty() || position == 1 ? model_.end()
                      : position == 0          ? model_.begin()
                      : position == 2          ? cursor_
                                               : std::next(cursor_);
            cursor_ = model_.insert(at, n);
        }
    }

    void search() {
        int key = input_.ConsumeIntegralInRange<int>(0, kNumbers - 1);
        int how = input_.ConsumeIntegralInRange<int>(0, 2);
        auto at = std::find(model_.begin(), model_.end(), key);
        uint32_t expected = empty_or(at == model_.end() ? Family::kNoMatch : QUIL_SUCCESS);
        void *out = item(kPreset);
        uint32_t result = how == 0   ? Family::Query(list_, &key, nullptr, &out)
                          : how == 1 ? Family::Remove(list_, &key, match_number, &out)
                                     : Family::Delete(list_, &key, nullptr);
        check(result == expected, "a search gives the model's code");
        if (expected != QUIL_SUCCESS) {
            check(how == 2 || out == nullptr, "a failed search clears the output");
            check_released({});
            return;
        }
        check(how == 2 || out == item(key), "a search hands out the first match");
        if (how == 0) {
            cursor_ = at;
            return;
        }
        void *removed = remove(at);
        if (how == 2) {
            check_released({removed});
        }
    }

    void read_or_remove_end() {
        bool removing = input_.ConsumeBool();
        int which = input_.ConsumeIntegralInRange<int>(0, 2); // head, tail, cursor
        void *out = item(kPreset);
        uint32_t result = Family::kReaders[removing][which](list_, &out);
        check(result == empty_or(QUIL_SUCCESS), "reading an end gives the model's code");
        if (empty()) {
            bool clears = which != 2 || Family::kEmptyCursorReadClears;
            check(out == (clears ? nullptr : item(kPreset)), "an empty list hands out nothing");
            return;
        }
        auto at = which == 0 ? model_.begin() : which == 1 ? std::prev(model_.end()) : cursor_;
        check(out == item(*at), "an end or the cursor's element is handed out");
        if (removing) {
            remove(at);
        }
    }

    void delete_end() {
        int which = input_.ConsumeIntegralInRange<int>(0, 2);
        check(Family::kDeleters[which](list_) == empty_or(QUIL_SUCCESS),
              "deleting an end gives the model's code");
        if (empty()) {
            check_released({});
            return;
        }
        auto at = which == 0 ? model_.begin() : which == 1 ? std::prev(model_.end()) : cursor_;
        check_released({remove(at)});
    }

    void step_cursor() {
        bool forward = input_.ConsumeBool();
        bool reading = input_.ConsumeBool();
        bool atEnd =
            !empty() && (forward ? std::next(cursor_) == model_.end() : cursor_ == model_.begin());
        uint32_t expected =
            empty_or(atEnd ? (forward ? Family::kNoNext : Family::kNoPrior) : QUIL_SUCCESS);
        void *out = item(kPreset);
        uint32_t result = forward
                              ? (reading ? Family::GetNext(list_, &out) : Family::NextPtr(list_))
                              : (reading ? Family::GetPrior(list_, &out) : Family::PriorPtr(list_));
        check(result == expected, "a cursor step gives the model's code");
        if (expected != QUIL_SUCCESS) {
            bool clears = reading && (!empty() || Family::kEmptyCursorReadClears);
            check(out == (clears ? nullptr : item(kPreset)), "a refused step hands out nothing");
            return;
        }
        cursor_ = forward ? std::next(cursor_) : std::prev(cursor_);
        check(!reading || out == item(*cursor_), "a step hands out the new cursor's element");
    }

    // Replays on the model what the walk's routine did: the walk goes on from the cursor when the
    // routine moved it, else with the visited element's successor.
    void walk() {
        Walk walk{&input_, {}};
        uint32_t result =
            Family::Walk(list_, visit<typename Family::List, Family::DeleteCur>, &walk, list_);
        uint32_t expected = empty_or(QUIL_SUCCESS);
        std::vector<void *> deleted;
        auto at = model_.begin();
        for (VisitAction action : walk.actions) {
            check(at != model_.end(), "a walk visits no more elements than the model");
            cursor_ = at;
            if (action == VisitAction::Stop) {
                expected = Family::kStopped;
                break;
            }
            if (action == VisitAction::DeleteVisited) {
                deleted.push_back(remove(at));
                at = cursor_;
            } else {
                ++at;
            }
        }
        check(expected == Family::kStopped || at == model_.end(),
              "a finished walk visited every element");
        check(result == expected, "a walk gives the model's code");
        check(g_released == deleted, "a walk's deletions release the visited elements");
        g_released.clear();
    }

    void compare() {
        size_t cursorAt = 0;
        std::vector<int> numbers = Family::contents(list_, &cursorAt);
        check(std::equal(numbers.begin(), numbers.end(), model_.begin(), model_.end()),
              "the list holds the model's elements in order");
        check(cursorAt == static_cast<size_t>(std::distance(model_.begin(), cursor_)),
              "the cursor stands where the model's does");
        uint32_t count = UINT32_MAX;
        check(Family::Count(list_, &count) == 0 && count == model_.size(), "the count reads back");
    }

    // Nodes freed in a step go to the front of the free chain, last freed first; an insertion
    // takes the front node. What is left of the chain before the step keeps its order.
    void check_node_reuse() {
        std::vector<uint32_t> now = Family::free_nodes(list_);
        auto wasFree = [this](uint32_t n) {
            return std::find(free_.begin(), free_.end(), n) != free_.end();
        };
        auto kept = std::find_if(now.begin(), now.end(), wasFree);
        auto keptCount = static_cast<size_t>(std::distance(kept, now.end()));
        check(keptCount <= free_.size() &&
                  std::equal(kept, now.end(), free_.end() - static_cast<long>(keptCount)),
              "freed nodes are reused last freed first");
        free_ = now;
    }

    FuzzedDataProvider &input_;
    typename Family::List *list_;
    size_t capacity_;
    bool keepElements_;
    Model model_;
    Model::iterator cursor_ = model_.end();
    std::vector<uint32_t> free_ = Family::free_nodes(list_);
};

// ---- The hash table ----

constexpr uint32_t kKeys = 24;
constexpr uint32_t kLargestBucketCount = 8;

uint32_t hash_key(const void *key, uint32_t *value) {
    std::memcpy(value, key, sizeof *value);
    return 0;
}
uint32_t compare_key(const void *key, const void *stored) {
    return std::memcmp(key, stored, sizeof(uint32_t)) == 0 ? 0 : 1;
}
void release_key(void *copy) {
    QUIL_MemFreeD(copy, __LINE__, "containers_fuzzer");
}

class HashRun {
  public:
    explicit HashRun(FuzzedDataProvider &input)
        : input_(input), keepElements_(input.ConsumeBool()) {
        auto buckets = input.ConsumeIntegralInRange<uint32_t>(1, kLargestBucketCount);
        check(QUIL_Hash_Init(buckets, hash_key, compare_key, release_key, record_release,
                             &table_) == QUIL_SUCCESS,
              "a table can be made");
        chains_.resize(buckets);
    }
    ~HashRun() {
        check(QUIL_Hash_Deinit(table_, keepElements_) == QUIL_SUCCESS, "a table can be ended");
        std::vector<void *> expected;
        for (const Chain &chain : keepElements_ ? std::vector<Chain>() : chains_) {
            for (uint32_t key : chain) {
                expected.push_back(elements_.at(key));
            }
        }
        check(g_released == expected, "ending a table releases every element in walk order");
        g_released.clear();
    }
    HashRun(const HashRun &) = delete;
    HashRun &operator=(const HashRun &) = delete;

    void step() {
        auto key = input_.ConsumeIntegralInRange<uint32_t>(0, kKeys - 1);
        switch (input_.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
        case 1:
            insert(key);
            break;
        case 2:
            search(key);
            break;
        case 3:
            remove_at_cursor();
            break;
        default:
            walk();
            break;
        }
        compare();
    }

  private:
    using Chain = std::list<uint32_t>;

    Chain &chain_of(uint32_t key) { return chains_[key % chains_.size()]; }
    bool empty() const { return elements_.empty(); }

    // Removes key from the model; the cursor moves to its successor in the chain, or to none.
    void *remove(uint32_t key) {
        Chain &chain = chain_of(key);
        auto next = chain.erase(std::find(chain.begin(), chain.end(), key));
        cursor_ = next == chain.end() ? nullptr : &*next;
        void *element = elements_.at(key);
        elements_.erase(key);
        return element;
    }

    void insert(uint32_t key) {
        void *element = item(input_.ConsumeIntegralInRange<int>(0, kNumbers - 1));
        bool present = elements_.count(key) != 0;
        auto failing = input_.ConsumeIntegralInRange<uint32_t>(0, 7); // 1, 2: key copy or entry
        QUIL_Adapter_FailNth(QUIL_OP_ALLOC, failing <= 2 ? failing : 0);
        uint32_t result = QUIL_Hash_Insert(table_, &key, sizeof key, element);
        QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 0);
        uint32_t expected = present                        ? HASH_DUPLICATE
                            : failing == 1 || failing == 2 ? HASH_NO_MEMORY
                                                           : QUIL_SUCCESS;
        check(result == expected, "insertion gives the model's code");
        if (expected == QUIL_SUCCESS) {
            elements_[key] = element;
            chain_of(key).push_front(key);
            cursor_ = &chain_of(key).front();
        }
    }

    void search(uint32_t key) {
        int how = input_.ConsumeIntegralInRange<int>(0, 2);
        bool present = elements_.count(key) != 0;
        uint32_t expected = empty() ? HASH_EMPTY : present ? QUIL_SUCCESS : HASH_NO_MATCH;
        void *out = item(kPreset);
        uint32_t result = how == 0   ? QUIL_Hash_Query(table_, &key, &out)
                          : how == 1 ? QUIL_Hash_Remove(table_, &key, &out)
                                     : QUIL_Hash_Delete(table_, &key);
        check(result == expected, "a search gives the model's code");
        if (expected != QUIL_SUCCESS) {
            check(out == item(kPreset), "a failed search leaves the output");
            check_released({});
            return;
        }
        void *element = elements_.at(key);
        check(how == 2 || out == element, "a search hands out the key's element");
        if (how == 0) {
            Chain &chain = chain_of(key);
            cursor_ = &*std::find(chain.begin(), chain.end(), key);
            return;
        }
        remove(key);
        if (how == 2) {
            check_released({element});
        }
    }

    void remove_at_cursor() {
        bool deleting = input_.ConsumeBool();
        void *out = item(kPreset);
        uint32_t result =
            deleting ? QUIL_Hash_Delete_CurNode(table_) : QUIL_Hash_Remove_CurNode(table_, &out);
        check(result == (cursor_ != nullptr ? QUIL_SUCCESS : HASH_NO_CURRENT),
              "removing at the cursor gives the model's code");
        if (cursor_ == nullptr) {
            check(deleting || out == nullptr, "a failed removal hands out nothing");
            check_released({});
            return;
        }
        void *element = remove(*cursor_);
        if (deleting) {
            check_released({element});
        } else {
            check(out == element, "removing at the cursor hands out its element");
        }
    }

    // Replays the walk on the model: bucket by bucket, each chain from its head, going on with a
    // deleted entry's successor.
    void walk() {
        Walk walk{&input_, {}};
        uint32_t result = QUIL_Hash_Process_Table(
            table_, visit<HashTable, QUIL_Hash_Delete_CurNode>, &walk, table_);
        uint32_t expected = empty() ? HASH_EMPTY : QUIL_SUCCESS;
        std::vector<void *> deleted;
        size_t action = 0;
        for (Chain &chain : chains_) {
            for (auto at = chain.begin(); at != chain.end() && expected != HASH_STOPPED;) {
                check(action < walk.actions.size(), "a walk visits every entry");
                cursor_ = &*at;
                VisitAction what = walk.actions[action++];
                if (what == VisitAction::Stop) {
                    expected = HASH_STOPPED;
                } else if (what == VisitAction::DeleteVisited) {
                    uint32_t key = *at++;
                    deleted.push_back(remove(key));
                } else {
                    ++at;
                }
            }
        }
        check(action == walk.actions.size(), "a walk visits no more entries than the model");
        check(result == expected, "a walk gives the model's code");
        check(g_released == deleted, "a walk's deletions release the visited elements");
        g_released.clear();
    }

    void compare() {
        uint32_t count = UINT32_MAX, buckets = UINT32_MAX;
        check(QUIL_Hash_Get_NodeNumber(table_, &count) == 0 && count == elements_.size() &&
                  QUIL_Hash_Get_BucketNumber(table_, &buckets) == 0 && buckets == chains_.size(),
              "the table counts the model's entries and buckets");
        check((table_->cursor == nullptr) == (cursor_ == nullptr),
              "the table has a cursor when the model has one");
        if (cursor_ != nullptr) {
            check(std::memcmp(table_->cursor->key, cursor_, sizeof *cursor_) == 0,
                  "the cursor stands on the model's entry");
        }
        for (uint32_t b = 0; b < table_->bucketCount; ++b) {
            const HashNode *entry = table_->buckets[b];
            for (uint32_t key : chains_[b]) {
                check(entry != nullptr && std::memcmp(entry->key, &key, sizeof key) == 0 &&
                          entry->element == elements_.at(key),
                      "each chain holds the model's entries, newest first");
                entry = entry->next;
            }
            check(entry == nullptr, "no chain holds more than the model's");
        }
    }

    FuzzedDataProvider &input_;
    HashTable *table_ = nullptr;
    bool keepElements_;
    std::vector<Chain> chains_;
    std::map<uint32_t, void *> elements_;
    const uint32_t *cursor_ = nullptr;
};

template <class Run> void run_steps(FuzzedDataProvider &input) {
    Run run(input);
    while (input.remaining_bytes() > 0) {
        run.step();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    FuzzedDataProvider input(bytes, size);
    g_released.clear();
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        run_steps<ListRun<DLinkFamily>>(input);
        break;
    case 1:
        run_steps<ListRun<SLinkFamily>>(input);
        break;
    default:
        run_steps<HashRun>(input);
        break;
    }
    return 0;
}
