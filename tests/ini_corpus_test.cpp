// Real configuration files: each loads (or fails with its documented code), keeps its bytes, and
// lists the sections and keys that a plain line-by-line reading written here finds in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

// ---- A plain reading of a file ----

// The logical lines of bytes as stored texts: split at CR, LF, CR LF or LF CR; a line that ends
// in an odd run of backslashes loses the last one and its break and takes the next line in.
std::vector<std::string> logical_lines(const std::string &bytes) {
    std::vector<std::string> lines;
    std::string joined;
    for (size_t pos = 0; pos < bytes.size();) {
        size_t brk = std::min(bytes.find_first_of("\r\n", pos), bytes.size());
        size_t breakEnd = std::min(brk + 1, bytes.size());
        if (breakEnd < bytes.size() && bytes[breakEnd] != bytes[brk] &&
            (bytes[breakEnd] == '\r' || bytes[breakEnd] == '\n')) {
            ++breakEnd;
        }
        std::string text = bytes.substr(pos, brk - pos);
        size_t run = text.size() - std::min(text.size(), text.find_last_not_of('\\') + 1);
        pos = breakEnd;
        if (run % 2 == 1) {
            joined += text.substr(0, text.size() - 1);
            continue;
        }
        joined += text + (brk < bytes.size() ? bytes.substr(brk, breakEnd - brk) : "\r");
        lines.push_back(joined);
        joined.clear();
    }
    if (!joined.empty()) {
        lines.push_back(joined + "\r");
    }
    return lines;
}

std::string trimmed(const std::string &text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos
               ? ""
               : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool same_name(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A line as a walk sees it: a header or key line with its name, or another line; code is what
// a walk that cuts the line must answer (key lines are cut only inside a searched section).
struct Line {
    enum Kind { kOther, kHeader, kKey } kind = kOther;
    std::string name;
    uint32_t code = QUIL_SUCCESS;
};

Line read_line(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos ||
        std::string(";#\r\n").find(text[start]) != std::string::npos) {
        return {};
    }
    if (text[start] == '[') {
        size_t close = text.find(']');
        std::string name =
            close == std::string::npos ? "" : trimmed(text.substr(start + 1, close - start - 1));
        if (name.empty()) {
            return {Line::kHeader, "", INI_BAD_SECTION};
        }
        bool tail = !trimmed(text.substr(close + 1)).empty();
        return {Line::kHeader, name,
                tail && text.find(" ;", close) == std::string::npos ? INI_BAD_LINE : QUIL_SUCCESS};
    }
    size_t eq = text.find('=');
    if (eq == std::string::npos) {
        return {Line::kOther, "", INI_BAD_LINE};
    }
    std::string key = trimmed(text.substr(0, eq));
    return {Line::kKey, key, key.empty() ? INI_BAD_KEY : QUIL_SUCCESS};
}

// What a listing answers: "code N", or the names joined by commas.
std::string answer(uint32_t code, const std::vector<std::string> &names) {
    if (code != QUIL_SUCCESS) {
        return "code " + std::to_string(code);
    }
    std::string joined;
    for (const std::string &name : names) {
        joined += (joined.empty() ? "" : ",") + name;
    }
    return joined;
}

std::string expected_sections(const std::vector<Line> &lines) {
    std::vector<std::string> names;
    for (const Line &line : lines) {
        if (line.kind != Line::kKey && line.code != QUIL_SUCCESS) {
            return answer(line.code, {});
        }
        if (line.kind == Line::kHeader) {
            names.push_back(line.name);
        }
    }
    return answer(names.empty() ? INI_NO_SECTION : QUIL_SUCCESS, names);
}

// The keys of the last header named name: a walk back to it, then on to the next header.
std::string expected_keys(const std::vector<Line> &lines, const std::string &name) {
    size_t header = lines.size();
    while (header-- > 0 &&
           !(lines[header].kind == Line::kHeader && same_name(lines[header].name, name))) {
        if (lines[header].kind != Line::kKey && lines[header].code != QUIL_SUCCESS) {
            return answer(lines[header].code, {});
        }
    }
    std::vector<std::string> keys;
    for (size_t i = header + 1; i < lines.size() && lines[i].kind != Line::kHeader; ++i) {
        if (lines[i].code != QUIL_SUCCESS) {
            return answer(lines[i].code, {});
        }
        if (lines[i].kind == Line::kKey) {
            keys.push_back(lines[i].name);
        }
    }
    return answer(keys.empty() ? INI_NO_KEY : QUIL_SUCCESS, keys);
}

// ---- The library's reading ----

std::string library_sections(IniFile *doc) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t code = QUIL_Ini_GetSections(doc, &count, &list);
    return answer(code, wextest::take_list(list));
}

