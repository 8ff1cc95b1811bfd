// The platform adapter's operations on Windows. Paths are UTF-8; they are converted for the
// system's wide-character calls, so that any name Windows can hold can be given.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "adapter_platform.h"
#include "wex_os_adapter.h"

// The lock is a byte-range lock of LockFileEx on a handle of its own. Windows enforces such
// locks on reads and writes of the range, so the range lies far beyond the end of any real file:
// the file's bytes stay free for everyone. The system releases the lock when the handle is
// closed, also when the process is killed.
struct QUIL_LOCK {
    HANDLE handle;
};

namespace {

constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF; // 2^63 - 2^32 bytes in
constexpr DWORD kLockLength = 1;

// FILETIME counts 100-nanosecond ticks since 1601-01-01 UTC.
constexpr uint64_t kTicksFrom1601To1970 = 116444736000000000u;
constexpr uint64_t kNanosecondsPerTick = 100;

// Files are shared as on POSIX systems: others may read and write them, and a file that is open
// may still be renamed over or removed.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Windows' errors as the errno values that callers compare causes with; any other is EIO.
struct ErrorMapping {
    DWORD error;
    int code;
};
constexpr ErrorMapping kErrnoOfError[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},        {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},         {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_WRITE_PROTECT, EROFS},          {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},      {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILE_EXISTS, EEXIST},           {ERROR_SHARING_VIOLATION, EBUSY},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},     {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_NO_UNICODE_TRANSLATION, EINVAL}};

// The texts of the C library of GNU systems, so that a cause reads the same everywhere.
struct ErrorText {
    int code;
    const char *text;
};
constexpr ErrorText kErrorTexts[] = {{0, "Success"},
                                     {ENOENT, "No such file or directory"},
                                     {EIO, "Input/output error"},
                                     {EBADF, "Bad file descriptor"},
                                     {ENOMEM, "Cannot allocate memory"},
                                     {EACCES, "Permission denied"},
                                     {EBUSY, "Device or resource busy"},
                                     {EEXIST, "File exists"},
                                     {EISDIR, "Is a directory"},
                                     {EINVAL, "Invalid argument"},
                                     {EMFILE, "Too many open files"},
                                     {ENOSPC, "No space left on device"},
                                     {EROFS, "Read-only file system"},
                                     {ENAMETOOLONG, "File name too long"}};

// The thread's last error lives in a slot of the system's thread-local storage: MinGW's own
// thread-local variables are freed at thread exit in no set order (see the portable part).
DWORD error_slot() {
    static const DWORD slot = TlsAlloc();
    return slot;
}

// Sets errno to the cause of the system's error; returns false for the failure it reports.
bool fail_with(DWORD error) {
    errno = EIO;
    for (const ErrorMapping &mapping : kErrnoOfError) {
        if (mapping.error == error) {
            errno = mapping.code;
        }
    }
    return false;
}

// As fail_with, for the error of the last failed system call of the thread.
bool fail_with_last_error() {
    return fail_with(GetLastError());
}

// GetFinalPathNameByHandleW puts this before a drive path and "\\?\UNC\" before a share path.
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
constexpr size_t kLongPathPrefixLength = sizeof kLongPathPrefix / sizeof(wchar_t) - 1;
constexpr wchar_t kUncPrefix[] = L"UNC\\";
constexpr size_t kUncPrefixLength = sizeof kUncPrefix / sizeof(wchar_t) - 1;

// A block of count wide characters from the C heap, given back when the scope ends. These are
// the adapter's own working buffers, not blocks it hands out, so they are not tracked.
class WideBuffer {
  public:
    WideBuffer() = default;
    explicit WideBuffer(size_t count)
        : text_(static_cast<wchar_t *>(std::malloc(count * sizeof(wchar_t)))) {}
    WideBuffer(WideBuffer &&other) noexcept : text_(other.text_) { other.text_ = nullptr; }
    ~WideBuffer() { std::free(text_); }
    WideBuffer(const WideBuffer &) = delete;
    WideBuffer &operator=(const WideBuffer &) = delete;
    WideBuffer &operator=(WideBuffer &&) = delete;

    wchar_t *get() const { return text_; }

  private:
    wchar_t *text_ = nullptr;
};

// The longest name of one file or directory that Windows' file systems hold, in UTF-16 units.
constexpr size_t kLongestName = 255;

