// INI documents, loading: a file or a block of memory read into the array of its logical lines.
// Each line's text goes into the document's store (ini_store.h), with the bytes the file held for
// it when they differ, so that saving writes every line that no edit touched exactly as it was.
//
// Two readings of the bytes: by default a backslash directly before a line break joins the next
// physical line, and a logical line has at most 511 bytes; a document of real files
// (INI_READ_REAL_FILES) keeps every physical line as a line of its own, of any length.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "common/bounded.h"
#include "ini_parser/source/ini_internal.h"
#include "ini_parser/source/ini_origin.h"
#include "ini_parser/source/ini_store.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using namespace wex::ini;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_load";

constexpr char kNoBreak = '\0';
constexpr int32_t kEndOfFile = -1;
constexpr int32_t kOneByteBack = -1;
constexpr int32_t kFromCurrent = 1;
constexpr uint32_t kKnownOptions = INI_READ_REAL_FILES | INI_KEEP_LAYOUT;

void clear_document(IniFile *doc) {
    *doc = IniFile{};
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

// ---- The bytes of one line ----

enum class Added { Ok, TooLong, NoMemory };

// Bytes gathered for one line: in place up to kInline of them; beyond that, where the line may
// grow past them, in a block of the adapter that doubles as needed.
class LineBytes {
  public:
    explicit LineBytes(size_t limit) : limit_(limit) {}
    ~LineBytes() { QUIL_MemFreeD(heap_, __LINE__, kUnit); }
    LineBytes(const LineBytes &) = delete;
    LineBytes &operator=(const LineBytes &) = delete;

    Added push(char byte) {
        if (size_ < capacity_ && size_ < limit_) {
            data()[size_++] = byte;
            return Added::Ok;
        }
        return append(&byte, 1);
    }

    Added append(const char *bytes, size_t count) {
        if (count == 0) {
            return Added::Ok;
        }
        if (count > limit_ - size_) {
            return Added::TooLong;
        }
        if (count > capacity_ - size_ && !grow(size_ + count)) {
            return Added::NoMemory;
        }
        wex::bounded::memcpy_s(data() + size_, capacity_ - size_, bytes, count);
        size_ += count;
        return Added::Ok;
    }

    // The room left before the limit.
    size_t room() const { return limit_ - size_; }
    size_t size() const { return size_; }
    Span span() const {
        const char *begin = heap_ != nullptr ? heap_ : inline_.data();
        return {begin, begin + size_};
    }
    void clear() { size_ = 0; }

  private:
    static constexpr size_t kInline = kLongestLine + 1;

    char *data() { return heap_ != nullptr ? heap_ : inline_.data(); }

    bool grow(size_t least) {
        size_t capacity = std::max(least, capacity_ * 2);
        if (capacity > UINT32_MAX) {
            return false;
        }
        auto *grown = static_cast<char *>(
            QUIL_MemReallocD(heap_, static_cast<uint32_t>(capacity), __LINE__, kUnit));
        if (grown == nullptr) {
            return false;
        }
        if (heap_ == nullptr) {
            std::memcpy(grown, inline_.data(), size_);
        }
        heap_ = grown;
        capacity_ = capacity;
        return true;
    }

    std::array<char, kInline> inline_;
    char *heap_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = kInline;
    size_t limit_;
};

// ---- Runs of plain text ----

// The bytes that end a run of plain text: line breaks, NUL and, where it joins lines, the
// backslash.
constexpr std::array<bool, 256> make_run_stops(bool backslash) {
    std::array<bool, 256> stops{};
    stops[static_cast<unsigned char>(kCR)] = true;
    stops[static_cast<unsigned char>(kLF)] = true;
    stops[static_cast<unsigned char>(kBackslash)] = backslash;
    stops['\0'] = true;
    return stops;
}
constexpr std::array<bool, 256> kJoiningStops = make_run_stops(true);
constexpr std::array<bool, 256> kBreakStops = make_run_stops(false);

// The first run stop in [p, stop), or stop when there is none: one byte at a time.
const char *find_run_stop_bytewise(const char *p, const char *stop, bool joining) {
    const std::array<bool, 256> &stops = joining ? kJoiningStops : kBreakStops;
    while (p != stop && !stops[static_cast<unsigned char>(*p)]) {
        ++p;
    }
    return p;
}

#if defined(__SSE2__)
constexpr size_t kVector = 16;

// The same, sixteen bytes at a time (SSE2 is part of every x86-64 processor); the bytes short of
// a whole vector go through the bytewise loop.
const char *find_run_stop(const char *p, const char *stop, bool joining) {
    const __m128i cr = _mm_set1_epi8(kCR);
    const __m128i lf = _mm_set1_epi8(kLF);
    const __m128i nul = _mm_setzero_si128();
    // Without joining, the backslash compare looks for NUL a second time.
    const __m128i backslash = joining ? _mm_set1_epi8(kBackslash) : nul;
    for (; stop - p >= static_cast<ptrdiff_t>(kVector); p += kVector) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i breaks = _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf));
        __m128i others = _mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, nul));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(breaks, others)));
        if (hits != 0) {
            return p + __builtin_ctz(hits);
        }
    }
    return find_run_stop_bytewise(p, stop, joining);
}
#else
const char *find_run_stop(const char *p, const char *stop, bool joining) {
    return find_run_stop_bytewise(p, stop, joining);
}
#endif

