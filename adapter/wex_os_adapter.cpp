// The platform adapter over POSIX and stdio.
//
// Accounting is three kinds of process-wide atomic counters: calls per operation, failed
// allocations and given-back blocks. The live-block count is derived from them
// (calls - failures - frees), so an allocation costs one relaxed increment on top of malloc and
// a release one more on top of free. Fault injection is a countdown per operation; while it is
// zero (disarmed) the check is a single relaxed load.
#include "wex_os_adapter.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A QUIL_FILE is the stdio stream itself; the type stays opaque to callers.
inline FILE *stream_of(QUIL_FILE *file) {
    return reinterpret_cast<FILE *>(file);
}

constexpr int kOpCount = static_cast<int>(QUIL_OP_COUNT);

// Each counter on its own cache line: threads that allocate should not also fight over the
// line of the file counters.
struct alignas(64) PaddedCounter {
    std::atomic<uint64_t> value{0};
};
struct alignas(64) PaddedCountdown {
    std::atomic<uint32_t> value{0};
};

PaddedCounter g_calls[kOpCount];
PaddedCountdown g_failAfter[kOpCount];
PaddedCounter g_failedAllocs;
PaddedCounter g_frees;
std::atomic<uint64_t> g_fixedTime{0};
std::atomic<uint64_t> g_lastTime{0};

// Counts one call of op and tells whether the armed fault hits it.
inline bool call_fails(QuilAdapterOp op) {
    g_calls[op].value.fetch_add(1, std::memory_order_release);
    std::atomic<uint32_t> &countdown = g_failAfter[op].value;
    uint32_t left = countdown.load(std::memory_order_relaxed);
    while (left != 0) {
        if (countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            return left == 1;
        }
    }
    return false;
}

inline void *count_result(void *block) {
    if (block == nullptr) {
        g_failedAllocs.value.fetch_add(1, std::memory_order_release);
    }
    return block;
}

inline void count_free(void *block) {
    if (block != nullptr) {
        g_frees.value.fetch_add(1, std::memory_order_release);
        std::free(block);
    }
}

// malloc(0) may return null; a tracked block is always a real one.
inline size_t real_size(uint32_t size) {
    return size == 0 ? 1 : size;
}

uint64_t clock_nanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// Opens path for reading. A directory is refused: reading one fails at once, which a reader would
// take for an empty file.
FILE *open_for_reading(const char *path) {
    FILE *stream = std::fopen(path, "rb");
    struct stat info {};
    if (stream != nullptr && fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(stream);
        errno = EISDIR;
        return nullptr;
    }
    return stream;
}

// Opens a stdio stream for the adapter's modes: "r", "w" and "wx" (exclusive creation that
// never follows a link planted at the name).
FILE *open_stream(const char *path, const char *mode) {
    if (std::strcmp(mode, "r") == 0) {
        return open_for_reading(path);
    }
    if (std::strcmp(mode, "w") == 0) {
        return std::fopen(path, "wb");
    }
    if (std::strcmp(mode, "wx") == 0) {
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            return nullptr;
        }
        FILE *stream = fdopen(fd, "wb");
        if (stream == nullptr) {
            close(fd);
            unlink(path);
        }
        return stream;
    }
    errno = EINVAL;
    return nullptr;
}

// The owner and group of to become those of source where the process may; returns which of
// the two it could give.
struct OwnerCopy {
    bool owner;
    bool group;
};

OwnerCopy copy_owner(int fd, const struct stat &source) {
    if (fchown(fd, source.st_uid, source.st_gid) == 0) {
        return {true, true};
    }
    // An ordinary user may still give the file a group of its own.
    bool group = fchown(fd, static_cast<uid_t>(-1), source.st_gid) == 0;
    return {false, group};
}

// The permission bits that to may get without widening access: bits meant for an owner or a
// group that to could not be given are dropped.
mode_t safe_mode(const struct stat &source, OwnerCopy copied) {
    mode_t mode = source.st_mode & 07777;
    if (!copied.owner) {
        mode &= static_cast<mode_t>(~S_ISUID);
    }
    if (!copied.group) {
        mode &= static_cast<mode_t>(~(S_ISGID | S_IRWXG));
    }
    return mode;
}

char *tracked_copy(const char *text, uint32_t line, const char *file) {
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

} // namespace

