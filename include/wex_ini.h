/* INI documents: a file held as the array of its text lines, read, looked up, edited, validated
 * and written back through a backup file. Internal interface: not exported by the shared library.
 */
#ifndef WEX_INI_H
#define WEX_INI_H

#include "wex_os_adapter.h"
#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

struct IniLineStore; /* the blocks that hold a document's loaded lines */

typedef struct IniFile {
    uint32_t modified;
    uint32_t lineCount;
    uint32_t lineCapacity;
    uint32_t physLineCount;
    char **lines;
    /* Set by loading, cleared by QUIL_Ini_Free; callers leave them alone. A record filled by hand
     * must start all zero: it then has no store, no options and no origin, and closes unchecked. */
    QUIL_LOCK *lock;            /* held from QUIL_Ini_LoadForUpdate until Close or Free, or null */
    struct IniLineStore *store; /* the loaded lines' texts, or null */
    uint32_t options;           /* the INI_* load options the document was loaded with */
    /* Where a loaded document came from, so that closing can tell whether its file still holds
     * what was read. */
    QuilFileIdentity origin; /* the file read, as it was when it was opened */
    uint64_t originHash;     /* hash of the bytes read */
    uint64_t originPathHash; /* hash of the path text the load was given */
    uint64_t loadedAt;       /* QUIL_GetSystemTime() when the load began */
    uint32_t hasOrigin;      /* 1 when the document was loaded from a file */
    uint32_t reserved;       /* 0; gives the record one size on every ABI of a pointer width */
} IniFile;

/* Load options: how a document reads its lines and how its edits write them. */
/* The files people have: a line of no known kind is passed over (and saved as it was); a single
 * word on a line of its own is a key without a value; a header is "[" name "]" whatever follows;
 * a line indented deeper than the key line above it continues that key's value (comment and empty
 * lines between do not end it), and the value reads as its lines joined by LF; no backslash joins
 * lines, and a line has no length limit. Without it, the strict grammar below. */
#define INI_READ_REAL_FILES 0x1u
/* Edits change only the bytes they must: a new value replaces only the old value's bytes; a new
 * key line copies the indentation, the spacing around "=" and the line break of the key lines
 * around it, and goes after a commented-out line of the same key when the section has one; no
 * line is cut into pieces when saved. Without it, the line formats of QUIL_Ini_SetValue below. */
#define INI_KEEP_LAYOUT 0x2u

/* Line kinds */
#define INI_LINE_COMMENT 0u
#define INI_LINE_EMPTY   1u
#define INI_LINE_SECTION 2u
#define INI_LINE_KEY     3u
#define INI_LINE_BLANK   4u
#define INI_LINE_INVALID 5u
#define INI_LINE_UNSET   255u

/* ==== Reading: loading, the line grammar, lookup and listing ==== */

/* Loading. A document keeps every logical line of its file as a text of its own, byte for byte,
 * line-break bytes included (CR, LF, CR LF or LF CR as found); a backslash directly before a line
 * break joins the next physical line and both are dropped; a last line without a line break gets
 * a CR. A UTF-8 byte-order mark stays in the first line; the grammar below reads past it. */

/* Loads path as QUIL_Ini_Load does, reading and later editing the document as options (INI_*
 * load options, or 0) ask. With INI_READ_REAL_FILES, lines are not joined and have no length
 * limit: 140 never comes. Returns the codes of QUIL_Ini_Load; 170 also for an unknown option. */
uint32_t QUIL_Ini_LoadWithOptions(const char *path, IniFile *doc, uint32_t options);

/* Loads a document from the length bytes at bytes, as a file holding them would load (the same
 * lines, limits, options and codes; 160 for a NUL byte). The document has no file: closing it
 * writes nothing unless given a path, to which it is then saved as a new file would be (130 for a
 * changed document closed without one). bytes may be released once the call returns.
 * Returns 0; 170 for a null bytes or doc or an unknown option (doc untouched); 80, 140, 160 as a
 * file load. On failure doc is all zero. */
uint32_t QUIL_Ini_LoadMemory(const char *bytes, size_t length, IniFile *doc, uint32_t options);