// ---- Where the bytes come from ----

// Where a line reader's bytes come from. A byte read past the end of a line is given back: to the
// file by moving its position one byte back, which is what a caller of QUIL_Ini_ReadLine sees; or,
// while a whole document is loaded, by keeping it for the next line. Only a whole-document load
// reads ahead, a block at a time (or has all its bytes at hand, from memory); a reader that gives
// bytes back to the file reads them one by one, so that the file stands right behind the line
// afterwards.
//
// While a document is loaded, the bytes of a line can be marked: marked_bytes() then gives every
// byte taken since, also when they came in two blocks.
class ByteSource {
  public:
    enum class GiveBack { ToFile, ToNextLine };

    // hash, when given, receives every byte read from the file.
    ByteSource(QUIL_FILE *file, GiveBack giveBack, ContentHash *hash = nullptr)
        : file_(file), giveBack_(giveBack), hash_(hash) {}

    // All the bytes at once, from memory.
    ByteSource(const char *bytes, size_t length)
        : giveBack_(GiveBack::ToNextLine), next_(bytes), end_(bytes + length), drained_(true) {}

    int32_t next() {
        if (next_ == end_ && !refill()) {
            return kEndOfFile;
        }
        return static_cast<unsigned char>(*next_++);
    }

    // Takes the bytes read ahead that precede the next run stop, at most limit of them: plain
    // text that a line reader can store as it is.
    Span take_plain_run(size_t limit, bool joining) {
        const char *start = next_;
        const char *stop = limit < static_cast<size_t>(end_ - next_) ? next_ + limit : end_;
        next_ = find_run_stop(next_, stop, joining);
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

    // Marks the next byte as the first of a line; keep receives the marked bytes of a block
    // that a refill is about to replace.
    void mark(LineBytes *keep) {
        keep->clear();
        keep_ = keep;
        mark_ = next_;
        keptAll_ = true;
    }

    // The bytes taken since mark(); false when keeping them ran short of memory.
    bool marked_bytes(Span *bytes) {
        LineBytes *keep = keep_;
        keep_ = nullptr;
        if (!keptAll_) {
            return false;
        }
        if (keep->size() == 0) {
            *bytes = {mark_, next_};
            return true;
        }
        if (keep->append(mark_, static_cast<size_t>(next_ - mark_)) != Added::Ok) {
            return false;
        }
        *bytes = keep->span();
        return true;
    }

  private:
    // A few pages: few system calls per megabyte, and the bytes stay in the first-level cache
    // while the lines are cut from them; small enough for a stack.
    static constexpr uint32_t kReadAhead = 16384;

    bool refill() {
        if (keep_ != nullptr && keptAll_) {
            keptAll_ = keep_->append(mark_, static_cast<size_t>(end_ - mark_)) == Added::Ok;
            mark_ = end_; // kept: a refill that finds nothing more leaves nothing to add
        }
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
        if (got == 0) {
            return false;
        }
        next_ = buffer_.data();
        end_ = next_ + got;
        mark_ = next_;
        return true;
    }

    uint32_t read_one_byte() {
        int32_t byte = QUIL_Fgetc(file_);
        if (byte == kEndOfFile) {
            return 0;
        }
        buffer_[0] = static_cast<char>(byte);
        return 1;
    }

    QUIL_FILE *file_ = nullptr;
    GiveBack giveBack_;
    ContentHash *hash_ = nullptr;
    std::array<char, kReadAhead> buffer_;
    const char *next_ = nullptr;
    const char *end_ = nullptr;
    bool drained_ = false;
    LineBytes *keep_ = nullptr;
    const char *mark_ = nullptr;
    bool keptAll_ = true;
};

// ---- Reading one line ----

enum class Step { Continue, Finish, EndOfFile, TooLong, NoMemory, PushBackFailed, NulByte };

// The state of reading one line byte by byte. A line break (CR, LF, CR LF or LF CR) is followed
// by one more read to see whether it is a pair; a byte that belongs to the next line is given
// back. Where lines are joined, a backslash is held (pending) until the next byte shows whether
// it continues the line: before a line break it joins the next physical line, doubled it stays
// doubled, before anything else it stays in the text. Elsewhere it is a byte like any other.
class LineReader {
  public:
    LineReader(ByteSource &source, LineBytes &text, bool joining)
        : source_(source), text_(text), joining_(joining) {
        text_.clear();
    }

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

