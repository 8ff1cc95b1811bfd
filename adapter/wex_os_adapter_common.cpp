// The platform adapter's portable part: allocation, accounting, fault injection, the stdio file
// calls, the string helpers and the clock's ordering. The system's own operations come from
// adapter_platform.h.
//
// Accounting: calls per operation, failed allocations and given-back blocks, counted by every
// thread in a block of counters of its own, so that counting is a plain load and store: a
// locked read-modify-write on a shared counter costs as much as a small malloc. (On Windows all
// threads count in one shared block with atomic increments.) The readers add
// up all blocks; the live-block count is calls - failures - frees. Fault injection is a
// countdown per operation; while it is zero (disarmed) the check is a single relaxed load, and
// so is the check for a test's hook.
//
// A file call that fails records its cause as the thread's last error: what the platform or the
// C library left in errno, EINVAL for an argument refused here, EIO for an injected fault.
#include "wex_os_adapter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "adapter_platform.h"

// The thread's counter block is looked up on every allocation: in an ELF shared library the
// initial-exec model makes that one load instead of a call into the dynamic linker.
#if defined(__GNUC__) && !defined(_WIN32)
#define WEX_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define WEX_FAST_TLS
#endif

// Windows threads all count in the shared block. MinGW keeps thread_local data in blocks that its
// threads library frees at thread exit in no set order with the destructors of thread_local
// objects, so a thread could give its counters up after their storage was gone (seen as heap
// corruption under Wine).
#if defined(_WIN32)
#define WEX_COUNTS_PER_THREAD 0
#else
#define WEX_COUNTS_PER_THREAD 1
#endif

// An open file: the stdio stream, followed by its read buffer when it was opened for reading.
// The type stays opaque to callers.
struct QUIL_FILE {
    std::FILE *stream;
};

