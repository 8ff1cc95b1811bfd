// Every operation that allocates, or that opens, writes or renames files, run with the n-th such
// call failing for n = 1, 2, ... until the failure is no longer reached: each failed run returns a
// documented code, leaves the document exactly as it was and leaks nothing. (The containers'
// allocations fail in turn in fuzz/containers_fuzzer.cpp, against its models.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "ini_write_support.h"

namespace {

// One operation under a sweep: prepare runs before each run without a fault, operation with the
// fault armed, expect_unchanged after a failed run. A run that succeeds although its fault was
// reached ends the sweep, unless prepare rebuilds the starting point (runsAreIndependent).
struct Sweep {
    QuilAdapterOp fault;
    uint32_t failureCode; // the one code a failed run may give
    std::function<uint32_t()> operation;
    std::function<void()> expect_unchanged = [] {};
    std::function<void()> prepare = [] {};
    bool runsAreIndependent = false;
};

// Runs the sweep and returns how many runs reached their fault.
uint32_t run_sweep(const Sweep &sweep) {
    for (uint32_t n = 1; n < 1000; ++n) {
        uint32_t liveBefore = QUIL_Adapter_LiveBlocks();
        sweep.prepare();
        uint64_t callsBefore = QUIL_Adapter_CallCount(sweep.fault);
        uint32_t code = 0;
        {
            wextest::ScopedFault failing(sweep.fault, n);
            code = sweep.operation();
        }
        if (QUIL_Adapter_CallCount(sweep.fault) - callsBefore < n) {
            EXPECT_EQ(code, QUIL_SUCCESS) << "without a fault, at n = " << n;
            return n - 1;
        }
        if (code == QUIL_SUCCESS && !sweep.runsAreIndependent) {
            return n;
        }
        if (code != QUIL_SUCCESS) {
            EXPECT_EQ(code, sweep.failureCode) << "with call " << n << " failing";
            sweep.expect_unchanged();
            EXPECT_EQ(QUIL_Adapter_LiveBlocks(), liveBefore)
                << "leak with call " << n << " failing";
        }
        if (testing::Test::HasFailure()) {
            ADD_FAILURE() << "first failure with call " << n << " failing";
            return n;
        }
    }
    ADD_FAILURE() << "the operation never got past its faults";
    return 0;
}

constexpr uint32_t kRealFiles = INI_READ_REAL_FILES | INI_KEEP_LAYOUT;

const std::string kDocument = "; settings\r\n[net]\r\nhost = example.org ;primary\r\nport=80\r\n"
                              "\r\n[paths]\nroot=/srv\nflag=on\nlog=/var/log";
const char *const kEdited = "; settings\r\n[net]\r\nhost=example.net ;primary\nport=80\r\n"
                            "\r\n[paths]\nroot=/srv\nflag=on\nlog=/var/log";

// Everything of a document that an operation could change: the record, every slot and its text.
std::string document_state(const IniFile &doc) {
    std::string state(reinterpret_cast<const char *>(&doc), sizeof doc);
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        state += std::to_string(reinterpret_cast<uintptr_t>(doc.lines[i])) + ":" +
                 (doc.lines[i] != nullptr ? doc.lines[i] : "") + "|";
    }
    return state;
}

// Loads the document with the fault into a record that starts as garbage; returns the runs that
// reached their fault. A failed load leaves an all-zero record and holds no lock.
uint32_t sweep_load(const std::string &text, QuilAdapterOp fault, uint32_t failureCode,
                    bool forUpdate = false, uint32_t options = 0) {
    wextest::Doc d(text);
    IniFile doc;
    auto load = [&] {
        return forUpdate ? QUIL_Ini_LoadForUpdateWithOptions(d.path.c_str(), &doc, 0, options)
                         : QUIL_Ini_LoadWithOptions(d.path.c_str(), &doc, options);
    };
    auto unchanged = [&] {
        EXPECT_TRUE(wextest::is_all_zero(doc));
        QUIL_LOCK *lock = QUIL_LockFile(d.path.c_str(), 0, nullptr);
        EXPECT_NE(lock, nullptr) << "the lock was kept";
        QUIL_UnlockFile(lock);
    };
    uint32_t faultsReached = run_sweep(
        {fault, failureCode, load, unchanged, [&] { std::memset(&doc, 0xA5, sizeof doc); }});
    QUIL_Ini_Free(&doc);
    return faultsReached;
}