/* Reads the file at path into doc, which need not be initialised (what it held is not released).
 * Lines are read as QUIL_Ini_ReadLine reads them, but the file is never repositioned.
 * Returns 0; 170 when path or doc is null (doc untouched); 30 when the file cannot be opened or a
 * read fails before its end (the document would be cut short); 80 when memory is short; 140 for a
 * logical line of 512 bytes or more (line breaks, joined lines and the CR a last line without
 * break gets counted); 160 for a file holding a NUL byte anywhere (a UTF-16 file, say), which this
 * reader cannot keep. On every failure doc is all zero and nothing is left allocated. On success
 * doc owns its lines until QUIL_Ini_Free or QUIL_Ini_Close; lineCapacity is 200 and grows by 50
 * whenever lineCount + 1 reaches it, so lines[lineCount] is always null. The document records
 * its origin (the file's identity and a hash of the bytes read) for the check of QUIL_Ini_Close;
 * 30 also when the opened file cannot be examined. */
uint32_t QUIL_Ini_Load(const char *path, IniFile *doc);

/* Loads path as QUIL_Ini_Load does, holding an exclusive advisory lock (QUIL_LockFile) on the file
 * from before the read until QUIL_Ini_Close or QUIL_Ini_Free of doc, so that writers that all load
 * for update apply their changes one after the other and none is lost. Waits at most waitMs
 * milliseconds for another holder. Other programs and plain loads are not held up: the check of
 * QUIL_Ini_Close still guards against them.
 * Returns the codes of QUIL_Ini_Load; 210 when another holder kept the lock past waitMs; 30 also
 * when the lock cannot be taken for another reason. On every failure doc is all zero (untouched
 * for a null argument) and no lock is held. */
uint32_t QUIL_Ini_LoadForUpdate(const char *path, IniFile *doc, uint32_t waitMs);
uint32_t QUIL_Ini_LoadForUpdateWithOptions(const char *path, IniFile *doc, uint32_t waitMs,
                                           uint32_t options);

/* Releases every line text and the line array of doc, releases its lock and sets every field to
 * 0, without writing anything. A null doc and an all-zero record are accepted. */
void QUIL_Ini_Free(IniFile *doc);

/* Adds 50 null slots to the line array of doc; slot indices do not change. Returns 0; 170 for a
 * null doc or a null array; 80 when memory is short (doc unchanged). */
uint32_t QUIL_Ini_GrowLines(IniFile *doc);

/* Reads the next logical line of file into a new text (owned by the caller, released through the
 * adapter) and stores it in *slot. length receives the bytes read (without an appended CR) and
 * physLines the physical lines they took; both are 0 after a failure, and *slot is written only
 * on success. Returns 0; 130 when nothing is left to read; 140 for a line of 512 bytes or more
 * (an appended CR counted); 160 for a NUL byte in the line; 80 when memory is short or a push
 * back fails; 170 for a null argument. A byte read past the line is given back, so the file is
 * positioned at the next line. */
uint32_t QUIL_Ini_ReadLine(char **slot, QUIL_FILE *file, uint32_t *length, uint32_t *physLines);

/* The line grammar. blank = space or tab; white = blank, CR or LF. A comment after a value or a
 * header begins at " ;" (a space, then a semicolon). None of these functions changes its text.
 * Strings handed out are new heap texts owned by the caller, released through the adapter
 * (QUIL_MemFreeD); every out string is null after a failure. */

/* Stores the kind (INI_LINE_*) of text in *kind, decided by its first byte that is not blank:
 * ";" or "#" comment, CR or LF empty, "[" section, only blanks blank; any other byte makes a key
 * line when the text holds "=" anywhere. Returns 0; 160 with kind INI_LINE_INVALID otherwise; 170
 * for a null or empty text (a byte-order mark alone counts as empty) or a null kind (kind not
 * written). */
uint32_t QUIL_Ini_GetLineType(const char *text, uint32_t *kind);

/* Cuts a section header: the name between the first "[" and the first "]", blanks and white
 * trimmed, and the comment after a " ;" that follows the "]" (null when only white follows).
 * Returns 0; 110 for a null text, one shorter than 3 bytes, without "[" or "]", or with an empty
 * or blank name; 160 when text other than white follows the "]" without a " ;"; 80 when memory
 * is short; 170 for a null output. */
uint32_t QUIL_Ini_ParseSectionLine(const char *text, char **name, char **comment);

