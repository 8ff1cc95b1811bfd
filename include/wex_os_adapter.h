/* The platform adapter: tracked allocation, files, string helpers and the system time, plus the
 * accounting and fault injection that let tests drive every failure path of the library.
 *
 * Counters and fault injection are process-wide and safe to use from any thread. */
#ifndef WEX_OS_ADAPTER_H
#define WEX_OS_ADAPTER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(WEX_OS_ADAPTER_BUILDING_DLL)
#define QUIL_ADAPTER_API __declspec(dllexport)
#elif defined(WEX_OS_ADAPTER_USING_DLL)
#define QUIL_ADAPTER_API __declspec(dllimport)
#else
#define QUIL_ADAPTER_API
#endif
#elif defined(__GNUC__)
#define QUIL_ADAPTER_API __attribute__((visibility("default")))
#else
#define QUIL_ADAPTER_API
#endif

/* ---- Tracked allocation ----
 * line and file name the caller's source position; they serve tracking only and may be null/0.
 * Every block handed out counts as live until it is given back through QUIL_MemFreeD or
 * QUIL_MemFreeSetNullD. A size of 0 is allowed and gives a unique block. */

/* Returns a block of size bytes, every byte 0, or null when memory is short. zero must be 0. */
QUIL_ADAPTER_API void *QUIL_MemMallocS(uint32_t size, uint32_t zero, uint32_t line,
                                       const char *file);

/* Returns a block of size bytes with undefined content, or null when memory is short. */
QUIL_ADAPTER_API void *QUIL_MemMallocD(uint32_t size, uint32_t line, const char *file);

/* Resizes a block from either allocation to size bytes, keeping its content up to the smaller
 * size; a null block behaves as QUIL_MemMallocD. Returns the (possibly moved) block, or null when
 * memory is short, in which case the old block is untouched and still owned by the caller.
 * Counts and fails as an allocation. */
QUIL_ADAPTER_API void *QUIL_MemReallocD(void *block, uint32_t size, uint32_t line,
                                        const char *file);

/* Gives back a block from either allocation; a null block is ignored. */
QUIL_ADAPTER_API void QUIL_MemFreeD(void *block, uint32_t line, const char *file);

/* Gives back the block that *blockAddress points to and sets *blockAddress to null.
 * blockAddress is the address of a pointer variable (void ** passed as void *); a null address or
 * a null pointer is ignored. */
QUIL_ADAPTER_API void QUIL_MemFreeSetNullD(void *blockAddress, uint32_t line, const char *file);

/* ---- Files ----
 * Files are read and written as bytes, without any line-break translation. Paths are UTF-8 on
 * Windows too, where they are converted for the system's wide-character calls. */
typedef struct QUIL_FILE QUIL_FILE;

/* Opens path. mode is "r" (read an existing file), "w" (create or truncate), "wx" (create a new
 * file that only its owner may read; fails when the name exists, also as a dangling link, and
 * never opens what is there) or "wxn" (the same, with the access a new file gets: on POSIX 0666
 * less the umask). Returns null on any failure. */
QUIL_ADAPTER_API QUIL_FILE *QUIL_Fopen(const char *path, const char *mode);

/* Closes the file, flushing what is buffered. Returns 0, or -1 when the flush or close failed.
 * A null handle gives -1. */
QUIL_ADAPTER_API int32_t QUIL_Fclose(QUIL_FILE *file);

/* Returns the next byte (0..255), or -1 at the end of the file or on a read error. */
QUIL_ADAPTER_API int32_t QUIL_Fgetc(QUIL_FILE *file);

/* Reads up to count items of size bytes into buffer. Returns the number of whole items read:
 * fewer than count only at the end of the file or on a read error. A null buffer or handle
 * reads nothing. */
QUIL_ADAPTER_API uint32_t QUIL_Fread(void *buffer, uint32_t size, uint32_t count, QUIL_FILE *file);

/* Tells a read error from the end of the file: 1 when a read or write on file has failed since
 * it was opened, else 0 (also for a null handle). */
