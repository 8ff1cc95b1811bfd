/* Result codes. Every operation returns a uint32_t code, 0 for success; each family gives the
 * other values its own meaning, so the names carry the family's prefix. */
#ifndef WEX_RESULT_CODES_H
#define WEX_RESULT_CODES_H

#define QUIL_SUCCESS 0u

/* Doubly linked list */
#define DLINK_BAD_ARGUMENT 10u /* null list, element, key, output, routine; bad position */
#define DLINK_NO_MEMORY    20u /* the record or a node could not be allocated */
#define DLINK_NO_MATCH     30u /* no element matches the key */
#define DLINK_NO_PRIOR     40u /* the cursor is on the first element */
#define DLINK_NO_NEXT      50u /* the cursor is on the last element */
#define DLINK_EMPTY        60u /* the list holds no element */
#define DLINK_STOPPED      70u /* the visit routine stopped the walk */

/* Static linked list */
#define SLINK_BAD_ARGUMENT 10u
#define SLINK_NO_MEMORY    20u
#define SLINK_FULL         30u /* every node slot is in use */
#define SLINK_NO_MATCH     40u
#define SLINK_NO_PRIOR     50u
#define SLINK_NO_NEXT      60u
#define SLINK_EMPTY        70u
#define SLINK_STOPPED      80u

/* Hash table */
#define HASH_BAD_ARGUMENT 10u
#define HASH_NO_MEMORY    20u
#define HASH_NO_MATCH     30u /* no entry matches the key */
#define HASH_EMPTY        60u
#define HASH_STOPPED      70u
#define HASH_HASH_FAILED  80u /* the caller's hash routine reported a failure */
#define HASH_DUPLICATE    90u /* an equal key is already stored */
#define HASH_NO_CURRENT   100u

/* INI documents */
#define INI_NO_SECTION         10u  /* no section of that name (no section at all when listing) */
#define INI_NO_KEY             20u  /* the section exists, the key is not in it */
#define INI_OPEN_FAILED        30u  /* the file cannot be opened */
#define INI_SAVE_FAILED        50u  /* backup not made, file gone or unreadable, or rename failed */
#define INI_KEY_BEFORE_SECTION 60u  /* validation: a key line before the first section header */
#define INI_NO_MEMORY          80u  /* allocation failed, or a one-byte push back failed */
#define INI_BAD_SECTION        110u /* malformed section header */
#define INI_BAD_KEY            120u /* key line without a key; validation: a key with a blank */
#define INI_NO_LINES           130u /* no lines; no path to save to; empty text to store */
#define INI_LINE_TOO_LONG      140u /* a logical line of 512 bytes or more */
#define INI_BAD_LINE           160u /* not a comment, header, empty, blank or key line */
#define INI_BAD_ARGUMENT       170u /* null argument, empty text, a line too long to format */
#define INI_BAD_VALUE_LIST     180u /* validation: malformed value list */
#define INI_BACKUP_FAILED      180u /* close: backup name taken, or a write fell short */
#define INI_BAD_COMMENT        190u /* validation: a comment semicolon without a blank before it */
/* close: another program changed or replaced the file since the load; it is left as that program
 * left it, the new text is in the backup file */
#define INI_CHANGED_ON_DISK    200u
#define INI_LOCK_TIMEOUT       210u /* load for update: another writer kept the lock past waitMs */
/* close: the document file may not be replaced: it is not a regular file, or the caller could
 * not write it in place; nothing was written */
#define INI_NOT_WRITABLE       220u
#define INI_WRONG_TYPE         230u /* typed getters: the value is not of the type asked for */
#define INI_OUT_OF_RANGE       240u /* typed getters: the value lies outside the type's range */

/* CRC */
#define CRC_BAD_ARGUMENT 10u

/* Address parsers */
#define IPADDR_WITH_PORT    1u /* IPv4: a valid address that carried a port */
#define IPADDR_BAD_ARGUMENT 10u
#define IPADDR_MALFORMED    30u

#endif
