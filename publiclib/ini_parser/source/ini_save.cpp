// Saving INI documents: closing writes a changed document into a new backup file beside the file
// it replaces, makes that file durable and gives it the document file's access, then renames it
// over the document file, so that the document path holds the whole old text until the instant
// it holds the whole new one. Loaded lines that no edit touched are written as their file held
// them; lines an edit made are written in the line formats, long ones cut into pieces that the
// reader joins back, or as they are when the document keeps its layout.
#include <cerrno>
#include <cinttypes>

#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "common/bounded.h"
#include "ini_parser/source/ini_origin.h"
#include "ini_parser/source/ini_store.h"
#include "ini_parser/source/ini_writer_internal.h"

namespace {

using wex::ini::Span;
using wex::ini_writer::is_line_break;
using wex::ini_writer::kLineBufferSize;
using wex::ini_writer::line_break_of;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_save";

// ---- Wrapping ----

constexpr uint32_t kLongestUnwrapped = 79; // texts up to this length are written as they are
constexpr uint32_t kPieceLength = 78;    // a piece of a longer text, one more for a wide character
constexpr char kContinuation[] = "\\\n"; // ends every piece but the last
constexpr uint32_t kContinuationLength = sizeof kContinuation - 1;

bool is_high(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}
bool is_backslash(char c) {
    return c == '\\';
}

// Whether the first length bytes of piece end in a run of an odd number of bytes of a kind.
bool ends_in_odd_run(const char *piece, uint32_t length, bool (*of_kind)(char)) {
    uint32_t run = 0;
    while (run < length && of_kind(piece[length - 1 - run])) {
        ++run;
    }
    return run % 2 == 1;
}

// A cut after length bytes reads back when the reader joins the pieces again: no line-break byte
// on either side of it (a CR after the continuation would pair with its LF) and no odd run of
// backslashes before it (the last one would pair with the continuation's backslash).
bool cut_reads_back(const char *piece, uint32_t length) {
    return !is_line_break(piece[length - 1]) && !is_line_break(piece[length]) &&
           !ends_in_odd_run(piece, length, is_backslash);
}

// A cut after an odd run of bytes of 0x80 or more would split a two-byte character.
bool cut_keeps_characters(const char *piece, uint32_t length) {
    return !ends_in_odd_run(piece, length, is_high);
}

// The length of the next piece of a text with more than kLongestUnwrapped bytes left: 78 bytes,
// or 79 to keep a two-byte character whole, made shorter where that cut would not read back.
uint32_t piece_length(const char *piece) {
    uint32_t preferred = kPieceLength + (ends_in_odd_run(piece, kPieceLength, is_high) ? 1 : 0);
    for (uint32_t length = preferred; length > 0; --length) {
        if (cut_reads_back(piece, length) && cut_keeps_characters(piece, length)) {
            return length;
        }
    }
    for (uint32_t length = preferred; length > 0; --length) {
        if (cut_reads_back(piece, length)) {
            return length;
        }
    }
    return preferred; // a text with line breaks all through cannot be read back in any case
}

bool write_bytes(QUIL_FILE *file, const char *bytes, uint32_t count) {
    return QUIL_Fwrite(bytes, 1, count, file) == count;
}

// ---- The backup file ----

constexpr uint32_t kTimeDigits = 20; // the longest unsigned 64-bit number
constexpr char kBackupExtension[] = ".ibk";

// The last directory separator in path, or null: '/', and on Windows also '\\'.
const char *last_separator(const char *path) {
    const char *slash = QUIL_StrrChr(path, '/');
#ifdef _WIN32
    const char *backslash = QUIL_StrrChr(path, '\\');
    if (backslash != nullptr && (slash == nullptr || backslash > slash)) {
        slash = backslash;
    }
#endif
    return slash;
}

// The backup name of target: target without the extension of its file name, the time in decimal
// and ".ibk". Cutting only in the file name keeps the backup file in the document file's
// directory, where the rename can replace the document atomically. Null when memory is short.
char *backup_name(const char *target) {
    uint64_t wanted = uint64_t{QUIL_StrLen(target)} + kTimeDigits + sizeof kBackupExtension;
    if (wanted > UINT32_MAX) {
        return nullptr;
    }
    auto size = static_cast<uint32_t>(wanted);
    auto *name = static_cast<char *>(QUIL_MemMallocD(size, __LINE__, kUnit));
    if (name == nullptr) {
        return nullptr;
    }
    wex::bounded::strcpy_s(name, size, target);
    char *dot = QUIL_StrrChr(name, '.');
    const char *slash = last_separator(name);
    if (dot != nullptr && (slash == nullptr || dot > slash)) {
        *dot = '\0';
    }
    char digits[kTimeDigits + 2];
    wex::bounded::sprintf_s(digits, sizeof digits, "%" PRIu64, QUIL_GetSystemTime());
    wex::bounded::strcat_s(name, size, digits);
    wex::bounded::strcat_s(name, size, kBackupExtension);
    return name;
}

// ---- What each line is written as ----
//
// A loaded line that no edit touched is written as the bytes its file held, whatever its length;
// a line an edit made is written as its text, cut into pieces in the line formats of a document
// whose reading joins them again. A line that
// ends without a line break (the last line of a file that had none) gets the document's break when
// another line comes to follow it.
//
// The reader takes LF CR and CR LF as one break. Lines that stood apart when loaded can come to
// stand side by side when a line between them is removed or a new line is put before an empty
// line: a line ending in LF then meets an empty line beginning with CR, or the other way round.
// Such a one-byte break is written as the byte that follows it (CR CR and LF LF are two breaks),
// so that every line reads back as a line of its own. A run of empty lines of one byte each is
// written as one byte repeated, the byte that keeps the last of them apart from what follows.

struct Written {
    Span bytes;
    bool wrapped; // cut into pieces by QUIL_Ini_WriteLine
};

Written written_form(const IniFile *doc, uint32_t slot) {
    const char *text = doc->lines[slot];
    if (wex::ini::is_loaded_line(doc, text)) {
        return {doc->store->file_bytes(text), false};
    }
    // Pieces are joined again only by the reading that joins continuations.
    bool wrapped = (doc->options & (INI_KEEP_LAYOUT | INI_READ_REAL_FILES)) == 0;
    return {{text, text + QUIL_StrLen(text)}, wrapped};
}

bool is_one_break(Span bytes) {
    return bytes.size() == 1 && is_line_break(bytes.begin[0]);
}

// The first slot from slot on whose line has not been removed, or lineCount.
uint32_t next_present(const IniFile *doc, uint32_t slot) {
    while (slot < doc->lineCount && doc->lines[slot] == nullptr) {
        ++slot;
    }
    return slot;
}

// The byte every line of the run of one-byte empty lines that starts at slot is written as.
char run_byte(const IniFile *doc, uint32_t slot) {
    char last = written_form(doc, slot).bytes.begin[0];
    while (slot < doc->lineCount && is_one_break(written_form(doc, slot).bytes)) {
        last = written_form(doc, slot).bytes.begin[0];
        slot = next_present(doc, slot + 1);
    }
    char after = slot < doc->lineCount ? written_form(doc, slot).bytes.begin[0] : '\0';
    return is_line_break(after) ? after : last;
}

// The first byte the line at slot is written with ('\0' past the last line).
char written_first(const IniFile *doc, uint32_t slot) {
    if (slot >= doc->lineCount) {
        return '\0';
    }
    Span bytes = written_form(doc, slot).bytes;
    return is_one_break(bytes) ? run_byte(doc, slot) : bytes.begin[0];
}

// The byte that ends a line's bytes when they end in a one-byte break that the reader would pair
// with next, the first byte of what follows; else the line's own last byte.
char last_byte_before(Span ending, char next) {
    char last = ending.end[-1];
    bool single = ending.size() >= 1 && is_line_break(last) &&
                  (ending.size() < 2 || !is_line_break(ending.end[-2]));
    return single && is_line_break(next) && next != last ? next : last;
}

// Writes bytes with their last byte replaced by last, whole or cut into pieces.
uint32_t write_ending_with(QUIL_FILE *file, Written line, char last) {
    const char *text = line.bytes.begin;
    uint32_t size = static_cast<uint32_t>(line.bytes.size());
    if (!line.wrapped) {
        bool same = text[size - 1] == last;
        bool written = write_bytes(file, text, same ? size : size - 1) &&
                       (same || write_bytes(file, &last, 1));
        return written ? QUIL_SUCCESS : INI_BACKUP_FAILED;
    }
    if (text[size - 1] == last || size >= kLineBufferSize) {
        return QUIL_Ini_WriteLine(file, text);
    }
    char apart[kLineBufferSize];
    wex::bounded::strcpy_s(apart, sizeof apart, text);
    apart[size - 1] = last;
    return QUIL_Ini_WriteLine(file, apart);
}

// The bytes of a line that ended the file with a backslash that continued nothing (which loading
// dropped), without that backslash and the line break after it: followed by another line, it
// would join that line to this one.
Span without_dangling_continuation(Span bytes) {
    Span body{bytes.begin, line_break_of(bytes).begin};
    uint32_t backslashes = 0;
    while (backslashes < body.size() &&
           body.end[-1 - static_cast<ptrdiff_t>(backslashes)] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 1 ? Span{body.begin, body.end - 1} : bytes;
}

// Writes the line at slot, which next will follow (lineCount when none does).
uint32_t write_one(QUIL_FILE *file, const IniFile *doc, uint32_t slot, uint32_t next,
                   Span documentBreak) {
    Written line = written_form(doc, slot);
    bool hasBreak = line_break_of(line.bytes).size() > 0;
    if (next < doc->lineCount && (doc->options & INI_READ_REAL_FILES) == 0) {
        Span kept = without_dangling_continuation(line.bytes);
        // A line that loses its dangling backslash has no break of its own, even when its last
        // physical line was the backslash alone and the kept bytes end in the break before it.
        hasBreak = hasBreak && kept.size() == line.bytes.size();
        line.bytes = kept;
    }
    char nextFirst = written_first(doc, next);
    if (next >= doc->lineCount || hasBreak) {
        return write_ending_with(file, line, last_byte_before(line.bytes, nextFirst));
    }
    uint32_t result = QUIL_SUCCESS;
    if (line.wrapped) {
        result = QUIL_Ini_WriteLine(file, line.bytes.begin);
    } else if (!write_bytes(file, line.bytes.begin, static_cast<uint32_t>(line.bytes.size()))) {
        result = INI_BACKUP_FAILED;
    }
    // Kept bytes that end in the break before a lone dangling backslash get that break again
    // (a break of another kind could pair with it); others get the document's.
    Span ownBreak = line_break_of(line.bytes);
    Written lineBreak{ownBreak.size() > 0 ? ownBreak : documentBreak, false};
    return result != QUIL_SUCCESS
               ? result
               : write_ending_with(file, lineBreak, last_byte_before(lineBreak.bytes, nextFirst));
}

uint32_t write_lines(QUIL_FILE *file, const IniFile *doc) {
    Span documentBreak = wex::ini_writer::document_break(doc);
    char runByte = '\0'; // while in a run of one-byte empty lines
    for (uint32_t i = next_present(doc, 0); i < doc->lineCount;) {
        uint32_t next = next_present(doc, i + 1);
        uint32_t result = QUIL_SUCCESS;
        if (is_one_break(written_form(doc, i).bytes)) {
            runByte = runByte != '\0' ? runByte : run_byte(doc, i);
            result = write_bytes(file, &runByte, 1) ? QUIL_SUCCESS : INI_BACKUP_FAILED;
        } else {
            runByte = '\0';
            result = write_one(file, doc, i, next, documentBreak);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
        i = next;
    }
    return QUIL_SUCCESS;
}

// ---- Replacing the document file ----

// What a save writes to: the document file, which its backup file replaces, or a new file that
// a document saved elsewhere creates.
enum class Target { Existing, New };

// Writes every line, gives an existing document file's access to the file and makes it durable.
uint32_t fill_backup(QUIL_FILE *file, const char *target, Target kind, const IniFile *doc) {
    uint32_t result = write_lines(file, doc);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    uint32_t access = kind == Target::New || QUIL_CopyFileAccess(target, file) == 0
                          ? QUIL_SUCCESS
                          : INI_SAVE_FAILED;
    return QUIL_Fsync(file) == 0 ? access : INI_BACKUP_FAILED;
}

// Creates the backup file and fills it: only a new file, so that nothing at the name (a file, a
// link planted there, a FIFO) is opened, followed or replaced. For a new document file it gets
// the access that new files get. An incomplete backup file is removed; *kept tells whether the
// file stays.
uint32_t write_backup(const char *backup, const char *target, Target kind, const IniFile *doc,
                      bool *kept) {
    QUIL_FILE *file = QUIL_Fopen(backup, kind == Target::New ? "wxn" : "wx");
    if (file == nullptr) {
        return QUIL_LastError() == EEXIST ? INI_BACKUP_FAILED : INI_SAVE_FAILED;
    }
    uint32_t result = fill_backup(file, target, kind, doc);
    if (QUIL_Fclose(file) != 0 && result == QUIL_SUCCESS) {
        result = INI_BACKUP_FAILED;
    }
    *kept = result != INI_BACKUP_FAILED || QUIL_Remove(backup) != 0;
    return result;
}

// What the save may write to, before anything is written: the document file when it is a regular
// file that the caller could write in place (one that has gone since the load is found out by the
// check later, with the new text kept); a new file when a document is saved as a file that does
// not exist. INI_NOT_WRITABLE otherwise.
uint32_t choose_target(const IniFile *doc, const char *path, const char *target, Target *kind) {
    *kind = Target::Existing;
    if (QUIL_CheckWritable(target) == 0) {
        return QUIL_SUCCESS;
    }
    if (QUIL_LastError() != ENOENT) {
        return INI_NOT_WRITABLE;
    }
    *kind = wex::ini::saves_to_origin(doc, path, target) ? Target::Existing : Target::New;
    return QUIL_SUCCESS;
}

// What a comparison with the file read at the load allows: the replacement only when that file
// is unchanged, or when the save goes elsewhere.
uint32_t allowed_by(wex::ini::OnDisk found) {
    switch (found) {
    case wex::ini::OnDisk::Changed:
        return INI_CHANGED_ON_DISK;
    case wex::ini::OnDisk::Unknown:
        return INI_SAVE_FAILED;
    default:
        return QUIL_SUCCESS;
    }
}

// Windows renames over no file that is open, not even through the lock's own handle opened with
// FILE_SHARE_DELETE (MoveFileEx and FileRenameInfo fail with access denied; tried under Wine):
// there the lock is given up right before the rename. A writer that takes it in that instant
// holds the old file open, so that the rename fails (50, the new text kept in the backup file),
// or it meets the new file: no change is lost unnoticed.
void release_lock_before_rename(IniFile *doc) {
#ifdef _WIN32
    QUIL_UnlockFile(doc->lock);
    doc->lock = nullptr;
#else
    (void)doc; // elsewhere the lock is held until the rename is done
#endif
}

// Where names can be exchanged in one step: the document file is checked, then the backup file
// and the document file change places, and the file that comes out, now at the backup name, is
// checked again. A change by another program up to that moment is found, and the exchange is
// undone: the other program's file is in place again, the new text stays in the backup file.
// (The first check keeps the new text from showing at the document's name, where another program
// could build on it, in all but the instant between the two checks.) Returns
// QUIL_EXCHANGE_UNSUPPORTED where names cannot be exchanged, with nothing done after the first
// check.
uint32_t exchange_and_check(IniFile *doc, const char *path, const char *target,
                            const char *backup) {
    uint32_t checked = allowed_by(wex::ini::compare_with_origin(doc, path, target, target));
    if (checked != QUIL_SUCCESS) {
        return checked;
    }
    int32_t exchanged = QUIL_ExchangeFiles(backup, target);
    if (exchanged != 0) {
        return exchanged == QUIL_EXCHANGE_UNSUPPORTED ? QUIL_EXCHANGE_UNSUPPORTED : INI_SAVE_FAILED;
    }
    uint32_t result = allowed_by(wex::ini::compare_with_origin(doc, path, target, backup));
    if (result == QUIL_SUCCESS) {
        QUIL_Remove(backup); // the old text: the document file holds the new one
        return QUIL_SUCCESS;
    }
    // Undone, the new text is back at the backup name. Should the undoing fail, the document
    // file holds the new text and the backup name the other program's: 50, that file kept.
    return QUIL_ExchangeFiles(backup, target) == 0 ? result : INI_SAVE_FAILED;
}

// Where names cannot be exchanged: after the check of the document file, the backup file is
// renamed over it. A program that replaces the file in the instant between the two, without
// taking the lock, is not seen.
uint32_t rename_checked(IniFile *doc, const char *target, const char *backup) {
    release_lock_before_rename(doc);
    return QUIL_Rename(backup, target) == 0 ? QUIL_SUCCESS : INI_SAVE_FAILED;
}

uint32_t replace(IniFile *doc, const char *path, const char *target, Target kind,
                 const char *backup) {
    if (kind == Target::New) {
        return QUIL_Rename(backup, target) == 0 ? QUIL_SUCCESS : INI_SAVE_FAILED;
    }
    uint32_t result = exchange_and_check(doc, path, target, backup);
    return result == QUIL_EXCHANGE_UNSUPPORTED ? rename_checked(doc, target, backup) : result;
}

// Saves the document over the file that path designates; a link stays a link. When the new
// text stays in the backup file, *kept receives its name (else the name is released).
uint32_t save(const char *path, IniFile *doc, char **kept) {
    char *target = QUIL_ResolvePath(path, __LINE__, kUnit);
    char *backup = target != nullptr ? backup_name(target) : nullptr;
    Target kind = Target::Existing;
    uint32_t result = backup != nullptr ? choose_target(doc, path, target, &kind) : INI_NO_MEMORY;
    bool backupKept = false;
    if (result == QUIL_SUCCESS) {
        result = write_backup(backup, target, kind, doc, &backupKept);
    }
    if (result == QUIL_SUCCESS) {
        result = replace(doc, path, target, kind, backup);
        backupKept = result != QUIL_SUCCESS; // the new text stays in the backup file
    }
    if (result != QUIL_SUCCESS && backupKept) {
        *kept = backup;
        backup = nullptr;
    }
    QUIL_MemFreeD(backup, __LINE__, kUnit);
    QUIL_MemFreeD(target, __LINE__, kUnit);
    return result;
}

} // namespace

extern "C" {

uint32_t QUIL_Ini_WriteLine(QUIL_FILE *file, const char *text) {
    uint32_t left = QUIL_StrLen(text);
    const char *piece = text;
    while (left > kLongestUnwrapped) {
        uint32_t length = piece_length(piece);
        if (!write_bytes(file, piece, length) ||
            !write_bytes(file, kContinuation, kContinuationLength)) {
            return INI_BACKUP_FAILED;
        }
        piece += length;
        left -= length;
    }
    if (left > 0 && !write_bytes(file, piece, left)) {
        return INI_BACKUP_FAILED;
    }
    return QUIL_SUCCESS;
}

uint32_t QUIL_Ini_CloseWithBackupName(const char *path, IniFile *doc, char **backupName) {
    if (backupName != nullptr) {
        *backupName = nullptr;
    }
    if (doc == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    uint32_t result = QUIL_SUCCESS;
    char *kept = nullptr;
    if (doc->modified == 1 && doc->lines == nullptr) {
        result = INI_BAD_ARGUMENT; // no lines to write: never replace the file by nothing
    } else if (doc->modified == 1) {
        result = path == nullptr || path[0] == '\0' ? INI_NO_LINES : save(path, doc, &kept);
    }
    QUIL_Ini_Free(doc); // releases the lock after the rename
    if (backupName != nullptr) {
        *backupName = kept;
    } else {
        QUIL_MemFreeD(kept, __LINE__, kUnit);
    }
    return result;
}

uint32_t QUIL_Ini_Close(const char *path, IniFile *doc) {
    return QUIL_Ini_CloseWithBackupName(path, doc, nullptr);
}

} // extern "C"