QUIL_ADAPTER_API int32_t QUIL_Ferror(QUIL_FILE *file);

/* Moves the position by distance from the current position (origin 1), the start (0) or the end
 * (2). Returns 0, or -1 on failure. */
QUIL_ADAPTER_API int32_t QUIL_Fseek(QUIL_FILE *file, int32_t distance, int32_t origin);

/* Writes count items of size bytes. Returns the number of whole items written: anything short of
 * count is a failure. */
QUIL_ADAPTER_API uint32_t QUIL_Fwrite(const void *buffer, uint32_t size, uint32_t count,
                                      QUIL_FILE *file);

/* ---- Strings (ASCII, no locale) ---- */

/* Bytes before the terminating NUL; 0 for a null text. */
QUIL_ADAPTER_API uint32_t QUIL_StrLen(const char *text);

/* Compares two texts folding ASCII letters only: 0 when equal that way, negative or positive as
 * the first differing folded byte (taken as unsigned) orders them. */
QUIL_ADAPTER_API int32_t QUIL_StriCmp(const char *a, const char *b);

/* First occurrence of pattern in text, or null. */
QUIL_ADAPTER_API char *QUIL_StrStr(const char *text, const char *pattern);

/* First / last occurrence of the byte c in text, or null; c = 0 finds the terminator. */
QUIL_ADAPTER_API char *QUIL_StrChr(const char *text, int32_t c);
QUIL_ADAPTER_API char *QUIL_StrrChr(const char *text, int32_t c);

/* ---- File names and time ---- */

/* Renames from to to, replacing to atomically where it exists, and then commits the change of
 * to's directory to storage, so that a renamed file survives a power loss (on Windows through
 * MoveFileEx, writing through to the disk). 0 on success, -1 when the rename fails or a name is
 * null (a failed commit of the directory is not reported). */
QUIL_ADAPTER_API int32_t QUIL_Rename(const char *from, const char *to);

/* Removes the file path. 0 on success, -1 on failure or a null path. */
QUIL_ADAPTER_API int32_t QUIL_Remove(const char *path);

/* Exchanges the names a and b of two existing files in one step: afterwards a names the file that
 * b named and b the one that a named, and at no moment does either name designate nothing. The
 * change of b's directory is then committed to storage as QUIL_Rename does. Links are not
 * followed: a link is exchanged as the link it is.
 *
 * Returns 0; QUIL_EXCHANGE_UNSUPPORTED when the system or the file system that holds the files
 * cannot exchange names, with nothing changed, so that the caller can rename instead (always so
 * outside Linux); -1 on any other failure (a missing name, no permission...) or a null name, with
 * nothing changed. */
#define QUIL_EXCHANGE_UNSUPPORTED 1
QUIL_ADAPTER_API int32_t QUIL_ExchangeFiles(const char *a, const char *b);

/* Tells whether path designates (links followed) an existing regular file that this process may
 * write in place. Opens nothing that could wait (a FIFO or a device is refused by its type
 * first); on Windows the file is opened for writing and closed at once, which changes nothing.
 * Returns 0 when it does, -1 otherwise (also for a null path); QUIL_LastError then tells why:
 * QUIL_ERROR_NOT_REGULAR for a directory, FIFO or device, EACCES, EROFS, ENOENT... */
QUIL_ADAPTER_API int32_t QUIL_CheckWritable(const char *path);

/* ---- The cause of a failure ----
 * Every file call of the adapter that fails records its cause for the calling thread: QUIL_Fopen,
 * QUIL_Fclose, QUIL_Fseek, QUIL_Fwrite (a short write: ENOSPC...), QUIL_Fsync, QUIL_Rename,
 * QUIL_Remove, QUIL_ExchangeFiles (not its QUIL_EXCHANGE_UNSUPPORTED answer), QUIL_CheckWritable,
 * QUIL_CopyFileAccess, QUIL_Fidentity, QUIL_PathIdentity and QUIL_LockFile (not a busy lock). The
 * cause is an errno value of the platform's <errno.h> (Windows' own errors are mapped onto them),
 * EINVAL for a null or unknown argument, or QUIL_ERROR_NOT_REGULAR. As with errno, a call that
 * succeeds leaves the last cause as it was. */

