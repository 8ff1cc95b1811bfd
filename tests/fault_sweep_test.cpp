// Every operation that allocates, or that opens, writes or renames files, run with the n-th such
// call failing for n = 1, 2, ... until the failure is no longer reached: each failed run returns a
// documented code, leaves the container or document exactly as it was (compared in full) and
// leaks nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_dlinklist.h"
#include "wex_hash.h"
#include "wex_ini.h"
#include "wex_result_codes.h"
#include "wex_slinklist.h"

namespace {

using wextest::ScopedFault;
using wextest::ScopedIni;
using wextest::TempDir;

constexpr uint32_t kLongestSweep = 1000; // no operation here makes more calls than this

// One operation under a sweep. prepare runs before each run without a fault (an operation that
// consumes its input gets a fresh one); operation runs with the fault armed; expect_unchanged
// compares everything the operation could have changed with its state before the run.
struct Sweep {
    QuilAdapterOp fault = QUIL_OP_ALLOC;
    std::vector<uint32_t> failureCodes;
    std::function<void()> prepare = [] {};
    std::function<uint32_t()> operation;
    std::function<void()> expect_unchanged;
    // Whether a run that succeeds although its fault was reached leaves the next run the same
    // starting point (true when prepare rebuilds it).
    bool runsAreIndependent = false;
};

// Runs the sweep and returns how many runs reached their fault.
uint32_t run_sweep(const Sweep &sweep) {
    uint32_t faultsReached = 0;
    for (uint32_t n = 1; n < kLongestSweep; ++n) {
        uint32_t liveBefore = QUIL_Adapter_LiveBlocks();
        sweep.prepare();
        uint64_t callsBefore = QUIL_Adapter_CallCount(sweep.fault);
        uint32_t code = 0;
        {
            ScopedFault failing(sweep.fault, n);
            code = sweep.operation();
        }
        bool reached = QUIL_Adapter_CallCount(sweep.fault) - callsBefore >= n;
        if (!reached) {
            EXPECT_EQ(code, QUIL_SUCCESS) << "without a fault, at n = " << n;
            return faultsReached;
        }
        ++faultsReached;
        if (code == QUIL_SUCCESS) {
            if (!sweep.runsAreIndependent) {
                return faultsReached;
            }
            continue;
        }
        const auto &codes = sweep.failureCodes;
        EXPECT_NE(std::find(codes.begin(), codes.end(), code), codes.end())
            << "undocumented code " << code << " with call " << n << " failing";
        sweep.expect_unchanged();
        EXPECT_EQ(QUIL_Adapter_LiveBlocks(), liveBefore) << "leak with call " << n << " failing";
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << "first failure with call " << n << " failing";
            return faultsReached;
        }
    }
    ADD_FAILURE() << "the operation never got past its faults";
    return faultsReached;
}

// ---- Containers ----

int g_items[8];
uint32_t g_released = 0;

void count_release(void *) {
    ++g_released;
}

// A list's elements in order, the cursor's place in them and the count.
template <class List> struct ListState;

template <> struct ListState<DLinkList> {
    static std::vector<const void *> of(const DLinkList *list) {
        std::vector<const void *> state{reinterpret_cast<const void *>(uintptr_t{list->count})};
        for (const DLinkNode *n = list->head; n != nullptr; n = n->next) {
            state.push_back(n->element);
            state.push_back(n == list->cursor ? n : nullptr);
        }
        return state;
    }
};

template <class Make> void sweep_init(Make make, uint32_t noMemory) {
    void *handle = &g_items[0]; // anything but null: a failed Init must not write it
    void *const untouched = handle;
    Sweep sweep;
    sweep.failureCodes = {noMemory};
    sweep.operation = [&] { return make(&handle); };
    sweep.expect_unchanged = [&] { EXPECT_EQ(handle, untouched); };
    EXPECT_GT(run_sweep(sweep), 0u);
    EXPECT_NE(handle, untouched);
    g_released = 0;
}