    Span text() const { return text_.span(); }
    uint32_t physical_lines() const { return phys_; }

  private:
    // No line break and no backslash pending: every byte but a run stop is stored as it is.
    bool in_plain_text() const { return brk_ == kNoBreak && !pending_; }

    // Stores at once what store() would store byte by byte, up to the next run stop.
    Step store_plain_run() {
        // One byte more than the room, so that a run too long for the line shows.
        size_t room = text_.room();
        Span run = source_.take_plain_run(room < SIZE_MAX ? room + 1 : room, joining_);
        return run.size() == 0 ? Step::Continue : stored(text_.append(run.begin, run.size()));
    }

    Step on_byte(char byte) {
        if (byte == kCR || byte == kLF) {
            return on_break(byte);
        }
        return byte == kBackslash && joining_ ? on_backslash() : on_other(byte);
    }

    // A pending backslash, and a line break read after it, are dropped at the end of the file.
    Step at_end() const { return text_.size() > 0 ? Step::Finish : Step::EndOfFile; }

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
    Step store(char byte) { return byte == '\0' ? Step::NulByte : stored(text_.push(byte)); }

    static Step stored(Added added) {
        switch (added) {
        case Added::TooLong:
            return Step::TooLong;
        case Added::NoMemory:
            return Step::NoMemory;
        default:
            return Step::Continue;
        }
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
    LineBytes &text_;
    bool joining_;
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
    case Step::NoMemory:
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

// A line that ends the file without a line break gets a CR, which counts toward the limit of the
// joining reading: a text of 512 bytes would be saved as a line that no load reads back.
bool too_long_with_break(Span line, bool joining) {
    return joining && !ends_with_break(line) && line.size() >= kLongestLine;
}

// A heap copy of a read line, for a caller of QUIL_Ini_ReadLine; one that ends the file without a
// line break gets a CR.
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

// ---- Loading a document ----

// The line array while a document is loaded. lineCapacity follows the growth of
// QUIL_Ini_GrowLines (200 slots, 50 more whenever lineCount + 1 reaches it), while the block
// underneath doubles ahead of it, so that a large file costs a few reallocations instead of one
// per 50 lines, each copying every slot. The slots beyond lineCount are left as they come until
// the load ends: then the block is cut back to lineCapacity slots, all null from lineCount on.
class LineArray {
  public:
    explicit LineArray(IniFile *doc) : doc_(doc) {}

    uint32_t start() {
        uint32_t bytes = kSlotsAtLoad * sizeof(char *);
        doc_->lines = static_cast<char **>(QUIL_MemMallocD(bytes, __LINE__, kUnit));
        if (doc_->lines == nullptr) {
            return INI_NO_MEMORY;
        }
        doc_->lineCapacity = kSlotsAtLoad;
        allocated_ = kSlotsAtLoad;
        return QUIL_SUCCESS;
    }

    // Takes text, a line of the document's store, as the next line.
    uint32_t append(char *text, uint32_t physLines) {
        doc_->lines[doc_->lineCount++] = text;
        doc_->physLineCount += physLines;
        return doc_->lineCount + 1 < doc_->lineCapacity ? QUIL_SUCCESS : grow();
    }

    void finish() {
        if (allocated_ != doc_->lineCapacity) {
            auto bytes = static_cast<uint32_t>(doc_->lineCapacity * sizeof(char *));
            // Shrinking in place hardly ever fails; when it does, the larger block stays.
            auto *trimmed =
                static_cast<char **>(QUIL_MemReallocD(doc_->lines, bytes, __LINE__, kUnit));
            doc_->lines = trimmed != nullptr ? trimmed : doc_->lines;
        }
        for (uint32_t i = doc_->lineCount; i < doc_->lineCapacity; ++i) {
            doc_->lines[i] = nullptr;
        }
    }

  private:
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
            doc_->lines = grown;
            allocated_ = static_cast<uint32_t>(slots);
        }
        doc_->lineCapacity = static_cast<uint32_t>(wanted);
        return QUIL_SUCCESS;
    }

