// The platform adapter's operations on POSIX systems.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "adapter_platform.h"

namespace {

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

// A new file that never follows a link planted at its name.
FILE *create_exclusive(const char *path) {
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

} // namespace

namespace wex::adapter {

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
        return create_exclusive(path);
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

} // namespace wex::adapter