TEST(ContainerFaults, InitOfEveryContainerFailsCleanlyAtEachAllocation) {
    sweep_init(
        [](void **out) {
            uint32_t code =
                QUIL_DLinkList_Init(nullptr, count_release, reinterpret_cast<DLinkList **>(out));
            if (code == 0) {
                QUIL_DLinkList_Deinit(static_cast<DLinkList *>(*out), 0);
            }
            return code;
        },
        DLINK_NO_MEMORY);
    sweep_init(
        [](void **out) {
            uint32_t code =
                QUIL_SLinkList_Init(4, nullptr, count_release, reinterpret_cast<SLinkList **>(out));
            if (code == 0) {
                QUIL_SLinkList_Deinit(static_cast<SLinkList *>(*out), 0);
            }
            return code;
        },
        SLINK_NO_MEMORY);
    sweep_init(
        [](void **out) {
            uint32_t code = QUIL_Hash_Init(5, wextest::hash_u32_key, wextest::compare_u32_key,
                                           wextest::release_key_copy, count_release,
                                           reinterpret_cast<HashTable **>(out));
            if (code == 0) {
                QUIL_Hash_Deinit(static_cast<HashTable *>(*out), 0);
            }
            return code;
        },
        HASH_NO_MEMORY);
}

class DLinkInsertFaults : public testing::TestWithParam<uint32_t> {};

TEST_P(DLinkInsertFaults, LeaveTheListAsItWas) {
    DLinkList *list = nullptr;
    ASSERT_EQ(QUIL_DLinkList_Init(nullptr, count_release, &list), QUIL_SUCCESS);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(QUIL_DLinkList_Insert(list, &g_items[i], DLINK_POS_TAIL), QUIL_SUCCESS);
    }
    ASSERT_EQ(QUIL_DLinkList_PriorPtr(list), QUIL_SUCCESS); // the cursor in the middle
    const auto before = ListState<DLinkList>::of(list);
    Sweep sweep;
    sweep.failureCodes = {DLINK_NO_MEMORY};
    sweep.operation = [&] { return QUIL_DLinkList_Insert(list, &g_items[7], GetParam()); };
    sweep.expect_unchanged = [&] { EXPECT_EQ(ListState<DLinkList>::of(list), before); };
    EXPECT_GT(run_sweep(sweep), 0u);
    EXPECT_EQ(list->count, 4u);
    QUIL_DLinkList_Deinit(list, 1);
}

INSTANTIATE_TEST_SUITE_P(AtEveryPosition, DLinkInsertFaults,
                         testing::Values(DLINK_POS_HEAD, DLINK_POS_TAIL, DLINK_POS_BEFORE,
                                         DLINK_POS_AFTER));

TEST(ContainerFaults, StaticListInsertionAllocatesNothing) {
    SLinkList *list = nullptr;
    ASSERT_EQ(QUIL_SLinkList_Init(2, nullptr, count_release, &list), QUIL_SUCCESS);
    Sweep sweep;
    sweep.operation = [&] { return QUIL_SLinkList_Insert(list, &g_items[0], SLINK_POS_TAIL); };
    EXPECT_EQ(run_sweep(sweep), 0u);
    QUIL_SLinkList_Deinit(list, 1);
}

// Every entry of every chain in order with its element, the count and the cursor's entry.
std::vector<const void *> table_state(const HashTable *table) {
    std::vector<const void *> state{reinterpret_cast<const void *>(uintptr_t{table->count}),
                                    table->cursor};
    for (uint32_t b = 0; b < table->bucketCount; ++b) {
        for (const HashNode *e = table->buckets[b]; e != nullptr; e = e->next) {
            uint32_t key = 0;
            std::memcpy(&key, e->key, sizeof key);
            state.insert(state.end(),
                         {e, reinterpret_cast<const void *>(uintptr_t{key}), e->element, nullptr});
        }
        state.push_back(nullptr);
    }
    return state;
}

TEST(ContainerFaults, HashInsertionLeavesTheTableAsItWasAtEachAllocation) {
    HashTable *table = nullptr;
    ASSERT_EQ(QUIL_Hash_Init(3, wextest::hash_u32_key, wextest::compare_u32_key,
                             wextest::release_key_copy, count_release, &table),
              QUIL_SUCCESS);
    for (uint32_t key = 0; key < 5; ++key) {
        ASSERT_EQ(QUIL_Hash_Insert(table, &key, sizeof key, &g_items[key]), QUIL_SUCCESS);
    }
    const auto before = table_state(table);
    uint32_t newKey = 9; // joins the chain of 0 and 3
    Sweep sweep;
    sweep.failureCodes = {HASH_NO_MEMORY};
    sweep.operation = [&] { return QUIL_Hash_Insert(table, &newKey, sizeof newKey, &g_items[7]); };
    sweep.expect_unchanged = [&] { EXPECT_EQ(table_state(table), before); };
    EXPECT_GT(run_sweep(sweep), 0u);
    EXPECT_EQ(table->count, 6u);
    QUIL_Hash_Deinit(table, 1);
}

