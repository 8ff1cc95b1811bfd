// INI documents, the reading half: a file loaded as the array of its logical lines (kept byte for
// byte), the line grammar that classifies and cuts one line, and the lookups and listings that
// walk the array with it. Nothing is cached: every walk classifies and cuts the lines it passes.
// The lookups compare names in place and allocate only what they hand to the caller.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "common/bounded.h"
#include "ini_parser/source/ini_internal.h"
#include "ini_parser/source/ini_origin.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using namespace wex::ini;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_parser";

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kNoBreak = '\0';
constexpr char kBackslash = '\\';
constexpr int32_t kEndOfFile = -1;
constexpr int32_t kOneByteBack = -1;
constexpr int32_t kFromCurrent = 1;

// Room for the longest line and the byte that makes a line too long; the terminator and a CR
// for a last line without break are added in the line's own copy.
constexpr size_t kReadBufferSize = kLongestLine + 1;
// Header names and keys shorter than this are compared in place; a longer one (only an edit can
// make such a line) is compared as a heap copy, as the grammar's functions cut it.
constexpr size_t kNameBufferSize = kLongestLine + 1;

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = sizeof(kByteOrderMark) - 1;

// ---- Small pieces ----

// A piece of a line text, [begin, end).
struct Span {
    const char *begin = nullptr;
    const char *end = nullptr;
    size_t size() const { return static_cast<size_t>(end - begin); }
};

// A NUL-terminated heap copy of span (through the adapter), or null when memory is short.
char *copy_span(Span span) {
    size_t size = span.size();
    auto *copy =
        static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(size + 1), __LINE__, kUnit));
    if (copy != nullptr) {
        wex::bounded::memcpy_s(copy, size + 1, span.begin, size);
        copy[size] = '\0';
    }
    return copy;
}

void free_text(char **text) {
    QUIL_MemFreeSetNullD(text, __LINE__, kUnit);
}

// The bytes of an array of slots, or false when they do not fit the adapter's u32 sizes.
bool slot_array_bytes(uint64_t slots, uint32_t *bytes) {
    uint64_t total = slots * sizeof(char *);
    if (slots > UINT32_MAX || total > UINT32_MAX) {
        return false;
    }
    *bytes = static_cast<uint32_t>(total);
    return true;
}

// ASCII letters to lower case, as QUIL_StriCmp folds them.
char fold_letter(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Whether span equals name as QUIL_StriCmp compares an extracted copy of span: the same bytes,
// letter case aside, and nothing more in name. A span holds no NUL (it lies in a text), so the
// comparison stops at the end of name at the latest.
bool span_equals_folded(Span span, const char *name) {
    size_t i = 0;
    for (; i < span.size(); ++i) {
        if (fold_letter(span.begin[i]) != fold_letter(name[i])) {
            return false;
        }
    }
    return name[i] == '\0';
}

// Compares span with name as QUIL_StriCmp compares an extracted copy, in place; only a name
// longer than any line takes that heap copy (80 if short of memory).
uint32_t span_matches(Span span, const char *name, bool *matches) {
    if (span.size() < kNameBufferSize) {
        *matches = span_equals_folded(span, name);
        return QUIL_SUCCESS;
    }
    char *copy = copy_span(span);
    if (copy == nullptr) {
        return INI_NO_MEMORY;
    }
    *matches = QUIL_StriCmp(copy, name) == 0;
    free_text(&copy);
    return QUIL_SUCCESS;
}

// ---- Reading one logical line ----

enum class Step { Continue, Finish, EndOfFile, TooLong, PushBackFailed, NulByte };

// The bytes that end a run of plain text in a line: line breaks, the backslash and NUL.
constexpr std::array<bool, 256> make_run_stops() {
    std::array<bool, 256> stops{};
    stops[static_cast<unsigned char>(kCR)] = true;
    stops[static_cast<unsigned char>(kLF)] = true;
    stops[static_cast<unsigned char>(kBackslash)] = true;
    stops['\0'] = true;
    return stops;
}
constexpr std::array<bool, 256> kRunStops = make_run_stops();

// The first run stop in [p, stop), or stop when there is none: one byte at a time.
const char *find_run_stop_bytewise(const char *p, const char *stop) {
    while (p != stop && !kRunStops[static_cast<unsigned char>(*p)]) {
        ++p;
    }
    return p;
}

#if defined(__SSE2__)
constexpr size_t kVector = 16;

// The same, sixteen bytes at a time (SSE2 is part of every x86-64 processor); the bytes short of
// a whole vector go through the bytewise loop.
const char *find_run_stop(const char *p, const char *stop) {
    const __m128i cr = _mm_set1_epi8(kCR);
    const __m128i lf = _mm_set1_epi8(kLF);
    const __m128i backslash = _mm_set1_epi8(kBackslash);
    const __m128i nul = _mm_setzero_si128();
    for (; stop - p >= static_cast<ptrdiff_t>(kVector); p += kVector) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf));
        __m128i others = _mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, nul));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(breaks, others)));
        if (hits != 0) {
            return p + __builtin_ctz(hits);
        }
    }
    return find_run_stop_bytewise(p, stop);
}
#else
const char *find_run_stop(const char *p, const char *stop) {
    return find_run_stop_bytewise(p, stop);
}
#endif

// Where a line reader's bytes come from. A byte read past the end of a line is given back: to the
// file by moving its position one byte back, which is what a caller of QUIL_Ini_ReadLine sees; or,
// while a whole file is loaded, by keeping it for the next line. Only a whole-file load reads
// ahead, a block at a time; a reader that gives bytes back to the file reads them one by one, so
// that the file stands right behind the line afterwards.
class ByteSource {
  public:
    enum class GiveBack { ToFile, ToNextLine };

