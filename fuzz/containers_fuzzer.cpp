// An operation sequence taken from the input runs on one of the three containers (the first byte
// chooses) and on a plain reference model; after every step the result code, the element handed
// out, the contents in order, the count, the cursor and (static list) the node reuse must agree,
// a refused call must change nothing, and nothing may leak. A walk's routine runs steps too.
// Each run first creates its container in each way creation can fail. Also run under ctest.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <list>
#include <tuple>
#include <type_traits>
#include <vector>

#include "fuzz_support.h"
#include "wex_dlinklist.h"
#include "wex_hash.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

using wexfuzz::check;

// Calls call(args...) once for each argument from the I-th on that is a pointer and not null,
// with that one null: every such call must be refused with 10.
template <size_t I = 0, class... Params, class... Args>
bool refuses(uint32_t (*call)(Params...), Args... args) {
    if constexpr (I < sizeof...(Params)) {
        using Arg = std::tuple_element_t<I, std::tuple<Params...>>;
        std::tuple<Params...> nulled(args...);
        bool nullable = std::is_pointer_v<Arg> && std::get<I>(nulled) != Arg{};
        std::get<I>(nulled) = Arg{};
        return (!nullable || std::apply(call, nulled) == 10) && refuses<I + 1>(call, args...);
    }
    return true;
}

// Runs call with the n-th allocation from now failing (0: none).
template <class Call> uint32_t failing_allocation(uint32_t n, Call call) {
    QUIL_Adapter_FailNth(QUIL_OP_ALLOC, n);
    uint32_t result = call();
    QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 0);
    return result;
}

// Creates a container with init(size, args..., &handle) after the ways creation fails: a null
// argument from the First-th on (the size is the 0th; those before First may be null) is refused
// with 10, and so is a size of 0 or above the largest (largest 0: the container takes no size);
// short memory gives 20, at the largest size and at each allocation in turn until creation
// succeeds. A failure leaves the handle as it was; leaks show at the end of the run.
template <class Handle, size_t First, class... Params, class... Args>
Handle *create(uint32_t (*init)(uint32_t, Params...), uint32_t size, uint32_t largest,
               Args... args) {
    static Handle unmade;
    Handle *handle = &unmade;
    auto make = [&](uint32_t sized, uint32_t failing = 0) {
        return failing_allocation(failing, [&] { return init(sized, args..., &handle); });
    };
    check(refuses<First>(init, 1u, args..., &handle) &&
              (largest == 0 ||
               (make(0) == 10 && make(largest + 1) == 10 && make(largest, 1) == 20)) &&
              handle == &unmade,
          "creation refuses null arguments and sizes out of range, and tries the largest");
    uint32_t n = 0, result = 20;
    while (result == 20 && handle == &unmade && ++n < 8) {
        result = make(size, n);
    }
    check(n > 1 && result == QUIL_SUCCESS && handle != &unmade,
          "creation fails cleanly at each allocation until it succeeds");
    return handle;
}

// What the runs share: the elements, a model of the entries in walk order, its cursor (the end:
// none) and the walk.
class ModelRun {
  public:
    explicit ModelRun(FuzzedDataProvider &input) : input_(input), keep_(input.ConsumeBool()) {}
    virtual ~ModelRun() = default;

    void run() {
        while (input_.remaining_bytes() > 0) {
            step(false);
        }
    }

    // Elements are numbered items, few, so that searches meet duplicates and misses; a list's key
    // is a pointer to a number. kPreset is what a test puts into an output before a call.
    static constexpr int kNumbers = 12, kPreset = kNumbers;
    static void *item(int number) { return &items_[number]; }
    static uint32_t match_number(const void *key, const void *element) {
        return item(*static_cast<const int *>(key)) == element ? 0 : 1;
    }
    static uint32_t match_nothing(const void *, const void *) { return 1; }
    static void record_release(void *element) { released_.push_back(element); }

  protected:
    struct Entry {
        uint32_t key; // a list's: the element's number
        void *element;
        unsigned serial; // tells apart entries of equal keys and elements
    };
    using Model = std::list<Entry>;

    // One operation and the checks after it; inside a walk any operation but a walk.
    virtual void step(bool inWalk) = 0;
    // Removes *at with the container's cursor rule.
    virtual void remove(Model::iterator at) = 0;
    // A walk goes on with a later chain when the chain it is in ends; a list is one chain.
    virtual uint32_t chain(const Entry &) const { return 0; }

