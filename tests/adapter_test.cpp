// The platform adapter's own primitives: accounting and fault injection, the test hook, the cause
// of a failure, the exchange of names, the writability check, the copy of a file's access, the
// clock, and what its calls refuse; and the library's bounds-checked functions. The file calls
// do their ordinary work for the INI tests, and fault_sweep_test fails each of them where the
// library meets it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/bounded.h"
#include "test_support.h"
#include "wex_os_adapter.h"

namespace {

namespace fs = std::filesystem;
constexpr const char *kHere = "tests/adapter_test";

TEST(AdapterAllocation, ZeroFilledBlocksAreZeroEvenWhenReusedAndNullBlocksAreIgnored) {
    for (uint32_t size = 0; size <= 100; ++size) {
        // A freed dirty block of the same size is what the allocator most likely hands out next.
        auto *dirty = static_cast<unsigned char *>(QUIL_MemMallocD(size, __LINE__, kHere));
        ASSERT_NE(dirty, nullptr) << "a zero-sized block is still a block";
        std::memset(dirty, 0xA5, size);
        QUIL_MemFreeSetNullD(&dirty, __LINE__, kHere);
        ASSERT_EQ(dirty, nullptr);
        auto *zeroed = static_cast<unsigned char *>(QUIL_MemMallocS(size, 0, __LINE__, kHere));
        ASSERT_NE(zeroed, nullptr);
        EXPECT_EQ(std::count(zeroed, zeroed + size, 0), static_cast<std::ptrdiff_t>(size)) << size;
        QUIL_MemFreeD(zeroed, __LINE__, kHere);
    }
    QUIL_MemFreeD(nullptr, __LINE__, kHere);
    QUIL_MemFreeSetNullD(nullptr, __LINE__, kHere);
}

// A reallocation counts as an allocation; when it fails, the caller keeps the old block.
TEST(AdapterAllocation, OnlyTheNthCallFailsAndEveryCallIsCounted) {
    uint64_t calls = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
    uint32_t live = QUIL_Adapter_LiveBlocks();
    QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 3);
    std::vector<void *> blocks;
    for (int i = 0; i < 5; ++i) {
        blocks.push_back(i % 2 == 0 ? QUIL_MemMallocD(8, __LINE__, kHere)
                                    : QUIL_MemMallocS(8, 0, __LINE__, kHere));
        EXPECT_EQ(blocks.back() == nullptr, i == 2);
    }
    EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live + 4) << "a failed allocation holds no block";
    QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 1);
    QUIL_Adapter_FailNth(QUIL_OP_ALLOC, 0); // zero disarms
    auto *block = static_cast<char *>(QUIL_MemReallocD(nullptr, 4, __LINE__, kHere));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abc", 4);
    block = static_cast<char *>(QUIL_MemReallocD(block, 1 << 20, __LINE__, kHere));
    ASSERT_NE(block, nullptr);
    {
        wextest::ScopedFault fault(QUIL_OP_ALLOC, 1);
        EXPECT_EQ(QUIL_MemReallocD(block, 1 << 21, __LINE__, kHere), nullptr);
    }
    EXPECT_STREQ(block, "abc");
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_ALLOC), calls + 8);
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_COUNT), 0u);
    EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live + 5);
    blocks.push_back(block);
    for (void *each : blocks) {
        QUIL_MemFreeD(each, __LINE__, kHere);
    }
}

std::string resolved(const std::string &path) {
    char *block = QUIL_ResolvePath(path.c_str(), __LINE__, kHere);
    EXPECT_NE(block, nullptr);
    std::string text = block == nullptr ? std::string() : std::string(block);
    QUIL_MemFreeD(block, __LINE__, kHere);
    return text;
}

class AdapterFiles : public testing::Test {
  protected:
    // The path of a new file of the temporary directory that holds bytes.
    std::string file_with(const std::string &name, const std::string &bytes) {
        wextest::write_file(dir_.file(name), bytes);
        return dir_.file(name);
    }