// ---- INI documents ----

const std::string kDocument = "; settings\r\n"
                              "[net]\r\n"
                              "host = example.org ;primary\r\n"
                              "port=80\r\n"
                              "\r\n"
                              "[paths]\n"
                              "root=/srv\n"
                              "log=/var/log";

// Everything of a document that an operation could change: the record, every slot and its text.
struct DocumentState {
    IniFile record;
    std::vector<std::string> lines;

    explicit DocumentState(const IniFile &doc) : record(doc), lines(wextest::lines_of(doc)) {
        for (uint32_t i = 0; i < doc.lineCount; ++i) {
            lines.push_back(std::to_string(reinterpret_cast<uintptr_t>(doc.lines[i])));
        }
    }
    bool operator==(const DocumentState &other) const {
        return std::memcmp(&record, &other.record, sizeof record) == 0 && lines == other.lines;
    }
};

class IniFaults : public testing::Test {
  protected:
    void SetUp() override {
        wextest::write_file(path_, kDocument);
        ASSERT_EQ(QUIL_Ini_Load(path_.c_str(), doc_.get()), QUIL_SUCCESS);
    }

    // A sweep over an operation on the loaded document, which must stay exactly as it was.
    Sweep on_document(std::function<uint32_t()> operation, std::vector<uint32_t> codes) {
        Sweep sweep;
        sweep.failureCodes = std::move(codes);
        sweep.operation = std::move(operation);
        auto before = std::make_shared<DocumentState>(doc_.doc);
        sweep.expect_unchanged = [this, before] {
            EXPECT_TRUE(DocumentState(doc_.doc) == *before) << "the document changed";
        };
        return sweep;
    }

    TempDir dir_;
    std::string path_ = dir_.file("settings.ini");
    ScopedIni doc_;
};

uint32_t plain_load(const char *path, IniFile *doc) {
    return QUIL_Ini_Load(path, doc);
}

uint32_t load_for_update(const char *path, IniFile *doc) {
    return QUIL_Ini_LoadForUpdate(path, doc, 0);
}

// Loads the document with the fault into a record that starts as garbage; returns the runs that
// reached their fault. A failed load holds no lock.
uint32_t sweep_load(const std::string &path, QuilAdapterOp fault, uint32_t failureCode,
                    uint32_t (*load)(const char *, IniFile *) = plain_load) {
    IniFile doc;
    Sweep sweep;
    sweep.fault = fault;
    sweep.failureCodes = {failureCode};
    sweep.prepare = [&] { std::memset(&doc, 0xA5, sizeof doc); };
    sweep.operation = [&] { return load(path.c_str(), &doc); };
    sweep.expect_unchanged = [&] {
        EXPECT_TRUE(wextest::is_all_zero(doc));
        QUIL_LOCK *lock = QUIL_LockFile(path.c_str(), 0, nullptr);
        EXPECT_NE(lock, nullptr) << "the lock was kept";
        QUIL_UnlockFile(lock);
    };
    uint32_t faultsReached = run_sweep(sweep);
    QUIL_Ini_Free(&doc);
    return faultsReached;
}

TEST_F(IniFaults, LoadingLeavesAnAllZeroRecordAtEachAllocation) {
    EXPECT_GT(sweep_load(path_, QUIL_OP_ALLOC, INI_NO_MEMORY), 1u);
}

// A document long enough for the line array to be allocated after its first lines and then to
// grow several times, with lines that take the line reader (a continuation, a last line without
// break) among those stored straight from the bytes read ahead.
TEST_F(IniFaults, LoadingALongDocumentLeavesAnAllZeroRecordAtEachAllocation) {
    std::string text = "[s]\r\nlong=a\\\r\nb\r\n";
    for (int i = 0; i < 700; ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + (i % 2 == 0 ? "\n" : "\r\n");
    }
    text += "last=1";
    std::string path = dir_.file("long.ini");
    wextest::write_file(path, text);
    EXPECT_GT(sweep_load(path, QUIL_OP_ALLOC, INI_NO_MEMORY), 700u);
}