    Model::iterator find(uint32_t key) {
        return std::find_if(model_.begin(), model_.end(),
                            [key](const Entry &entry) { return entry.key == key; });
    }
    void add(Model::iterator before, uint32_t key, void *element) {
        cursor_ = model_.insert(before, {key, element, serial_++});
    }

    static void check_released(const std::vector<void *> &expected) {
        check(released_ == expected, "the release routine gets exactly the removed elements");
        released_.clear();
    }

    // Checks what ending the container with keep_ released: every element, in walk order.
    void check_end(uint32_t result) {
        check(result == QUIL_SUCCESS, "a container can be ended");
        std::vector<void *> expected;
        for (const Entry &entry : keep_ ? Model() : model_) {
            expected.push_back(entry.element);
        }
        check_released(expected);
    }

    // After a call that failed with the code expected, or read (kind 0), removed (1) or deleted
    // (2) *at and handed it out in out, which held kPreset before and holds cleared after a
    // failure.
    void check_taken(uint32_t expected, int kind, Model::iterator at, void *out, void *cleared,
                     bool readMovesCursor) {
        if (expected != QUIL_SUCCESS) {
            check(out == cleared, "a failed call hands out nothing");
            return;
        }
        void *element = at->element;
        check(kind == 2 || out == element, "the element asked for is handed out");
        if (kind != 0) {
            remove(at);
        } else if (readMovesCursor) {
            cursor_ = at;
        }
        check_released(kind == 2 ? std::vector<void *>{element} : std::vector<void *>{});
    }

    // Walks the container; the routine stops the walk or runs a step. The walk goes on from the
    // cursor when the step moved it, else with the successor in the chain; after the chain's end,
    // with the first entry of a later chain than the walk's own.
    template <class Container>
    void run_walk(uint32_t (*process)(Container *, QUIL_VisitFunc, void *, void *),
                  Container *container, uint32_t empty, uint32_t stopped) {
        bool wasEmpty = model_.empty();
        walkAt_ = model_.begin();
        walkChain_ = wasEmpty ? 0 : chain(*walkAt_);
        stopped_ = false;
        uint32_t result = process(container, visit, this, nullptr);
        uint32_t expected = wasEmpty ? empty : stopped_ ? stopped : QUIL_SUCCESS;
        check(result == expected && (stopped_ || walkAt_ == model_.end()),
              "a walk gives the model's code after the model's visits");
    }

    static uint32_t visit(void *run, void *element, void *) {
        return static_cast<ModelRun *>(run)->visited(element);
    }

    uint32_t visited(void *element) {
        check(walkAt_ != model_.end() && element == walkAt_->element,
              "a walk visits the model's entries");
        cursor_ = walkAt_;
        unsigned serial = walkAt_->serial;
        if (input_.remaining_bytes() > 0) {
            if (input_.ConsumeIntegralInRange<int>(0, 7) == 0) {
                stopped_ = true;
                return 1;
            }
            step(true);
        }
        bool moved = cursor_ == model_.end() || cursor_->serial != serial;
        walkAt_ = moved ? cursor_ : std::next(cursor_);
        if (walkAt_ == model_.end() || (!moved && chain(*walkAt_) != chain(*cursor_))) {
            walkAt_ = std::find_if(model_.begin(), model_.end(), [this](const Entry &entry) {
                return chain(entry) > walkChain_;
            });
            walkChain_ = walkAt_ == model_.end() ? walkChain_ : chain(*walkAt_);
        }
        return 0;
    }

    FuzzedDataProvider &input_;
    bool keep_;
    Model model_;
    Model::iterator cursor_ = model_.end();

  private:
    static inline int items_[kNumbers + 1];
    static inline std::vector<void *> released_;
    unsigned serial_ = 0;
    Model::iterator walkAt_ = model_.end();
    uint32_t walkChain_ = 0;
    bool stopped_ = false;
};

