// Where a loaded document came from, and whether its file still holds what was read: the hash of
// the bytes that loading reads and that closing compares, and the check closing makes before it
// replaces the file. Not part of the library's interface.
#ifndef WEX_PUBLICLIB_INI_ORIGIN_H
#define WEX_PUBLICLIB_INI_ORIGIN_H

#include <cstddef>
#include <cstdint>

#include "wex_ini.h"

namespace wex::ini {

// A hash of a stream of bytes fed in pieces of any size: the value depends on the bytes alone,
// not on how they were cut. Four lanes take 32 bytes at a time with one multiplication each, so
// that hashing a block costs a small part of what cutting it into lines does. It tells changed
// text from unchanged text; it is no defence against someone who crafts a collision.
class ContentHash {
  public:
    void add(const char *bytes, size_t count);
    uint64_t value() const;

  private:
    static constexpr size_t kBlock = 32;
    void add_blocks(const char *blocks, size_t count);

    uint64_t lanes_[4] = {0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu, 0x165667B19E3779F9u,
                          0x27D4EB2F165667C5u};
    char pending_[kBlock] = {};
    size_t pendingCount_ = 0;
    uint64_t length_ = 0;
};

// The hash of a NUL-terminated text (the path a document was loaded from).
uint64_t text_hash(const char *text);

// What closing finds at the document file, compared with what loading read.
enum class OnDisk {
    Unchecked, // no origin to compare with, or the save goes to another file
    Same,      // the same file with the same bytes
    Changed,   // another file now, or other bytes
    Unknown,   // the file is gone or cannot be read
};

// Whether the save of doc to path goes to the file it was loaded from (by path or by identity).
bool saves_to_origin(const IniFile *doc, const char *path, const char *target);

// Compares the file at examined with the origin of doc, when the save to path (target, resolved)
// goes to the file doc was loaded from: examined is target, or the name that a file exchanged
// out of target now has.
OnDisk compare_with_origin(const IniFile *doc, const char *path, const char *target,
                           const char *examined);

} // namespace wex::ini

#endif
