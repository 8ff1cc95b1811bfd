// Helpers of the INI tests: documents loaded from bytes that free themselves, and their lines.
#ifndef WEX_INI_WRITE_SUPPORT_H
#define WEX_INI_WRITE_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <type_traits>
#include <string>
#include <vector>

#include "ini_parser/source/ini_store.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_result_codes.h"

namespace wextest {

using Lines = std::vector<std::string>;

// Static storage: the padding of the zero record is zero too.
inline bool is_all_zero(const IniFile &doc) {
    static const IniFile zero{};
    return std::memcmp(&doc, &zero, sizeof doc) == 0;
}

// Lines written as one string, each ending before a separator.
inline Lines split(const std::string &text, char separator = '|') {
    Lines lines;
    for (size_t start = 0; start < text.size();) {
        size_t bar = std::min(text.find(separator, start), text.size());
        lines.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    return lines;
}

// The texts of the slots of doc, "<null>" for a removed line.
inline Lines slots_of(const IniFile *doc) {
    Lines slots;
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        slots.emplace_back(doc->lines[i] != nullptr ? doc->lines[i] : "<null>");
    }
    return slots;
}

// A document record released at the end of the scope.
struct ScopedIni {
    IniFile doc{};
    ScopedIni() = default;
    ~ScopedIni() { QUIL_Ini_Free(&doc); }
    ScopedIni(const ScopedIni &) = delete;
    ScopedIni &operator=(const ScopedIni &) = delete;
    IniFile *operator->() { return &doc; }
    IniFile *get() { return &doc; }
};

// A document loaded (with options) from bytes written to a file of its own, released at the end
// of the scope.
struct Doc {
    TempDir dir;
    std::string path = dir.file("doc.ini");
    IniFile doc{};
    uint32_t loaded = QUIL_SUCCESS;
    uint32_t options = 0;
    explicit Doc(const std::string &bytes, uint32_t loadOptions = 0) : options(loadOptions) {
        reload(bytes);
    }
    ~Doc() { QUIL_Ini_Free(&doc); }
    Doc(const Doc &) = delete;
    Doc &operator=(const Doc &) = delete;
    void reload(const std::string &bytes) {
        QUIL_Ini_Free(&doc);
        write_file(path, bytes);
        loaded = QUIL_Ini_LoadWithOptions(path.c_str(), &doc, options);
    }
    IniFile *get() { return &doc; }
    Lines lines() const { return slots_of(&doc); }
};

// Takes a list from the listing operations and releases it.
inline Lines take_list(char **list) {
    Lines names;
    for (char **entry = list; entry != nullptr && *entry != nullptr; ++entry) {
        names.emplace_back(*entry);
    }
    QUIL_Ini_FreeList(list);
    return names;
}

// Takes a string handed out by the library and releases it; "<none>" for a null one.
inline std::string take_text(char *text) {
    std::string taken = text != nullptr ? text : "<none>";
    QUIL_MemFreeD(text, __LINE__, "tests/ini_write_support");
    return taken;
}

inline std::string joined(const Lines &names, const char *separator = ",") {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += (i > 0 ? separator : "") + names[i];
    }
    return text;
}