namespace {

using namespace wex::adapter;

// The read buffer that a file opened for reading brings along, right behind its record. A stdio
// stream left to itself allocates a page for its buffer on the first read, and glibc serves a
// request of 1 KiB or more only after merging every small block freed before it: the small
// blocks asked for next, such as the lines of the document being loaded, then take the slow way
// to their memory. Large reads bypass the buffer anyway; it serves byte-at-a-time readers.
constexpr size_t kReadBuffer = 512;

inline FILE *stream_of(QUIL_FILE *file) {
    return file->stream;
}

constexpr int kOpCount = static_cast<int>(QUIL_OP_COUNT);

// One thread's counts, on cache lines of their own. Blocks are never given back: when a thread
// ends, its block keeps its counts and the next thread that starts counting adopts it and goes
// on adding, so the sums stay right and there are never more blocks than threads that once
// counted at the same time.
struct alignas(64) Counts {
    std::atomic<uint64_t> calls[kOpCount] = {};
    std::atomic<uint64_t> failedAllocs{0};
    std::atomic<uint64_t> frees{0};
    std::atomic<bool> owned{false};
    Counts *next = nullptr; // set before the block is published, never changed after
};

// The block that threads share when they have none of their own (their own block could not be
// made, or the thread is ending); counted with atomic increments. It heads the registry.
Counts g_sharedCounts;
std::atomic<Counts *> g_registry{&g_sharedCounts};

struct alignas(64) PaddedCountdown {
    std::atomic<uint32_t> value{0};
};
PaddedCountdown g_failAfter[kOpCount];

// A hook armed for the next call of an operation. Taking it is one exchange of the pointer, so
// that exactly one call runs it however many threads call at once.
struct ArmedHook {
    QuilAdapterHook hook;
    void *context;
};
std::atomic<ArmedHook *> g_hooks[kOpCount];

std::atomic<uint64_t> g_fixedTime{0};
std::atomic<uint64_t> g_lastTime{0};

#if WEX_COUNTS_PER_THREAD
thread_local Counts *t_counts WEX_FAST_TLS = nullptr;
thread_local bool t_ended = false;

// Gives the thread's block up when the thread ends; calls after that count in the shared block.
struct Ownership {
    Counts *held = nullptr;
    Ownership() = default;
    Ownership(const Ownership &) = delete;
    Ownership &operator=(const Ownership &) = delete;
    ~Ownership() {
        t_ended = true;
        t_counts = nullptr;
        if (held != nullptr) {
            held->owned.store(false, std::memory_order_release);
        }
    }
};
thread_local Ownership t_ownership;

Counts *take(Counts *counts) {
    t_ownership.held = counts;
    t_counts = counts;
    return counts;
}

// The thread's first count: adopt a block that an ended thread gave up, or publish a new one.
Counts *adopt_counts() {
    if (t_ended) {
        return &g_sharedCounts;
    }
    Counts *head = g_registry.load(std::memory_order_acquire);
    for (Counts *c = head; c != &g_sharedCounts; c = c->next) {
        bool free = false;
        if (c->owned.compare_exchange_strong(free, true, std::memory_order_acquire)) {
            return take(c);
        }
    }
    auto *made = new (std::nothrow) Counts;
    if (made == nullptr) {
        return &g_sharedCounts;
    }
    made->owned.store(true, std::memory_order_relaxed);
    made->next = head;
    while (!g_registry.compare_exchange_weak(made->next, made, std::memory_order_release,
                                             std::memory_order_acquire)) {
    }
    return take(made);
}

inline Counts *my_counts() {
    Counts *counts = t_counts;
    return counts != nullptr ? counts : adopt_counts();
}
#else
inline Counts *my_counts() {
    return &g_sharedCounts;
}
#endif

inline void add_one(Counts *counts, std::atomic<uint64_t> &counter) {
    if (counts == &g_sharedCounts) {
        counter.fetch_add(1, std::memory_order_release);
    } else {
        // The owner is the only writer. Release: a reader that sees a free also sees the
        // allocation counted before it, in whichever thread that was.
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
}

// The sum of one counter over every block.
template <typename Select> uint64_t sum_counts(Select select) {
    uint64_t sum = 0;
    for (Counts *c = g_registry.load(std::memory_order_acquire); c != nullptr; c = c->next) {
        sum += select(*c).load(std::memory_order_acquire);
    }
    return sum;
}

inline bool fault_hits(QuilAdapterOp op) {
    std::atomic<uint32_t> &countdown = g_failAfter[op].value;
    uint32_t left = countdown.load(std::memory_order_relaxed);
    while (left != 0) {
        if (countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            return left == 1;
        }
    }
    return false;
}

void run_armed_hook(QuilAdapterOp op) {
    ArmedHook *armed = g_hooks[op].exchange(nullptr, std::memory_order_acquire);
    if (armed != nullptr) {
        ArmedHook taken = *armed;
        delete armed;
        taken.hook(taken.context);
    }
}

// Counts one call of op, runs the hook armed for it and tells whether the armed fault hits it.
// The fault is claimed before the hook runs: calls that the hook makes are not the one it awaited.
inline bool call_fails(QuilAdapterOp op) {
    Counts *counts = my_counts();
    add_one(counts, counts->calls[op]);
    bool failing = fault_hits(op);
    if (g_hooks[op].load(std::memory_order_relaxed) != nullptr) {
        run_armed_hook(op);
    }
    return failing;
}

constexpr int32_t kInjectedCause = EIO;

// Records cause as the thread's last error and returns result: a failure path in one statement.
template <typename Result> Result failing(int32_t cause, Result result) {
    store_thread_error(cause);
    return result;
}

// The cause that the platform or the C library left in errno for the failure just reported.
int32_t system_cause() {
    int code = errno;
    return code != 0 ? code : EIO;
}

// What fails a file call before it does any work: the armed fault, then a refused argument.
// 0 lets the call go on.
int32_t refusal(QuilAdapterOp op, bool argumentsValid, int32_t injected = kInjectedCause) {
    if (call_fails(op)) {
        return injected;
    }
    return argumentsValid ? 0 : EINVAL;
}

inline void *count_result(void *block) {
    if (block == nullptr) {
        Counts *counts = my_counts();
        add_one(counts, counts->failedAllocs);
    }
    return block;
}

inline void count_free(void *block) {
    if (block != nullptr) {
        Counts *counts = my_counts();
        add_one(counts, counts->frees);
        std::free(block);
    }
}

// Zero-fills a block. Node-sized blocks (8 to 32 bytes) get two pairs of overlapping
// fixed-size stores, which the compiler emits inline: a call into memset would cost as much as
// the allocation's bookkeeping.
inline void clear_block(unsigned char *block, size_t size) {
    if (size >= 16 && size <= 32) {
        std::memset(block, 0, 16);
        std::memset(block + size - 16, 0, 16);
    } else if (size >= 8 && size < 16) {
        std::memset(block, 0, 8);
        std::memset(block + size - 8, 0, 8);
    } else {
        std::memset(block, 0, size);
    }
}

// malloc(0) may return null; a tracked block is always a real one.
inline size_t real_size(uint32_t size) {
    return size == 0 ? 1 : size;
}

// The pause between attempts to take a lock grows from 1 ms to this, so that a short wait is
// served quickly and a long one costs few wake-ups.
constexpr uint32_t kLongestLockPause = 64;

} // namespace

char *wex::adapter::tracked_copy(const char *text, uint32_t line, const char *file) {
    size_t size = std::strlen(text) + 1;
    if (size > UINT32_MAX) {
        return nullptr;
    }
    auto *copy = static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(size), line, file));
    if (copy != nullptr) {
        std::memcpy(copy, text, size);
    }
    return copy;
}