/* Above every errno value: the file is not a regular file (a directory, FIFO, socket or device). */
#define QUIL_ERROR_NOT_REGULAR 0x10000

/* The cause of this thread's last failed file call, 0 when none has failed. */
QUIL_ADAPTER_API int32_t QUIL_LastError(void);

/* A text for a cause, to show a person: strerror's text on POSIX systems ("Permission denied"),
 * the same English texts on Windows, "not a regular file" for QUIL_ERROR_NOT_REGULAR. The text is
 * static: it stays valid and unchanged. */
QUIL_ADAPTER_API const char *QUIL_ErrorText(int32_t code);

/* Writes what is buffered for file and makes the system commit the file's data to its storage
 * (fflush, then fsync; FlushFileBuffers on Windows). Returns 0, or -1 when either fails or the
 * handle is null. */
QUIL_ADAPTER_API int32_t QUIL_Fsync(QUIL_FILE *file);

/* Gives the open file to the permission bits of the file that path designates (links
 * followed) and, where the process may, its owner and group. Access is never widened: when the
 * group cannot be given, the group bits are cleared (and set-group-ID with them); when the owner
 * cannot be given, set-user-ID is cleared. Returns 0, or -1 when path designates no file that can
 * be examined or the bits cannot be set (to then keeps the bits it had).
 *
 * On Windows access is the file's access list (DACL), copied as it is; the owner stays the
 * process's user. There to must have been opened with "wx". */
QUIL_ADAPTER_API int32_t QUIL_CopyFileAccess(const char *path, QUIL_FILE *to);

/* Returns the path of the file that path designates, every symbolic link on the way resolved, as
 * a new tracked block that the caller gives back with QUIL_MemFreeD. When path designates no
 * existing file, the block holds a copy of path as it is. Returns null when path is null or
 * memory is short; counts and fails as an allocation. line and file serve tracking. */
QUIL_ADAPTER_API char *QUIL_ResolvePath(const char *path, uint32_t line, const char *file);

/* ---- Identity and locking of files ---- */

/* What tells one file from another and a changed file from an unchanged one: the device (volume
 * serial number on Windows), the file's number on it (inode; file index), its size in bytes and
 * the times of its last modification and of its last change of status (a write, a rename, a change
 * of access or of the times themselves), in nanoseconds since 1970-01-01 UTC. A program may set
 * the modification time back; the change time follows every such change. */
typedef struct QuilFileIdentity {
    uint64_t device;
    uint64_t inode;
    uint64_t size;
    uint64_t modifiedNs;
    uint64_t changedNs;
} QuilFileIdentity;

/* Stores the identity of the open file / of the file that path designates (links followed) in
 * *identity. Returns 0, or -1 when the file cannot be examined or an argument is null
 * (*identity is then all zero unless it is null). */
QUIL_ADAPTER_API int32_t QUIL_Fidentity(QUIL_FILE *file, QuilFileIdentity *identity);
QUIL_ADAPTER_API int32_t QUIL_PathIdentity(const char *path, QuilFileIdentity *identity);

/* An exclusive advisory lock on a file: writers that all take it wait for each other; readers
 * and programs that do not take it are not held up (on Windows the locked range lies far past
 * the end of any file, so that reading and writing the file's bytes stay possible). */
typedef struct QUIL_LOCK QUIL_LOCK;

#define QUIL_LOCK_TAKEN  0    /* *status after QUIL_LockFile: the lock is held */
#define QUIL_LOCK_BUSY   1    /* another holder kept it for longer than the wait */
#define QUIL_LOCK_FAILED (-1) /* no such file, not a regular file, or the system refused */

