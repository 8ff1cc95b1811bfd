// The platform adapter's operations on POSIX systems.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include "adapter_platform.h"

// The flag of renameat2 that exchanges two names (linux/fs.h), for C libraries that lack it.
#if defined(__linux__) && !defined(RENAME_EXCHANGE)
#define RENAME_EXCHANGE (1 << 1)
#endif

// The lock is flock's: it belongs to the open file description, so that closing another
// descriptor of the same file (a load reads through one) does not release it, and two records in
// one process exclude each other as two processes do. The system releases it with the last
// descriptor, also when the process is killed.
struct QUIL_LOCK {
    int fd;
};

namespace {

thread_local int32_t t_lastError = 0;

uint64_t nanoseconds_of(const timespec &t) {
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

void fill_identity(const struct stat &info, QuilFileIdentity *identity) {
    identity->device = static_cast<uint64_t>(info.st_dev);
    identity->inode = static_cast<uint64_t>(info.st_ino);
    identity->size = static_cast<uint64_t>(info.st_size);
#if defined(__APPLE__)
    identity->modifiedNs = nanoseconds_of(info.st_mtimespec);
    identity->changedNs = nanoseconds_of(info.st_ctimespec);
#else
    identity->modifiedNs = nanoseconds_of(info.st_mtim);
    identity->changedNs = nanoseconds_of(info.st_ctim);
#endif
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

// A new file that never follows a link planted at its name, with access as given (less the
// umask).
FILE *create_exclusive(const char *path, mode_t access) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, access);
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

// Commits the directory entry of path (a rename into that directory) to storage; best effort.
void sync_directory_of(const char *path) {
    const char *slash = std::strrchr(path, '/');
    size_t length = slash == nullptr ? 0 : slash == path ? 1 : static_cast<size_t>(slash - path);
    char *directory = length == 0 ? strdup(".") : strndup(path, length);
    if (directory == nullptr) {
        return;
    }
    int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    std::free(directory);
}

// renameat2 with RENAME_EXCHANGE; where the C library has no wrapper (glibc before 2.28), the
// system call itself. -1 with errno ENOSYS where neither exists.
int exchange_entries(const char *a, const char *b) {
#if defined(__linux__) && defined(__GLIBC__) &&                                                    \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
    return renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
#elif defined(__linux__) && defined(SYS_renameat2)
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE));
#else
    (void)a;
    (void)b;
    errno = ENOSYS;
    return -1;
#endif
}

// The answers of a system or file system that cannot exchange names: no system call, an unknown
// flag, or a file system without the operation.
bool means_unsupported(int error) {
    return error == ENOSYS || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP;
}

// Whether info describes a regular file; errno tells when it does not.
bool is_regular(const struct stat &info) {
    if (!S_ISREG(info.st_mode)) {
        errno = QUIL_ERROR_NOT_REGULAR;
        return false;
    }
    return true;
}

// Closes fd keeping the errno of the failure that led to closing it.
void close_keeping_errno(int fd) {
    int cause = errno;
    close(fd);
    errno = cause;
}

} // namespace

namespace wex::adapter {

void store_thread_error(int32_t code) {
    t_lastError = code;
}

int32_t thread_error() {
    return t_lastError;
}

// glibc's own text, which, unlike strerror's, is never translated nor made up for the call.
const char *system_error_text(int32_t code) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    const char *text = strerrordesc_np(code);
    return text != nullptr ? text : "Unknown error";
#else
    return std::strerror(code);
#endif
}

uint64_t clock_nanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

FILE *open_stream(const char *path, const char *mode) {
    if (std::strcmp(mode, "r") == 0) {
        return open_for_reading(path);
    }
    if (std::strcmp(mode, "w") == 0) {
        return std::fopen(path, "wb");
    }
    if (std::strcmp(mode, "wx") == 0) {
        return create_exclusive(path, 0600);
    }
    if (std::strcmp(mode, "wxn") == 0) {
        return create_exclusive(path, 0666); // less the umask, as a new file gets
    }
    errno = EINVAL;
    return nullptr;
}

int read_byte(FILE *stream) {
    return getc_unlocked(stream);
}

bool rename_replacing(const char *from, const char *to) {
    if (std::rename(from, to) != 0) {
        return false;
    }
    sync_directory_of(to);
    return true;
}

bool remove_file(const char *path) {
    return std::remove(path) == 0;
}

Exchange exchange_names(const char *a, const char *b) {
    if (exchange_entries(a, b) != 0) {
        return means_unsupported(errno) ? Exchange::Unsupported : Exchange::Failed;
    }
    sync_directory_of(b);
    return Exchange::Done;
}

// stat never opens the file, so that a FIFO cannot make it wait; faccessat asks with the
// effective IDs, as a write would.
bool writable_in_place(const char *path) {
    struct stat info {};
    return stat(path, &info) == 0 && is_regular(info) &&
           faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0;
}

bool commit_to_disk(FILE *stream) {
    return fsync(fileno(stream)) == 0;
}

bool copy_access(const char *path, FILE *to) {
    struct stat source {};
    if (stat(path, &source) != 0) {
        return false;
    }
    int fd = fileno(to);
    // Owner first: a change of owner may clear the set-ID bits that the mode then sets.
    OwnerCopy copied = copy_owner(fd, source);
    return fchmod(fd, safe_mode(source, copied)) == 0;
}

char *resolve_path(const char *path, uint32_t line, const char *file) {
    char *resolved = realpath(path, nullptr);
    if (resolved == nullptr) {
        return tracked_copy(path, line, file);
    }
    char *copy = tracked_copy(resolved, line, file);
    std::free(resolved);
    return copy;
}

bool identity_of_stream(FILE *stream, QuilFileIdentity *identity) {
    struct stat info {};
    if (fstat(fileno(stream), &info) != 0) {
        return false;
    }
    fill_identity(info, identity);
    return true;
}

bool identity_of_path(const char *path, QuilFileIdentity *identity) {
    struct stat info {};
    if (stat(path, &info) != 0) {
        return false;
    }
    fill_identity(info, identity);
    return true;
}

uint64_t monotonic_milliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return nanoseconds_of(now) / 1000000u;
}

void pause_milliseconds(uint32_t milliseconds) {
    timespec pause{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

QUIL_LOCK *open_for_lock(const char *path) {
    // Not blocking: opening a FIFO for reading would wait for a writer.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat info {};
    bool regular = fstat(fd, &info) == 0 && is_regular(info);
    auto *lock = regular ? static_cast<QUIL_LOCK *>(std::malloc(sizeof(QUIL_LOCK))) : nullptr;
    if (lock == nullptr) {
        close_keeping_errno(fd);
        return nullptr;
    }
    lock->fd = fd;
    return lock;
}

LockAttempt try_lock(QUIL_LOCK *lock) {
    for (;;) {
        if (flock(lock->fd, LOCK_EX | LOCK_NB) == 0) {
            return LockAttempt::Taken;
        }
        if (errno == EWOULDBLOCK) {
            return LockAttempt::Busy;
        }
        if (errno != EINTR) {
            return LockAttempt::Failed;
        }
    }
}

bool lock_designates(QUIL_LOCK *lock, const char *path) {
    struct stat held {};
    struct stat named {};
    return fstat(lock->fd, &held) == 0 && stat(path, &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

void close_lock(QUIL_LOCK *lock) {
    close(lock->fd); // releases the lock with the descriptor
    std::free(lock);
}

} // namespace wex::adapter