    wextest::TempDir dir_;
};

// Each row: the operation whose armed fault fails the call (QUIL_OP_COUNT: none), the cause the
// call records (0: the platform's own, not compared) and the call, which tells whether it failed.
// Before each row a failure of another cause, so that the row's own cause is seen.
TEST_F(AdapterFiles, EveryRefusedOrFailingCallRecordsItsCauseForItsThread) {
    std::string file = file_with("doc.ini", "x");
    std::string missing = dir_.file("missing");
    std::string tooLong = dir_.file(std::string(300, 'n'));
    QuilFileIdentity identity{};
    QUIL_FILE *open = QUIL_Fopen(file.c_str(), "r");
    ASSERT_NE(open, nullptr);
    const char *path = file.c_str();
    const char *none = missing.c_str();
    const QuilAdapterOp real = QUIL_OP_COUNT;
    const std::tuple<QuilAdapterOp, int32_t, std::function<bool()>> rows[] = {
        {real, ENOENT, [&] { return QUIL_Fopen(none, "r") == nullptr; }},
        {real, 0, [&] { return QUIL_Fopen(dir_.path().c_str(), "r") == nullptr; }},
        {real, EINVAL, [&] { return QUIL_Fopen(path, "rw") == nullptr; }},
        {real, ENAMETOOLONG, [&] { return QUIL_Fopen(tooLong.c_str(), "r") == nullptr; }},
        {real, EEXIST, [&] { return QUIL_Fopen(path, "wx") == nullptr; }},
        {real, ENOENT, [&] { return QUIL_Rename(none, path) == -1; }},
        {real, EINVAL, [&] { return QUIL_Rename(nullptr, path) == -1; }},
        {real, EINVAL, [&] { return QUIL_Rename(path, nullptr) == -1; }},
        {real, ENOENT, [&] { return QUIL_Remove(none) == -1; }},
        {real, EINVAL, [&] { return QUIL_Remove(nullptr) == -1; }},
        {real, EINVAL, [&] { return QUIL_Fsync(nullptr) == -1; }},
        {real, EINVAL, [&] { return QUIL_Fclose(nullptr) == -1; }},
        {real, ENOENT, [&] { return QUIL_CopyFileAccess(none, open) == -1; }},
        {real, EINVAL, [&] { return QUIL_CopyFileAccess(nullptr, open) == -1; }},
        {real, EINVAL, [&] { return QUIL_CopyFileAccess(path, nullptr) == -1; }},
        {real, EINVAL, [&] { return QUIL_CheckWritable(nullptr) == -1; }},
        {real, EINVAL, [&] { return QUIL_ExchangeFiles(nullptr, path) == -1; }},
        {real, ENOENT, [&] { return QUIL_PathIdentity(none, &identity) == -1; }},
        {QUIL_OP_FOPEN, EIO, [&] { return QUIL_Fopen(path, "r") == nullptr; }},
        {QUIL_OP_FWRITE, EIO, [&] { return QUIL_Fwrite("x", 1, 1, open) == 0; }},
        {QUIL_OP_FSEEK, EIO, [&] { return QUIL_Fseek(open, 0, 0) == -1; }},
        {QUIL_OP_FSYNC, EIO, [&] { return QUIL_Fsync(open) == -1; }},
        {QUIL_OP_REMOVE, EIO, [&] { return QUIL_Remove(path) == -1; }},
        {QUIL_OP_RENAME, EIO, [&] { return QUIL_Rename(path, path) == -1; }},
        {QUIL_OP_ACCESS, EIO, [&] { return QUIL_CopyFileAccess(path, open) == -1; }},
        {QUIL_OP_IDENTITY, EIO, [&] { return QUIL_Fidentity(open, &identity) == -1; }},
        {QUIL_OP_IDENTITY, EIO, [&] { return QUIL_PathIdentity(path, &identity) == -1; }},
        {QUIL_OP_LOCK, EIO, [&] { return QUIL_LockFile(path, 0, nullptr) == nullptr; }},
        {QUIL_OP_WRITABLE, EACCES, [&] { return QUIL_CheckWritable(path) == -1; }},
        {QUIL_OP_FCLOSE, EIO, [&] { return QUIL_Fclose(std::exchange(open, nullptr)) == -1; }}};
    for (size_t row = 0; row < std::size(rows); ++row) {
        const auto &[op, cause, fails] = rows[row];
        QUIL_Remove(cause == ENOENT ? nullptr : none);
        wextest::ScopedFault fault(op, op == real ? 0 : 1);
        EXPECT_TRUE(fails()) << "row " << row;
        EXPECT_TRUE(cause == 0 || QUIL_LastError() == cause) << row << ": " << QUIL_LastError();
    }
    EXPECT_EQ(QUIL_ResolvePath(nullptr, __LINE__, kHere), nullptr);
    EXPECT_EQ(wextest::read_file(file), "x");
    QUIL_Fclose(QUIL_Fopen(path, "r")); // a call that succeeds leaves the cause
    int32_t seenByAnotherThread = -1;
    std::thread([&] {
        seenByAnotherThread = QUIL_LastError();
        QUIL_Fopen(none, "r");
    }).join();
    EXPECT_EQ(seenByAnotherThread, 0);
    EXPECT_EQ(QUIL_LastError(), EIO);
}