// The type, calls and codes both lists have, by the family's prefixes.
#define WEX_LIST_CALLS(P, C)                                                                       \
    using List = P;                                                                                \
    static constexpr uint32_t kNoMatch = C##_NO_MATCH, kNoPrior = C##_NO_PRIOR,                    \
                              kNoNext = C##_NO_NEXT, kEmpty = C##_EMPTY, kStopped = C##_STOPPED;   \
    static constexpr auto Insert = QUIL_##P##_Insert;                                              \
    static constexpr auto SetCursor = QUIL_##P##_Set_CurPtr;                                       \
    static constexpr auto Query = QUIL_##P##_Query;                                                \
    static constexpr auto Remove = QUIL_##P##_Remove;                                              \
    static constexpr auto Delete = QUIL_##P##_Delete;                                              \
    static constexpr auto Walk = QUIL_##P##_Process_List;                                          \
    static constexpr auto Deinit = QUIL_##P##_Deinit;                                              \
    static constexpr auto Count = QUIL_##P##_Get_NodeNumber;                                       \
    static constexpr uint32_t (*kSteps[2])(List *) = {QUIL_##P##_PriorPtr, QUIL_##P##_NextPtr};    \
    static constexpr uint32_t (*kStepReaders[2])(List *, void **) = {QUIL_##P##_Get_PriorNode,     \
                                                                     QUIL_##P##_Get_NextNode};     \
    static constexpr uint32_t (*kReaders[2][3])(List *, void **) = {                               \
        {QUIL_##P##_Get_HeadNode, QUIL_##P##_Get_TailNode, QUIL_##P##_Get_CurNode},                \
        {QUIL_##P##_Remove_HeadNode, QUIL_##P##_Remove_TailNode, QUIL_##P##_Remove_CurNode}};      \
    static constexpr uint32_t (*kDeleters[3])(List *) = {                                          \
        QUIL_##P##_Delete_HeadNode, QUIL_##P##_Delete_TailNode, QUIL_##P##_Delete_CurNode}

struct DLinkFamily {
    static constexpr uint32_t kFull = 0 /* never full */, kNoMemory = DLINK_NO_MEMORY;
    static constexpr bool kEmptyCursorReadClears = true;
    WEX_LIST_CALLS(DLinkList, DLINK);

    // A list takes no size.
    static uint32_t init(uint32_t, QUIL_CompareFunc compare, QUIL_ReleaseFunc release,
                         List **list) {
        return QUIL_DLinkList_Init(compare, release, list);
    }
    static List *make(FuzzedDataProvider &, QUIL_CompareFunc compare) {
        return create<List, 2>(init, 1, 0, compare, ModelRun::record_release);
    }
    static const DLinkNode *node(const List *, const DLinkNode *node) { return node; }
    static std::vector<uint32_t> free_nodes(const List *) { return {}; }
    static void manage_nodes(List *, const std::vector<uint32_t> &) {}
};

struct SLinkFamily {
    static constexpr uint32_t kFull = SLINK_FULL, kNoMemory = 0 /* insertion allocates nothing */;
    // On an empty list the cursor readers leave the output; the end readers clear it.
    static constexpr bool kEmptyCursorReadClears = false;
    WEX_LIST_CALLS(SLinkList, SLINK);

    // The nodes follow the record in its block, in the room of three nodes.
    static List *make(FuzzedDataProvider &input, QUIL_CompareFunc compare) {
        auto capacity = input.ConsumeIntegralInRange<uint32_t>(1, 16), readBack = 0u;
        List *list = create<List, 2>(QUIL_SLinkList_Init, capacity,
                                     static_cast<uint32_t>(UINT32_MAX / sizeof(SLinkNode) - 3),
                                     compare, ModelRun::record_release);
        check(refuses(QUIL_SLinkList_Get_MaxNodeNumber, list, &readBack) &&
                  QUIL_SLinkList_Get_MaxNodeNumber(list, &readBack) == 0 && readBack == capacity &&
                  list->nodes == reinterpret_cast<SLinkNode *>(list) + 3,
              "a list holds as many nodes as asked for, after the record");
        return list;
    }
    static const SLinkNode *node(const List *list, uint32_t index) {
        check(index == SLINK_NONE || index < list->capacity, "a link names a node");
        return index == SLINK_NONE ? nullptr : &list->nodes[index];
    }
    // The free chain from its head: the node freed last comes first and is reused first.
    static std::vector<uint32_t> free_nodes(const List *list) {
        std::vector<uint32_t> chain;
        for (uint32_t i = list->freeHead; i != SLINK_NONE; i = list->nodes[i].next) {
            check(i < list->capacity && chain.size() < list->capacity && list->nodes[i].prev == 0 &&
                      list->nodes[i].element == nullptr,
                  "the free chain is sound");
            chain.push_back(i);
        }
        check(chain.size() + list->count == list->capacity, "every node is in use or free");
        return chain;
    }
    // Takes the first free node, unlinked, and gives it back; refuses what cannot be done.
    static void manage_nodes(List *list, const std::vector<uint32_t> &free) {
        uint32_t count = list->count;
        check(QUIL_SLinkList_AllocNode(nullptr) == SLINK_NONE &&
                  QUIL_SLinkList_FreeNode(nullptr, 0) == 10 &&
                  QUIL_SLinkList_FreeNode(list, SLINK_NONE) == 10 &&
                  QUIL_SLinkList_FreeNode(list, list->capacity) == 10 &&
                  (count > 0 || QUIL_SLinkList_FreeNode(list, 0) == 10),
              "node management refuses a null list, a node that is none, and an empty list");
        uint32_t node = QUIL_SLinkList_AllocNode(list);
        check(node == (free.empty() ? SLINK_NONE : free.front()), "the first free node is taken");
        check(node == SLINK_NONE ||
                  (list->count == count + 1 && list->nodes[node].prev == SLINK_NONE &&
                   list->nodes[node].next == SLINK_NONE &&
                   QUIL_SLinkList_FreeNode(list, node) == QUIL_SUCCESS && list->count == count),
              "a node taken is counted and unlinked until it is given back");
    }
};

template <class Family> class ListRun : public ModelRun {
  public:
    explicit ListRun(FuzzedDataProvider &input)
        : ModelRun(input), routine_(kRoutines[input.ConsumeIntegralInRange<int>(0, 2)]),
          list_(Family::make(input, routine_)) {}
    ~ListRun() override { check_end(Family::Deinit(list_, keep_)); }

  private:
    // The list's own search routine, and a caller's, which comes first.
    static constexpr QUIL_CompareFunc kRoutines[] = {nullptr, match_number, match_nothing};

    void step(bool inWalk) override {
        using Op = void (ListRun::*)();
        static constexpr Op kOps[] = {&ListRun::insert, &ListRun::insert,       &ListRun::take,
                                      &ListRun::take,   &ListRun::step_cursor,  &ListRun::refuse,
                                      &ListRun::reset,  &ListRun::manage_nodes, &ListRun::walk};
        size_t last = std::size(kOps) - (inWalk ? 2 : 1);
        (this->*kOps[input_.ConsumeIntegralInRange<size_t>(0, last)])();
        compare();
        check_node_reuse();
    }

    bool empty() const { return model_.empty(); }
    uint32_t empty_or(uint32_t code) const { return empty() ? Family::kEmpty : code; }

    // Every removal puts the cursor on the successor, or on the predecessor of a removed tail.
    void remove(Model::iterator at) override {
        auto next = model_.erase(at);
        cursor_ = next != model_.end() || model_.empty() ? next : std::prev(next);
    }

    void reset() {
        check(Family::SetCursor(list_) == QUIL_SUCCESS, "the cursor can be reset");
        cursor_ = model_.begin();
    }

    void manage_nodes() { Family::manage_nodes(list_, free_); }

    // A null list, output, element, key or routine: refused with 10 before anything changes.
    void refuse() {
        void *out = item(kPreset);
        int key = 0;
        uint32_t count = 0;
        bool refused = refuses(Family::Insert, list_, item(0), 0u) &&
                       refuses(Family::Query, list_, &key, nullptr, &out) &&
                       refuses(Family::Remove, list_, &key, nullptr, &out) &&
                       refuses(Family::Delete, list_, &key, nullptr) &&
                       refuses(Family::Walk, list_, visit, nullptr, nullptr) &&
                       refuses(Family::Count, list_, &count) && refuses(Family::SetCursor, list_) &&
                       refuses(Family::Deinit, list_, 0u);
        for (int i = 0; i < 3; ++i) { // head, tail, cursor; back, forth
            refused = refused && refuses(Family::kReaders[0][i], list_, &out) &&
                      refuses(Family::kReaders[1][i], list_, &out) &&
                      refuses(Family::kDeleters[i], list_) &&
                      (i == 2 || (refuses(Family::kStepReaders[i], list_, &out) &&
                                  refuses(Family::kSteps[i], list_)));
        }
        check(refused && out == item(kPreset), "a null argument is refused, the output kept");
    }

    void insert() {
        auto n = input_.ConsumeIntegralInRange<uint32_t>(0, kNumbers - 1);
        auto position = input_.ConsumeIntegralInRange<uint32_t>(0, 4); // 4: unknown
        bool failAllocation = input_.ConsumeIntegralInRange<int>(0, 15) == 0;
        uint32_t result = failing_allocation(failAllocation ? 1 : 0, [&] {
            return Family::Insert(list_, item(static_cast<int>(n)), position);
        });
        uint32_t expected = Family::kFull != 0 && free_.empty()        ? Family::kFull
                            : Family::kNoMemory != 0 && failAllocation ? Family::kNoMemory
                            : !empty() && position > 3                 ? 10
                                                                       : QUIL_SUCCESS;
        check(result == expected, "insertion gives the model's code");
        if (expected == QUIL_SUCCESS) {
            add(empty() || position == 1 ? model_.end()
                : position == 0          ? model_.begin()
                : position == 2          ? cursor_
                                         : std::next(cursor_),
                n, item(static_cast<int>(n)));
        }
    }

    // Reads, removes or deletes the head, the tail, the cursor's element or a key's first match;
    // a search without a routine of the caller's or the list's is refused.
    void take() {
        int kind = input_.ConsumeIntegralInRange<int>(0, 2);  // read, remove, delete
        int which = input_.ConsumeIntegralInRange<int>(0, 3); // head, tail, cursor, key
        auto key = input_.ConsumeIntegralInRange<uint32_t>(0, kNumbers - 1);
        QUIL_CompareFunc routine = kRoutines[input_.ConsumeIntegralInRange<int>(0, 1)];
        void *out = item(kPreset);
        uint32_t result = which < 3 && kind == 2 ? Family::kDeleters[which](list_)
                          : which < 3            ? Family::kReaders[kind][which](list_, &out)
                          : kind == 0            ? Family::Query(list_, &key, routine, &out)
                          : kind == 1            ? Family::Remove(list_, &key, routine, &out)
                                                 : Family::Delete(list_, &key, routine);
        QUIL_CompareFunc used = routine != nullptr ? routine : routine_;
        bool refused = which == 3 && used == nullptr;
        auto at = which == 0 || empty()  ? model_.begin()
                  : which == 1           ? std::prev(model_.end())
                  : which == 2           ? cursor_
                  : used == match_number ? find(key)
                                         : model_.end();
        uint32_t expected =
            refused ? 10 : empty_or(at == model_.end() ? Family::kNoMatch : QUIL_SUCCESS);
        check(result == expected, "reading or removing gives the model's code");
        bool clears = kind != 2 && !refused && (which != 2 || Family::kEmptyCursorReadClears);
        check_taken(expected, kind, at, out, clears ? nullptr : item(kPreset), which == 3);
    }

    void step_cursor() {
        bool forward = input_.ConsumeBool(), reading = input_.ConsumeBool();
        bool atEnd =
            !empty() && (forward ? std::next(cursor_) == model_.end() : cursor_ == model_.begin());
        uint32_t expected =
            empty_or(atEnd ? (forward ? Family::kNoNext : Family::kNoPrior) : QUIL_SUCCESS);
        void *out = item(kPreset);
        uint32_t result =
            reading ? Family::kStepReaders[forward](list_, &out) : Family::kSteps[forward](list_);
        bool clears = reading && (!empty() || Family::kEmptyCursorReadClears);
        check(result == expected && (expected == 0 || out == (clears ? nullptr : item(kPreset))),
              "a cursor step gives the model's code; a refused one hands out nothing");
        if (expected == QUIL_SUCCESS) {
            cursor_ = forward ? std::next(cursor_) : std::prev(cursor_);
            check(!reading || out == cursor_->element, "a step hands out the new cursor's element");
        }
    }

    void walk() { run_walk(Family::Walk, list_, Family::kEmpty, Family::kStopped); }

    // The elements head to tail with every link checked both ways, the tail, the cursor, the count.
    void compare() {
        const auto *cursor = Family::node(list_, list_->cursor);
        decltype(cursor) prev = nullptr;
        auto expected = model_.begin();
        for (auto *n = Family::node(list_, list_->head); n != nullptr;
             n = Family::node(list_, n->next), ++expected) {
            check(expected != model_.end() && Family::node(list_, n->prev) == prev &&
                      n->element == expected->element && (n == cursor) == (expected == cursor_),
                  "the list holds the model's elements and cursor in order, linked both ways");
            prev = n;
        }
        uint32_t count = UINT32_MAX;
        check(expected == model_.end() && Family::node(list_, list_->tail) == prev &&
                  (cursor == nullptr) == (cursor_ == model_.end()) &&
                  Family::Count(list_, &count) == 0 && count == model_.size(),
              "the list ends where the model does and counts its elements");
    }

    // Nodes freed in a step go to the front of the free chain, last freed first; an insertion
    // takes the front node. What is left of the chain before the step keeps its order.
    void check_node_reuse() {
        std::vector<uint32_t> now = Family::free_nodes(list_);
        auto kept = std::find_first_of(now.begin(), now.end(), free_.begin(), free_.end());
        auto keptCount = std::distance(kept, now.end());
        check(keptCount <= std::distance(free_.begin(), free_.end()) &&
                  std::equal(kept, now.end(), free_.end() - keptCount),
              "freed nodes are reused last freed first");
        free_ = now;
    }

    QUIL_CompareFunc routine_;
    typename Family::List *list_;
    std::vector<uint32_t> free_ = Family::free_nodes(list_);
};

// ---- The hash table: its model is the entries in walk order, bucket by bucket, newest first ----

constexpr uint32_t kKeys = 24;
uint32_t g_hashing = 0; // 1: the hash routine fails; 2: it hashes every key one bucket further

uint32_t hash_key(const void *key, uint32_t *value) {
    if (g_hashing == 1) {
        return 1; // without reading the key
    }
    std::memcpy(value, key, sizeof *value);
    *value += g_hashing / 2;
    return 0;
}
uint32_t compare_key(const void *key, const void *stored) {
    return std::memcmp(key, stored, sizeof(uint32_t)) == 0 ? 0 : 1;
}
void release_key(void *copy) {
    QUIL_MemFreeD(copy, __LINE__, "containers_fuzzer");
}

class HashRun : public ModelRun {
  public:
    explicit HashRun(FuzzedDataProvider &input)
        : ModelRun(input), buckets_(input.ConsumeIntegralInRange<uint32_t>(1, 8)) {
        table_ = create<HashTable, 1>(
            QUIL_Hash_Init, buckets_,
            static_cast<uint32_t>((UINT32_MAX - sizeof(HashTable)) / sizeof(HashNode *)), hash_key,
            compare_key, release_key, record_release);
    }
    ~HashRun() override { check_end(QUIL_Hash_Deinit(table_, keep_)); }

  private:
    void step(bool inWalk) override {
        using Op = void (HashRun::*)();
        static constexpr Op kOps[] = {&HashRun::insert, &HashRun::insert, &HashRun::take,
                                      &HashRun::take,   &HashRun::refuse, &HashRun::walk};
        size_t last = std::size(kOps) - (inWalk ? 2 : 1);
        (this->*kOps[input_.ConsumeIntegralInRange<size_t>(0, last)])();
        compare();
    }

    uint32_t chain(const Entry &entry) const override { return entry.key % buckets_; }

    // The cursor moves to the successor in the chain, or to none.
    void remove(Model::iterator at) override {
        uint32_t removed = chain(*at);
        auto next = model_.erase(at);
        cursor_ = next != model_.end() && chain(*next) == removed ? next : model_.end();
    }

    void insert() {
        auto key = input_.ConsumeIntegralInRange<uint32_t>(0, kKeys - 1);
        void *element = item(input_.ConsumeIntegralInRange<int>(0, kNumbers - 1));
        auto failing = input_.ConsumeIntegralInRange<uint32_t>(0, 9); // 1, 2: an allocation
        g_hashing = failing == 3 ? 1 : 0;
        uint32_t result = failing_allocation(failing <= 2 ? failing : 0, [&] {
            return QUIL_Hash_Insert(table_, &key, sizeof key, element);
        });
        uint32_t expected = g_hashing == 1                 ? HASH_HASH_FAILED
                            : find(key) != model_.end()    ? HASH_DUPLICATE
                            : failing == 1 || failing == 2 ? HASH_NO_MEMORY
                                                           : QUIL_SUCCESS;
        g_hashing = 0;
        check(result == expected, "insertion gives the model's code");
        if (expected == QUIL_SUCCESS) {
            add(std::find_if(model_.begin(), model_.end(),
                             [&](const Entry &entry) { return chain(entry) >= key % buckets_; }),
                key, element);
        }
    }

    // Reads, removes or deletes a key's entry, or removes or deletes the cursor's, while the hash
    // routine may fail or hash keys to other chains than their entries are in.
    void take() {
        auto key = input_.ConsumeIntegralInRange<uint32_t>(0, kKeys - 1);
        int kind = input_.ConsumeIntegralInRange<int>(0, 2); // read, remove, delete
        bool atCursor = kind != 0 && input_.ConsumeBool();
        auto hashing = input_.ConsumeIntegralInRange<uint32_t>(0, 7);
        g_hashing = hashing <= 2 ? hashing : 0;
        void *out = item(kPreset);
        uint32_t result = atCursor && kind == 1 ? QUIL_Hash_Remove_CurNode(table_, &out)
                          : atCursor            ? QUIL_Hash_Delete_CurNode(table_)
                          : kind == 0           ? QUIL_Hash_Query(table_, &key, &out)
                          : kind == 1           ? QUIL_Hash_Remove(table_, &key, &out)
                                                : QUIL_Hash_Delete(table_, &key);
        bool lost = g_hashing == 2 && buckets_ > 1; // the chain searched is not the key's
        auto at = atCursor ? cursor_ : find(key);
        uint32_t expected = atCursor && at == model_.end() ? HASH_NO_CURRENT
                            : !atCursor && model_.empty()  ? HASH_EMPTY
                            : g_hashing == 1               ? HASH_HASH_FAILED
                            : lost || at == model_.end()   ? HASH_NO_MATCH
                                                           : QUIL_SUCCESS;
        g_hashing = 0;
        check(result == expected, "reading or removing gives the model's code");
        check_taken(expected, kind, at, out, atCursor && kind == 1 ? nullptr : item(kPreset), true);
    }

    void walk() { run_walk(QUIL_Hash_Process_Table, table_, HASH_EMPTY, HASH_STOPPED); }

    // A null table, key, output or routine or a key length of 0: refused with 10 before hashing.
    void refuse() {
        uint32_t key = 0, n = 0;
        void *out = item(kPreset);
        g_hashing = 1;
        check(refuses(QUIL_Hash_Insert, table_, &key, 4u, item(0)) &&
                  QUIL_Hash_Insert(table_, &key, 0, item(0)) == 10 &&
                  refuses(QUIL_Hash_Query, table_, &key, &out) &&
                  refuses(QUIL_Hash_Remove, table_, &key, &out) &&
                  refuses(QUIL_Hash_Remove_CurNode, table_, &out) &&
                  refuses(QUIL_Hash_Delete, table_, &key) &&
                  refuses(QUIL_Hash_Delete_CurNode, table_) &&
                  refuses(QUIL_Hash_Process_Table, table_, visit, nullptr, nullptr) &&
                  refuses(QUIL_Hash_Get_NodeNumber, table_, &n) &&
                  refuses(QUIL_Hash_Get_BucketNumber, table_, &n) &&
                  refuses(QUIL_Hash_Deinit, table_, 0u) && out == item(kPreset),
              "a null argument is refused with 10, the output kept");
        g_hashing = 0;
    }

    void compare() {
        uint32_t count = UINT32_MAX, buckets = UINT32_MAX;
        check(QUIL_Hash_Get_NodeNumber(table_, &count) == 0 && count == model_.size() &&
                  QUIL_Hash_Get_BucketNumber(table_, &buckets) == 0 && buckets == buckets_,
              "the table counts the model's entries and buckets");
        auto expected = model_.begin();
        for (uint32_t b = 0; b < table_->bucketCount; ++b) {
            for (const HashNode *entry = table_->buckets[b]; entry != nullptr;
                 entry = entry->next, ++expected) {
                check(expected != model_.end() && chain(*expected) == b &&
                          std::memcmp(entry->key, &expected->key, sizeof expected->key) == 0 &&
                          entry->element == expected->element &&
                          (entry == table_->cursor) == (expected == cursor_),
                      "each chain holds the model's entries newest first, and its cursor");
            }
        }
        check(expected == model_.end() && (table_->cursor == nullptr) == (cursor_ == model_.end()),
              "the table holds no more than the model");
    }

    uint32_t buckets_;
    HashTable *table_ = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    FuzzedDataProvider input(bytes, size);
    int container = input.ConsumeIntegralInRange<int>(0, 2);
    if (container == 0) {
        ListRun<DLinkFamily>(input).run();
    } else if (container == 1) {
        ListRun<SLinkFamily>(input).run();
    } else {
        HashRun(input).run();
    }
    return 0;
}