/* Cuts a key line: the key before the first "=", the value after it (blanks and white trimmed,
 * quotes and backslashes kept; null when there is none) and the comment after the first " ;"
 * that is not inside a double-quoted string (null when none). Returns 0; 160 without "="; 120
 * when no key stands before the "="; 80 when memory is short; 170 for a null argument. */
uint32_t QUIL_Ini_ParseKeyLine(const char *text, char **key, char **value, char **comment);

/* The comment after the first " ;" of text, blanks skipped and white trimmed; an empty string
 * when nothing else follows. Returns 0; 160 when text holds no " ;"; 80 when memory is short;
 * 170 for a null argument. */
uint32_t QUIL_Ini_ParseComment(const char *text, char **comment);

/* Moves *pos forward over blanks / backward over white, never beyond limit: each stops on limit
 * even when that byte is blank or white. Null pos or *pos: nothing happens. */
void QUIL_Ini_SkipBlanks(const char **pos, const char *limit);
void QUIL_Ini_TrimBack(const char **pos, const char *limit);

/* The length of text, 0 for a null text. */
uint32_t QUIL_Ini_SafeStrLen(const char *text);

/* Lookup and listing. A section is its header and the lines after it up to the next header;
 * lines before the first header belong to none. Names and keys match without regard to ASCII
 * letter case; when a name occurs in several headers, the last header counts, and in a section
 * the last line of a key. Null (removed) slots are skipped. Every line passed is classified and
 * every header and searched key line cut: their failure (160, 110, 120) ends the operation with
 * that code. The document is never changed; results stay valid after it changes or is freed. */

/* Stores in *value a new string with the value of key in section, or null when the key line has
 * no value. Returns 0; 170 for a null doc, array, value, section or key; 130 for a document
 * without lines; 10 when no header has that name; 20 when the section holds no such key; 80 when
 * memory is short. *value is null after every failure but 170. */
uint32_t QUIL_Ini_GetValue(IniFile *doc, const char *section, const char *key, char **value);

/* Lists the names of all headers in document order: *list receives a null-terminated array of
 * new strings, *count their number; release it with QUIL_Ini_FreeList. Returns 0; 170 for a null
 * doc, array or output; 130 for a document without lines; 10 when there is no header; 80 when
 * memory is short. After a failure (but 170) *list is null and *count 0. */
uint32_t QUIL_Ini_GetSections(IniFile *doc, uint32_t *count, char ***list);

/* Lists the keys of section (its last header) in document order, as QUIL_Ini_GetSections lists
 * names. Returns 0; 170 for a null doc, array, output or section; 130 for a document without
 * lines; 10 when no header has that name; 20 when the section holds no key line; 80 when memory
 * is short. After a failure (but 170) *list is null and *count 0. */
uint32_t QUIL_Ini_GetKeys(IniFile *doc, const char *section, uint32_t *count, char ***list);

/* Releases a list from QUIL_Ini_GetSections or QUIL_Ini_GetKeys, its strings and the array.
 * A null list is ignored. */
void QUIL_Ini_FreeList(char **list);

/* A key and its value, as QUIL_Ini_GetValue gives the value (null for a key without one). */
typedef struct IniPair {
    char *key;
    char *value;
} IniPair;

/* Lists the key lines of section (its last header) in document order with their values: *pairs
 * receives an array of *count pairs of new strings, ended by a pair whose key is null; release it
 * with QUIL_Ini_FreePairs. A key that has several lines is listed for each of them. Returns the
 * codes of QUIL_Ini_GetKeys; after a failure (but 170) *pairs is null and *count 0. */
uint32_t QUIL_Ini_GetPairs(IniFile *doc, const char *section, uint32_t *count, IniPair **pairs);

/* Releases an array from QUIL_Ini_GetPairs with its strings. A null array is ignored. */
void QUIL_Ini_FreePairs(IniPair *pairs);

/* One header or key line of a document: the header's name alone (key and value null), or a key
 * with its value (null for none) and the name of the header above it (null before the first). */
typedef struct IniEntry {
    char *section;
    char *key;
    char *value;
    uint32_t slot; /* the line's slot */
} IniEntry;