// The texts of the C library of GNU systems: on Windows too.
TEST(AdapterErrors, EachCauseHasTheTextOfTheGnuCLibrary) {
    const std::pair<int32_t, const char *> texts[] = {
        {ENOENT, "No such file or directory"},
        {EACCES, "Permission denied"},
        {ENAMETOOLONG, "File name too long"},
        {EROFS, "Read-only file system"},
        {ENOSPC, "No space left on device"},
        {EEXIST, "File exists"},
        {EBUSY, "Device or resource busy"},
        {EIO, "Input/output error"},
        {QUIL_ERROR_NOT_REGULAR, "not a regular file"}};
    for (const auto &[code, text] : texts) {
        EXPECT_STREQ(QUIL_ErrorText(code), text);
    }
}

TEST_F(AdapterFiles, NamesAreUtf8AndFsyncHandsTheBufferedBytesToTheFileOrFails) {
    const std::string name = dir_.file(u8"gr\u00FC\u00DFe.ini"); // "grüße.ini"
    QUIL_FILE *file = QUIL_Fopen(name.c_str(), "wx");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(QUIL_Fwrite("abc", 1, 3, file), 3u);
    EXPECT_EQ(QUIL_Fsync(file), 0);
    EXPECT_EQ(fs::file_size(fs::u8path(name)), 3u);
    EXPECT_EQ(QUIL_Fclose(file), 0);
    EXPECT_TRUE(fs::u8path(resolved(name)).is_absolute());
    EXPECT_TRUE(fs::equivalent(fs::u8path(resolved(name)), fs::u8path(name)));
    EXPECT_EQ(resolved(dir_.file("missing.ini")), dir_.file("missing.ini"));
    EXPECT_EQ(QUIL_Remove(name.c_str()), 0);
    EXPECT_FALSE(fs::exists(fs::u8path(name)));
#ifndef _WIN32
    QUIL_FILE *full = QUIL_Fopen("/dev/full", "w"); // every write fails: the device is full
    ASSERT_NE(full, nullptr);
    ASSERT_EQ(QUIL_Fwrite("abc", 1, 3, full), 3u); // buffered
    EXPECT_EQ(QUIL_Fsync(full), -1);
    EXPECT_EQ(QUIL_LastError(), ENOSPC);
    QUIL_Fclose(full);
    int input = dup(0); // a program without standard input gets descriptor 0 for its next file
    close(0);
    EXPECT_EQ(QUIL_Fclose(QUIL_Fopen(dir_.file("on-descriptor-0").c_str(), "wx")), 0);
    dup2(input, 0);
    close(input);
#endif
}