    IniFile *doc_;
    uint32_t allocated_ = 0;
};

enum class Plain { Stored, NotPlain, NoMemory };

// Reads the lines of a whole document into its store and its line array.
class DocumentLoader {
  public:
    DocumentLoader(IniFile *doc, bool joining)
        : doc_(doc), array_(doc), joining_(joining), text_(joining ? kLongestLine : SIZE_MAX),
          raw_(SIZE_MAX) {}

    // Reads every line; doc, all zero before, then owns them. On failure doc may hold lines that
    // QUIL_Ini_Free releases.
    uint32_t load(ByteSource &source, uint64_t expectedBytes) {
        doc_->store = IniLineStore::create(expectedBytes);
        uint32_t result = doc_->store == nullptr ? INI_NO_MEMORY : array_.start();
        while (result == QUIL_SUCCESS) {
            char *text = nullptr;
            uint32_t phys = 1;
            result = next_line(source, &text, &phys);
            if (result == QUIL_SUCCESS) {
                result = array_.append(text, phys);
            }
        }
        if (result != INI_NO_LINES) {
            return result;
        }
        array_.finish();
        return QUIL_SUCCESS;
    }

  private:
    // The common line, stored straight from the bytes read ahead, as the line reader would store
    // it: one that lies whole in them with the byte after its line break, holds no NUL and no
    // backslash that could join lines, and is not too long. Anything else is NotPlain, and
    // nothing has been taken.
    Plain store_plain_line(ByteSource &source, char **text) {
        const char *begin = source.cursor();
        const char *end = source.end();
        const char *limit = joining_ && end - begin > static_cast<ptrdiff_t>(kLongestLine)
                                ? begin + kLongestLine
                                : end;
        const char *stop = find_run_stop(begin, limit, joining_);
        // The byte after a single CR or LF tells whether it is half of a pair: it must be here too.
        if (end - stop < 2 || (*stop != kCR && *stop != kLF)) {
            return Plain::NotPlain;
        }
        const char *lineEnd = stop + 1;
        if (*lineEnd == (*stop == kCR ? kLF : kCR)) {
            ++lineEnd;
        }
        if (joining_ && lineEnd - begin > static_cast<ptrdiff_t>(kLongestLine)) {
            return Plain::NotPlain;
        }
        *text = doc_->store->add({begin, lineEnd}, false, {});
        if (*text == nullptr) {
            return Plain::NoMemory;
        }
        source.skip_to(lineEnd);
        return Plain::Stored;
    }