std::string library_keys(IniFile *doc, const std::string &name) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t code = QUIL_Ini_GetKeys(doc, name.c_str(), &count, &list);
    return answer(code, wextest::take_list(list));
}

const std::pair<const char *, uint32_t> kCorpus[] = {
    {"50-client.cnf", QUIL_SUCCESS},
    {"dunstrc", QUIL_SUCCESS},
    {"fail2ban-firewallcmd-rich-rules.conf", QUIL_SUCCESS},
    {"fpc-dbase-Makefile.fpc", QUIL_SUCCESS}, // lines without "=": listings fail with 160
    {"inih-test.ini", QUIL_SUCCESS},
    {"nasty-600-byte-line.conf", INI_LINE_TOO_LONG},
    {"nasty-bom-xdg-user-dirs.desktop", QUIL_SUCCESS},
    {"odbc.ini.template", QUIL_SUCCESS},
    {"odbcinst.ini.template", QUIL_SUCCESS},
    {"pdo.ini", QUIL_SUCCESS}, // no header at all
    {"pg_dump@.service", QUIL_SUCCESS},
    {"php.ini-development", QUIL_SUCCESS},
    {"qhelloworld_uiq3_emu.ini", QUIL_SUCCESS},
    {"supervisord.conf", QUIL_SUCCESS},
    {"vim.desktop", QUIL_SUCCESS},
};

TEST(IniCorpus, EveryFileLoadsByteForByteAndListsWhatAPlainReadingFinds) {
    for (const auto &[file, loadCode] : kCorpus) {
        SCOPED_TRACE(file);
        std::string path = wextest::data_path(std::string("ini/") + file);
        IniFile doc{};
        ASSERT_EQ(QUIL_Ini_Load(path.c_str(), &doc), loadCode);
        if (loadCode != QUIL_SUCCESS) {
            EXPECT_TRUE(doc.lines == nullptr && doc.lineCount == 0 && doc.lineCapacity == 0);
            continue;
        }
        std::vector<std::string> texts = logical_lines(wextest::read_file(path));
        EXPECT_EQ(std::vector<std::string>(doc.lines, doc.lines + doc.lineCount), texts);
        std::vector<Line> lines;
        for (const std::string &text : texts) {
            lines.push_back(read_line(text));
        }
        EXPECT_EQ(library_sections(&doc), expected_sections(lines));
        for (const Line &line : lines) {
            if (line.kind == Line::kHeader && line.code == QUIL_SUCCESS) {
                EXPECT_EQ(library_keys(&doc, line.name), expected_keys(lines, line.name))
                    << line.name;
            }
        }
        QUIL_Ini_Free(&doc);
    }
}

TEST(IniCorpus, FindsValuesAfterContinuationsAndBeforeInlineComments) {
    const std::tuple<const char *, const char *, const char *, const char *> cases[] = {
        {"qhelloworld_uiq3_emu.ini", "fpc", "RTLUnitsDir",
         "C:\\Programas\\fpc21\\rtl\\units\\i386-symbian"},
        {"supervisord.conf", "unix_http_server", "file", "/var/run/supervisor.sock"},
        {"inih-test.ini", "protocol", "version", "6"},
        {"nasty-bom-xdg-user-dirs.desktop", "desktop entry", "exec", "xdg-user-dirs-update"},
    };
    for (const auto &[file, section, key, expected] : cases) {
        IniFile doc{};
        ASSERT_EQ(QUIL_Ini_Load(wextest::data_path(std::string("ini/") + file).c_str(), &doc),
                  QUIL_SUCCESS);
        char *value = nullptr;
        EXPECT_EQ(QUIL_Ini_GetValue(&doc, section, key, &value), QUIL_SUCCESS) << file;
        EXPECT_STREQ(value, expected) << file;
        QUIL_MemFreeD(value, __LINE__, "test");
        QUIL_Ini_Free(&doc);
    }
}

} // namespace
