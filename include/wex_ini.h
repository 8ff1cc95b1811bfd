/* INI documents: a file held as the array of its text lines, read, looked up, edited, validated
 * and written back through a backup file. Internal interface: not exported by the shared library. */
#ifndef WEX_INI_H
#define WEX_INI_H

#include "wex_os_adapter.h"
#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct IniFile {
    uint32_t modified;
    uint32_t lineCount;
    uint32_t lineCapacity;
    uint32_t physLineCount;
    char **lines;
} IniFile;

/* Line kinds */
#define INI_LINE_COMMENT 0u
#define INI_LINE_EMPTY   1u
#define INI_LINE_SECTION 2u
#define INI_LINE_KEY     3u
#define INI_LINE_BLANK   4u
#define INI_LINE_INVALID 5u
#define INI_LINE_UNSET   255u

/* ==== Reading: loading, the line grammar, lookup and listing ==== */

uint32_t QUIL_Ini_Load(const char *path, IniFile *doc);
void QUIL_Ini_Free(IniFile *doc);
uint32_t QUIL_Ini_GrowLines(IniFile *doc);
uint32_t QUIL_Ini_ReadLine(char **slot, QUIL_FILE *file, uint32_t *length, uint32_t *physLines);

uint32_t QUIL_Ini_GetLineType(const char *text, uint32_t *kind);
uint32_t QUIL_Ini_ParseSectionLine(const char *text, char **name, char **comment);
uint32_t QUIL_Ini_ParseKeyLine(const char *text, char **key, char **value, char **comment);
uint32_t QUIL_Ini_ParseComment(const char *text, char **comment);
void QUIL_Ini_SkipBlanks(const char **pos, const char *limit);
void QUIL_Ini_TrimBack(const char **pos, const char *limit);
uint32_t QUIL_Ini_SafeStrLen(const char *text);

uint32_t QUIL_Ini_GetValue(IniFile *doc, const char *section, const char *key, char **value);
uint32_t QUIL_Ini_GetSections(IniFile *doc, uint32_t *count, char ***list);
uint32_t QUIL_Ini_GetKeys(IniFile *doc, const char *section, uint32_t *count, char ***list);
void QUIL_Ini_FreeList(char **list);

/* ==== Writing: editing, saving, validation and removal ==== */

uint32_t QUIL_Ini_SetValue(IniFile *doc, const char *section, const char *key, const char *value);
uint32_t QUIL_Ini_InsertKeyLine(IniFile *doc, uint32_t after, const char *key, const char *value,
                                const char *comment);
uint32_t QUIL_Ini_AppendSectionLine(IniFile *doc, const char *section);
uint32_t QUIL_Ini_FormatKeyLine(IniFile *doc, uint32_t slot, const char *key, const char *value,
                                const char *comment);
uint32_t QUIL_Ini_FormatSectionLine(IniFile *doc, uint32_t slot, const char *section,
                                    const char *comment);
uint32_t QUIL_Ini_StoreLine(IniFile *doc, uint32_t slot, const char *text);

uint32_t QUIL_Ini_Close(const char *path, IniFile *doc);
uint32_t QUIL_Ini_WriteLine(QUIL_FILE *file, const char *text);

uint32_t QUIL_Ini_Validate(IniFile *doc, uint32_t *lineNo);
uint32_t QUIL_Ini_CheckSectionLine(const char *text);
uint32_t QUIL_Ini_CheckKeyLine(const char *text);
uint32_t QUIL_Ini_DeleteKey(IniFile *doc, const char *section, const char *key);
uint32_t QUIL_Ini_DeleteSection(IniFile *doc, const char *section);

#ifdef __cplusplus
}
#endif

#endif
