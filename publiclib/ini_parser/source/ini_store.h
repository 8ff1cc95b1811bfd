// The blocks that hold the lines a document loaded. Each line's text lies in a block shared with
// many others, with what saving needs to write it back exactly as the file held it: the bytes of
// its physical lines when continuations were joined, and whether the CR at its end was added for
// a last line without a line break. Not part of the library's interface.
#ifndef WEX_PUBLICLIB_INI_STORE_H
#define WEX_PUBLICLIB_INI_STORE_H

#include <cstddef>
#include <cstdint>

#include "ini_parser/source/ini_internal.h"
#include "wex_ini.h"

// Lines are added in file order and stay until the store is destroyed with its document: a
// line that an edit replaces or removes keeps its bytes here, and its slot simply points
// elsewhere. Blocks are sized from the bytes the load expects, so that a typical file takes one
// block a little larger than itself.
struct IniLineStore {
  public:
    using Span = wex::ini::Span;

    // A store for a load of about expectedBytes (0 when unknown); null when memory is short.
    static IniLineStore *create(uint64_t expectedBytes);
    static void destroy(IniLineStore *store);

    // Copies a loaded line: text is its logical text, breakAdded tells that a CR is to be
    // appended because the file ended without a line break, and raw holds the bytes the file
    // held when they differ from the text (physical lines joined); an empty raw means the same
    // bytes. Returns the stored text, NUL-terminated; null when memory is short.
    char *add(Span text, bool breakAdded, Span raw);

    // Whether text is a line of this store (and not one that an edit made).
    bool holds(const char *text) const;

    // The bytes the file held for a line of this store; they may end without a line break.
    Span file_bytes(const char *text) const;

    // Whether loading added the CR at the end of a line of this store.
    bool break_added(const char *text) const;

  private:
    struct Block {
        char *begin;
        size_t size;
    };

    IniLineStore() = default;
    bool reserve(size_t bytes);
    size_t next_block_size(size_t least) const;
    bool insert_block(Block block);

    Block *blocks_ = nullptr; // sorted by address
    uint32_t blockCount_ = 0;
    uint32_t blockCapacity_ = 0;
    char *cursor_ = nullptr; // free room of the newest block
    char *limit_ = nullptr;
    uint64_t expected_ = 0;        // file bytes the load expects
    uint64_t consumed_ = 0;        // file bytes of the lines stored so far
    uint64_t used_ = 0;            // store bytes they took
    mutable uint32_t lastHit_ = 0; // the block that held the text asked about last
};

namespace wex::ini {

// Empties slot of doc: its text goes back to the adapter unless the document's store holds it.
void drop_line(IniFile *doc, uint32_t slot);

// Whether doc's store holds text: a loaded line that no edit has replaced.
inline bool is_loaded_line(const IniFile *doc, const char *text) {
    return doc->store != nullptr && doc->store->holds(text);
}

} // namespace wex::ini

#endif