// A value as the table writes it, which is how quil ini get --type prints it.
template <typename T> std::string written(T value) {
    if constexpr (std::is_same_v<T, uint32_t>) {
        return value == 1 ? "true" : value == 0 ? "false" : "neither";
    }
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Reads text, or with lookup set the value of key in section of doc.
struct Source {
    const char *text;
    bool lookup = false;
    IniFile *doc = nullptr;
    const char *section = nullptr, *key = nullptr;
};

// The outcome as the table writes it; a failure must leave the output as it was.
template <typename T>
std::string outcome(uint32_t (*parse)(const char *, T *),
                    uint32_t (*get)(IniFile *, const char *, const char *, T *), Source s) {
    T value = T(42);
    uint32_t code = s.lookup ? get(s.doc, s.section, s.key, &value) : parse(s.text, &value);
    if (code == QUIL_SUCCESS) {
        return written(value);
    }
    EXPECT_EQ(value, T(42)) << "output written by a failure";
    return code == INI_WRONG_TYPE     ? "wrong-type"
           : code == INI_OUT_OF_RANGE ? "out-of-range"
                                      : "code " + std::to_string(code);
}

inline std::string typed(const std::string &type, Source s) {
    if (type == "int") {
        return outcome(QUIL_Ini_ParseInt64, QUIL_Ini_GetInt64, s);
    }
    if (type == "uint") {
        return outcome(QUIL_Ini_ParseUint64, QUIL_Ini_GetUint64, s);
    }
    if (type == "float") {
        return outcome(QUIL_Ini_ParseDouble, QUIL_Ini_GetDouble, s);
    }
    EXPECT_EQ(type, "bool");
    return outcome(QUIL_Ini_ParseBool, QUIL_Ini_GetBool, s);
}

// Runs a function of the line grammar on text ("<null>" for none): "kind" gives "code C kind K";
// "cutsection", "cutkey" and "comment" the pieces joined by '|' ("-" for a null one) or
// "code C"; "checkkey" and "checksection" the code.
inline std::string ask_line(const std::string &op, const std::string &line) {
    const char *text = line == "<null>" ? nullptr : line.c_str();
    char *got[3] = {};
    uint32_t kind = INI_LINE_UNSET;
    uint32_t code = op == "kind"           ? QUIL_Ini_GetLineType(text, &kind)
                    : op == "cutsection"   ? QUIL_Ini_ParseSectionLine(text, &got[0], &got[1])
                    : op == "cutkey"       ? QUIL_Ini_ParseKeyLine(text, &got[0], &got[1], &got[2])
                    : op == "comment"      ? QUIL_Ini_ParseComment(text, &got[0])
                    : op == "checksection" ? QUIL_Ini_CheckSectionLine(text)
                                           : QUIL_Ini_CheckKeyLine(text);
    EXPECT_TRUE(code == QUIL_SUCCESS || (!got[0] && !got[1] && !got[2])) << "a failure hands out";
    std::string pieces;
    for (int i = 0; i < (op == "cutsection" ? 2 : op == "cutkey" ? 3 : 1); ++i) {
        std::string piece = got[i] != nullptr ? got[i] : "-";
        QUIL_MemFreeD(got[i], __LINE__, "tests/ini_write_support");
        pieces += (i > 0 ? "|" : "") + piece;
    }
    if (op == "kind") {
        return "code " + std::to_string(code) + " kind " + std::to_string(kind);
    }
    bool cuts = op == "cutsection" || op == "cutkey" || op == "comment";
    return code == QUIL_SUCCESS && cuts ? pieces : "code " + std::to_string(code);
}

// Runs a step on doc and answers: "value|s|k" the value ("<none>" for none), "int|s|k",
// "uint|s|k", "float|s|k" and "bool|s|k" as typed answers; "sections",
// "keys|s" the names joined by commas; "pairs|s" key=value joined by commas; "entries" each
// "[s]" or "s/k=v" joined by commas; "set|s|k[|v]" and "del|s[|k]" nothing; "validate" the code
// and the line; "lines" the slots; "phys", "modified" and "capacity" the fields of the line
// counts, the mark and the array's slots; "drop|slot" empties a slot;
// "store|slot|text", "insert|after|key|value|comment" and "append|section" store lines;
// "format|key|name|value|comment" and "format|section|name|comment" the line formatted into slot 0.
// After a failure "code N", and the step must have handed out nothing. The functions of the line
// grammar answer as ask_line, whose text is all that follows the first '|'.
inline std::string ask(IniFile *doc, const std::string &query) {
    Lines w = split(query);
    const std::string &op = w[0];
    if (op == "kind" || op == "cutsection" || op == "cutkey" || op == "comment" ||
        op == "checksection" || op == "checkkey") {
        return ask_line(op, query.substr(query.find('|') + 1));
    }
    auto word = [&](size_t i) { return i < w.size() && w[i] != "<null>" ? w[i].c_str() : nullptr; };
    auto at = [&](size_t i) { return static_cast<uint32_t>(std::stoul(w[i])); };
    if (op == "store" || op == "insert" || op == "append" || op == "format") {
        if (op == "format" && doc != nullptr) { // into slot 0, emptied; a failure leaves it so
            wex::ini::drop_line(doc, 0);
            doc->modified = 0;
        }
        uint32_t code = op == "store" ? QUIL_Ini_StoreLine(doc, at(1), word(2))
                        : op == "insert"
                            ? QUIL_Ini_InsertKeyLine(doc, at(1), word(2), word(3), word(4))
                        : op == "append" ? QUIL_Ini_AppendSectionLine(doc, word(1))
                        : w[1] == "key"  ? QUIL_Ini_FormatKeyLine(doc, 0, word(2), word(3), word(4))
                                         : QUIL_Ini_FormatSectionLine(doc, 0, word(2), word(3));
        EXPECT_TRUE(op != "format" || !doc || doc->modified == (code == QUIL_SUCCESS)) << query;
        return code != QUIL_SUCCESS ? "code " + std::to_string(code)
               : op == "format"     ? doc->lines[0]
                                    : "";
    }
    if (op == "lines" || op == "phys" || op == "modified" || op == "capacity" || op == "drop") {
        if (op == "drop") {
            wex::ini::drop_line(doc, at(1));
        }
        return op == "lines"      ? joined(slots_of(doc), "|")
               : op == "drop"     ? ""
               : op == "phys"     ? std::to_string(doc->physLineCount)
               : op == "modified" ? std::to_string(doc->modified)
                                  : std::to_string(doc->lineCapacity);
    }
    if (op == "int" || op == "uint" || op == "float" || op == "bool") {
        return typed(op, {nullptr, true, doc, word(1), word(2)});
    }
    uint32_t count = 99;
    uint32_t lineNo = 99;
    char **list = nullptr;
    char *value = nullptr;
    IniPair *pairs = nullptr;
    IniEntry *entries = nullptr;
    uint32_t code = op == "value"      ? QUIL_Ini_GetValue(doc, word(1), word(2), &value)
                    : op == "sections" ? QUIL_Ini_GetSections(doc, &count, &list)
                    : op == "keys"     ? QUIL_Ini_GetKeys(doc, word(1), &count, &list)
                    : op == "pairs"    ? QUIL_Ini_GetPairs(doc, word(1), &count, &pairs)
                    : op == "entries"  ? QUIL_Ini_GetEntries(doc, &count, &entries)
                    : op == "set"      ? QUIL_Ini_SetValue(doc, word(1), word(2), word(3))
                    : op == "validate" ? QUIL_Ini_Validate(doc, &lineNo)
                    : w.size() > 2     ? QUIL_Ini_DeleteKey(doc, word(1), word(2))
                                       : QUIL_Ini_DeleteSection(doc, word(1));
    if (op == "validate") {
        return "code " + std::to_string(code) + " line " + std::to_string(lineNo);
    }
    if (code != QUIL_SUCCESS) {
        EXPECT_TRUE(!list && !value && !pairs && !entries) << query << ": a failure hands out";
        return "code " + std::to_string(code);
    }
    Lines answer = take_list(list);
    for (IniPair *p = pairs; p != nullptr && p->key != nullptr; ++p) {
        answer.push_back(std::string(p->key) + "=" + (p->value ? p->value : "<none>"));
    }
    for (IniEntry *e = entries; e != nullptr && (e->section || e->key); ++e) {
        std::string section = e->section ? e->section : "";
        answer.push_back(!e->key ? "[" + section + "]"
                                 : section + "/" + e->key + "=" + (e->value ? e->value : "<none>"));
    }
    EXPECT_TRUE(op == "value" || op == "set" || op == "del" || answer.size() == count) << query;
    QUIL_Ini_FreePairs(pairs);
    QUIL_Ini_FreeEntries(entries);
    return op == "value" ? take_text(value) : joined(answer);
}

// The lines of a file as QUIL_Ini_ReadLine reads them one after the other, and the code that
// ended the reading (0 at the end of the file).
inline uint32_t read_line_by_line(const std::string &path, Lines *lines, uint32_t *physLines) {
    QUIL_FILE *file = QUIL_Fopen(path.c_str(), "r");
    char *line = nullptr;
    uint32_t length = 0;
    uint32_t phys = 0;
    uint32_t code = QUIL_SUCCESS;
    while ((code = QUIL_Ini_ReadLine(&line, file, &length, &phys)) == QUIL_SUCCESS) {
        lines->emplace_back(line);
        *physLines += phys;
        QUIL_MemFreeD(line, __LINE__, "tests/ini_write_support");
    }
    QUIL_Fclose(file);
    return code == INI_NO_LINES ? QUIL_SUCCESS : code;
}

// Load reads ahead a block at a time; QUIL_Ini_ReadLine takes one byte at a time and gives the
// byte after a line back to the file. Both must cut the same lines, with the same physical lines
// and the same code; the array grows by 50 null slots when the next line would take its last.
inline void expect_load_reads(const Doc &d) {
    Lines lines;
    uint32_t physLines = 0;
    ASSERT_EQ(d.loaded, read_line_by_line(d.path, &lines, &physLines));
    if (d.loaded == QUIL_SUCCESS) {
        EXPECT_EQ(lines, d.lines());
        EXPECT_EQ(d.doc.physLineCount, physLines);
        uint32_t count = d.doc.lineCount;
        EXPECT_EQ(d.doc.lineCapacity,
                  count + 1 < 200 ? 200 : 200 + (count + 2 - 200 + 49) / 50 * 50);
        EXPECT_EQ(d.doc.lines[count], nullptr);
    }
}

} // namespace wextest

#endif