extern "C" {

void *QUIL_MemMallocS(uint32_t size, uint32_t, uint32_t, const char *) {
    if (call_fails(QUIL_OP_ALLOC)) {
        return count_result(nullptr);
    }
    return count_result(std::calloc(1, real_size(size)));
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
    g_frees.value.fetch_add(1, std::memory_order_release);
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
    if (call_fails(QUIL_OP_FOPEN) || path == nullptr || mode == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<QUIL_FILE *>(open_stream(path, mode));
}

int32_t QUIL_Fclose(QUIL_FILE *file) {
    if (file == nullptr) {
        return -1;
    }
    return std::fclose(stream_of(file)) == 0 ? 0 : -1;
}

int32_t QUIL_Fgetc(QUIL_FILE *file) {
    // The reader calls this once per byte: no lock per call, the stream is the caller's alone.
    if (file == nullptr) {
        return -1;
    }
    int c = getc_unlocked(stream_of(file));
    return c == EOF ? -1 : c;
}

uint32_t QUIL_Fread(void *buffer, uint32_t size, uint32_t count, QUIL_FILE *file) {
    if (file == nullptr || buffer == nullptr) {
        return 0;
    }
    return static_cast<uint32_t>(std::fread(buffer, size, count, stream_of(file)));
}

int32_t QUIL_Fseek(QUIL_FILE *file, int32_t distance, int32_t origin) {
    if (call_fails(QUIL_OP_FSEEK) || file == nullptr) {
        return -1;
    }
    int whence = origin == 0 ? SEEK_SET : origin == 2 ? SEEK_END : SEEK_CUR;
    return std::fseek(stream_of(file), distance, whence) == 0 ? 0 : -1;
}

uint32_t QUIL_Fwrite(const void *buffer, uint32_t size, uint32_t count, QUIL_FILE *file) {
    if (call_fails(QUIL_OP_FWRITE) || file == nullptr || buffer == nullptr) {
        return 0;
    }
    return static_cast<uint32_t>(std::fwrite(buffer, size, count, stream_of(file)));
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
    if (call_fails(QUIL_OP_RENAME)) {
        return -1;
    }
    return std::rename(from, to) == 0 ? 0 : -1;
}

int32_t QUIL_Remove(const char *path) {
    if (call_fails(QUIL_OP_REMOVE)) {
        return -1;
    }
    return std::remove(path) == 0 ? 0 : -1;
}

int32_t QUIL_Fsync(QUIL_FILE *file) {
    if (call_fails(QUIL_OP_FSYNC) || file == nullptr) {
        return -1;
    }
    FILE *stream = stream_of(file);
    if (std::fflush(stream) != 0) {
        return -1;
    }
    return fsync(fileno(stream)) == 0 ? 0 : -1;
}

int32_t QUIL_CopyFileAccess(const char *path, QUIL_FILE *to) {
    if (call_fails(QUIL_OP_ACCESS) || path == nullptr || to == nullptr) {
        return -1;
    }
    struct stat source {};
    if (stat(path, &source) != 0) {
        return -1;
    }
    int fd = fileno(stream_of(to));
    // Owner first: a change of owner may clear the set-ID bits that the mode then sets.
    OwnerCopy copied = copy_owner(fd, source);
    return fchmod(fd, safe_mode(source, copied)) == 0 ? 0 : -1;
}

char *QUIL_ResolvePath(const char *path, uint32_t line, const char *file) {
    if (path == nullptr) {
        return nullptr;
    }
    char *resolved = realpath(path, nullptr);
    if (resolved == nullptr) {
        return tracked_copy(path, line, file);
    }
    char *copy = tracked_copy(resolved, line, file);
    std::free(resolved);
    return copy;
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
    uint64_t frees = g_frees.value.load(std::memory_order_acquire);
    uint64_t failed = g_failedAllocs.value.load(std::memory_order_acquire);
    uint64_t calls = g_calls[QUIL_OP_ALLOC].value.load(std::memory_order_acquire);
    return static_cast<uint32_t>(calls - failed - frees);
}

uint64_t QUIL_Adapter_CallCount(QuilAdapterOp op) {
    if (op < 0 || op >= QUIL_OP_COUNT) {
        return 0;
    }
    return g_calls[op].value.load(std::memory_order_relaxed);
}

void QUIL_Adapter_FailNth(QuilAdapterOp op, uint32_t n) {
    if (op >= 0 && op < QUIL_OP_COUNT) {
        g_failAfter[op].value.store(n, std::memory_order_relaxed);
    }
}

void QUIL_Adapter_SetTime(uint64_t t) {
    g_fixedTime.store(t, std::memory_order_relaxed);
}

} // extern "C"