/* Lists every header and key line of the document in document order, as the document reads its
 * lines: *entries receives an array of *count entries of new strings, ended by an entry whose
 * section and key are null; release it with QUIL_Ini_FreeEntries. A document without headers or
 * key lines gives 0 and no entries. Returns 0; 170 for a null doc, array or output; 130 for a
 * document without lines; 80 when memory is short; the code of a line that cannot be classified
 * or cut (160, 110, 120). After a failure (but 170) *entries is null and *count 0. */
uint32_t QUIL_Ini_GetEntries(IniFile *doc, uint32_t *count, IniEntry **entries);

/* Releases an array from QUIL_Ini_GetEntries with its strings. A null array is ignored. */
void QUIL_Ini_FreeEntries(IniEntry *entries);

/* ==== Writing: editing, saving, validation and removal ==== */

/* Sets the value of key in section: the last line of that key in the last section of that name
 * (letter case ignored) is replaced by key=value, keeping the key as the line spells it and the
 * line's comment (" ;comment"); a missing key is inserted after the section's last slot; a missing
 * section is appended as "[section]" with the key line after it. New lines end with LF. key may be
 * null only to create a section header alone; value may be null (key=). Surrounding blanks of the
 * value do not read back.
 *
 * Returns 0 and marks the document modified; 170 for a null doc, lines or section, an empty
 * section or key, a null key where the section exists, or a line that would not read back as set
 * here and after saving and loading again (a CR or LF anywhere, "=" in the key, "]" in the section,
 * surrounding blanks in a name, a value ending in one backslash, a " ;" outside double quotes in
 * the value, a line longer than 511 bytes); 80 when memory is short; the code of a line met on
 * the way that cannot be classified or cut (160, 110, 120). On any failure the document is
 * unchanged. */
uint32_t QUIL_Ini_SetValue(IniFile *doc, const char *section, const char *key, const char *value);

/* Inserts the key line key=value[ ;comment] + LF into the slot after slot after: the later lines
 * move up one slot, unless that slot holds a removed line, which the new line takes over. Grows
 * the line array by 50 slots when lineCount + 1 reaches lineCapacity. The text is written as
 * given: nothing is checked for reading back.
 * Returns 0; 170 for a null doc or lines, after not below lineCount, a null or empty key or a line
 * too long (key + value + comment above 508 bytes, or the line above 511); 80 when memory is short.
 * On failure the document is unchanged. */
uint32_t QUIL_Ini_InsertKeyLine(IniFile *doc, uint32_t after, const char *key, const char *value,
                                const char *comment);

/* Appends the header "[section]" + LF after the last line, growing the array when needed.
 * Returns 0; 170 for a null doc or lines, a null or empty name or one above 507 bytes; 80 when
 * memory is short. On failure the document is unchanged. */
uint32_t QUIL_Ini_AppendSectionLine(IniFile *doc, const char *section);

/* Format a line and store it into the empty slot slot (lineCount is not changed: the caller counts
 * the slot in). Key lines: "%s=%s ;%s\n", "%s=%s\n", "%s= ;%s\n" or "%s=\n" as value and comment
 * are present (an empty text is present). Headers: "[%s] ;%s\n" or "[%s]\n".
 * Return 0; 170 for a null doc, a null or empty key or name, or a line the reader could not take
 * back (key + value + comment above 508 bytes, name + comment above 507, any line above 511 bytes);
 * otherwise the codes of QUIL_Ini_StoreLine. On failure the slot stays empty. */
uint32_t QUIL_Ini_FormatKeyLine(IniFile *doc, uint32_t slot, const char *key, const char *value,
                                const char *comment);
uint32_t QUIL_Ini_FormatSectionLine(IniFile *doc, uint32_t slot, const char *section,
                                    const char *comment);

/* Stores a copy of text, which the document then owns, into slot and marks the document modified.
 * Returns 0; 170 for a null doc or lines, or a slot at or above lineCapacity or not empty; 130 for
 * a null or empty text; 80 when memory is short. On failure the slot stays as it was. */
uint32_t QUIL_Ini_StoreLine(IniFile *doc, uint32_t slot, const char *text);

