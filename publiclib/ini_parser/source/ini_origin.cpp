// The origin of a loaded document and the check that its file still holds what was read.
#include "ini_parser/source/ini_origin.h"

#include <array>
#include <cstring>

#include "wex_os_adapter.h"

namespace wex::ini {

namespace {

constexpr uint64_t kPrime = 0x9E3779B97F4A7C15u;
constexpr uint64_t kFinalPrime = 0xFF51AFD7ED558CCDu;

uint64_t rotate_left(uint64_t v, unsigned bits) {
    return (v << bits) | (v >> (64 - bits));
}

uint64_t word_at(const char *bytes) {
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

uint64_t mix(uint64_t lane, uint64_t word) {
    return rotate_left((lane ^ word) * kPrime, 29);
}

uint64_t finish(uint64_t h) {
    h ^= h >> 33;
    h *= kFinalPrime;
    return h ^ (h >> 33);
}

// File systems keep times in steps (a few milliseconds on Linux, two seconds on FAT): a write
// within the same step as the one before the load leaves both times as they were. Only times
// older than the load by more than this tell that nothing was written since.
constexpr uint64_t kTimeStepNs = 2'000'000'000u;

bool same_file(const QuilFileIdentity &a, const QuilFileIdentity &b) {
    return a.device == b.device && a.inode == b.inode;
}

// Whether the identity alone shows the file unchanged since the load.
bool settled_and_untouched(const QuilFileIdentity &now, const IniFile *doc) {
    const QuilFileIdentity &then = doc->origin;
    return now.size == then.size && now.modifiedNs == then.modifiedNs &&
           now.changedNs == then.changedNs && now.changedNs + kTimeStepNs < doc->loadedAt;
}

constexpr uint32_t kReadBlock = 16384;

// Reads the file at target and compares its bytes with the hash of those loaded.
OnDisk compare_bytes(const IniFile *doc, const char *target) {
    QUIL_FILE *file = QUIL_Fopen(target, "r");
    if (file == nullptr) {
        return OnDisk::Unknown;
    }
    ContentHash hash;
    std::array<char, kReadBlock> block;
    uint32_t got = 0;
    do {
        got = QUIL_Fread(block.data(), 1, kReadBlock, file);
        hash.add(block.data(), got);
    } while (got == kReadBlock);
    bool readFully = QUIL_Ferror(file) == 0;
    QUIL_Fclose(file);
    if (!readFully) {
        return OnDisk::Unknown;
    }
    return hash.value() == doc->originHash ? OnDisk::Same : OnDisk::Changed;
}

} // namespace

void ContentHash::add_blocks(const char *blocks, size_t count) {
    // In locals: stores into the lanes could alias the bytes read, and would have to be made
    // and read back for every block.
    uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
    for (const char *block = blocks; count > 0; --count, block += kBlock) {
        a = mix(a, word_at(block));
        b = mix(b, word_at(block + 8));
        c = mix(c, word_at(block + 16));
        d = mix(d, word_at(block + 24));
    }
    lanes_[0] = a;
    lanes_[1] = b;
    lanes_[2] = c;
    lanes_[3] = d;
}

void ContentHash::add(const char *bytes, size_t count) {
    length_ += count;
    while (pendingCount_ > 0 && count > 0) {
        pending_[pendingCount_++] = *bytes++;
        --count;
        if (pendingCount_ == kBlock) {
            add_blocks(pending_, 1);
            pendingCount_ = 0;
        }
    }
    add_blocks(bytes, count / kBlock);
    bytes += count / kBlock * kBlock;
    count %= kBlock;
    std::memcpy(pending_, bytes, count);
    pendingCount_ = count;
}

uint64_t ContentHash::value() const {
    ContentHash last = *this;
    // The bytes short of a block, padded with zeros; the length tells the padding apart.
    std::memset(last.pending_ + pendingCount_, 0, kBlock - pendingCount_);
    last.add_blocks(last.pending_, 1);
    uint64_t h = length_ * kPrime;
    for (uint64_t lane : last.lanes_) {
        h = mix(h, finish(lane));
    }
    return finish(h);
}

uint64_t text_hash(const char *text) {
    ContentHash hash;
    hash.add(text, QUIL_StrLen(text));
    return hash.value();
}

bool saves_to_origin(const IniFile *doc, const char *path, const char *target) {
    if (doc->hasOrigin != 1) {
        return false;
    }
    QuilFileIdentity now{};
    return text_hash(path) == doc->originPathHash ||
           (QUIL_PathIdentity(target, &now) == 0 && same_file(now, doc->origin));
}

OnDisk compare_with_origin(const IniFile *doc, const char *path, const char *target,
                           const char *examined) {
    if (!saves_to_origin(doc, path, target)) {
        return OnDisk::Unchecked; // saved as another file, whose bytes were never read
    }
    QuilFileIdentity now{};
    if (QUIL_PathIdentity(examined, &now) != 0) {
        return OnDisk::Unknown;
    }
    if (!same_file(now, doc->origin) || now.size != doc->origin.size) {
        return OnDisk::Changed;
    }
    return settled_and_untouched(now, doc) ? OnDisk::Same : compare_bytes(doc, examined);
}

} // namespace wex::ini