    // Reads the next line byte by byte and stores it, with the file's bytes when they differ.
    uint32_t read_and_store(ByteSource &source, char **text, uint32_t *phys) {
        if (joining_) {
            source.mark(&raw_);
        }
        LineReader reader(source, text_, joining_);
        uint32_t result = step_result(reader.read());
        Span raw{};
        if (joining_ && !source.marked_bytes(&raw) && result == QUIL_SUCCESS) {
            result = INI_NO_MEMORY;
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
        Span line = reader.text();
        if (too_long_with_break(line, joining_)) {
            return INI_LINE_TOO_LONG;
        }
        // Without joining, the file's bytes are the line's.
        bool same = !joining_ || (raw.size() == line.size() &&
                                  std::memcmp(raw.begin, line.begin, raw.size()) == 0);
        *text = doc_->store->add(line, !ends_with_break(line), same ? Span{} : raw);
        *phys = reader.physical_lines();
        return *text == nullptr ? INI_NO_MEMORY : QUIL_SUCCESS;
    }

    // Reads the next line into the store: straight from the bytes read ahead when it is a plain
    // line, else through the line reader.
    uint32_t next_line(ByteSource &source, char **text, uint32_t *phys) {
        switch (store_plain_line(source, text)) {
        case Plain::Stored:
            return QUIL_SUCCESS;
        case Plain::NoMemory:
            return INI_NO_MEMORY;
        default:
            return read_and_store(source, text, phys);
        }
    }

    IniFile *doc_;
    LineArray array_;
    bool joining_;
    LineBytes text_; // the line being read
    LineBytes raw_;  // its bytes, where a block ended within them
};

// Reads every line of source into doc, which is all zero, with the options given; on failure
// doc is all zero again.
uint32_t load_document(ByteSource &source, uint64_t expectedBytes, IniFile *doc, uint32_t options) {
    DocumentLoader loader(doc, (options & INI_READ_REAL_FILES) == 0);
    uint32_t result = loader.load(source, expectedBytes);
    if (result != QUIL_SUCCESS) {
        QUIL_Ini_Free(doc);
    } else {
        doc->options = options;
    }
    return result;
}

bool options_known(uint32_t options) {
    return (options & ~kKnownOptions) == 0;
}

} // namespace

extern "C" {

uint32_t QUIL_Ini_LoadWithOptions(const char *path, IniFile *doc, uint32_t options) {
    if (path == nullptr || doc == nullptr || !options_known(options)) {
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
    uint32_t result = INI_OPEN_FAILED;
    if (QUIL_Fidentity(file, &origin) == 0) {
        ByteSource source(file, ByteSource::GiveBack::ToNextLine, &hash);
        result = load_document(source, origin.size, doc, options);
    }
    // A read error looks like the end of the file to the reader: a document cut short there
    // would lose the rest of the file on the next save.
    if (result == QUIL_SUCCESS && QUIL_Ferror(file) != 0) {
        QUIL_Ini_Free(doc);
        result = INI_OPEN_FAILED;
    }
    if (result == QUIL_SUCCESS) {
        doc->origin = origin;
        doc->originHash = hash.value();
        doc->originPathHash = text_hash(path);
        doc->loadedAt = loadedAt;
        doc->hasOrigin = 1;
    }
    QUIL_Fclose(file);
    return result;
}

uint32_t QUIL_Ini_Load(const char *path, IniFile *doc) {
    return QUIL_Ini_LoadWithOptions(path, doc, 0);
}

uint32_t QUIL_Ini_LoadMemory(const char *bytes, size_t length, IniFile *doc, uint32_t options) {
    if (bytes == nullptr || doc == nullptr || !options_known(options)) {
        return INI_BAD_ARGUMENT;
    }
    clear_document(doc);
    ByteSource source(bytes, length);
    return load_document(source, length, doc, options);
}

uint32_t QUIL_Ini_LoadForUpdateWithOptions(const char *path, IniFile *doc, uint32_t waitMs,
                                           uint32_t options) {
    if (path == nullptr || doc == nullptr || !options_known(options)) {
        return INI_BAD_ARGUMENT;
    }
    clear_document(doc);
    int32_t status = QUIL_LOCK_FAILED;
    QUIL_LOCK *lock = QUIL_LockFile(path, waitMs, &status);
    if (lock == nullptr) {
        return status == QUIL_LOCK_BUSY ? INI_LOCK_TIMEOUT : INI_OPEN_FAILED;
    }
    uint32_t result = QUIL_Ini_LoadWithOptions(path, doc, options);
    if (result != QUIL_SUCCESS) {
        QUIL_UnlockFile(lock);
        return result;
    }
    doc->lock = lock;
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_LoadForUpdate(const char *path, IniFile *doc, uint32_t waitMs) {
    return QUIL_Ini_LoadForUpdateWithOptions(path, doc, waitMs, 0);
}

void QUIL_Ini_Free(IniFile *doc) {
    if (doc == nullptr) {
        return;
    }
    QUIL_UnlockFile(doc->lock);
    if (doc->lines != nullptr) {
        for (uint32_t i = 0; i < doc->lineCount; ++i) {
            drop_line(doc, i);
        }
        QUIL_MemFreeD(doc->lines, __LINE__, kUnit);
    }
    IniLineStore::destroy(doc->store);
    clear_document(doc);
}

uint32_t QUIL_Ini_GrowLines(IniFile *doc) {
    if (doc == nullptr || doc->lines == nullptr) {
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
    *length = 0;
    *physLines = 0;
    ByteSource source(file, ByteSource::GiveBack::ToFile);
    LineBytes bytes(kLongestLine);
    LineReader reader(source, bytes, true);
    uint32_t result = step_result(reader.read());
    if (result != QUIL_SUCCESS) {
        return result;
    }
    Span line = reader.text();
    if (too_long_with_break(line, true)) {
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

} // extern "C"