/* Ends the life of a document. An unchanged document (modified not 1) is released without
 * touching any file, whatever path is. A changed one is saved to the file that path designates
 * (symbolic links followed; the link stays a link) and then released.
 *
 * Nothing is written to a document file that is not a regular file (a FIFO, a directory, a
 * device) or that the caller could not write in place (its permission bits, a read-only file
 * system): 220, with QUIL_LastError telling why. Otherwise the lines go to a new backup file
 * beside it, named from path without its file name's extension, the time and ".ibk" and created
 * only as a new file (whatever stands at that name, a link or a FIFO included, is never opened:
 * 180). Every line that no edit touched is written as its file held it; lines that edits made are
 * written in the line formats (by the default reading cut into pieces of at most 79 bytes that
 * loading joins again). The backup file is flushed to disk, gets the document file's permission
 * bits (and, where the process may, owner and group) and then takes the document file's place:
 * the document path holds the whole old text until the instant it holds the whole new one. Other
 * names (hard links) of the document file keep the old text. A path where no file is, for a
 * document from memory or saved as another file, gets a new file with the access that new files
 * get.
 *
 * A document loaded from a file first checks that the document file still is the file it read,
 * holding the same bytes: the identity (device, file number, size, modification and change time)
 * decides where it can, the bytes where it cannot. If another program changed, replaced or
 * rewrote it, the file is left as that program left it and the new text stays in the backup file
 * (200). Where the system can exchange two names in one step (Linux, on most file systems), the
 * backup file and the document file then change places and the file that came out is checked
 * again; a change found there is undone by exchanging them back (200): a program that takes no
 * lock and replaces the file at any moment up to that second check keeps its change. What remains
 * there: a second such replacement in the instant between the exchange and the exchange back
 * stays in the backup file rather than in the document file. Elsewhere (Windows, file systems
 * that cannot exchange names) the backup file is renamed over the document file right after the
 * check, and a program that replaces the file without the lock in the instant between the two
 * loses its change. The check applies when path is the text the document was loaded from, or
 * designates the file it was loaded from; closing to another file ("save as") and a document
 * that was not loaded from a file are saved without it. The lock of QUIL_Ini_LoadForUpdate is
 * held until the replacement is done and then released (on Windows, which renames over no open
 * file, it is given up right before the rename: a writer taking it then makes the rename fail).
 *
 * Returns 0; 170 for a null doc (nothing released) or a changed one without line array (no file
 * is touched); 130 for a null or empty path; 80 when memory is short; 220 as above; 180 when a
 * file of the backup name exists (left alone) or writing or flushing fell short (the backup file
 * is removed); 50 when the backup file cannot be created, when the document file no longer exists
 * or cannot be read for the check, or when the exchange or rename fails: then the document file
 * is untouched and, in the last three cases, the backup file keeps the complete new text; 200 as
 * above. QUIL_LastError tells the cause of a failed file call. In every case but a null doc the
 * document is released and all zero afterwards. */
uint32_t QUIL_Ini_Close(const char *path, IniFile *doc);

/* Closes as QUIL_Ini_Close does and names the backup file that the new text was left in: after
 * a result of 200, or of 50 with the backup file kept, *backupName receives its name (the path it
 * was created at) as a new string that the caller releases with QUIL_MemFreeD; otherwise, and
 * when that string cannot be allocated, null. A null backupName is allowed (as QUIL_Ini_Close). */
uint32_t QUIL_Ini_CloseWithBackupName(const char *path, IniFile *doc, char **backupName);

/* Writes one line text (null writes nothing). A text over 79 bytes is cut into pieces of 78
 * bytes, or 79 to keep a two-byte character whole, each followed by backslash and LF, and the
 * rest; a cut that would not read back as the same text (after an odd run of backslashes, beside
 * a line-break byte) is moved earlier. Returns 0, or 180 when a write falls short. */
uint32_t QUIL_Ini_WriteLine(QUIL_FILE *file, const char *text);

/* Checks every line against the strict grammar and stores in *lineNo the 1-based slot of the
 * first offending line (lineCount when all pass). Never changes the document.
 * Returns 0; 170 for a null doc, lines or lineNo; 130 when there are no lines or every slot is
 * empty (*lineNo is then 0 or lineCount); 60 for a key line before the first header; otherwise
 * the first failure of QUIL_Ini_GetLineType (160), QUIL_Ini_CheckSectionLine or
 * QUIL_Ini_CheckKeyLine. */
uint32_t QUIL_Ini_Validate(IniFile *doc, uint32_t *lineNo);