#ifdef _WIN32
std::wstring wide(const std::string &path) {
    return fs::u8path(path).wstring();
}

// The access list of a file in the system's text form, or "" when it cannot be read.
std::wstring access_list(const std::string &path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"";
    }
    LPWSTR text = nullptr;
    std::wstring result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

// On Windows a file's access is its access list, which the new file gets as it is.
TEST_F(AdapterFiles, TheNewFileGetsTheAccessListOfTheFileItReplaces) {
    std::string source = file_with("doc.ini", "old");
    PSECURITY_DESCRIPTOR descriptor = nullptr; // full access for everyone, nothing inherited
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_TRUE(SetFileSecurityW(wide(source).c_str(), DACL_SECURITY_INFORMATION, descriptor));
    LocalFree(descriptor);
    std::wstring wanted = access_list(source);
    ASSERT_NE(wanted, L"");
    std::string target = dir_.file("doc123.ibk");
    QUIL_FILE *file = QUIL_Fopen(target.c_str(), "wx");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(access_list(target), wanted);
    EXPECT_EQ(QUIL_CopyFileAccess(source.c_str(), file), 0);
    EXPECT_EQ(QUIL_Fclose(file), 0);
    EXPECT_EQ(access_list(target), wanted);
}
#else
// Links are followed; set-user-ID is kept where the owner is.
TEST_F(AdapterFiles, AccessBitsAreCopiedThroughLinks) {
    std::string target = dir_.file("target");
    wextest::write_file(dir_.file("real.ini"), "x");
    ASSERT_EQ(symlink("real.ini", dir_.file("first").c_str()), 0);
    ASSERT_EQ(symlink(dir_.file("first").c_str(), dir_.file("second").c_str()), 0);
    std::string real = resolved(dir_.file("real.ini"));
    EXPECT_EQ(resolved(dir_.file("second")), real);
    EXPECT_EQ(real.substr(real.size() - 9), "/real.ini");
    auto targetMode = [&target] { return static_cast<mode_t>(fs::status(target).permissions()); };
    for (mode_t mode : {0600u, 0604u, 04755u, 0400u}) {
        ASSERT_EQ(chmod(dir_.file("real.ini").c_str(), mode), 0);
        unlink(target.c_str());
        QUIL_FILE *file = QUIL_Fopen(target.c_str(), "wx");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(targetMode(), 0600u) << "a new file that only its owner may read";
        EXPECT_EQ(QUIL_CopyFileAccess(dir_.file("second").c_str(), file), 0);
        QUIL_Fclose(file);
        EXPECT_EQ(targetMode(), mode) << std::oct << mode;
    }
}
#endif

// Each run of the hook notes whether the file it watches was still there: the call it awaited had
// not done its work yet.
struct Watch {
    std::string path;
    std::vector<bool> runs;
};

TEST_F(AdapterFiles, AHookRunsOnceRightBeforeTheNextCallOfItsOperationFailingOrNot) {
    std::string from = file_with("from", "x");
    std::string to = dir_.file("to");
    Watch watch{from, {}};
    QuilAdapterHook note = [](void *context) {
        auto *watch = static_cast<Watch *>(context);
        watch->runs.push_back(wextest::file_exists(watch->path));
    };
    QUIL_Adapter_BeforeCall(QUIL_OP_RENAME, note, &watch);
    QUIL_Adapter_BeforeCall(QUIL_OP_REMOVE, note, &watch);
    QUIL_Adapter_BeforeCall(QUIL_OP_REMOVE, nullptr, nullptr); // disarmed
    EXPECT_EQ(QUIL_Remove(dir_.file("missing").c_str()), -1);
    EXPECT_TRUE(watch.runs.empty());
    EXPECT_EQ(QUIL_Rename(from.c_str(), to.c_str()), 0);
    EXPECT_EQ(QUIL_Rename(to.c_str(), from.c_str()), 0);
    EXPECT_EQ(watch.runs, std::vector<bool>{true});
    QUIL_Adapter_BeforeCall(QUIL_OP_RENAME, note, &watch);
    wextest::ScopedFault fault(QUIL_OP_RENAME, 1);
    EXPECT_EQ(QUIL_Rename(from.c_str(), to.c_str()), -1);
    EXPECT_EQ(watch.runs, (std::vector<bool>{true, true}));
}