// Whether a part of path between separators is longer than any file system holds. The system
// calls such a name missing or invalid rather than too long.
bool has_overlong_name(const wchar_t *path) {
    size_t run = 0;
    for (const wchar_t *c = path; *c != L'\0'; ++c) {
        run = *c == L'\\' || *c == L'/' ? 0 : run + 1;
        if (run > kLongestName) {
            return true;
        }
    }
    return false;
}

// A UTF-8 path in the wide characters the system takes. get() is null, with errno EINVAL, when
// the text is not valid UTF-8, ENAMETOOLONG when a name in it is too long, or ENOMEM when memory
// is short.
class WidePath {
  public:
    explicit WidePath(const char *path) : buffer_(wide_length(path)) {
        int length = static_cast<int>(wide_length(path));
        if (length > 0 && buffer_.get() == nullptr) {
            errno = ENOMEM;
        } else if (length == 0 || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1,
                                                      buffer_.get(), length) != length) {
            errno = EINVAL;
        } else if (has_overlong_name(buffer_.get())) {
            errno = ENAMETOOLONG;
        } else {
            valid_ = true;
        }
    }

    const wchar_t *get() const { return valid_ ? buffer_.get() : nullptr; }

  private:
    static size_t wide_length(const char *path) {
        int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
        return length > 0 ? static_cast<size_t>(length) : 0;
    }

    WideBuffer buffer_;
    bool valid_ = false;
};

HANDLE handle_of(std::FILE *stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

struct OpenMode {
    const char *name;
    DWORD access;
    DWORD disposition;
    DWORD flags;
    int descriptorFlags;
    const char *streamMode;
};

// "wx" fails on any name that exists, a link included, and opens the link itself rather than
// its target. It may also change the new file's access list, which QUIL_CopyFileAccess needs.
constexpr OpenMode kModes[] = {
    {"r", GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, _O_RDONLY | _O_BINARY, "rb"},
    {"w", GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, _O_WRONLY | _O_BINARY, "wb"},
    {"wx", GENERIC_WRITE | WRITE_DAC, CREATE_NEW,
     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, _O_WRONLY | _O_BINARY, "wb"},
    // A new file takes its directory's inherited access list either way.
    {"wxn", GENERIC_WRITE | WRITE_DAC, CREATE_NEW,
     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, _O_WRONLY | _O_BINARY, "wb"},
};

const OpenMode *find_mode(const char *name) {
    for (const OpenMode &mode : kModes) {
        if (std::strcmp(mode.name, name) == 0) {
            return &mode;
        }
    }
    return nullptr;
}

// Wraps an open handle into a stream; on failure the handle is closed.
std::FILE *stream_over(HANDLE handle, const OpenMode &mode) {
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), mode.descriptorFlags);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE *stream = _fdopen(descriptor, mode.streamMode);
    if (stream == nullptr) {
        _close(descriptor);
    }
    return stream;
}

// The path a final-path query returned, without the prefix that only the wide calls take:
// "\\?\C:\dir" becomes "C:\dir" and "\\?\UNC\server\share" becomes "\\server\share".
wchar_t *strip_long_path_prefix(wchar_t *path) {
    if (std::wcsncmp(path, kLongPathPrefix, kLongPathPrefixLength) != 0) {
        return path;
    }
    wchar_t *rest = path + kLongPathPrefixLength;
    if (std::wcsncmp(rest, kUncPrefix, kUncPrefixLength) != 0) {
        return rest;
    }
    wchar_t *share = rest + kUncPrefixLength - 2;
    share[0] = L'\\';
    share[1] = L'\\';
    return share;
}

// A wide text as a tracked UTF-8 block; null when memory is short.
char *tracked_utf8(const wchar_t *text, uint32_t line, const char *file) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return nullptr;
    }
    auto *copy = static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(size), line, file));
    if (copy != nullptr) {
        WideCharToMultiByte(CP_UTF8, 0, text, -1, copy, size, nullptr, nullptr);
    }
    return copy;
}

// The final path of an open file, every link resolved; get() is null when the system cannot give
// it.
WideBuffer final_path_of_handle(HANDLE handle) {
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    DWORD length = GetFinalPathNameByHandleW(handle, nullptr, 0, kFlags);
    if (length == 0) {
        return WideBuffer();
    }
    WideBuffer path(length);
    if (path.get() == nullptr ||
        GetFinalPathNameByHandleW(handle, path.get(), length, kFlags) >= length) {
        return WideBuffer();
    }
    return path;
}