/* The strict header: "[" first, a name without brackets that is not blank, then nothing, blanks
 * and the break, or a comment whose ";" follows a space. A leading UTF-8 byte-order mark is
 * passed over. Returns 0, or 110 (also for a null text). */
uint32_t QUIL_Ini_CheckSectionLine(const char *text);

/* The strict key line: a key without spaces, "=", then an empty value or a list of plain or
 * double-quoted items separated by a comma and a blank, then an optional comment whose ";"
 * follows a space or tab. A leading byte-order mark is passed over. Returns 0; 160 without "=";
 * 120 without a key or with a space in it; 180 for a malformed list (unclosed quote, a comma
 * without a blank after it, an empty item, a trailing comma); 190 for a ";" without a blank
 * before it; 170 for a null text. */
uint32_t QUIL_Ini_CheckKeyLine(const char *text);

/* Remove every line of key from every section named section, or every section named section with
 * all its lines (its header up to the next header, comments included). Names are compared without
 * regard to letter case. Removed slots become empty; lineCount stays.
 * Return 0 when something was removed (the document is then modified); 10 when no section has
 * that name; 20 (key removal) when none of them holds the key; 170 for a null doc, lines or name;
 * 130 when lineCount is 0; 80 when memory is short; the code of a line that cannot be classified
 * or cut (160, 110, 120). The whole document is read before anything is removed: on any failure
 * nothing is. */
uint32_t QUIL_Ini_DeleteKey(IniFile *doc, const char *section, const char *key);
uint32_t QUIL_Ini_DeleteSection(IniFile *doc, const char *section);

/* ==== Typed values: value texts read as numbers and booleans ==== */

/* Value texts read whole as one type. Nothing else may stand in the text, blanks included (the
 * texts of QUIL_Ini_GetValue come trimmed); a value is never clamped to its type, and the C
 * locale plays no part. These functions allocate nothing; *value is written only on success. */

/* Reads a signed 64-bit integer: an optional "+" or "-", then decimal digits or "0x" / "0X" and
 * hexadecimal digits (a sign may stand before "0x"; leading zeros are decimal, never octal).
 * Returns 0; 170 for a null text or value; 230 for any other text (an empty one included); 240
 * for a well-formed number outside int64_t. */
uint32_t QUIL_Ini_ParseInt64(const char *text, int64_t *value);

/* Reads an unsigned 64-bit integer as QUIL_Ini_ParseInt64 reads a signed one, but without a sign:
 * a "+" or "-" makes the text 230. 240 for a number above UINT64_MAX. */
uint32_t QUIL_Ini_ParseUint64(const char *text, uint64_t *value);

/* Reads a double from [sign] digits [. digits] [e|E [sign] digits], with at least one digit
 * before the exponent (".5" and "5." are numbers), rounded to nearest. Returns 0; 170 for a null
 * text or value; 230 for any other text ("inf", "nan" and hexadecimal included); 240 when the
 * number overflows to infinity, or is not zero but rounds to zero. */
uint32_t QUIL_Ini_ParseDouble(const char *text, double *value);

/* Reads a boolean: "true", "yes", "on" and "1" give 1, "false", "no", "off" and "0" give 0, in
 * any ASCII letter case. Returns 0; 170 for a null text or value; 230 for any other text. */
uint32_t QUIL_Ini_ParseBool(const char *text, uint32_t *value);

/* Look the value of key in section up as QUIL_Ini_GetValue does and read it with the matching
 * QUIL_Ini_Parse function. Return 0; the codes of QUIL_Ini_GetValue (170 also for a null value,
 * 130, 10, 20, 80 and the codes of lines met on the way: 160, 110, 120); 230 for a key line
 * without a value; otherwise the code of the parse. *value is written only on success; the
 * document is never changed, and nothing stays allocated. */
uint32_t QUIL_Ini_GetInt64(IniFile *doc, const char *section, const char *key, int64_t *value);
uint32_t QUIL_Ini_GetUint64(IniFile *doc, const char *section, const char *key, uint64_t *value);
uint32_t QUIL_Ini_GetDouble(IniFile *doc, const char *section, const char *key, double *value);
uint32_t QUIL_Ini_GetBool(IniFile *doc, const char *section, const char *key, uint32_t *value);

#ifdef __cplusplus
}
#endif

#endif