/* Takes the lock on the existing file that path designates (links followed), waiting at most
 * waitMs milliseconds for another holder to release it (0: one attempt), polling with a growing
 * pause. When the lock is taken on a file that has meanwhile been replaced at path (a save that
 * renames a new file over the old one), it is given up and taken on the new file, so that the
 * lock returned is on the file that path designates at that moment. Creates no file.
 *
 * Returns the lock, released only by QUIL_UnlockFile, with *status QUIL_LOCK_TAKEN; or null with
 * *status QUIL_LOCK_BUSY or QUIL_LOCK_FAILED (also for a null path; status may be null). The lock
 * belongs to the open file that the returned record holds: the system releases it when the
 * process ends, however it ends; it is not inherited across exec, but a forked child shares it.
 * A second QUIL_LockFile on the same file waits for the first also within one process. */
QUIL_ADAPTER_API QUIL_LOCK *QUIL_LockFile(const char *path, uint32_t waitMs, int32_t *status);

/* Releases the lock and frees its record. A null lock is ignored. */
QUIL_ADAPTER_API void QUIL_UnlockFile(QUIL_LOCK *lock);

/* Nanoseconds since 1970-01-01 UTC. Within one process every call returns a value greater than
 * the one before, so that names built from it are unique; while a fixed time is set
 * (QUIL_Adapter_SetTime) it returns that time. */
QUIL_ADAPTER_API uint64_t QUIL_GetSystemTime(void);

/* ---- Accounting and fault injection ---- */
typedef enum {
    QUIL_OP_ALLOC,
    QUIL_OP_FOPEN,
    QUIL_OP_FWRITE,
    QUIL_OP_FSEEK,
    QUIL_OP_REMOVE,
    QUIL_OP_RENAME,
    QUIL_OP_FSYNC,    /* QUIL_Fsync */
    QUIL_OP_ACCESS,   /* QUIL_CopyFileAccess */
    QUIL_OP_IDENTITY, /* QUIL_Fidentity, QUIL_PathIdentity */
    QUIL_OP_LOCK,     /* QUIL_LockFile: fails as QUIL_LOCK_FAILED */
    QUIL_OP_FCLOSE,   /* QUIL_Fclose: the file is closed all the same */
    QUIL_OP_EXCHANGE, /* QUIL_ExchangeFiles */
    QUIL_OP_WRITABLE, /* QUIL_CheckWritable */
    QUIL_OP_COUNT
} QuilAdapterOp;

/* Blocks handed out and not yet given back, over the whole process. */
QUIL_ADAPTER_API uint32_t QUIL_Adapter_LiveBlocks(void);

/* Calls of op so far, failed ones included (ALLOC counts both mallocs and the reallocation). */
QUIL_ADAPTER_API uint64_t QUIL_Adapter_CallCount(QuilAdapterOp op);

/* Arms a fault: the n-th call of op from now fails as the real failure would (ALLOC and FOPEN
 * return null, FWRITE 0 items, FSEEK, REMOVE, RENAME, FSYNC, ACCESS, IDENTITY, FCLOSE and WRITABLE
 * -1, LOCK null with QUIL_LOCK_FAILED), only that one. EXCHANGE answers QUIL_EXCHANGE_UNSUPPORTED,
 * which leads a caller on Linux to its rename. A file call failed this way records EIO as its
 * cause (WRITABLE: EACCES; EXCHANGE records nothing, as the system's answer does).
 * 0 disarms. */
QUIL_ADAPTER_API void QUIL_Adapter_FailNth(QuilAdapterOp op, uint32_t n);

/* Runs hook(context) once, right before the next call of op does its work (whether or not that
 * call then fails by an armed fault), and then forgets it, so that a test can act in the instant
 * before a call (replace a file before it is renamed over). A null hook disarms. Process-wide,
 * like QUIL_Adapter_FailNth: the call that runs it may be made by any thread. */
typedef void (*QuilAdapterHook)(void *context);
QUIL_ADAPTER_API void QUIL_Adapter_BeforeCall(QuilAdapterOp op, QuilAdapterHook hook,
                                              void *context);

/* Makes QUIL_GetSystemTime return t from now on; 0 returns to the real clock. */
QUIL_ADAPTER_API void QUIL_Adapter_SetTime(uint64_t t);

#ifdef __cplusplus
}
#endif

#endif