WideBuffer final_path_of(const wchar_t *path) {
    if (path == nullptr) {
        return WideBuffer();
    }
    HANDLE handle = CreateFileW(path, 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return WideBuffer();
    }
    WideBuffer finalPath = final_path_of_handle(handle);
    CloseHandle(handle);
    return finalPath;
}

uint64_t nanoseconds_of(LARGE_INTEGER ticks) {
    auto since1601 = static_cast<uint64_t>(ticks.QuadPart);
    return since1601 > kTicksFrom1601To1970
               ? (since1601 - kTicksFrom1601To1970) * kNanosecondsPerTick
               : 0;
}

bool identity_of_handle(HANDLE handle, QuilFileIdentity *identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (GetFileInformationByHandle(handle, &info) == 0 ||
        GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times) == 0) {
        return fail_with_last_error();
    }
    identity->device = info.dwVolumeSerialNumber;
    identity->inode = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    identity->size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    identity->modifiedNs = nanoseconds_of(times.LastWriteTime);
    identity->changedNs = nanoseconds_of(times.ChangeTime);
    return true;
}

// A handle on the file path designates that reads nothing and keeps no one from anything.
HANDLE open_for_identity(const char *path) {
    WidePath wide(path);
    if (wide.get() == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = CreateFileW(wide.get(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_with_last_error();
    }
    return handle;
}

bool fail_as_not_regular() {
    errno = QUIL_ERROR_NOT_REGULAR;
    return false;
}

// The attributes of the file that path names, read without opening it. INVALID_FILE_ATTRIBUTES,
// with errno set, when nothing is there or a directory (which opening for a file's access would
// refuse as access denied).
DWORD attributes_of_a_file(const wchar_t *path) {
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        fail_with_last_error();
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail_as_not_regular();
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes;
}

// Whether the attributes say a file that is not marked read-only.
bool attributes_allow_writing(const wchar_t *path) {
    DWORD attributes = attributes_of_a_file(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

// Whether an open handle is a file on a disk rather than a device, pipe or console.
bool is_disk_file(HANDLE handle) {
    return GetFileType(handle) == FILE_TYPE_DISK || fail_as_not_regular();
}

bool same_file(HANDLE a, HANDLE b) {
    QuilFileIdentity first{};
    QuilFileIdentity second{};
    return identity_of_handle(a, &first) && identity_of_handle(b, &second) &&
           first.device == second.device && first.inode == second.inode;
}

} // namespace

namespace wex::adapter {

void store_thread_error(int32_t code) {
    DWORD slot = error_slot();
    if (slot != TLS_OUT_OF_INDEXES) {
        TlsSetValue(slot, reinterpret_cast<void *>(static_cast<intptr_t>(code)));
    }
}

int32_t thread_error() {
    DWORD slot = error_slot();
    return slot == TLS_OUT_OF_INDEXES
               ? 0
               : static_cast<int32_t>(reinterpret_cast<intptr_t>(TlsGetValue(slot)));
}

const char *system_error_text(int32_t code) {
    for (const ErrorText &known : kErrorTexts) {
        if (known.code == code) {
            return known.text;
        }
    }
    return "Unknown error";
}

uint64_t clock_nanoseconds() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    return (ticks - kTicksFrom1601To1970) * kNanosecondsPerTick;
}

std::FILE *open_stream(const char *path, const char *name) {
    const OpenMode *mode = find_mode(name);
    if (mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    WidePath wide(path);
    if (wide.get() == nullptr) {
        return nullptr;
    }
    HANDLE handle = CreateFileW(wide.get(), mode->access, kShareAll, nullptr, mode->disposition,
                                mode->flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_with_last_error();
        return nullptr;
    }
    std::FILE *stream = stream_over(handle, *mode);
    if (stream == nullptr && mode->disposition == CREATE_NEW) {
        DeleteFileW(wide.get()); // the file is ours: it did not exist a moment ago
    }
    return stream;
}

int read_byte(std::FILE *stream) {
    return _getc_nolock(stream);
}

bool rename_replacing(const char *from, const char *to) {
    WidePath wideFrom(from);
    WidePath wideTo(to);
    if (wideFrom.get() == nullptr || wideTo.get() == nullptr) {
        return false;
    }
    return MoveFileExW(wideFrom.get(), wideTo.get(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0 ||
           fail_with_last_error();
}

bool remove_file(const char *path) {
    WidePath wide(path);
    return wide.get() != nullptr && (DeleteFileW(wide.get()) != 0 || fail_with_last_error());
}

// Windows has no exchange of two names in one step.
Exchange exchange_names(const char *, const char *) {
    return Exchange::Unsupported;
}

// The attributes come first: they tell a directory without opening anything. A device or pipe
// that they cannot tell is refused by its type once opened.
bool writable_in_place(const char *path) {
    WidePath wide(path);
    if (wide.get() == nullptr || !attributes_allow_writing(wide.get())) {
        return false;
    }
    HANDLE handle = CreateFileW(wide.get(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return fail_with_last_error();
    }
    bool disk = is_disk_file(handle);
    CloseHandle(handle);
    return disk;
}

bool commit_to_disk(std::FILE *stream) {
    return FlushFileBuffers(handle_of(stream)) != 0 || fail_with_last_error();
}

// Access on Windows is the file's access list. The owner stays the one who created the file: an
// ordinary user cannot give a file away, and the list says who may do what in any case.
bool copy_access(const char *path, std::FILE *to) {
    WidePath wide(path);
    if (wide.get() == nullptr) {
        return false;
    }
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD found = GetNamedSecurityInfoW(wide.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &list, nullptr, &descriptor);
    if (found != ERROR_SUCCESS) {
        return fail_with(found);
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    // A list that inherits from the directory goes on inheriting; a protected one stays so.
    SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    DWORD status =
        SetSecurityInfo(handle_of(to), SE_FILE_OBJECT, what, nullptr, nullptr, list, nullptr);
    LocalFree(descriptor);
    return status == ERROR_SUCCESS || fail_with(status);
}

char *resolve_path(const char *path, uint32_t line, const char *file) {
    WidePath wide(path);
    WideBuffer finalPath = final_path_of(wide.get());
    if (finalPath.get() == nullptr) {
        return tracked_copy(path, line, file);
    }
    return tracked_utf8(strip_long_path_prefix(finalPath.get()), line, file);
}

bool identity_of_stream(std::FILE *stream, QuilFileIdentity *identity) {
    return identity_of_handle(handle_of(stream), identity);
}

bool identity_of_path(const char *path, QuilFileIdentity *identity) {
    HANDLE handle = open_for_identity(path);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool known = identity_of_handle(handle, identity);
    CloseHandle(handle);
    return known;
}

uint64_t monotonic_milliseconds() {
    return GetTickCount64();
}

void pause_milliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}

QUIL_LOCK *open_for_lock(const char *path) {
    WidePath wide(path);
    if (wide.get() == nullptr || attributes_of_a_file(wide.get()) == INVALID_FILE_ATTRIBUTES) {
        return nullptr;
    }
    // Shared for everything, deletion included, so that a save can still rename over the file.
    HANDLE handle = CreateFileW(wide.get(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        fail_with_last_error();
        return nullptr;
    }
    auto *lock =
        is_disk_file(handle) ? static_cast<QUIL_LOCK *>(std::malloc(sizeof(QUIL_LOCK))) : nullptr;
    if (lock == nullptr) {
        CloseHandle(handle);
        return nullptr;
    }
    lock->handle = handle;
    return lock;
}

LockAttempt try_lock(QUIL_LOCK *lock) {
    OVERLAPPED range{};
    range.OffsetHigh = kLockOffsetHigh;
    if (LockFileEx(lock->handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   kLockLength, 0, &range) != 0) {
        return LockAttempt::Taken;
    }
    DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
        return LockAttempt::Busy;
    }
    fail_with(error);
    return LockAttempt::Failed;
}

bool lock_designates(QUIL_LOCK *lock, const char *path) {
    HANDLE named = open_for_identity(path);
    if (named == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool same = same_file(lock->handle, named);
    CloseHandle(named);
    return same;
}

void close_lock(QUIL_LOCK *lock) {
    CloseHandle(lock->handle); // releases the lock with the handle
    std::free(lock);
}

} // namespace wex::adapter
