// Real configuration files: each loads (or fails with its documented code), keeps its bytes, and
// lists the sections and keys that a plain line-by-line reading written here finds in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ini_read_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::ScopedIni;
using wextest::take_list;

namespace {

using Names = std::vector<std::string>;

// ---- An independent reading of a file ----

struct PhysicalLine {
    std::string text;
    std::string lineBreak; // "", "\r", "\n", "\r\n" or "\n\r"
};

std::vector<PhysicalLine> physical_lines(const std::string &bytes) {
    std::vector<PhysicalLine> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t brk = bytes.find_first_of("\r\n", pos);
        if (brk == std::string::npos) {
            lines.push_back({bytes.substr(pos), ""});
            break;
        }
        size_t breakLength = 1;
        if (brk + 1 < bytes.size() && (bytes[brk + 1] == '\r' || bytes[brk + 1] == '\n') &&
            bytes[brk + 1] != bytes[brk]) {
            breakLength = 2;
        }
        lines.push_back({bytes.substr(pos, brk - pos), bytes.substr(brk, breakLength)});
        pos = brk + breakLength;
    }
    return lines;
}

bool ends_in_odd_backslashes(const std::string &text) {
    size_t run = 0;
    while (run < text.size() && text[text.size() - 1 - run] == '\\') {
        ++run;
    }
    return run % 2 == 1;
}

struct LogicalLine {
    std::string text; // without its line break
    std::string stored;
    uint32_t physLines = 0;
};

// Joins physical lines that end in an odd run of backslashes to the next one.
std::vector<LogicalLine> logical_lines(const std::string &bytes) {
    std::vector<LogicalLine> lines;
    LogicalLine current;
    for (const PhysicalLine &line : physical_lines(bytes)) {
        current.physLines++;
        if (ends_in_odd_backslashes(line.text)) {
            current.text += line.text.substr(0, line.text.size() - 1);
            if (!line.lineBreak.empty()) {
                continue;
            }
            if (current.text.empty()) {
                break; // a lone backslash at the end of the file
            }
        } else {
            current.text += line.text;
        }
        current.stored = current.text + (line.lineBreak.empty() ? "\r" : line.lineBreak);
        lines.push_back(current);
        current = LogicalLine{};
    }
    if (!current.text.empty()) {
        current.stored = current.text + "\r";
        lines.push_back(current);
    }
    return lines;
}

std::string trimmed(const std::string &text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string folded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One line as the test reads it: a header with its name, a key line with its key, or neither;
// code is the failure a walk passing the line must report.
struct ReadLine {
    enum Kind { kOther, kHeader, kKey } kind = kOther;
    std::string name;
    std::string rest; // after the "=" of a key line
    uint32_t code = QUIL_SUCCESS;
};

ReadLine read_header(const std::string &text) {
    ReadLine line{ReadLine::kHeader, "", "", QUIL_SUCCESS};
    size_t open = text.find('[');
    size_t close = text.find(']');
    if (close == std::string::npos || close < open) {
        line.code = INI_BAD_SECTION;
        return line;
    }
    line.name = trimmed(text.substr(open + 1, close - open - 1));
    if (line.name.empty()) {
        line.code = INI_BAD_SECTION;
    } else if (!trimmed(text.substr(close + 1)).empty() &&
               text.find(" ;", close) == std::string::npos) {
        line.code = INI_BAD_LINE;
    }
    return line;
}

ReadLine read_line(std::string text, bool first) {
    if (first && text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos || text[start] == ';' || text[start] == '#') {
        return {};
    }
    if (text[start] == '[') {
        return read_header(text);
    }
    size_t eq = text.find('=');
    if (eq == std::string::npos) {
        return {ReadLine::kOther, "", "", INI_BAD_LINE};
    }
    std::string key = trimmed(text.substr(0, eq));
    return {ReadLine::kKey, key, text.substr(eq + 1), key.empty() ? INI_BAD_KEY : QUIL_SUCCESS};
}

std::vector<ReadLine> read_all(const std::vector<LogicalLine> &logical) {
    std::vector<ReadLine> lines;
    for (const LogicalLine &line : logical) {
        lines.push_back(read_line(line.text, lines.empty()));
    }
    return lines;
}

struct ExpectedList {
    uint32_t code = QUIL_SUCCESS;
    Names names;
};

ExpectedList expected_sections(const std::vector<ReadLine> &lines) {
    ExpectedList list;
    for (const ReadLine &line : lines) {
        if (line.kind == ReadLine::kKey) {
            continue; // key lines are not cut by this walk
        }
        if (line.code != QUIL_SUCCESS) {
            return {line.code, {}};
        }
        if (line.kind == ReadLine::kHeader) {
            list.names.push_back(line.name);
        }
    }
    return list.names.empty() ? ExpectedList{INI_NO_SECTION, {}} : list;
}

// The keys of the last header named name: a walk back to it, then forward to the next header.
ExpectedList expected_keys(const std::vector<ReadLine> &lines, const std::string &name) {
    size_t header = lines.size();
    while (header-- > 0) {
        const ReadLine &line = lines[header];
        if (line.kind != ReadLine::kKey && line.code != QUIL_SUCCESS) {
            return {line.code, {}};
        }
        if (line.kind == ReadLine::kHeader && folded(line.name) == folded(name)) {
            break;
        }
    }
    ExpectedList list;
    for (size_t i = header + 1; i < lines.size() && lines[i].kind != ReadLine::kHeader; ++i) {
        if (lines[i].code != QUIL_SUCCESS) {
            return {lines[i].code, {}};
        }
        if (lines[i].kind == ReadLine::kKey) {
            list.names.push_back(lines[i].name);
        }
    }
    return list.names.empty() ? ExpectedList{INI_NO_KEY, {}} : list;
}

// ---- The library's reading ----

ExpectedList library_sections(IniFile *doc) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t code = QUIL_Ini_GetSections(doc, &count, &list);
    return {code, take_list(list)};
}