TEST_F(AdapterFiles, ExchangingNamesSwapsTheFilesWhereTheSystemCan) {
    std::string a = file_with("a.ini", "first");
    std::string b = file_with("b.ini", "second");
    QuilFileIdentity before[2]{};
    ASSERT_EQ(QUIL_PathIdentity(a.c_str(), &before[0]) + QUIL_PathIdentity(b.c_str(), &before[1]),
              0);
#ifdef __linux__
    ASSERT_EQ(QUIL_ExchangeFiles(a.c_str(), b.c_str()), 0);
    QuilFileIdentity after[2]{};
    ASSERT_EQ(QUIL_PathIdentity(a.c_str(), &after[0]) + QUIL_PathIdentity(b.c_str(), &after[1]), 0);
    EXPECT_EQ(after[0].inode, before[1].inode);
    EXPECT_EQ(after[1].inode, before[0].inode);
    EXPECT_EQ(wextest::read_file(a) + "|" + wextest::read_file(b), "second|first");
    EXPECT_EQ(QUIL_ExchangeFiles(a.c_str(), dir_.file("missing").c_str()), -1);
    EXPECT_EQ(QUIL_LastError(), ENOENT);
#else
    EXPECT_EQ(QUIL_ExchangeFiles(a.c_str(), b.c_str()), QUIL_EXCHANGE_UNSUPPORTED);
    EXPECT_EQ(wextest::read_file(a) + "|" + wextest::read_file(b), "first|second");
#endif
    QUIL_Remove(nullptr); // EINVAL, which the exchange must not overwrite
    wextest::ScopedFault fault(QUIL_OP_EXCHANGE, 1);
    EXPECT_EQ(QUIL_ExchangeFiles(b.c_str(), a.c_str()), QUIL_EXCHANGE_UNSUPPORTED);
    EXPECT_EQ(QUIL_LastError(), EINVAL) << "the unsupported answer records no cause";
}

