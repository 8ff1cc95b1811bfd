// The blocks that hold a document's loaded lines.
//
// A line is kept as one flag byte, its text and a NUL; when the file held other bytes for it
// (continuations that loading joined), those follow, with a NUL of their own. The flag byte
// stands right before the text, so that a text's address leads to all the store knows of it.
#include "ini_parser/source/ini_store.h"

#include <new>

#include "wex_os_adapter.h"

#include "common/bounded.h"

namespace {

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_store";

constexpr uint8_t kBreakAdded = 1; // the text ends with a CR that the file did not hold
constexpr uint8_t kRawKept = 2;    // the file's bytes follow the text

constexpr size_t kSmallestBlock = 4096;
constexpr size_t kLargestBlock = size_t{1} << 30;
// What a line takes besides its bytes: the flag, a NUL, and an added CR.
constexpr size_t kLineOverhead = 3;

constexpr char kCR = '\r';

size_t text_length(const char *text) {
    return QUIL_StrLen(text);
}

// Addresses as numbers: blocks are separate objects, whose pointers C++ does not order.
uintptr_t address(const char *p) {
    return reinterpret_cast<uintptr_t>(p);
}

} // namespace

IniLineStore *IniLineStore::create(uint64_t expectedBytes) {
    void *memory = QUIL_MemMallocS(sizeof(IniLineStore), 0, __LINE__, kUnit);
    if (memory == nullptr) {
        return nullptr;
    }
    auto *store = new (memory) IniLineStore();
    store->expected_ = expectedBytes;
    return store;
}

void IniLineStore::destroy(IniLineStore *store) {
    if (store == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < store->blockCount_; ++i) {
        QUIL_MemFreeD(store->blocks_[i].begin, __LINE__, kUnit);
    }
    QUIL_MemFreeD(store->blocks_, __LINE__, kUnit);
    store->~IniLineStore();
    QUIL_MemFreeD(store, __LINE__, kUnit);
}

// The next block: enough for the rest of the expected bytes at the rate the lines stored so far
// took (a file of short lines takes more than its size), or, without an expectation, as much as
// all blocks so far; never less than least.
size_t IniLineStore::next_block_size(size_t least) const {
    uint64_t wanted = used_ > kSmallestBlock ? used_ : kSmallestBlock;
    if (expected_ > consumed_) {
        uint64_t rest = expected_ - consumed_;
        uint64_t rate8 = consumed_ == 0 ? 9 : (used_ * 8 + consumed_ - 1) / consumed_ + 1;
        wanted = rest / 8 * rate8 + rest % 8 * rate8 / 8 + 256;
    }
    if (wanted > kLargestBlock) {
        wanted = kLargestBlock;
    }
    if (wanted < kSmallestBlock) {
        wanted = kSmallestBlock;
    }
    return wanted > least ? static_cast<size_t>(wanted) : least;
}

bool IniLineStore::insert_block(Block block) {
    if (blockCount_ == blockCapacity_) {
        uint32_t capacity = blockCapacity_ == 0 ? 8 : blockCapacity_ * 2;
        auto *grown = static_cast<Block *>(QUIL_MemReallocD(
            blocks_, static_cast<uint32_t>(capacity * sizeof(Block)), __LINE__, kUnit));
        if (grown == nullptr) {
            return false;
        }
        blocks_ = grown;
        blockCapacity_ = capacity;
    }
    uint32_t at = blockCount_;
    while (at > 0 && address(blocks_[at - 1].begin) > address(block.begin)) {
        blocks_[at] = blocks_[at - 1];
        --at;
    }
    blocks_[at] = block;
    ++blockCount_;
    return true;
}

// Makes room for bytes more in the newest block, starting a new one when they do not fit.
bool IniLineStore::reserve(size_t bytes) {
    if (static_cast<size_t>(limit_ - cursor_) >= bytes) {
        return true;
    }
    size_t size = next_block_size(bytes);
    if (size > UINT32_MAX) {
        return false;
    }
    auto *begin =
        static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(size), __LINE__, kUnit));
    if (begin == nullptr) {
        return false;
    }
    if (!insert_block({begin, size})) {
        QUIL_MemFreeD(begin, __LINE__, kUnit);
        return false;
    }
    cursor_ = begin;
    limit_ = begin + size;
    return true;
}

char *IniLineStore::add(Span text, bool breakAdded, Span raw) {
    size_t bytes = text.size() + raw.size() + kLineOverhead + (raw.size() > 0 ? 1 : 0);
    if (bytes < text.size() || !reserve(bytes)) {
        return nullptr;
    }
    char *entry = cursor_;
    entry[0] = static_cast<char>((breakAdded ? kBreakAdded : 0) | (raw.size() > 0 ? kRawKept : 0));
    char *copy = entry + 1;
    wex::bounded::memcpy_s(copy, bytes - 1, text.begin, text.size());
    char *end = copy + text.size();
    if (breakAdded) {
        *end++ = kCR;
    }
    *end++ = '\0';
    if (raw.size() > 0) {
        wex::bounded::memcpy_s(end, raw.size(), raw.begin, raw.size());
        end += raw.size();
        *end++ = '\0';
    }
    cursor_ = end;
    used_ += static_cast<uint64_t>(end - entry);
    consumed_ += raw.size() > 0 ? raw.size() : text.size();
    return copy;
}

bool IniLineStore::holds(const char *text) const {
    // Walks go from line to line, whose texts lie one after the other in the same block.
    if (lastHit_ < blockCount_ &&
        address(text) - address(blocks_[lastHit_].begin) < blocks_[lastHit_].size) {
        return true;
    }
    // The last block that begins at or before text is the only one that can hold it.
    uint32_t low = 0;
    uint32_t high = blockCount_;
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        if (address(blocks_[middle].begin) <= address(text)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == 0) {
        return false;
    }
    const Block &block = blocks_[low - 1];
    if (address(text) - address(block.begin) >= block.size) {
        return false;
    }
    lastHit_ = low - 1;
    return true;
}

IniLineStore::Span IniLineStore::file_bytes(const char *text) const {
    auto flags = static_cast<uint8_t>(text[-1]);
    size_t length = text_length(text);
    if ((flags & kRawKept) != 0) {
        const char *raw = text + length + 1;
        return {raw, raw + text_length(raw)};
    }
    size_t added = (flags & kBreakAdded) != 0 ? 1 : 0;
    return {text, text + length - added};
}

bool IniLineStore::break_added(const char *text) const {
    return (static_cast<uint8_t>(text[-1]) & kBreakAdded) != 0;
}

namespace wex::ini {

void drop_line(IniFile *doc, uint32_t slot) {
    char *text = doc->lines[slot];
    if (!is_loaded_line(doc, text)) {
        QUIL_MemFreeD(text, __LINE__, kUnit);
    }
    doc->lines[slot] = nullptr;
}

} // namespace wex::ini