TEST(IniFaults, LoadingLeavesAnAllZeroRecordAtEachFailure) {
    for (bool forUpdate : {false, true}) {
        EXPECT_GT(sweep_load(kDocument, QUIL_OP_ALLOC, INI_NO_MEMORY, forUpdate), 1u);
        for (QuilAdapterOp fault : {QUIL_OP_FOPEN, QUIL_OP_IDENTITY}) {
            EXPECT_EQ(sweep_load(kDocument, fault, INI_OPEN_FAILED, forUpdate), 1u);
        }
    }
    EXPECT_EQ(sweep_load(kDocument, QUIL_OP_LOCK, INI_OPEN_FAILED, true), 1u);
    // Long enough for the line array and the store to grow several times, with lines that take
    // the line reader (a continuation, a last line without break).
    std::string text = "[s]\r\nlong=a\\\r\nb\r\n";
    for (int i = 0; i < 700; ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + (i % 2 == 0 ? "\n" : "\r\n");
    }
    EXPECT_GT(sweep_load(text + "last=1", QUIL_OP_ALLOC, INI_NO_MEMORY), 4u);
    // Real files: a line longer than a read-ahead block gathers on the heap.
    text += "\nlong=" + std::string(40000, 'x') + "\n";
    EXPECT_GT(sweep_load(text, QUIL_OP_ALLOC, INI_NO_MEMORY, false, INI_READ_REAL_FILES), 4u);
    IniFile doc;
    EXPECT_GT(
        run_sweep({QUIL_OP_ALLOC, INI_NO_MEMORY,
                   [&] { return QUIL_Ini_LoadMemory(text.data(), text.size(), &doc, kRealFiles); },
                   [&] { EXPECT_TRUE(wextest::is_all_zero(doc)); }}),
        4u);
    QUIL_Ini_Free(&doc);
}

// Each operation on a document under a sweep of allocations: every failure gives 80, leaves the
// document exactly as it was and hands out nothing.
TEST(IniFaults, EveryOperationOnADocumentLeavesItAsItWasAndHandsOutNothing) {
    // As wextest::ask runs them, which checks that a failure hands out nothing.
    const char *const steps[] = {"cutkey|k = v ;c\n",
                                 "cutsection|[a] ;c\n",
                                 "value|NET|host",
                                 "keys|net",
                                 "sections",
                                 "pairs|net",
                                 "entries",
                                 "set|net|PORT|new",
                                 "set|net|timeout|new",
                                 "set|paths|cache|new",
                                 "set|users|admin|new",
                                 "set|users",
                                 "set|more|key|new",
                                 "del|net|port",
                                 "del|paths",
                                 "int|net|port",
                                 "uint|net|port",
                                 "float|net|port",
                                 "bool|paths|flag"};
    for (int run = 0; run < 2 * static_cast<int>(std::size(steps)); ++run) {
        const std::string step = steps[run / 2];
        wextest::Doc d(kDocument, run % 2 == 0 ? 0 : kRealFiles);
        SCOPED_TRACE(step + " " + std::to_string(d.options));
        // The last step grows the line array.
        while (step == "set|more|key|new" && d.doc.lineCount + 2 < d.doc.lineCapacity) {
            std::string filler = "k" + std::to_string(d.doc.lineCount);
            ASSERT_EQ(QUIL_Ini_SetValue(d.get(), "paths", filler.c_str(), "1"), QUIL_SUCCESS);
        }
        const std::string before = document_state(d.doc);
        auto run_step = [&]() -> uint32_t {
            std::string answer = wextest::ask(d.get(), step);
            return answer.rfind("code ", 0) == 0
                       ? static_cast<uint32_t>(std::stoul(answer.substr(5)))
                       : QUIL_SUCCESS;
        };
        auto unchanged = [&] {
            EXPECT_EQ(document_state(d.doc), before) << "the document changed";
        };
        EXPECT_GT(run_sweep({QUIL_OP_ALLOC, INI_NO_MEMORY, run_step, unchanged}), 0u);
    }
}

