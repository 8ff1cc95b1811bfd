// Round trips: documents built from the real files and from generated lines are edited at random,
// saved and loaded again; every line not edited comes back byte for byte, every value set reads
// back and every removed key is gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ini_write_support.h"
#include "test_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

using wextest::lines_of;
using wextest::ScopedIni;
using wextest::TempDir;

namespace {

namespace fs = std::filesystem;
using wextest::joined;
using wextest::Lines;

constexpr const char *kUnit = "tests/ini_write_roundtrip_test";

std::vector<fs::path> corpus_files() {
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(wextest::data_path("ini"))) {
        if (entry.path().filename() != "MANIFEST.md") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The non-null lines of a document, in order.
Lines present_lines(const IniFile &doc) {
    Lines lines;
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        if (doc.lines[i] != nullptr) {
            lines.emplace_back(doc.lines[i]);
        }
    }
    return lines;
}

// The lines as a save writes them, and as a generated document must be built to read back as
// built: a one-byte break that the reader would pair with the first byte of the next line
// (LF CR, CR LF) becomes that byte.
Lines as_saved(Lines lines) {
    auto is_break = [](char c) { return c == '\r' || c == '\n'; };
    for (size_t i = lines.size(); i-- > 1;) {
        std::string &line = lines[i - 1];
        char next = lines[i][0];
        bool single =
            is_break(line.back()) && (line.size() == 1 || !is_break(line[line.size() - 2]));
        if (single && is_break(next) && next != line.back()) {
            line.back() = next;
        }
    }
    return lines;
}

// The value GetValue gives, or nothing when it fails.
std::optional<std::string> value_of(IniFile *doc, const std::string &section,
                                    const std::string &key) {
    char *value = nullptr;
    if (QUIL_Ini_GetValue(doc, section.c_str(), key.c_str(), &value) != QUIL_SUCCESS) {
        return std::nullopt;
    }
    std::string text = value != nullptr ? value : "";
    QUIL_MemFreeD(value, __LINE__, kUnit);
    return text;
}

// The value as the grammar reads it back: without blanks before it and white after it.
std::string trimmed(const std::string &value) {
    size_t begin = value.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return "";
    }
    size_t end = value.find_last_not_of(" \t\r\n");
    return value.substr(begin, end - begin + 1);
}

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// ---- Generated documents ----

class Generator {
  public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool chance(int percent) { return below(100) < static_cast<size_t>(percent); }

    // Bytes without line breaks, with backslashes and bytes of 0x80 or more crowding round the
    // places where a saved line is cut (every 78 bytes or so from its start).
    std::string payload(size_t length, size_t lineOffset) {
        static const std::string plain = "abcXYZ019 ,=#[]\"'\t;\\";
        static const std::string nearCut = "\\\\\xC3\xA9\x80\xFF";
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            size_t column = (lineOffset + i) % 78;
            bool cutNear = column >= 75 || column <= 2;
            const std::string &from = cutNear && chance(70) ? nearCut : plain;
            text += from[below(from.size())];
        }
        return text;
    }

    // A value to set: mostly sound, sometimes one that cannot read back.
    std::string value() {
        size_t length = chance(10) ? 80 + below(400) : below(24);
        std::string text = payload(length, 0);
        if (chance(5)) {
            text.insert(below(text.size() + 1), chance(50) ? "\n" : "\r");
        }
        return text;
    }

    std::string break_bytes() {
        static const char *const breaks[] = {"\n", "\r\n", "\r", "\n\r"};
        return breaks[below(4)];
    }

    std::string section() { return "Sec" + std::to_string(below(4)); }
    std::string key() { return "key" + std::to_string(below(6)); }

    // One generated line with its break; long ones hold 80 to 511 bytes.
    std::string line() {
        size_t kind = below(10);
        std::string head = kind < 2 ? "[" + section() + "]" : kind < 7 ? key() + "=" : ";";
        if (kind < 2) {
            return head + break_bytes();
        }
        if (kind == 9) {
            return break_bytes();
        }
        std::string brk = break_bytes();
        size_t total = chance(30) ? 80 + below(432) : head.size() + below(40) + brk.size();
        std::string text = head + payload(total - head.size() - brk.size(), head.size());
        return without_odd_backslash_end(text) + brk;
    }

    std::mt19937 &rng() { return rng_; }

  private:
    // A line ending in an odd run of backslashes would join the next one when loaded.
    static std::string without_odd_backslash_end(std::string text) {
        size_t run = 0;
        while (run < text.size() && text[text.size() - 1 - run] == '\\') {
            ++run;
        }
        if (run % 2 == 1) {
            text.back() = 'x';
        }
        return text;
    }

    std::mt19937 rng_;
};

class RoundTrip : public testing::TestWithParam<uint32_t> {
  protected:
    static void SetUpTestSuite() {
        for (const fs::path &file : corpus_files()) {
            ScopedIni doc;
            if (QUIL_Ini_Load(file.u8string().c_str(), doc.get()) == QUIL_SUCCESS) {
                corpus_.push_back(lines_of(doc.doc));
            }
        }
    }