extern "C" {

void *QUIL_MemMallocS(uint32_t size, uint32_t, uint32_t, const char *) {
    if (call_fails(QUIL_OP_ALLOC)) {
        return count_result(nullptr);
    }
    // Not calloc: glibc's calloc bypasses the per-thread cache that makes small blocks cheap.
    void *block = std::malloc(real_size(size));
    if (block != nullptr) {
        clear_block(static_cast<unsigned char *>(block), real_size(size));
    }
    return count_result(block);
}

void *QUIL_MemMallocD(uint32_t size, uint32_t, const char *) {
    if (call_fails(QUIL_OP_ALLOC)) {
        return count_result(nullptr);
    }
    return count_result(std::malloc(real_size(size)));
}

void *QUIL_MemReallocD(void *block, uint32_t size, uint32_t line, const char *file) {
    if (block == nullptr) {
        return QUIL_MemMallocD(size, line, file);
    }
    if (call_fails(QUIL_OP_ALLOC)) {
        return count_result(nullptr);
    }
    void *moved = std::realloc(block, real_size(size));
    if (moved == nullptr) {
        return count_result(nullptr);
    }
    // The old block lives on as the new one: count the call as an allocation whose block
    // replaced a freed one, so the live count stays.
    Counts *counts = my_counts();
    add_one(counts, counts->frees);
    return moved;
}

void QUIL_MemFreeD(void *block, uint32_t, const char *) {
    count_free(block);
}

void QUIL_MemFreeSetNullD(void *blockAddress, uint32_t, const char *) {
    if (blockAddress == nullptr) {
        return;
    }
    void **slot = static_cast<void **>(blockAddress);
    count_free(*slot);
    *slot = nullptr;
}

QUIL_FILE *QUIL_Fopen(const char *path, const char *mode) {
    if (int32_t cause = refusal(QUIL_OP_FOPEN, path != nullptr && mode != nullptr); cause != 0) {
        return failing(cause, nullptr);
    }
    bool reading = std::strcmp(mode, "r") == 0;
    auto *file =
        static_cast<QUIL_FILE *>(std::malloc(sizeof(QUIL_FILE) + (reading ? kReadBuffer : 0)));
    if (file == nullptr) {
        return failing(ENOMEM, nullptr);
    }
    file->stream = open_stream(path, mode);
    if (file->stream == nullptr) {
        int32_t cause = system_cause();
        std::free(file);
        return failing(cause, nullptr);
    }
    if (reading) {
        std::setvbuf(file->stream, reinterpret_cast<char *>(file + 1), _IOFBF, kReadBuffer);
    }
    return file;
}

int32_t QUIL_Fclose(QUIL_FILE *file) {
    if (file == nullptr) {
        return failing(EINVAL, -1);
    }
    bool injected = call_fails(QUIL_OP_FCLOSE); // a failed close still ends the stream
    bool closed = std::fclose(file->stream) == 0;
    int32_t cause = closed ? kInjectedCause : system_cause();
    std::free(file); // after the stream, which used the read buffer until it was closed
    return closed && !injected ? 0 : failing(cause, -1);
}

int32_t QUIL_Fgetc(QUIL_FILE *file) {
    // The reader calls this once per byte: no lock per call, the stream is the caller's alone.
    if (file == nullptr) {
        return -1;
    }
    int c = read_byte(stream_of(file));
    return c == EOF ? -1 : c;
}

uint32_t QUIL_Fread(void *buffer, uint32_t size, uint32_t count, QUIL_FILE *file) {
    if (file == nullptr || buffer == nullptr) {
        return 0;
    }
    return static_cast<uint32_t>(std::fread(buffer, size, count, stream_of(file)));
}

int32_t QUIL_Ferror(QUIL_FILE *file) {
    return file != nullptr && std::ferror(stream_of(file)) != 0 ? 1 : 0;
}

int32_t QUIL_Fseek(QUIL_FILE *file, int32_t distance, int32_t origin) {
    if (int32_t cause = refusal(QUIL_OP_FSEEK, file != nullptr); cause != 0) {
        return failing(cause, -1);
    }
    int whence = origin == 0 ? SEEK_SET : origin == 2 ? SEEK_END : SEEK_CUR;
    return std::fseek(stream_of(file), distance, whence) == 0 ? 0 : failing(system_cause(), -1);
}

uint32_t QUIL_Fwrite(const void *buffer, uint32_t size, uint32_t count, QUIL_FILE *file) {
    if (int32_t cause = refusal(QUIL_OP_FWRITE, file != nullptr && buffer != nullptr); cause != 0) {
        return failing(cause, 0u);
    }
    auto written = static_cast<uint32_t>(std::fwrite(buffer, size, count, stream_of(file)));
    return written == count ? written : failing(system_cause(), written);
}

uint32_t QUIL_StrLen(const char *text) {
    return text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text));
}