// Closing an edited document with each call of a kind failing in turn, where names can be
// exchanged and where they cannot (the rename): the document is released in every case; after a
// failure the document file keeps its old text, and a backup file is left only after a failed
// exchange, rename, access copy or check of the file (50), holding the whole new text.
TEST(IniFaults, ClosingReleasesTheDocumentAndKeepsTheOldFileAtEachFailure) {
    const std::tuple<QuilAdapterOp, uint32_t, bool> faults[] = {
        {QUIL_OP_ALLOC, INI_NO_MEMORY, false},      {QUIL_OP_FOPEN, INI_SAVE_FAILED, false},
        {QUIL_OP_FWRITE, INI_BACKUP_FAILED, false}, {QUIL_OP_FSYNC, INI_BACKUP_FAILED, false},
        {QUIL_OP_ACCESS, INI_SAVE_FAILED, false},   {QUIL_OP_IDENTITY, INI_SAVE_FAILED, false},
        {QUIL_OP_FCLOSE, INI_BACKUP_FAILED, false}, {QUIL_OP_WRITABLE, INI_NOT_WRITABLE, false},
        {QUIL_OP_RENAME, INI_SAVE_FAILED, true},    {QUIL_OP_IDENTITY, INI_SAVE_FAILED, true}};
    namespace fs = std::filesystem;
    for (const auto &[fault, failureCode, renamingRow] : faults) {
        bool renaming = renamingRow; // a lambda takes no structured binding before C++20
        wextest::Doc d("");
        QUIL_Ini_Free(d.get()); // each run loads and edits it afresh
        // By file name: the directory's own path may be spelled with other separators (Windows).
        auto other_files = [&] {
            std::vector<fs::path> files;
            for (const auto &entry : fs::directory_iterator(d.dir.path())) {
                if (entry.path().filename() != fs::path(d.path).filename()) {
                    files.push_back(entry.path());
                }
            }
            return files;
        };
        uint32_t code = QUIL_SUCCESS;
        uint32_t failedRuns = 0; // each kind of call fails a close at least once
        auto close = [&] {
            // A close that reports success has saved, whatever call failed on the way.
            code = QUIL_Ini_Close(d.path.c_str(), d.get());
            EXPECT_TRUE(code != QUIL_SUCCESS || wextest::read_file(d.path) == kEdited);
            return code;
        };
        auto unchanged = [&] {
            ++failedRuns;
            EXPECT_TRUE(wextest::is_all_zero(d.doc));
            EXPECT_EQ(wextest::read_file(d.path), kDocument);
            for (const fs::path &left : other_files()) {
                EXPECT_EQ(code, INI_SAVE_FAILED) << "only a 50 leaves " << left;
                EXPECT_EQ(wextest::read_file(left.string()), kEdited);
            }
        };
        auto prepare = [&] {
            for (const fs::path &left : other_files()) {
                fs::remove(left);
            }
            d.reload(kDocument);
            ASSERT_EQ(QUIL_Ini_SetValue(d.get(), "net", "host", "example.net"), QUIL_SUCCESS);
            QUIL_Adapter_FailNth(QUIL_OP_EXCHANGE, renaming ? 1 : 0); // names cannot be exchanged
        };
        EXPECT_GT(run_sweep({fault, failureCode, close, unchanged, prepare, true}), 0u) << fault;
        EXPECT_GT(failedRuns, 0u) << fault;
        EXPECT_EQ(wextest::read_file(d.path), kEdited);
        EXPECT_TRUE(other_files().empty());
    }
}

} // namespace
