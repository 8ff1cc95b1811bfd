// INI documents, lookup and listing: walks over the line array that read each line as the
// document's reading does (ini_reading.h). Nothing is cached: every walk classifies and cuts the
// lines it passes, and names are compared in place; only what is handed out is allocated.
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

#include "ini_parser/source/ini_reading.h"

namespace {

using namespace wex::ini;

constexpr const char *kUnit = "publiclib/ini_parser/source/ini_lookup";

bool document_usable(const IniFile *doc) {
    return doc != nullptr && doc->lines != nullptr;
}

// A zero-filled array of count entries of size bytes; null when short of memory.
void *new_array(uint64_t count, uint64_t size) {
    uint64_t bytes = count * size;
    if (count > UINT32_MAX || bytes > UINT32_MAX) {
        return nullptr;
    }
    return QUIL_MemMallocS(static_cast<uint32_t>(bytes), 0, __LINE__, kUnit);
}

// The checks a listing begins with; once they pass, the outputs are cleared.
template <typename Entry>
uint32_t start_listing(const IniFile *doc, uint32_t *count, Entry **list) {
    if (!document_usable(doc) || count == nullptr || list == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *count = 0;
    *list = nullptr;
    return QUIL_SUCCESS;
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

// Appends every header name of the document to list.
uint32_t gather_sections(const Reading &reading, uint32_t *count, char **list) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        if (doc->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = reading.kind(i, &kind);
        Span name;
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            result = reading.section_name(i, &name);
            result = result == QUIL_SUCCESS ? append_copy(name, count, list) : result;
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return *count == 0 ? INI_NO_SECTION : QUIL_SUCCESS;
}

// Hands the slot of every key line of the section whose header stands at header to take, in
// document order, until take fails.
template <typename Take>
uint32_t each_key_line(const Reading &reading, uint32_t header, Take take) {
    const IniFile *doc = reading.doc();
    for (uint32_t i = header + 1; i < doc->lineCount; ++i) {
        if (doc->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = reading.kind(i, &kind);
        if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
            break;
        }
        if (result == QUIL_SUCCESS && kind == INI_LINE_KEY) {
            result = take(i);
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return QUIL_SUCCESS;
}

uint32_t gather_keys(const Reading &reading, uint32_t header, uint32_t *count, char **list) {
    uint32_t result = each_key_line(reading, header, [&](uint32_t slot) {
        KeyParts parts;
        uint32_t cut = reading.key_parts(slot, &parts);
        return cut == QUIL_SUCCESS ? append_copy(parts.key, count, list) : cut;
    });
    return result == QUIL_SUCCESS && *count == 0 ? INI_NO_KEY : result;
}

uint32_t gather_pairs(const Reading &reading, uint32_t header, uint32_t *count, IniPair *pairs) {
    uint32_t result = each_key_line(reading, header, [&](uint32_t slot) {
        KeyParts parts;
        IniPair &pair = pairs[*count];
        uint32_t cut = reading.key_parts(slot, &parts);
        if (cut == QUIL_SUCCESS) {
            pair.key = copy_span(parts.key);
            cut = pair.key == nullptr ? INI_NO_MEMORY : reading.copy_value(slot, &pair.value);
        }
        if (cut != QUIL_SUCCESS) {
            QUIL_MemFreeSetNullD(&pair.key, __LINE__, kUnit);
            return cut;
        }
        ++*count;
        return QUIL_SUCCESS;
    });
    return result == QUIL_SUCCESS && *count == 0 ? INI_NO_KEY : result;
}

// Adds the entry of the line in slot, a header or a key line; section is the header's name
// (the entry of the header above) or null.
uint32_t add_entry(const Reading &reading, uint32_t slot, uint32_t kind, const char *section,
                   IniEntry *entry) {
    entry->slot = slot;
    Span name;
    KeyParts parts;
    uint32_t result = kind == INI_LINE_SECTION ? reading.section_name(slot, &name)
                                               : reading.key_parts(slot, &parts);
    if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
        entry->section = copy_span(name);
        return entry->section != nullptr ? QUIL_SUCCESS : INI_NO_MEMORY;
    }
    if (result == QUIL_SUCCESS) {
        entry->key = copy_span(parts.key);
        result = entry->key != nullptr ? reading.copy_value(slot, &entry->value) : INI_NO_MEMORY;
    }
    if (result == QUIL_SUCCESS && section != nullptr) {
        entry->section = copy_span({section, section + QUIL_StrLen(section)});
        result = entry->section != nullptr ? QUIL_SUCCESS : INI_NO_MEMORY;
    }
    if (result != QUIL_SUCCESS) {
        QUIL_MemFreeSetNullD(&entry->key, __LINE__, kUnit);
        QUIL_MemFreeSetNullD(&entry->value, __LINE__, kUnit);
    }
    return result;
}

uint32_t gather_entries(const Reading &reading, uint32_t *count, IniEntry *entries) {
    const IniFile *doc = reading.doc();
    const char *section = nullptr; // the name of the last header passed
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        if (doc->lines[i] == nullptr) {
            continue;
        }
        uint32_t kind = INI_LINE_UNSET;
        uint32_t result = reading.kind(i, &kind);
        if (result == QUIL_SUCCESS && (kind == INI_LINE_SECTION || kind == INI_LINE_KEY)) {
            result = add_entry(reading, i, kind, section, &entries[*count]);
            if (result == QUIL_SUCCESS && kind == INI_LINE_SECTION) {
                section = entries[*count].section;
            }
            *count += result == QUIL_SUCCESS ? 1 : 0;
        }
        if (result != QUIL_SUCCESS) {
            return result;
        }
    }
    return QUIL_SUCCESS;
}

// Prepares the reading of a document that has lines; 130 when it has none.
uint32_t start_reading(Reading *reading) {
    return reading->doc()->lineCount == 0 ? INI_NO_LINES : reading->start();
}

// Allocates a list of entries as long as the document into *list and lets gather fill it; a
// failed gathering releases it and clears the outputs.
template <typename Entry, typename Gather, typename Release>
uint32_t fill_list(const IniFile *doc, uint32_t *count, Entry **list, Gather gather,
                   Release release) {
    *list = static_cast<Entry *>(new_array(uint64_t{doc->lineCount} + 1, sizeof(Entry)));
    if (*list == nullptr) {
        return INI_NO_MEMORY;
    }
    uint32_t result = gather(*list);
    if (result != QUIL_SUCCESS) {
        release(*list);
        *list = nullptr;
        *count = 0;
    }
    return result;
}

// Lists what gather finds in the whole document: the checks, the list as long as the document,
// and its release when gathering fails.
template <typename Entry, typename Release>
uint32_t list_document(IniFile *doc, uint32_t *count, Entry **list,
                       uint32_t (*gather)(const Reading &, uint32_t *, Entry *), Release release) {
    uint32_t result = start_listing(doc, count, list);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    Reading reading(doc);
    result = start_reading(&reading);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    return fill_list(
        doc, count, list, [&](Entry *entries) { return gather(reading, count, entries); }, release);
}

// Lists what gather finds in the section of the last header named section.
template <typename Entry, typename Release>
uint32_t list_section(IniFile *doc, const char *section, uint32_t *count, Entry **list,
                      uint32_t (*gather)(const Reading &, uint32_t, uint32_t *, Entry *),
                      Release release) {
    uint32_t result = section == nullptr ? INI_BAD_ARGUMENT : start_listing(doc, count, list);
    if (result != QUIL_SUCCESS) {
        return result;
    }
    Reading reading(doc);
    result = start_reading(&reading);
    SectionRange range{};
    if (result == QUIL_SUCCESS) {
        result = find_section_from_end(reading, section, &range);
    }
    if (result != QUIL_SUCCESS) {
        return result;
    }
    return fill_list(
        doc, count, list,
        [&](Entry *entries) { return gather(reading, range.header, count, entries); }, release);
}

} // namespace

extern "C" {

uint32_t QUIL_Ini_GetValue(IniFile *doc, const char *section, const char *key, char **value) {
    if (!document_usable(doc) || value == nullptr || section == nullptr || key == nullptr) {
        return INI_BAD_ARGUMENT;
    }
    *value = nullptr;
    Reading reading(doc);
    uint32_t result = start_reading(&reading);
    SectionRange range{};
    if (result == QUIL_SUCCESS) {
        result = find_section_from_end(reading, section, &range);
    }
    uint32_t slot = 0;
    if (result == QUIL_SUCCESS) {
        result = find_key_from_end(reading, range, key, &slot);
    }
    return result == QUIL_SUCCESS ? reading.copy_value(slot, value) : result;
}

uint32_t QUIL_Ini_GetSections(IniFile *doc, uint32_t *count, char ***list) {
    return list_document(doc, count, list, gather_sections, QUIL_Ini_FreeList);
}

uint32_t QUIL_Ini_GetKeys(IniFile *doc, const char *section, uint32_t *count, char ***list) {
    return list_section(doc, section, count, list, gather_keys, QUIL_Ini_FreeList);
}

uint32_t QUIL_Ini_GetPairs(IniFile *doc, const char *section, uint32_t *count, IniPair **pairs) {
    return list_section(doc, section, count, pairs, gather_pairs, QUIL_Ini_FreePairs);
}

uint32_t QUIL_Ini_GetEntries(IniFile *doc, uint32_t *count, IniEntry **entries) {
    return list_document(doc, count, entries, gather_entries, QUIL_Ini_FreeEntries);
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

void QUIL_Ini_FreeEntries(IniEntry *entries) {
    if (entries == nullptr) {
        return;
    }
    for (IniEntry *entry = entries; entry->section != nullptr || entry->key != nullptr; ++entry) {
        QUIL_MemFreeD(entry->section, __LINE__, kUnit);
        QUIL_MemFreeD(entry->key, __LINE__, kUnit);
        QUIL_MemFreeD(entry->value, __LINE__, kUnit);
    }
    QUIL_MemFreeD(entries, __LINE__, kUnit);
}

void QUIL_Ini_FreePairs(IniPair *pairs) {
    if (pairs == nullptr) {
        return;
    }
    for (IniPair *pair = pairs; pair->key != nullptr; ++pair) {
        QUIL_MemFreeD(pair->key, __LINE__, kUnit);
        QUIL_MemFreeD(pair->value, __LINE__, kUnit);
    }
    QUIL_MemFreeD(pairs, __LINE__, kUnit);
}

} // extern "C"