TEST_F(IniFaults, LoadingAFileThatCannotBeOpenedOrExaminedReports30) {
    EXPECT_EQ(sweep_load(path_, QUIL_OP_FOPEN, INI_OPEN_FAILED), 1u);
    EXPECT_EQ(sweep_load(path_, QUIL_OP_IDENTITY, INI_OPEN_FAILED), 1u);
}

TEST_F(IniFaults, LoadingForUpdateLeavesAnAllZeroRecordAndNoLockAtEachFailure) {
    EXPECT_GT(sweep_load(path_, QUIL_OP_ALLOC, INI_NO_MEMORY, load_for_update), 1u);
    for (QuilAdapterOp fault : {QUIL_OP_FOPEN, QUIL_OP_IDENTITY, QUIL_OP_LOCK}) {
        EXPECT_EQ(sweep_load(path_, fault, INI_OPEN_FAILED, load_for_update), 1u);
    }
}

TEST_F(IniFaults, LookupsAndListingsChangeNothingAndHandOutNothing) {
    char *value = nullptr;
    uint32_t count = 0;
    char **list = nullptr;
    auto nothing_handed_out = [&] {
        EXPECT_TRUE(value == nullptr && list == nullptr && count == 0);
    };

    Sweep lookup = on_document([&] { return QUIL_Ini_GetValue(doc_.get(), "NET", "host", &value); },
                               {INI_NO_MEMORY});
    auto unchanged = lookup.expect_unchanged;
    lookup.expect_unchanged = [&] { unchanged(), nothing_handed_out(); };
    EXPECT_GT(run_sweep(lookup), 0u);
    EXPECT_STREQ(value, "example.org");
    QUIL_MemFreeSetNullD(&value, __LINE__, "fault_sweep_test");

    for (auto list_names : std::vector<std::function<uint32_t()>>{
             [&] { return QUIL_Ini_GetKeys(doc_.get(), "net", &count, &list); },
             [&] { return QUIL_Ini_GetSections(doc_.get(), &count, &list); }}) {
        Sweep listing = on_document(list_names, {INI_NO_MEMORY});
        listing.expect_unchanged = [&, unchanged] { unchanged(), nothing_handed_out(); };
        EXPECT_GT(run_sweep(listing), 1u);
        EXPECT_EQ(wextest::take_list(list).size(), 2u);
        list = nullptr;
        count = 0;
    }
}

struct EditCase {
    const char *name;
    const char *section;
    const char *key; // null: a header alone
};

class IniEditFaults : public IniFaults, public testing::WithParamInterface<EditCase> {};