    // hash, when given, receives every byte read from the file.
    ByteSource(QUIL_FILE *file, GiveBack giveBack, ContentHash *hash = nullptr)
        : file_(file), giveBack_(giveBack), hash_(hash) {}

    int32_t next() {
        if (next_ == end_ && !refill()) {
            return kEndOfFile;
        }
        return static_cast<unsigned char>(*next_++);
    }

    // Takes the bytes read ahead that precede the next run stop, at most limit of them: plain
    // text that a line reader can store as it is.
    Span take_plain_run(size_t limit) {
        const char *start = next_;
        const char *stop = limit < static_cast<size_t>(end_ - next_) ? next_ + limit : end_;
        next_ = find_run_stop(next_, stop);
        return {start, next_};
    }

    // The bytes read ahead and not yet taken, [cursor(), end()); a line reader that takes some of
    // them at once moves the cursor past them with skip_to.
    const char *cursor() const { return next_; }
    const char *end() const { return end_; }
    void skip_to(const char *p) { next_ = p; }

    // Gives back the byte that next() returned last.
    bool give_back() {
        if (giveBack_ == GiveBack::ToNextLine) {
            --next_;
            return true;
        }
        return QUIL_Fseek(file_, kOneByteBack, kFromCurrent) == 0;
    }

  private:
    // A few pages: few system calls per megabyte, and the bytes stay in the first-level cache
    // while the lines are cut from them; small enough for a stack.
    static constexpr uint32_t kReadAhead = 16384;

    bool refill() {
        uint32_t got = 0;
        if (giveBack_ == GiveBack::ToFile) {
            got = read_one_byte();
        } else if (!drained_) {
            got = QUIL_Fread(buffer_.data(), 1, kReadAhead, file_);
            // A short read comes only at the end of the file or with a read error (which the
            // loader asks the file about afterwards): asking again would only cost a system call.
            drained_ = got < kReadAhead;
            if (hash_ != nullptr) {
                hash_->add(buffer_.data(), got);
            }
        }
        next_ = buffer_.data();
        end_ = next_ + got;
        return got != 0;
    }

    uint32_t read_one_byte() {
        int32_t byte = QUIL_Fgetc(file_);
        if (byte == kEndOfFile) {
            return 0;
        }
        buffer_[0] = static_cast<char>(byte);
        return 1;
    }

    QUIL_FILE *file_;
    GiveBack giveBack_;
    ContentHash *hash_;
    std::array<char, kReadAhead> buffer_;
    const char *next_ = nullptr;
    const char *end_ = nullptr;
    bool drained_ = false;
};

// The state of reading one logical line byte by byte. A line break (CR, LF, CR LF or LF CR) is
// followed by one more read to see whether it is a pair; a byte that belongs to the next line is
// given back. A backslash is held (pending) until the next byte shows whether it continues the
// line: before a line break it joins the next physical line, doubled it stays doubled, before
// anything else it stays in the text.
class LineReader {
  public:
    explicit LineReader(ByteSource &source) : source_(source) {}

    Step read() {
        Step step = Step::Continue;
        while (step == Step::Continue) {
            step = in_plain_text() ? store_plain_run() : Step::Continue;
            if (step == Step::Continue) {
                int32_t byte = source_.next();
                step = byte == kEndOfFile ? at_end() : on_byte(static_cast<char>(byte));
            }
        }
        return step;
    }

    Span text() const { return {buffer_.data(), buffer_.data() + length_}; }
    uint32_t physical_lines() const { return phys_; }

  private:
    // No line break and no backslash pending: every byte but a run stop is stored as it is.
    bool in_plain_text() const { return brk_ == kNoBreak && !pending_; }

    // Stores at once what store() would store byte by byte, up to the next run stop.
    Step store_plain_run() {
        Span run = source_.take_plain_run(buffer_.size() - length_);
        if (run.size() == 0) {
            return Step::Continue;
        }
        wex::bounded::memcpy_s(buffer_.data() + length_, buffer_.size() - length_, run.begin,
                               run.size());
        length_ += static_cast<uint32_t>(run.size());
        return length_ > kLongestLine ? Step::TooLong : Step::Continue;
    }

    Step on_byte(char byte) {
        if (byte == kCR || byte == kLF) {
            return on_break(byte);
        }
        return byte == kBackslash ? on_backslash() : on_other(byte);
    }

    // A pending backslash, and a line break read after it, are dropped at the end of the file.
    Step at_end() const { return length_ > 0 ? Step::Finish : Step::EndOfFile; }

    Step on_break(char byte) {
        if (brk_ == kNoBreak) {
            brk_ = byte;
            return pending_ ? Step::Continue : store(byte);
        }
        if (brk_ != byte) { // the second half of a CR LF or LF CR pair
            if (pending_) {
                join();
                return Step::Continue;
            }
            return finish_after(store(byte));
        }
        if (pending_) { // a continuation onto an empty physical line ends the logical line
            ++phys_;
            return finish_after(store(byte));
        }
        return give_back();
    }

    Step on_backslash() {
        if (brk_ != kNoBreak) {
            if (!pending_) {
                return give_back();
            }
            join();
            pending_ = true;
            return Step::Continue;
        }
        if (!pending_) {
            pending_ = true;
            return Step::Continue;
        }
        pending_ = false;
        Step step = store(kBackslash);
        return step == Step::Continue ? store(kBackslash) : step;
    }