    // A document of a slice of a real file and generated lines, mixed.
    Lines document(Generator *gen) {
        const Lines &file = corpus_[gen->below(corpus_.size())];
        size_t start = gen->below(file.size());
        size_t count = std::min(file.size() - start, 10 + gen->below(60));
        Lines lines(file.begin() + static_cast<std::ptrdiff_t>(start),
                    file.begin() + static_cast<std::ptrdiff_t>(start + count));
        size_t generated = 5 + gen->below(40);
        for (size_t i = 0; i < generated; ++i) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(gen->below(lines.size() + 1)),
                         gen->line());
        }
        return as_saved(lines);
    }

    static std::vector<Lines> corpus_;
};

std::vector<Lines> RoundTrip::corpus_;

// What the document must give after the edits: a value, or no value at all.
using Expectations = std::map<std::pair<std::string, std::string>,
                              std::pair<std::string, std::optional<std::string>>>;

// The slots and flag of a document, to show that a failed operation changed nothing.
struct Snapshot {
    std::vector<char *> slots;
    uint32_t modified;

    explicit Snapshot(const IniFile &doc)
        : slots(doc.lines, doc.lines + doc.lineCount), modified(doc.modified) {}
    bool operator==(const Snapshot &other) const {
        return slots == other.slots && modified == other.modified;
    }
};

// Drops the loaded lines that are no longer in the document: their blocks may be reused.
void keep_present(std::map<const char *, std::string> *untouched, const IniFile &doc) {
    std::map<const char *, std::string> present;
    for (uint32_t i = 0; i < doc.lineCount; ++i) {
        auto it = untouched->find(doc.lines[i]);
        if (it != untouched->end()) {
            present.insert(*it);
        }
    }
    untouched->swap(present);
}

void forget_section(Expectations *expect, const std::string &section) {
    for (auto &[names, wanted] : *expect) {
        if (names.first == lower(section)) {
            wanted.second = std::nullopt;
        }
    }
}

TEST_P(RoundTrip, EditedDocumentsComeBackAsTheyWereLeft) {
    Generator gen(GetParam());
    TempDir dir;
    std::string path = dir.file("doc.ini");
    Lines original = document(&gen);
    wextest::write_file(path, joined(original));

    ScopedIni doc;
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), doc.get()), QUIL_SUCCESS);
    ASSERT_EQ(lines_of(doc.doc), original) << "the generated document must load as built";
    std::map<const char *, std::string> untouched;
    for (uint32_t i = 0; i < doc->lineCount; ++i) {
        untouched[doc->lines[i]] = doc->lines[i];
    }

    Expectations expect;
    for (int op = 0; op < 30; ++op) {
        std::string section = gen.section();
        std::string key = gen.key();
        Snapshot before(doc.doc);
        size_t which = gen.below(10);
        uint32_t result;
        if (which < 7) {
            std::string value = gen.value();
            result = QUIL_Ini_SetValue(doc.get(), section.c_str(), key.c_str(), value.c_str());
            if (result == QUIL_SUCCESS) {
                expect[{lower(section), lower(key)}] = {section, trimmed(value)};
                EXPECT_EQ(value_of(doc.get(), section, key), trimmed(value));
            }
        } else if (which < 9) {
            result = QUIL_Ini_DeleteKey(doc.get(), section.c_str(), key.c_str());
            if (result == QUIL_SUCCESS) {
                expect[{lower(section), lower(key)}] = {section, std::nullopt};
            }
        } else {
            result = QUIL_Ini_DeleteSection(doc.get(), section.c_str());
            if (result == QUIL_SUCCESS) {
                forget_section(&expect, section);
            }
        }
        if (result != QUIL_SUCCESS) {
            EXPECT_TRUE(Snapshot(doc.doc) == before) << "operation " << op << " code " << result;
        }
        keep_present(&untouched, doc.doc);
    }

    Lines edited = present_lines(doc.doc);
    for (const auto &[text, loaded] : untouched) {
        EXPECT_EQ(std::string(text), loaded) << "a line that was not edited changed";
    }
    uint32_t modified = doc->modified;
    ASSERT_EQ(QUIL_Ini_Close(path.c_str(), doc.get()), QUIL_SUCCESS);
    if (modified == 0) {
        EXPECT_EQ(wextest::read_file(path), joined(original));
    }

    ScopedIni again;
    ASSERT_EQ(QUIL_Ini_Load(path.c_str(), again.get()), QUIL_SUCCESS);
    EXPECT_EQ(present_lines(again.doc), as_saved(edited));
    for (const auto &[names, wanted] : expect) {
        const auto &[section, value] = wanted;
        std::optional<std::string> found = value_of(again.get(), section, names.second);
        if (value.has_value()) {
            EXPECT_EQ(found, value) << section << "/" << names.second;
        } else {
            EXPECT_FALSE(found.has_value()) << section << "/" << names.second;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(IniWrite, RoundTrip, testing::Range(1u, 61u));

} // namespace