TEST_P(IniEditFaults, LeaveTheDocumentAsItWas) {
    const EditCase &edit = GetParam();
    Sweep sweep = on_document(
        [&] { return QUIL_Ini_SetValue(doc_.get(), edit.section, edit.key, "new value"); },
        {INI_NO_MEMORY});
    EXPECT_GT(run_sweep(sweep), 0u);
    EXPECT_EQ(doc_->modified, 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryPath, IniEditFaults,
                         testing::Values(EditCase{"ReplacingAKeyLine", "net", "PORT"},
                                         EditCase{"InsertingAKeyLine", "net", "timeout"},
                                         EditCase{"InsertingIntoTheLastSection", "paths", "cache"},
                                         EditCase{"AppendingASectionWithAKey", "users", "admin"},
                                         EditCase{"AppendingASectionAlone", "users", nullptr}),
                         [](const testing::TestParamInfo<EditCase> &info) {
                             return std::string(info.param.name);
                         });

TEST_F(IniFaults, AnEditThatGrowsTheLineArrayLeavesTheDocumentAsItWas) {
    while (doc_->lineCount + 2 < doc_->lineCapacity) {
        std::string key = "k" + std::to_string(doc_->lineCount);
        ASSERT_EQ(QUIL_Ini_SetValue(doc_.get(), "paths", key.c_str(), "1"), QUIL_SUCCESS);
    }
    uint32_t capacity = doc_->lineCapacity;
    Sweep sweep = on_document([&] { return QUIL_Ini_SetValue(doc_.get(), "more", "key", "value"); },
                              {INI_NO_MEMORY});
    EXPECT_GT(run_sweep(sweep), 0u);
    EXPECT_GT(doc_->lineCapacity, capacity);
}

TEST_F(IniFaults, RemovalsLeaveTheDocumentAsItWas) {
    Sweep key =
        on_document([&] { return QUIL_Ini_DeleteKey(doc_.get(), "net", "port"); }, {INI_NO_MEMORY});
    run_sweep(key);
    Sweep section =
        on_document([&] { return QUIL_Ini_DeleteSection(doc_.get(), "paths"); }, {INI_NO_MEMORY});
    run_sweep(section);
    EXPECT_EQ(
        wextest::lines_of(doc_.doc),
        (std::vector<std::string>{"; settings\r\n", "[net]\r\n", "host = example.org ;primary\r\n",
                                  "<null>", "\r\n", "<null>", "<null>", "<null>"}));
}

// ---- Saving ----

const char *const kEdited = "; settings\r\n"
                            "[net]\r\n"
                            "host=example.net ;primary\n"
                            "port=80\r\n"
                            "\r\n"
                            "[paths]\n"
                            "root=/srv\n"
                            "log=/var/log\r";

// Files in the directory other than the document file.
std::vector<std::string> other_files(const TempDir &dir, const std::string &document) {
    std::vector<std::string> files;
    // By file name: the directory's own path may be spelled with other separators (Windows).
    std::filesystem::path documentName = std::filesystem::path(document).filename();
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().filename() != documentName) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

// Closing an edited document with the fault: the document is released in every case, the
// document file keeps its old text, and a backup file is left only after a 50, holding the
// whole new text.
void sweep_close(QuilAdapterOp fault, std::vector<uint32_t> codes) {
    TempDir dir;
    std::string path = dir.file("settings.ini");
    IniFile doc{};
    uint32_t code = QUIL_SUCCESS;
    Sweep sweep;
    sweep.fault = fault;
    sweep.failureCodes = codes;
    sweep.runsAreIndependent = true;
    sweep.prepare = [&] {
        for (const std::string &left : other_files(dir, path)) {
            std::filesystem::remove(left);
        }
        wextest::write_file(path, kDocument);
        ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc), QUIL_SUCCESS);
        ASSERT_EQ(QUIL_Ini_SetValue(&doc, "net", "host", "example.net"), QUIL_SUCCESS);
    };
    sweep.operation = [&] { return code = QUIL_Ini_Close(path.c_str(), &doc); };
    sweep.expect_unchanged = [&] {
        EXPECT_TRUE(wextest::is_all_zero(doc));
        EXPECT_EQ(wextest::read_file(path), kDocument);
        for (const std::string &left : other_files(dir, path)) {
            EXPECT_EQ(code, INI_SAVE_FAILED)
                << "only a failed rename or access copy leaves " << left;
            EXPECT_EQ(wextest::read_file(left), kEdited);
        }
    };
    EXPECT_GT(run_sweep(sweep), 0u);
    EXPECT_EQ(wextest::read_file(path), kEdited);
    EXPECT_TRUE(other_files(dir, path).empty());
}

TEST(IniSaveFaults, ClosingReleasesTheDocumentAndKeepsTheOldFileAtEachAllocation) {
    sweep_close(QUIL_OP_ALLOC, {INI_NO_MEMORY});
}

TEST(IniSaveFaults, ClosingKeepsTheOldFileWhenAFileCannotBeOpened) {
    sweep_close(QUIL_OP_FOPEN, {INI_SAVE_FAILED});
}

TEST(IniSaveFaults, ClosingKeepsTheOldFileWhenAWriteFallsShort) {
    sweep_close(QUIL_OP_FWRITE, {INI_BACKUP_FAILED});
}

TEST(IniSaveFaults, ClosingKeepsTheOldFileWhenTheBackupCannotBeMadeDurable) {
    sweep_close(QUIL_OP_FSYNC, {INI_BACKUP_FAILED});
}

TEST(IniSaveFaults, ClosingKeepsTheOldFileAndTheNewTextWhenAccessCheckOrRenameFails) {
    sweep_close(QUIL_OP_ACCESS, {INI_SAVE_FAILED});
    sweep_close(QUIL_OP_IDENTITY, {INI_SAVE_FAILED});
    sweep_close(QUIL_OP_RENAME, {INI_SAVE_FAILED});
}

} // namespace