    Step on_other(char byte) {
        if (brk_ != kNoBreak) {
            if (!pending_) {
                return give_back();
            }
            join();
            return store(byte);
        }
        if (pending_) {
            pending_ = false;
            Step step = store(kBackslash);
            return step == Step::Continue ? store(byte) : step;
        }
        return store(byte);
    }

    // A NUL byte is refused rather than stored: a text cut there would lose the rest of the file
    // on the next save.
    Step store(char byte) {
        if (byte == '\0') {
            return Step::NulByte;
        }
        buffer_[length_++] = byte;
        return length_ > kLongestLine ? Step::TooLong : Step::Continue;
    }

    static Step finish_after(Step stored) {
        return stored == Step::Continue ? Step::Finish : stored;
    }

    void join() {
        pending_ = false;
        brk_ = kNoBreak;
        ++phys_;
    }

    Step give_back() { return source_.give_back() ? Step::Finish : Step::PushBackFailed; }

    ByteSource &source_;
    std::array<char, kReadBufferSize> buffer_;
    uint32_t length_ = 0;
    uint32_t phys_ = 1;
    bool pending_ = false;
    char brk_ = kNoBreak;
};

uint32_t step_result(Step step) {
    switch (step) {
    case Step::EndOfFile:
        return INI_NO_LINES;
    case Step::TooLong:
        return INI_LINE_TOO_LONG;
    case Step::PushBackFailed:
        return INI_NO_MEMORY;
    case Step::NulByte:
        return INI_BAD_LINE;
    default:
        return QUIL_SUCCESS;
    }
}

bool ends_with_break(Span line) {
    char last = line.end[-1];
    return last == kCR || last == kLF;
}

// A heap copy of a read line; one that ends the file without a line break gets a CR.
char *copy_read_line(Span line) {
    bool addBreak = !ends_with_break(line);
    size_t size = line.size() + (addBreak ? 1 : 0);
    auto *copy =
        static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(size + 1), __LINE__, kUnit));
    if (copy != nullptr) {
        wex::bounded::memcpy_s(copy, size + 1, line.begin, line.size());
        if (addBreak) {
            copy[line.size()] = kCR;
        }
        copy[size] = '\0';
    }
    return copy;
}

// Reads the next logical line from source into a new text in *slot.
uint32_t read_line(ByteSource &source, char **slot, uint32_t *length, uint32_t *physLines) {
    *length = 0;
    *physLines = 0;
    LineReader reader(source);
    uint32_t result = step_result(reader.read());
    if (result != QUIL_SUCCESS) {
        return result;
    }
    Span line = reader.text();
    // The CR that a last line without break gets counts toward the limit: a text of 512 bytes
    // would be saved as a line that no load reads back.
    if (!ends_with_break(line) && line.size() >= kLongestLine) {
        return INI_LINE_TOO_LONG;
    }
    char *text = copy_read_line(line);
    if (text == nullptr) {
        return INI_NO_MEMORY;
    }
    *slot = text;
    *length = static_cast<uint32_t>(line.size());
    *physLines = reader.physical_lines();
    return QUIL_SUCCESS;
}

// ---- Loading ----

void clear_document(IniFile *doc) {
    *doc = IniFile{};
}

enum class Plain { Stored, NotPlain, NoMemory };