ExpectedList library_keys(IniFile *doc, const std::string &name) {
    uint32_t count = 0;
    char **list = nullptr;
    uint32_t code = QUIL_Ini_GetKeys(doc, name.c_str(), &count, &list);
    return {code, take_list(list)};
}

struct CorpusFile {
    const char *name;
    uint32_t loadResult;
};

const CorpusFile kCorpus[] = {
    {"50-client.cnf", QUIL_SUCCESS},
    {"dunstrc", QUIL_SUCCESS},
    {"fail2ban-firewallcmd-rich-rules.conf", QUIL_SUCCESS},
    {"fpc-dbase-Makefile.fpc", QUIL_SUCCESS},
    {"inih-test.ini", QUIL_SUCCESS},
    {"nasty-600-byte-line.conf", INI_LINE_TOO_LONG},
    {"nasty-bom-xdg-user-dirs.desktop", QUIL_SUCCESS},
    {"odbc.ini.template", QUIL_SUCCESS},
    {"odbcinst.ini.template", QUIL_SUCCESS},
    {"pdo.ini", QUIL_SUCCESS},
    {"pg_dump@.service", QUIL_SUCCESS},
    {"php.ini-development", QUIL_SUCCESS},
    {"qhelloworld_uiq3_emu.ini", QUIL_SUCCESS},
    {"supervisord.conf", QUIL_SUCCESS},
    {"vim.desktop", QUIL_SUCCESS},
};

std::string corpus_path(const CorpusFile &file) {
    return wextest::data_path(std::string("ini/") + file.name);
}

class Corpus : public testing::TestWithParam<CorpusFile> {};

// The files that load, each loaded into doc_.
class LoadedCorpus : public testing::TestWithParam<CorpusFile> {
  protected:
    void SetUp() override {
        ASSERT_EQ(QUIL_Ini_Load(corpus_path(GetParam()).c_str(), doc_.get()), QUIL_SUCCESS);
        bytes_ = wextest::read_file(corpus_path(GetParam()));
    }
    ScopedIni doc_;
    std::string bytes_;
};

std::vector<CorpusFile> loadable(const CorpusFile (&files)[15]) {
    std::vector<CorpusFile> loading;
    for (const CorpusFile &file : files) {
        if (file.loadResult == QUIL_SUCCESS) {
            loading.push_back(file);
        }
    }
    return loading;
}

TEST_P(Corpus, LoadsOrFailsWithItsDocumentedCode) {
    ScopedIni doc_;
    EXPECT_EQ(QUIL_Ini_Load(corpus_path(GetParam()).c_str(), doc_.get()), GetParam().loadResult);
    if (GetParam().loadResult != QUIL_SUCCESS) {
        EXPECT_TRUE(wextest::is_all_zero(doc_.doc));
    }
}

TEST_P(LoadedCorpus, KeepsEveryLogicalLineByteForByte) {
    std::vector<LogicalLine> expected = logical_lines(bytes_);
    ASSERT_EQ(doc_->lineCount, expected.size());
    uint32_t phys = 0;
    for (uint32_t i = 0; i < doc_->lineCount; ++i) {
        EXPECT_EQ(doc_->lines[i], expected[i].stored) << "line " << i + 1;
        phys += expected[i].physLines;
    }
    EXPECT_EQ(doc_->physLineCount, phys);
}