// Every row fails for another cause than the row before, so that a cause left over from an
// earlier call cannot pass for the row's own. What is no regular file is refused at once, also
// by a new file's creation and by the lock.
TEST_F(AdapterFiles, OnlyAnExistingRegularFileMayBeWrittenInPlaceAndCheckingChangesNothing) {
    std::string file = file_with("doc.ini", "text");
    const fs::file_time_type modified = fs::last_write_time(fs::u8path(file));
    std::vector<std::pair<std::string, int32_t>> rows = {
        {file, 0}, {dir_.path(), QUIL_ERROR_NOT_REGULAR}, {dir_.file("missing"), ENOENT}};
#ifdef _WIN32
    std::string marked = file_with("marked.ini", "x");
    std::string held = file_with("held.ini", "x");
    ASSERT_TRUE(SetFileAttributesW(wide(marked).c_str(), FILE_ATTRIBUTE_READONLY));
    // Another program's handle that shares no writing.
    HANDLE holder = CreateFileW(wide(held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    rows.insert(rows.end(), {{marked, EACCES}, {held, EBUSY}});
#else
    ASSERT_EQ(symlink(file.c_str(), dir_.file("link").c_str()), 0);
    ASSERT_EQ(symlink("missing", dir_.file("dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(dir_.file("fifo.ini").c_str(), 0600), 0);
    std::string readOnly = file_with("read-only.ini", "x"); // root may write it all the same
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    rows.insert(rows.end(), {{dir_.file("link"), 0},
                             {"/dev/null", QUIL_ERROR_NOT_REGULAR},
                             {dir_.file("dangling"), ENOENT},
                             {dir_.file("fifo.ini"), QUIL_ERROR_NOT_REGULAR},
                             {readOnly, geteuid() == 0 ? 0 : EACCES}});
    alarm(10); // SIGALRM ends the binary: a call that waits on the FIFO fails the run, not hangs it
#endif
    for (const auto &[path, cause] : rows) {
        EXPECT_EQ(QUIL_CheckWritable(path.c_str()), cause == 0 ? 0 : -1) << path;
        EXPECT_TRUE(cause == 0 || QUIL_LastError() == cause) << path << ": " << QUIL_LastError();
        if (cause == QUIL_ERROR_NOT_REGULAR) {
#ifndef _WIN32
            EXPECT_EQ(QUIL_Fopen(path.c_str(), "wx"), nullptr);
            EXPECT_EQ(QUIL_LastError(), EEXIST) << path;
#endif
            int32_t status = QUIL_LOCK_TAKEN;
            EXPECT_EQ(QUIL_LockFile(path.c_str(), 0, &status), nullptr);
            EXPECT_EQ(status, QUIL_LOCK_FAILED);
            EXPECT_EQ(QUIL_LastError(), QUIL_ERROR_NOT_REGULAR) << path;
        }
    }
#ifdef _WIN32
    CloseHandle(holder);
    EXPECT_EQ(QUIL_CheckWritable(held.c_str()), 0);
    SetFileAttributesW(wide(marked).c_str(), FILE_ATTRIBUTE_NORMAL); // so that it can be removed
#else
    alarm(0);
#endif
    EXPECT_EQ(fs::last_write_time(fs::u8path(file)), modified);
    EXPECT_EQ(wextest::read_file(file), "text");
}

TEST(AdapterStrings, ComparisonFoldsAsciiLettersOnlyAndComparesBytesAsUnsigned) {
    EXPECT_EQ(QUIL_StriCmp("SectionAZ", "sECTIONaz"), 0);
    const std::pair<const char *, const char *> differing[] = {
        {"@", "`"}, {"[", "{"}, {"abc", "ab"}, {"\xc3\x84", "\xc3\xa4"}};
    for (const auto &[a, b] : differing) {
        EXPECT_NE(QUIL_StriCmp(a, b), 0) << a << " " << b;
    }
    EXPECT_LT(QUIL_StriCmp("a", "\xe4"), 0);
}

// Readings rise in each thread and never repeat across threads, unless a time is fixed.
TEST(AdapterClock, ReadingsAreNanosecondsSince1970AndRiseAcrossThreadsUnlessATimeIsFixed) {
    uint64_t first = QUIL_GetSystemTime();
    // Within 5 s of the C library's clock: a loaded machine's delay.
    EXPECT_NEAR(static_cast<double>(first) / 1e9, static_cast<double>(std::time(nullptr)), 5);
    std::vector<std::vector<uint64_t>> seen(4, std::vector<uint64_t>(5000));
    std::vector<std::thread> threads;
    for (auto &readings : seen) {
        threads.emplace_back(
            [&readings] { std::generate(readings.begin(), readings.end(), QUIL_GetSystemTime); });
    }
    std::vector<uint64_t> all{first};
    for (size_t t = 0; t < threads.size(); ++t) {
        threads[t].join();
        EXPECT_EQ(std::adjacent_find(seen[t].begin(), seen[t].end(), std::greater_equal<>()),
                  seen[t].end());
        EXPECT_GT(seen[t].front(), first);
        all.insert(all.end(), seen[t].begin(), seen[t].end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    QUIL_Adapter_SetTime(42);
    EXPECT_EQ(QUIL_GetSystemTime(), 42u);
    QUIL_Adapter_SetTime(0);
    EXPECT_GT(QUIL_GetSystemTime(), all.back());
}

// Threads one after another take over the counters of ended ones; each gives back the block the
// thread before it left behind.
TEST(AdapterConcurrency, CountsOfEndedThreadsStayAndBlocksMayChangeThreads) {
    uint32_t live = QUIL_Adapter_LiveBlocks();
    uint64_t calls = QUIL_Adapter_CallCount(QUIL_OP_ALLOC);
    void *handedOn = nullptr;
    for (int t = 0; t < 20; ++t) {
        std::thread([&handedOn] {
            QUIL_MemFreeD(handedOn, __LINE__, kHere);
            handedOn = QUIL_MemMallocD(8, __LINE__, kHere);
        }).join();
        EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live + 1);
    }
    QUIL_MemFreeD(handedOn, __LINE__, kHere);
    EXPECT_EQ(QUIL_Adapter_CallCount(QUIL_OP_ALLOC), calls + 20);
}

// Not on Windows, where the adapter keeps no per-thread counts and MinGW's thread_local objects
// are destroyed in no set order. Made before the thread's first count, this is destroyed after
// the adapter has let go of that thread's counters.
#ifndef _WIN32
struct FreedAtThreadEnd {
    void *block = nullptr;
    ~FreedAtThreadEnd() { QUIL_MemFreeD(block, __LINE__, kHere); }
};
thread_local FreedAtThreadEnd t_freedAtEnd;

TEST(AdapterConcurrency, BlocksGivenBackWhileAThreadEndsAreCounted) {
    uint32_t live = QUIL_Adapter_LiveBlocks();
    std::thread([] {
        FreedAtThreadEnd &slot = t_freedAtEnd; // before the allocation, which is the first count
        slot.block = QUIL_MemMallocD(8, __LINE__, kHere);
    }).join();
    EXPECT_EQ(QUIL_Adapter_LiveBlocks(), live);
}
#endif

TEST(Bounded, WhatDoesNotFitLeavesAnEmptyDestinationAndNothingIsWrittenPastIt) {
    char buffer[8];
    EXPECT_EQ(wex::bounded::strcpy_s(buffer, sizeof buffer, "1234567"), 0);
    EXPECT_NE(wex::bounded::strcpy_s(buffer, sizeof buffer, "12345678"), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_NE(wex::bounded::strcpy_s(buffer, sizeof buffer, nullptr), 0);
    EXPECT_NE(wex::bounded::strcpy_s(buffer, 0, "x"), 0);
    EXPECT_EQ(wex::bounded::strcpy_s(buffer, sizeof buffer, "abc"), 0);
    EXPECT_EQ(wex::bounded::strcat_s(buffer, sizeof buffer, "defg"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_NE(wex::bounded::strcat_s(buffer, sizeof buffer, "h"), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(wex::bounded::sprintf_s(buffer, 6, "%s=%d", "a", 123), 5);
    EXPECT_STREQ(buffer, "a=123");
    EXPECT_EQ(wex::bounded::sprintf_s(buffer, 6, "%s=%d", "a", 1234), -1);
    EXPECT_STREQ(buffer, "");
    using Bytes = std::vector<unsigned char>;
    unsigned char bytes[6] = {1, 1, 1, 1, 9, 9};
    const unsigned char source[5] = {2, 2, 2, 2, 2};
    EXPECT_NE(wex::bounded::memcpy_s(bytes, 4, source, 5), 0);
    EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{0, 0, 0, 0, 9, 9})) << "cleared, as far as it goes";
    EXPECT_EQ(wex::bounded::memcpy_s(bytes, 4, source, 4), 0);
    EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{2, 2, 2, 2, 9, 9}));
    EXPECT_NE(wex::bounded::memset_s(bytes, 4, 7, 6), 0);
    EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{7, 7, 7, 7, 9, 9}));
    EXPECT_NE(wex::bounded::memcpy_s(nullptr, 4, source, 1), 0);
}

} // namespace