// Copies size bytes from src into dest, where they do not overlap. Most lines are short: up to
// 32 bytes take two overlapping moves of a fixed size each instead of a call.
void copy_short(char *dest, const char *src, size_t size) {
    if (size > 32) {
        std::memcpy(dest, src, size);
    } else if (size >= 16) {
        std::memcpy(dest, src, 16);
        std::memcpy(dest + size - 16, src + size - 16, 16);
    } else if (size >= 8) {
        std::memcpy(dest, src, 8);
        std::memcpy(dest + size - 8, src + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(dest, src, 4);
        std::memcpy(dest + size - 4, src + size - 4, 4);
    } else {
        for (size_t i = 0; i < size; ++i) {
            dest[i] = src[i];
        }
    }
}

// The common line, stored straight from the bytes read ahead, as read_line would store it: one
// that lies whole in them with the byte after its line break, holds no backslash and no NUL, and
// is not too long. Anything else is NotPlain, and nothing has been taken.
Plain store_plain_line(ByteSource &source, char **slot) {
    const char *begin = source.cursor();
    const char *end = source.end();
    const char *limit =
        end - begin > static_cast<ptrdiff_t>(kLongestLine) ? begin + kLongestLine : end;
    const char *stop = find_run_stop(begin, limit);
    // The byte after a single CR or LF tells whether it is half of a pair: it must be here too.
    if (end - stop < 2 || (*stop != kCR && *stop != kLF)) {
        return Plain::NotPlain;
    }
    const char *lineEnd = stop + 1;
    if (*lineEnd == (*stop == kCR ? kLF : kCR)) {
        ++lineEnd;
    }
    auto size = static_cast<size_t>(lineEnd - begin);
    if (size > kLongestLine) {
        return Plain::NotPlain;
    }
    auto *text =
        static_cast<char *>(QUIL_MemMallocD(static_cast<uint32_t>(size + 1), __LINE__, kUnit));
    if (text == nullptr) {
        return Plain::NoMemory;
    }
    copy_short(text, begin, size); // text holds size + 1 bytes
    text[size] = '\0';
    source.skip_to(lineEnd);
    *slot = text;
    return Plain::Stored;
}

// The line array while a file is loaded, with lineCapacity and the growth of QUIL_Ini_GrowLines:
// 200 slots, 50 more whenever lineCount + 1 reaches lineCapacity.
//
// Two things differ underneath, neither of them visible once the load is done. The first lines
// wait in a small array of their own, and the line array is allocated only when the 199th line
// comes (the one that makes the array grow) or the file ends: with glibc's allocator, a request of
// 1 KiB or more first merges every small block freed before it (the lines of the last document
// released, typically) into larger free blocks, and the line texts then all take the slower way
// to their memory; allocated after them, the array costs the texts nothing. (This pays only while
// nothing else asks for such a block before the lines: a stdio read buffer that the adapter
// allocates on the first read does.) And the block doubles ahead of lineCapacity, so that a large
// file costs a few reallocations instead of one per 50 lines, each copying every slot; when the
// load ends it is cut back to lineCapacity slots. Every slot of the block at or beyond lineCount
// is null.
class LoadingLines {
  public:
    explicit LoadingLines(IniFile *doc) : doc_(doc) {}

    // Takes text (which the document then owns, also after a failure) as the next line, with
    // the physical lines it took. 80 when the array cannot be allocated or grown.
    uint32_t append(char *text, uint32_t physLines) {
        uint32_t slot = doc_->lineCount;
        doc_->physLineCount += physLines;
        doc_->lineCount++;
        if (doc_->lines == nullptr) {
            early_[slot] = text;
            return doc_->lineCount + 1 < kSlotsAtLoad ? QUIL_SUCCESS : place_early_lines();
        }
        doc_->lines[slot] = text;
        return doc_->lineCount + 1 < doc_->lineCapacity ? QUIL_SUCCESS : grow();
    }

    // Ends a complete load: the array exists and holds lineCapacity slots. 80 when it cannot be
    // allocated.
    uint32_t finish() {
        if (doc_->lines == nullptr) {
            return place_early_lines();
        }
        trim();
        return QUIL_SUCCESS;
    }

    // Ends a failed load: releases the lines that wait for the array; QUIL_Ini_Free releases
    // the rest.
    void release_early_lines() {
        if (doc_->lines == nullptr) {
            for (uint32_t i = 0; i < doc_->lineCount; ++i) {
                free_text(&early_[i]);
            }
        }
    }

  private:
    // Allocates the array at the capacity that the lines read so far have made it reach, and
    // moves them into it.
    uint32_t place_early_lines() {
        uint32_t capacity =
            doc_->lineCount + 1 < kSlotsAtLoad ? kSlotsAtLoad : kSlotsAtLoad + kSlotsPerGrowth;
        auto bytes = static_cast<uint32_t>(capacity * sizeof(char *));
        auto *lines = static_cast<char **>(QUIL_MemMallocS(bytes, 0, __LINE__, kUnit));
        if (lines == nullptr) {
            return INI_NO_MEMORY;
        }
        for (uint32_t i = 0; i < doc_->lineCount; ++i) {
            lines[i] = early_[i];
        }
        doc_->lines = lines;
        doc_->lineCapacity = capacity;
        allocated_ = capacity;
        return QUIL_SUCCESS;
    }

    // Adds 50 slots to lineCapacity; 80 when the block cannot be grown (doc unchanged).
    uint32_t grow() {
        uint64_t wanted = uint64_t{doc_->lineCapacity} + kSlotsPerGrowth;
        if (wanted > allocated_) {
            uint64_t slots = std::max(wanted, uint64_t{allocated_} * 2);
            uint32_t bytes = 0;
            if (!slot_array_bytes(slots, &bytes)) {
                slots = wanted;
                if (!slot_array_bytes(slots, &bytes)) {
                    return INI_NO_MEMORY;
                }
            }
            auto *grown =
                static_cast<char **>(QUIL_MemReallocD(doc_->lines, bytes, __LINE__, kUnit));
            if (grown == nullptr) {
                return INI_NO_MEMORY;
            }
            size_t added = static_cast<size_t>(slots - allocated_) * sizeof(char *);
            wex::bounded::memset_s(grown + allocated_, added, 0, added);
            doc_->lines = grown;
            allocated_ = static_cast<uint32_t>(slots);
        }
        doc_->lineCapacity = static_cast<uint32_t>(wanted);
        return QUIL_SUCCESS;
    }

    // Cuts the block back to lineCapacity slots. Shrinking in place hardly ever fails; when it
    // does, the document keeps the larger block, whose extra slots are null.
    void trim() {
        if (allocated_ == doc_->lineCapacity) {
            return;
        }
        auto bytes = static_cast<uint32_t>(doc_->lineCapacity * sizeof(char *));
        auto *trimmed = static_cast<char **>(QUIL_MemReallocD(doc_->lines, bytes, __LINE__, kUnit));
        if (trimmed != nullptr) {
            doc_->lines = trimmed;
            allocated_ = doc_->lineCapacity;
        }
    }

    IniFile *doc_;
    std::array<char *, kSlotsAtLoad - 1> early_;
    uint32_t allocated_ = 0;
};

// Reads the next line from source into a new text: straight from the bytes read ahead when it
// is a plain line, else through the line reader.
uint32_t next_line(ByteSource &source, char **text, uint32_t *physLines) {
    *physLines = 1;
    switch (store_plain_line(source, text)) {
    case Plain::Stored:
        return QUIL_SUCCESS;
    case Plain::NoMemory:
        return INI_NO_MEMORY;
    default:
        break;
    }
    uint32_t length = 0;
    return read_line(source, text, &length, physLines);
}

// Reads every line of file into doc, which is all zero, keeping one null slot after the last
// line. On failure doc may hold lines that QUIL_Ini_Free releases.
uint32_t read_lines(QUIL_FILE *file, IniFile *doc, ContentHash *hash) {
    ByteSource source(file, ByteSource::GiveBack::ToNextLine, hash);
    LoadingLines array(doc);
    uint32_t result = QUIL_SUCCESS;
    while (result == QUIL_SUCCESS) {
        char *text = nullptr;
        uint32_t phys = 0;
        result = next_line(source, &text, &phys);
        if (result == QUIL_SUCCESS) {
            result = array.append(text, phys);
        }
    }
    if (result == INI_NO_LINES) {
        result = array.finish();
    }
    if (result != QUIL_SUCCESS) {
        array.release_early_lines();
    }
    return result;
}

// ---- The line grammar ----

// Where the classification decides: the first byte that is not a space or tab, but never past
// the last byte of the text.
const char *first_decisive_byte(const char *text) {
    const char *p = text;
    while (is_blank(*p) && p[1] != '\0') {
        ++p;
    }
    return p;
}

uint32_t classify(const char *text, uint32_t *kind) {
    const char *p = first_decisive_byte(text);
    switch (*p) {
    case ' ':
    case '\t':
        *kind = INI_LINE_BLANK;
        return QUIL_SUCCESS;
    case kCR:
    case kLF:
        *kind = INI_LINE_EMPTY;
        return QUIL_SUCCESS;
    case ';':
    case '#':
        *kind = INI_LINE_COMMENT;
        return QUIL_SUCCESS;
    case '[':
        *kind = INI_LINE_SECTION;
        return QUIL_SUCCESS;
    default:
        break;
    }
    if (QUIL_StrChr(p, '=') != nullptr) {
        *kind = INI_LINE_KEY;
        return QUIL_SUCCESS;
    }
    *kind = INI_LINE_INVALID;
    return INI_BAD_LINE;
}

const char *last_byte(const char *text) {
    return text + QUIL_StrLen(text) - 1;
}

// The comment after the first " ;" of text: the rest, blanks skipped at its start and white
// trimmed at its end; empty when nothing but white follows. 160 when text has no " ;".
uint32_t cut_comment(const char *text, Span *comment) {
    const char *separator = QUIL_StrStr(text, " ;");
    if (separator == nullptr) {
        return INI_BAD_LINE;
    }
    const char *start = separator + 2;
    if (*start == '\0') {
        *comment = {start, start};
        return QUIL_SUCCESS;
    }
    const char *end = last_byte(start);
    QUIL_Ini_SkipBlanks(&start, end);
    QUIL_Ini_TrimBack(&end, start);
    *comment = is_white(*start) ? Span{start, start} : Span{start, end + 1};
    return QUIL_SUCCESS;
}

struct SectionParts {
    Span name;
    Span comment;
    bool hasComment = false;
};

// The name between the first "[" and the first "]", blanks skipped and white trimmed; close
// receives the "]".
uint32_t cut_section_name(const char *text, Span *name, const char **close) {
    if (QUIL_StrLen(text) < 3) {
        return INI_BAD_SECTION;
    }
    const char *open = QUIL_StrChr(text, '[');
    *close = QUIL_StrChr(text, ']');
    if (open == nullptr || *close == nullptr || *close - open < 2) {
        return INI_BAD_SECTION;
    }
    const char *start = open + 1;
    const char *end = *close - 1;
    QUIL_Ini_SkipBlanks(&start, end);
    QUIL_Ini_TrimBack(&end, start);
    // A single white byte left is a name of blanks and line breaks: nothing is left.
    if (is_white(*start)) {
        return INI_BAD_SECTION;
    }
    *name = {start, end + 1};
    return QUIL_SUCCESS;
}

// Whatever follows the first "]" must be white, or hold a comment after " ;"; the space may be
// the last one skipped.
uint32_t cut_section_comment(const char *afterClose, SectionParts *parts) {
    const char *p = afterClose;
    while (is_white(*p)) {
        ++p;
    }
    if (*p == '\0') {
        return QUIL_SUCCESS;
    }
    parts->hasComment = true;
    return cut_comment(p - 1, &parts->comment);
}

uint32_t cut_section(const char *text, SectionParts *parts) {
    const char *close = nullptr;
    uint32_t result = cut_section_name(skip_byte_order_mark(text), &parts->name, &close);
    return result == QUIL_SUCCESS ? cut_section_comment(close + 1, parts) : result;
}

struct KeyParts {
    Span key;
    Span value;
    Span comment;
    bool hasValue = false;
    bool hasComment = false;
};

// The key before the first "=", blanks skipped and white trimmed. 160 without "=", 120 when no
// key is left. equals receives the "=".
uint32_t cut_key_name(const char *text, Span *key, const char **equals) {
    const char *eq = QUIL_StrChr(text, '=');
    if (eq == nullptr) {
        return INI_BAD_LINE;
    }
    if (eq == text) {
        return INI_BAD_KEY;
    }
    const char *start = text;
    const char *end = eq - 1;
    QUIL_Ini_SkipBlanks(&start, end);
    QUIL_Ini_TrimBack(&end, start);
    if (is_white(*start)) {
        return INI_BAD_KEY;
    }
    *key = {start, end + 1};
    *equals = eq;
    return QUIL_SUCCESS;
}

// The first double quote after p that no backslash escapes, or null.
const char *unescaped_quote(const char *p) {
    for (const char *quote = QUIL_StrChr(p, '"'); quote != nullptr;
         quote = QUIL_StrChr(quote + 1, '"')) {
        if (quote[-1] != kBackslash) {
            return quote;
        }
    }
    return nullptr;
}

// Where the value is cut for a comment: the space of the first " ;" that no later double quote
// shows to lie inside a quoted string. Null when the value runs to the end of the line.
const char *comment_cut(const char *start, const char *end) {
    const char *p = start;
    while (p < end) {
        const char *semicolon = QUIL_StrChr(p, ';');
        if (semicolon == nullptr || semicolon[-1] != ' ') {
            return nullptr;
        }
        const char *quote = unescaped_quote(semicolon + 1);
        if (quote == nullptr) {
            return semicolon - 1;
        }
        p = quote + 1;
    }
    return nullptr;
}

// Value and comment after the "=" at eq; neither can fail.
void cut_value_and_comment(const char *eq, KeyParts *parts) {
    if (eq[1] == '\0') {
        return;
    }
    const char *end = last_byte(eq);
    const char *start = eq + 1;
    QUIL_Ini_SkipBlanks(&start, end);
    const char *cut = comment_cut(start, end);
    // The value's last byte, before the cut; it may lie before start when the value is empty.
    const char *valueLast = cut == nullptr ? end : cut - 1;
    QUIL_Ini_TrimBack(&valueLast, start);
    if (valueLast >= start && !is_white(*start)) {
        parts->value = {start, valueLast + 1};
        parts->hasValue = true;
    }
    if (cut != nullptr) {
        parts->hasComment = true;
        cut_comment(cut, &parts->comment);
    }
}

uint32_t cut_key_line(const char *text, KeyParts *parts) {
    const char *eq = nullptr;
    uint32_t result = cut_key_name(skip_byte_order_mark(text), &parts->key, &eq);
    if (result == QUIL_SUCCESS) {
        cut_value_and_comment(eq, parts);
    }
    return result;
}

// Copies span into *out when present; false when memory is short.
bool copy_if(bool present, Span span, char **out) {
    if (!present) {
        return true;
    }
    *out = copy_span(span);
    return *out != nullptr;
}

// ---- Walks over the document ----

bool document_usable(const IniFile *doc) {
    return doc != nullptr && doc->lines != nullptr;
}

// A list for up to count names and its terminating null, all entries null; null when short of
// memory.
char **new_name_list(uint32_t count) {
    uint32_t bytes = 0;
    if (!slot_array_bytes(uint64_t{count} + 1, &bytes)) {
        return nullptr;
    }
    return static_cast<char **>(QUIL_MemMallocS(bytes, 0, __LINE__, kUnit));
}

// The checks a listing begins with; once they pass, the outputs are cleared.
uint32_t start_listing(const IniFile *doc, uint32_t *count, char ***list) {
    if (!document_usable(doc) || count == nullptr || list == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *count = 0;
    *list = nullptr;
    return QUIL_SUCCESS;
}

// Ends a failed listing: the list and what it gathered are released and the outputs cleared.
uint32_t drop_list(uint32_t result, uint32_t *count, char ***list) {
    QUIL_Ini_FreeList(*list);
    *list = nullptr;
    *count = 0;
    return result;
}

// Appends a copy of name to list.
uint32_t append_copy(Span name, uint32_t *count, char **list) {
    list[*count] = copy_span(name);
    if (list[*count] == nullptr) {
        return INI_NO_MEMORY;
    }
    ++*count;
    return QUIL_SUCCESS;
}

uint32_t append_section_name(const char *headerLine, uint32_t *count, char **list) {
    SectionParts parts;
    uint32_t result = cut_section(headerLine, &parts);
    return result == QUIL_SUCCESS ? append_copy(parts.name, count, list) : result;
}

uint32_t append_key(const char *keyLine, uint32_t *count, char **list) {
    KeyParts parts;
    uint32_t result = cut_key_line(keyLine, &parts);
    return result == QUIL_SUCCESS ? append_copy(parts.key, count, list) : result;
}

// Appends every header name of doc to list.
uint32_t gather_sections(const IniFile *doc, uint32_t *count, char **list) {
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        const char *line = doc->lines[i];
        if (line == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = QUIL_Ini_GetLineType(line, &kind);
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            result = append_section_name(line, count, list);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return *count == 0 ? INI_NO_SECTION : QUIL_SUCCESS;
}

// Appends the key of every key line in the section whose header stands at header.
uint32_t gather_keys(const IniFile *doc, uint32_t header, uint32_t *count, char **list) {
    for (uint32_t i = header + 1; i < doc->lineCount; ++i) {
        const char *line = doc->lines[i];
        if (line == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = QUIL_Ini_GetLineType(line, &kind);
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            break;
        }
        if (result == QUIL_SUCCESS && kind == INI_LINE_KEY) {
            result = append_key(line, count, list);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return *count == 0 ? INI_NO_KEY : QUIL_SUCCESS;
}

// Allocates a list as long as the document into *list and lets gather fill it; a failed
// gathering releases it.
template <typename Gather>
uint32_t fill_list(const IniFile *doc, uint32_t *count, char ***list, Gather gather) {
    *list = new_name_list(doc->lineCount);
    if (*list == nullptr) {
        return INI_NO_MEMORY;
    }
    uint32_t result = gather(*list);
    return result == QUIL_SUCCESS ? result : drop_list(result, count, list);
}

using NameMatcher = uint32_t (*)(const char *line, const char *name, bool *matches);

constexpr uint32_t kNoSlot = UINT32_MAX;

// Where a walk from the end stopped: the matching line, and the line of the same kind that the
// walk passed last (the nearest one after the match in the document); kNoSlot when none.
struct WalkEnd {
    uint32_t found = kNoSlot;
    uint32_t lastPassed = kNoSlot;
};

// Walks the non-null slots from last down to first, classifying each, to the first line of kind
// wanted whose name (as matcher cuts it) equals name. Returns the first code that is not 0.
uint32_t walk_back(const IniFile *doc, uint32_t first, uint32_t last, uint32_t wanted,
                   NameMatcher matcher, const char *name, WalkEnd *walk) {
    for (uint32_t i = last + 1; i-- > first;) {
        const char *line = doc->lines[i];
        if (line == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        bool matches = false;
        uint32_t result = QUIL_Ini_GetLineType(line, &kind);
        if (result == QUIL_SUCCESS && kind == wanted) {
            result = matcher(line, name, &matches);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
        if (matches) {
            walk->found = i;
            return QUIL_SUCCESS;
        }
        if (kind == wanted) {
            walk->lastPassed = i;
        }
    }
    return QUIL_SUCCESS;
}

// The slot of the last line of key in range, walking from its end; INI_NO_KEY when none.
uint32_t find_key_from_end(const IniFile *doc, SectionRange range, const char *key,
                           uint32_t *slot) {
    WalkEnd walk;
    uint32_t result =
        walk_back(doc, range.header + 1, range.last, INI_LINE_KEY, key_line_matches, key, &walk);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (walk.found == kNoSlot) {
        return INI_NO_KEY;
    }
    *slot = walk.found;
    return QUIL_SUCCESS;
}

// The range of the last header named section; 130 for a document without lines.
uint32_t find_named_section(const IniFile *doc, const char *section, SectionRange *range) {
    return doc->lineCount == 0 ? INI_NO_LINES : find_section_from_end(doc, section, range);
}

} // namespace

// ---- Shared with the writing half ----

namespace wex::ini {

const char *skip_byte_order_mark(const char *text) {
    for (size_t i = 0; i < kByteOrderMarkSize; ++i) {
        if (text[i] != kByteOrderMark[i]) {
            return text;
        }
    }
    return text + kByteOrderMarkSize;
}

uint32_t section_line_matches(const char *text, const char *name, bool *matches) {
    SectionParts parts;
    uint32_t result = cut_section(text, &parts);
    return result == QUIL_SUCCESS ? span_matches(parts.name, name, matches) : result;
}

uint32_t key_line_matches(const char *text, const char *key, bool *matches) {
    Span name;
    const char *eq = nullptr;
    uint32_t result = cut_key_name(skip_byte_order_mark(text), &name, &eq);
    return result == QUIL_SUCCESS ? span_matches(name, key, matches) : result;
}

uint32_t find_section_from_end(const IniFile *doc, const char *name, SectionRange *range) {
    uint32_t lastSlot = doc->lineCount - 1; // the walk takes no step when lineCount is 0
    WalkEnd walk;
    uint32_t result =
        walk_back(doc, 0, lastSlot, INI_LINE_SECTION, section_line_matches, name, &walk);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (walk.found == kNoSlot) {
        return INI_NO_SECTION;
    }
    // The section ends before the next header, which the walk passed last.
    *range = {walk.found, walk.lastPassed == kNoSlot ? lastSlot : walk.lastPassed - 1};
    return QUIL_SUCCESS;
}

} // namespace wex::ini

extern "C" {

// ---- Loading ----

uint32_t QUIL_Ini_Load(const char *path, IniFile *doc) {
    if (path == nullptr || doc == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    uint64_t loadedAt = QUIL_GetSystemTime();
    clear_document(doc);
    QUIL_FILE *file = QUIL_Fopen(path, "r");
    if (file == nullptr) {
        return INI_OPEN_FAILED;
    }
    QuilFileIdentity origin{};
    ContentHash hash;
    uint32_t result =
        QUIL_Fidentity(file, &origin) == 0 ? read_lines(file, doc, &hash) : INI_OPEN_FAILED;
    // A read error looks like the end of the file to the reader: a document cut short there
    // would lose the rest of the file on the next save.
    if (result == QUIL_SUCCESS && QUIL_Ferror(file) != 0) {
        result = INI_OPEN_FAILED;
    }
    if (result != QUIL_SUCCESS) {
        QUIL_Ini_Free(doc);
    } else {
        doc->origin = origin;
        doc->originHash = hash.value();
        doc->originPathHash = text_hash(path);
        doc->loadedAt = loadedAt;
        doc->hasOrigin = 1;
    }
    QUIL_Fclose(file);
    return result;
}

uint32_t QUIL_Ini_LoadForUpdate(const char *path, IniFile *doc, uint32_t waitMs) {
    if (path == nullptr || doc == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    clear_document(doc);
    int32_t status = QUIL_LOCK_FAILED;
    QUIL_LOCK *lock = QUIL_LockFile(path, waitMs, &status);
    if (lock == nullptr) {
        return status == QUIL_LOCK_BUSY ? INI_LOCK_TIMEOUT : INI_OPEN_FAILED;
    }
    uint32_t result = QUIL_Ini_Load(path, doc);
    if (result != QUIL_SUCCESS) {
        QUIL_UnlockFile(lock);
        return result;
    }
    doc->lock = lock;
    return QUIL_SUCCESS;
}

void QUIL_Ini_Free(IniFile *doc) {
    if (doc == nullptr) {
        return;
    }
    QUIL_UnlockFile(doc->lock);
    if (doc->lines != nullptr) {
        for (uint32_t i = 0; i < doc->lineCount; ++i) {
            free_text(&doc->lines[i]);
        }
        QUIL_MemFreeD(doc->lines, __LINE__, kUnit);
    }
    clear_document(doc);
}

uint32_t QUIL_Ini_GrowLines(IniFile *doc) {
    if (!document_usable(doc)) {
        return INI_BAD_ARGUMENT;
    }
    uint32_t bytes = 0;
    if (!slot_array_bytes(uint64_t{doc->lineCapacity} + kSlotsPerGrowth, &bytes)) {
        return INI_NO_MEMORY;
    }
    // Reallocation lets the allocator grow the array in place: loading stays linear.
    auto *grown = static_cast<char **>(QUIL_MemReallocD(doc->lines, bytes, __LINE__, kUnit));
    if (grown == nullptr) {
        return INI_NO_MEMORY;
    }
    wex::bounded::memset_s(grown + doc->lineCapacity, kSlotsPerGrowth * sizeof(char *), 0,
                           kSlotsPerGrowth * sizeof(char *));
    doc->lines = grown;
    doc->lineCapacity += kSlotsPerGrowth;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_ReadLine(char **slot, QUIL_FILE *file, uint32_t *length, uint32_t *physLines) {
    if (slot == nullptr || file == nullptr || length == nullptr || physLines == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    ByteSource source(file, ByteSource::GiveBack::ToFile);
    return read_line(source, slot, length, physLines);
}

// ---- The line grammar ----

uint32_t QUIL_Ini_GetLineType(const char *text, uint32_t *kind) {
    if (text == nullptr || kind == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    text = skip_byte_order_mark(text);
    if (*text == '\0') {
        return INI_BAD_ARGUMENT;
    }
    return classify(text, kind);
}

uint32_t QUIL_Ini_ParseComment(const char *text, char **comment) {
    if (text == nullptr || comment == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *comment = nullptr;
    Span cut;
    uint32_t result = cut_comment(text, &cut);
    if (result == QUIL_SUCCESS && !copy_if(true, cut, comment)) {
        result = INI_NO_MEMORY;
    }
    return result;
}

uint32_t QUIL_Ini_ParseSectionLine(const char *text, char **name, char **comment) {
    if (name == nullptr || comment == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *name = nullptr;
    *comment = nullptr;
    if (text == nullptr) {
        return INI_BAD_SECTION;
    }
    SectionParts parts;
    uint32_t result = cut_section(text, &parts);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (!copy_if(true, parts.name, name) || !copy_if(parts.hasComment, parts.comment, comment)) {
        free_text(name);
        return INI_NO_MEMORY;
    }
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_ParseKeyLine(const char *text, char **key, char **value, char **comment) {
    if (text == nullptr || key == nullptr || value == nullptr || comment == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *key = nullptr;
    *value = nullptr;
    *comment = nullptr;
    KeyParts parts;
    uint32_t result = cut_key_line(text, &parts);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (!copy_if(true, parts.key, key) || !copy_if(parts.hasValue, parts.value, value) ||
        !copy_if(parts.hasComment, parts.comment, comment)) {
        free_text(key);
        free_text(value);
        return INI_NO_MEMORY;
    }
    return QUIL_SUCCESS;
}

void QUIL_Ini_SkipBlanks(const char **pos, const char *limit) {
    if (pos == nullptr || *pos == nullptr) {
        return;
    }
    while (is_blank(**pos) && *pos < limit) {
        ++*pos;
    }
}

void QUIL_Ini_TrimBack(const char **pos, const char *limit) {
    if (pos == nullptr || *pos == nullptr) {
        return;
    }
    while (is_white(**pos) && *pos > limit) {
        --*pos;
    }
}

uint32_t QUIL_Ini_SafeStrLen(const char *text) {
    return text == nullptr ? 0 : QUIL_StrLen(text);
}

// ---- Lookup and listing ----

uint32_t QUIL_Ini_GetValue(IniFile *doc, const char *section, const char *key, char **value) {
    if (!document_usable(doc) || value == nullptr || section == nullptr || key == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *value = nullptr;
    SectionRange range{};
    uint32_t result = find_named_section(doc, section, &range);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    uint32_t slot = 0;
    result = find_key_from_end(doc, range, key, &slot);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    KeyParts parts;
    cut_key_line(doc->lines[slot], &parts);
    return copy_if(parts.hasValue, parts.value, value) ? QUIL_SUCCESS : INI_NO_MEMORY;
}

uint32_t QUIL_Ini_GetSections(IniFile *doc, uint32_t *count, char ***list) {
    uint32_t result = start_listing(doc, count, list);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    if (doc->lineCount == 0) {
        return INI_NO_LINES;
    }
    return fill_list(doc, count, list,
                     [doc, count](char **names) { return gather_sections(doc, count, names); });
}

uint32_t QUIL_Ini_GetKeys(IniFile *doc, const char *section, uint32_t *count, char ***list) {
    uint32_t result = section == nullptr ? INI_BAD_ARGUMENT : start_listing(doc, count, list);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    SectionRange range{};
    result = find_named_section(doc, section, &range);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    return fill_list(doc, count, list, [doc, range, count](char **names) {
        return gather_keys(doc, range.header, count, names);
    });
}

void QUIL_Ini_FreeList(char **list) {
    if (list == nullptr) {
        return;
    }
    for (char **entry = list; *entry != nullptr; ++entry) {
        QUIL_MemFreeD(*entry, __LINE__, kUnit);
    }
    QUIL_MemFreeD(list, __LINE__, kUnit);
}

} // extern "C"