TEST_P(LoadedCorpus, ListsTheSectionsAndKeysOfALineByLineReading) {
    std::vector<ReadLine> lines = read_all(logical_lines(bytes_));
    ExpectedList sections = expected_sections(lines);
    ExpectedList listed = library_sections(doc_.get());
    EXPECT_EQ(listed.code, sections.code);
    EXPECT_EQ(listed.names, sections.names);
    for (const ReadLine &line : lines) {
        if (line.kind != ReadLine::kHeader || line.code != QUIL_SUCCESS) {
            continue;
        }
        ExpectedList keys = expected_keys(lines, line.name);
        ExpectedList keysListed = library_keys(doc_.get(), line.name);
        EXPECT_EQ(keysListed.code, keys.code) << "[" << line.name << "]";
        EXPECT_EQ(keysListed.names, keys.names) << "[" << line.name << "]";
    }
}

// Values without quotes or semicolons are the trimmed text after the "=".
TEST_P(LoadedCorpus, FindsThePlainValueOfEveryListedKey) {
    std::vector<ReadLine> lines = read_all(logical_lines(bytes_));
    std::map<std::string, std::map<std::string, std::string>> lastValues; // folded names
    std::string section;
    for (const ReadLine &line : lines) {
        if (line.kind == ReadLine::kHeader) {
            section = folded(line.name);
            lastValues[section].clear(); // the last header of a name counts
        } else if (line.kind == ReadLine::kKey && !section.empty()) {
            lastValues[section][folded(line.name)] = line.rest;
        }
    }
    for (const auto &[sectionName, values] : lastValues) {
        if (expected_keys(lines, sectionName).code != QUIL_SUCCESS) {
            continue;
        }
        for (const auto &[key, rest] : values) {
            char *value = nullptr;
            ASSERT_EQ(QUIL_Ini_GetValue(doc_.get(), sectionName.c_str(), key.c_str(), &value),
                      QUIL_SUCCESS)
                << "[" << sectionName << "] " << key;
            if (rest.find_first_of(";\"") == std::string::npos) {
                std::string plain = trimmed(rest);
                EXPECT_EQ(value != nullptr ? std::string(value) : std::string(), plain)
                    << "[" << sectionName << "] " << key;
            }
            QUIL_MemFreeD(value, __LINE__, "test");
        }
    }
}

std::string file_test_name(const testing::TestParamInfo<CorpusFile> &info) {
    std::string name;
    for (const char *p = info.param.name; *p != '\0'; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) != 0 ? *p : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(kCorpus), file_test_name);
INSTANTIATE_TEST_SUITE_P(Files, LoadedCorpus, testing::ValuesIn(loadable(kCorpus)), file_test_name);

TEST(CorpusFeatures, ABackslashBeforeAnEmptyLineJoinsItAway) {
    ScopedIni doc_;
    std::string path = wextest::data_path("ini/qhelloworld_uiq3_emu.ini");
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc_.get()), QUIL_SUCCESS);
    char *value = nullptr;
    ASSERT_EQ(QUIL_Ini_GetValue(doc_.get(), "fpc", "RTLUnitsDir", &value), QUIL_SUCCESS);
    EXPECT_STREQ(value, "C:\\Programas\\fpc21\\rtl\\units\\i386-symbian"); // the backslash is gone
    QUIL_MemFreeD(value, __LINE__, "test");
}

TEST(CorpusFeatures, TheByteOrderMarkFileHasItsSectionAndKeys) {
    ScopedIni doc_;
    std::string path = wextest::data_path("ini/nasty-bom-xdg-user-dirs.desktop");
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc_.get()), QUIL_SUCCESS);
    ExpectedList sections = library_sections(doc_.get());
    EXPECT_EQ(sections.names, (Names{"Desktop Entry"}));
    EXPECT_EQ(library_keys(doc_.get(), "Desktop Entry").names.size(), 8u);
}

TEST(CorpusFeatures, InlineCommentsAreCutAtSpaceSemicolon) {
    ScopedIni doc_;
    std::string path = wextest::data_path("ini/supervisord.conf");
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc_.get()), QUIL_SUCCESS);
    char *value = nullptr;
    ASSERT_EQ(QUIL_Ini_GetValue(doc_.get(), "unix_http_server", "file", &value), QUIL_SUCCESS);
    EXPECT_STREQ(value, "/var/run/supervisor.sock");
    QUIL_MemFreeD(value, __LINE__, "test");
}

} // namespace