int32_t QUIL_StriCmp(const char *a, const char *b) {
    auto fold = [](unsigned char c) -> int { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    const auto *p = reinterpret_cast<const unsigned char *>(a);
    const auto *q = reinterpret_cast<const unsigned char *>(b);
    while (*p != 0 && fold(*p) == fold(*q)) {
        ++p;
        ++q;
    }
    return fold(*p) - fold(*q);
}

char *QUIL_StrStr(const char *text, const char *pattern) {
    return const_cast<char *>(std::strstr(text, pattern));
}

char *QUIL_StrChr(const char *text, int32_t c) {
    return const_cast<char *>(std::strchr(text, c));
}

char *QUIL_StrrChr(const char *text, int32_t c) {
    return const_cast<char *>(std::strrchr(text, c));
}

int32_t QUIL_Rename(const char *from, const char *to) {
    if (int32_t cause = refusal(QUIL_OP_RENAME, from != nullptr && to != nullptr); cause != 0) {
        return failing(cause, -1);
    }
    return rename_replacing(from, to) ? 0 : failing(system_cause(), -1);
}

int32_t QUIL_Remove(const char *path) {
    if (int32_t cause = refusal(QUIL_OP_REMOVE, path != nullptr); cause != 0) {
        return failing(cause, -1);
    }
    return remove_file(path) ? 0 : failing(system_cause(), -1);
}

int32_t QUIL_ExchangeFiles(const char *a, const char *b) {
    if (call_fails(QUIL_OP_EXCHANGE)) {
        return QUIL_EXCHANGE_UNSUPPORTED; // like the system's answer, it records nothing
    }
    if (a == nullptr || b == nullptr) {
        return failing(EINVAL, -1);
    }
    switch (exchange_names(a, b)) {
    case Exchange::Done:
        return 0;
    case Exchange::Unsupported:
        return QUIL_EXCHANGE_UNSUPPORTED;
    default:
        return failing(system_cause(), -1);
    }
}

int32_t QUIL_CheckWritable(const char *path) {
    if (int32_t cause = refusal(QUIL_OP_WRITABLE, path != nullptr, EACCES); cause != 0) {
        return failing(cause, -1);
    }
    return writable_in_place(path) ? 0 : failing(system_cause(), -1);
}

int32_t QUIL_Fsync(QUIL_FILE *file) {
    if (int32_t cause = refusal(QUIL_OP_FSYNC, file != nullptr); cause != 0) {
        return failing(cause, -1);
    }
    FILE *stream = stream_of(file);
    return std::fflush(stream) == 0 && commit_to_disk(stream) ? 0 : failing(system_cause(), -1);
}

int32_t QUIL_CopyFileAccess(const char *path, QUIL_FILE *to) {
    if (int32_t cause = refusal(QUIL_OP_ACCESS, path != nullptr && to != nullptr); cause != 0) {
        return failing(cause, -1);
    }
    return copy_access(path, stream_of(to)) ? 0 : failing(system_cause(), -1);
}

char *QUIL_ResolvePath(const char *path, uint32_t line, const char *file) {
    if (path == nullptr) {
        return nullptr;
    }
    return resolve_path(path, line, file);
}

int32_t QUIL_Fidentity(QUIL_FILE *file, QuilFileIdentity *identity) {
    if (identity != nullptr) {
        *identity = QuilFileIdentity{};
    }
    if (int32_t cause = refusal(QUIL_OP_IDENTITY, file != nullptr && identity != nullptr);
        cause != 0) {
        return failing(cause, -1);
    }
    return identity_of_stream(stream_of(file), identity) ? 0 : failing(system_cause(), -1);
}

int32_t QUIL_PathIdentity(const char *path, QuilFileIdentity *identity) {
    if (identity != nullptr) {
        *identity = QuilFileIdentity{};
    }
    if (int32_t cause = refusal(QUIL_OP_IDENTITY, path != nullptr && identity != nullptr);
        cause != 0) {
        return failing(cause, -1);
    }
    if (!identity_of_path(path, identity)) {
        *identity = QuilFileIdentity{};
        return failing(system_cause(), -1);
    }
    return 0;
}

QUIL_LOCK *QUIL_LockFile(const char *path, uint32_t waitMs, int32_t *status) {
    int32_t ignored = 0;
    int32_t &outcome = status != nullptr ? *status : ignored;
    outcome = QUIL_LOCK_FAILED;
    if (int32_t cause = refusal(QUIL_OP_LOCK, path != nullptr); cause != 0) {
        return failing(cause, nullptr);
    }
    uint64_t deadline = monotonic_milliseconds() + waitMs;
    uint32_t pause = 1;
    // Every attempt opens the file anew: a waiter holds no handle that would keep a Windows
    // holder from renaming its save over the file, and an attempt after a save meets the new file.
    for (;;) {
        QUIL_LOCK *lock = open_for_lock(path);
        if (lock == nullptr) {
            return failing(system_cause(), nullptr);
        }
        LockAttempt attempt = try_lock(lock);
        if (attempt == LockAttempt::Taken && lock_designates(lock, path)) {
            outcome = QUIL_LOCK_TAKEN;
            return lock;
        }
        int32_t cause = system_cause(); // of a failed attempt, before closing changes errno
        close_lock(lock);
        if (attempt == LockAttempt::Failed) {
            return failing(cause, nullptr);
        }
        if (attempt == LockAttempt::Busy) {
            uint64_t now = monotonic_milliseconds();
            if (now >= deadline) {
                outcome = QUIL_LOCK_BUSY;
                return nullptr;
            }
            uint64_t left = deadline - now;
            pause_milliseconds(left < pause ? static_cast<uint32_t>(left) : pause);
            pause = pause < kLongestLockPause ? pause * 2 : pause;
        }
        // Taken on a file that a save has just replaced: the next attempt takes the new one.
    }
}

void QUIL_UnlockFile(QUIL_LOCK *lock) {
    if (lock != nullptr) {
        close_lock(lock);
    }
}

uint64_t QUIL_GetSystemTime(void) {
    uint64_t fixed = g_fixedTime.load(std::memory_order_relaxed);
    if (fixed != 0) {
        return fixed;
    }
    // Strictly increasing within the process, even when the clock stands still or steps back.
    uint64_t now = clock_nanoseconds();
    uint64_t last = g_lastTime.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = now > last ? now : last + 1;
    } while (!g_lastTime.compare_exchange_weak(last, next, std::memory_order_relaxed));
    return next;
}

