// What the adapter needs from the operating system. The portable part (wex_os_adapter_common.cpp)
// holds the accounting, the fault injection, the argument checks and everything stdio and the
// C library can do alike everywhere; each platform file implements the operations below.
#ifndef WEX_ADAPTER_PLATFORM_H
#define WEX_ADAPTER_PLATFORM_H

#include <cstdint>
#include <cstdio>

#include "wex_os_adapter.h"

namespace wex::adapter {

// Every operation below that fails leaves its cause in errno: a value of the platform's <errno.h>
// (on Windows the system's own error mapped onto one), or QUIL_ERROR_NOT_REGULAR where it found
// a file of another type. The portable part records it as the thread's last error.

// The calling thread's last error, kept apart from errno, which every library call may change.
void store_thread_error(int32_t code);
int32_t thread_error();

// The system's text for an errno value (never null, never changing).
const char *system_error_text(int32_t code);

// Nanoseconds since 1970-01-01 UTC, as fine as the system's clock gives them.
uint64_t clock_nanoseconds();

// Opens a byte stream, without line-break translation, for mode "r" (an existing file), "w"
// (create or truncate) or "wx" (a new file only: never a name that exists, not even as a
// dangling link). Null for any other mode or on failure.
std::FILE *open_stream(const char *path, const char *mode);

// The next byte of a stream that only the caller uses, without taking the stream's lock.
int read_byte(std::FILE *stream);

// Replaces to by from in one step: to names either its old file or the new one, never nothing.
bool rename_replacing(const char *from, const char *to);

bool remove_file(const char *path);

enum class Exchange { Done, Unsupported, Failed };

// Exchanges the names a and b in one step and commits b's directory; Unsupported, with nothing
// changed, where the system or the file system cannot.
Exchange exchange_names(const char *a, const char *b);

// Whether path designates (links followed) a regular file that the process may write in place,
// found without opening anything that could wait.
bool writable_in_place(const char *path);

// Makes the system commit the data of a stream whose buffer was written out to its storage.
bool commit_to_disk(std::FILE *stream);

// Gives to the access that the file path designates grants, never widening it.
bool copy_access(const char *path, std::FILE *to);

// The path of the file that path designates with every link resolved, as a tracked block
// (tracked_copy); a copy of path itself when it designates no file. Null when memory is short.
char *resolve_path(const char *path, uint32_t line, const char *file);

// A tracked copy of text that the caller gives back with QUIL_MemFreeD; null when memory is
// short. Counts and fails as an allocation.
char *tracked_copy(const char *text, uint32_t line, const char *file);

// The identity of an open stream / of the file path designates (links followed).
bool identity_of_stream(std::FILE *stream, QuilFileIdentity *identity);
bool identity_of_path(const char *path, QuilFileIdentity *identity);

// Milliseconds of a clock that never steps back, and a pause of that many milliseconds.
uint64_t monotonic_milliseconds();
void pause_milliseconds(uint32_t milliseconds);

// A lock record: the file opened for locking only. Null when path designates no regular file
// that can be opened (errno QUIL_ERROR_NOT_REGULAR for a file of another type), or memory is
// short.
QUIL_LOCK *open_for_lock(const char *path);

enum class LockAttempt { Taken, Busy, Failed };

// One attempt to take the exclusive lock on the file the record holds, without waiting.
LockAttempt try_lock(QUIL_LOCK *lock);

// Whether path designates, at this moment, the file that the record holds.
bool lock_designates(QUIL_LOCK *lock, const char *path);

// Releases the lock (if taken), closes the file and frees the record.
void close_lock(QUIL_LOCK *lock);

} // namespace wex::adapter

#endif
