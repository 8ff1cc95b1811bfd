// quil ini set, del and merge: batches of edits applied to a file loaded for update, so that the
// file's lock is held from the read to the end of the save and the batch is saved whole or not
// at all.
#include <cstring>
#include <optional>

#include "ini_document.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace quil {

namespace {

const char kSource[] = "tools/quil/ini_edit_commands";

// One edit of a batch: a key to set (value absent: a key without a value) or to remove, or, with
// no key, a section to create or to remove.
struct Edit {
    std::string section;
    std::optional<std::string> key;
    std::optional<std::string> value;
};

// Loads FILE for update, applies every edit with apply and saves once; the first edit that fails
// ends the command with FILE untouched.
template <typename Apply>
int edit_file(const std::string &path, const IniOptions &options, const std::vector<Edit> &edits,
              Apply apply) {
    Document doc(path);
    if (int status = doc.load_for_update(options.waitMs); status != kOk) {
        return status;
    }
    for (const Edit &edit : edits) {
        if (int status = apply(doc, edit); status != kOk) {
            return status; // nothing was written: the document is dropped with the lock
        }
    }
    return doc.close();
}

// 0 when section has a header (keys or not), otherwise the library's code.
uint32_t find_section(Document &doc, const std::string &section) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t result = QUIL_Ini_GetKeys(doc.get(), section.c_str(), &count, &list);
    QUIL_Ini_FreeList(list);
    return result == INI_NO_KEY ? QUIL_SUCCESS : result;
}

int create_section(Document &doc, const Edit &edit, bool existing) {
    uint32_t found = find_section(doc, edit.section);
    if (found == QUIL_SUCCESS) {
        return kOk;
    }
    bool missing = found == INI_NO_SECTION || found == INI_NO_LINES;
    if (!missing || existing) {
        return doc.report(found, edit.section, "");
    }
    uint32_t result = QUIL_Ini_SetValue(doc.get(), edit.section.c_str(), nullptr, nullptr);
    return result == QUIL_SUCCESS ? kOk : doc.report(result, edit.section, "");
}

// The library stores a value with blanks around it, but reading trims them: such a value would
// come back changed.
bool reads_back(const std::optional<std::string> &value) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !value || value->empty() || (!blank(value->front()) && !blank(value->back()));
}

// Sets one key; a key that holds the value already is left alone, so that a batch that changes
// nothing does not rewrite the file.
int set_key(Document &doc, const Edit &edit, bool existing) {
    if (!edit.key) {
        return create_section(doc, edit, existing);
    }
    if (!reads_back(edit.value)) {
        return doc.report(INI_BAD_ARGUMENT, edit.section, *edit.key);
    }
    const char *section = edit.section.c_str(), *key = edit.key->c_str();
    char *current = nullptr;
    uint32_t found = QUIL_Ini_GetValue(doc.get(), section, key, &current);
    bool same = found == QUIL_SUCCESS && std::strcmp(current == nullptr ? "" : current,
                                                     edit.value.value_or("").c_str()) == 0;
    QUIL_MemFreeD(current, __LINE__, kSource);
    if (same) {
        return kOk;
    }
    if (existing && found != QUIL_SUCCESS) {
        return doc.report(found, edit.section, *edit.key);
    }
    uint32_t result =
        QUIL_Ini_SetValue(doc.get(), section, key, edit.value ? edit.value->c_str() : nullptr);
    return result == QUIL_SUCCESS ? kOk : doc.report(result, edit.section, *edit.key);
}

int delete_key(Document &doc, const Edit &edit) {
    uint32_t result = edit.key
                          ? QUIL_Ini_DeleteKey(doc.get(), edit.section.c_str(), edit.key->c_str())
                          : QUIL_Ini_DeleteSection(doc.get(), edit.section.c_str());
    return result == QUIL_SUCCESS ? kOk : doc.report(result, edit.section, edit.key.value_or(""));
}

// The (SECTION KEY [VALUE]) groups that follow FILE, withValue telling whether a group has three.
std::vector<Edit> edits_from(const Args &args, bool withValue) {
    std::vector<Edit> edits;
    size_t group = withValue ? 3 : 2;
    for (size_t i = 1; i + group <= args.size(); i += group) {
        edits.push_back({args[i], args[i + 1], std::nullopt});
        if (withValue) {
            edits.back().value = args[i + 2];
        }
    }
    return edits;
}

// The edits that the INI text on standard input asks for: every header creates its section, every
// key line sets its key (one before any header in defaultSection, when there is one).
int read_merge_input(const std::optional<std::string> &defaultSection, std::vector<Edit> &edits) {
    Document input = Document::standard_input();
    if (int status = input.load(); status != kOk) {
        return status;
    }
    uint32_t count = 0;
    IniEntry *entries = nullptr;
    uint32_t result = QUIL_Ini_GetEntries(input.get(), &count, &entries);
    if (result == INI_NO_LINES) {
        return kOk;
    }
    if (result != QUIL_SUCCESS) {
        return input.report(result, "", "");
    }
    int status = kOk;
    for (uint32_t i = 0; i < count && status == kOk; ++i) {
        const IniEntry &entry = entries[i];
        std::optional<std::string> section = defaultSection;
        if (entry.section != nullptr) {
            section = entry.section;
        }
        if (entry.key == nullptr) {
            edits.push_back({*section, std::nullopt, std::nullopt});
        } else if (!section) {
            status = input.report_line(entry.slot,
                                       "key outside any section (give SECTION to put it in)");
        } else {
            edits.push_back({*section, std::string(entry.key),
                             entry.value ? std::optional<std::string>(entry.value)
                                         : std::nullopt});
        }
    }
    QUIL_Ini_FreeEntries(entries);
    return status;
}

} // namespace

int ini_set(const IniOptions &options, const Args &args) {
    bool single = args.size() == 3; // FILE SECTION KEY: a key without a value
    if (!single && (args.size() < 4 || (args.size() - 1) % 3 != 0)) {
        return usage_error("ini set", "expects FILE SECTION KEY [VALUE] or FILE followed by "
                                      "SECTION KEY VALUE groups");
    }
    return edit_file(
        args[0], options, edits_from(args, !single),
        [&](Document &doc, const Edit &edit) { return set_key(doc, edit, options.existing); });
}

int ini_del(const IniOptions &options, const Args &args) {
    bool section = args.size() == 2; // FILE SECTION: the whole section
    if (!section && (args.size() < 3 || (args.size() - 1) % 2 != 0)) {
        return usage_error("ini del", "expects FILE SECTION [KEY] or FILE followed by SECTION KEY "
                                      "pairs");
    }
    std::vector<Edit> edits = section ? std::vector<Edit>{{args[1], std::nullopt, std::nullopt}}
                                      : edits_from(args, false);
    return edit_file(args[0], options, edits, delete_key);
}

int ini_merge(const IniOptions &options, const Args &args) {
    if (args.empty() || args.size() > 2) {
        return usage_error("ini merge", "expects FILE [SECTION]");
    }
    std::vector<Edit> edits;
    std::optional<std::string> section;
    if (args.size() == 2) {
        section = args[1];
    }
    // The input is read whole before FILE is locked, so a slow writer of it keeps no one waiting.
    if (int status = read_merge_input(section, edits); status != kOk) {
        return status;
    }
    return edit_file(args[0], options, edits, [&](Document &doc, const Edit &edit) {
        return set_key(doc, edit, options.existing);
    });
}

} // namespace quil