uint32_t QUIL_Adapter_LiveBlocks(void) {
    // Frees and failures first: every block they count was counted as a call before, so the
    // difference cannot go below zero while other threads allocate.
    uint64_t frees = sum_counts([](Counts &c) -> std::atomic<uint64_t> & { return c.frees; });
    uint64_t failed =
        sum_counts([](Counts &c) -> std::atomic<uint64_t> & { return c.failedAllocs; });
    uint64_t calls =
        sum_counts([](Counts &c) -> std::atomic<uint64_t> & { return c.calls[QUIL_OP_ALLOC]; });
    return static_cast<uint32_t>(calls - failed - frees);
}

uint64_t QUIL_Adapter_CallCount(QuilAdapterOp op) {
    if (op < 0 || op >= QUIL_OP_COUNT) {
        return 0;
    }
    return sum_counts([op](Counts &c) -> std::atomic<uint64_t> & { return c.calls[op]; });
}

void QUIL_Adapter_FailNth(QuilAdapterOp op, uint32_t n) {
    if (op >= 0 && op < QUIL_OP_COUNT) {
        g_failAfter[op].value.store(n, std::memory_order_relaxed);
    }
}

void QUIL_Adapter_BeforeCall(QuilAdapterOp op, QuilAdapterHook hook, void *context) {
    if (op < 0 || op >= QUIL_OP_COUNT) {
        return;
    }
    ArmedHook *armed = hook != nullptr ? new (std::nothrow) ArmedHook{hook, context} : nullptr;
    delete g_hooks[op].exchange(armed, std::memory_order_acq_rel);
}

int32_t QUIL_LastError(void) {
    return thread_error();
}

const char *QUIL_ErrorText(int32_t code) {
    return code == QUIL_ERROR_NOT_REGULAR ? "not a regular file" : system_error_text(code);
}

void QUIL_Adapter_SetTime(uint64_t t) {
    g_fixedTime.store(t, std::memory_order_relaxed);
}

} // extern "C"
