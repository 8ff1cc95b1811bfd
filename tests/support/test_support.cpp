#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace wextest {

namespace {

constexpr int kNameAttempts = 100;

std::string random_suffix() {
    std::random_device random;
    std::ostringstream text;
    text << std::hex << random() << random();
    return text.str();
}

} // namespace

// Creating a directory fails when the name exists, so a name taken by another run only costs
// another try. Only the owner may enter it, as with mkdtemp.
TempDir::TempDir() {
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        fs::path candidate = base / ("wex_test_" + random_suffix());
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            fs::permissions(candidate, fs::perms::owner_all, error);
            path_ = candidate.string();
            return;
        }
        if (error) {
            break;
        }
    }
    ADD_FAILURE() << "cannot create a temporary directory in " << base.string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string data_path(const std::string &relative) {
    return std::string(WEX_TEST_DATA_DIR) + "/" + relative;
}

namespace {

int hex_digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c - 'A' + 10;
}

std::string unescape(const std::string &text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            bytes += c;
            continue;
        }
        c = text[++i];
        if (c == 'x' && i + 2 < text.size()) {
            bytes += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
            i += 2;
        } else {
            bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
        }
    }
    return bytes;
}

} // namespace

std::string Case::get(const std::string &name, const std::string &fallback) const {
    for (const auto &[field, value] : fields) {
        if (field == name) {
            return value;
        }
    }
    return fallback;
}

bool Case::has(const std::string &name) const {
    for (const auto &field : fields) {
        if (field.first == name) {
            return true;
        }
    }
    return false;
}

std::vector<Case> read_cases(const std::string &relative) {
    std::istringstream lines(read_file(data_path(relative)));
    std::vector<Case> cases(1);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        size_t colon = line.find(": ");
        if (colon == std::string::npos && !line.empty() && line.back() == ':') {
            colon = line.size() - 1; // an empty value
            line += ' ';
        }
        if (line.empty() || line[0] == '#' || colon == std::string::npos) {
            if (line.empty() && !cases.back().fields.empty()) {
                cases.emplace_back();
            }
            continue;
        }
        if (cases.back().fields.empty()) {
            cases.back().where = relative + ":" + std::to_string(number);
        }
        cases.back().fields.emplace_back(line.substr(0, colon), unescape(line.substr(colon + 2)));
    }
    if (cases.back().fields.empty()) {
        cases.pop_back();
    }
    return cases;
}

std::vector<Row> read_rows(const std::string &relative, const std::string &kind) {
    std::istringstream lines(read_file(data_path(relative)));
    std::vector<Row> rows;
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        Row row{relative + ":" + std::to_string(++number), {}};
        std::istringstream fields(line.rfind('#', 0) == 0 ? "" : line);
        for (std::string field; fields >> std::ws && fields.peek() != EOF;) {
            bool quoted = fields.peek() == '"';
            fields >> std::quoted(field, '"', '\0'); // no escapes of its own: unescape reads them
            row.fields.push_back(quoted ? unescape(field) : field);
        }
        if (!row.fields.empty() && (kind.empty() || row.fields[0] == kind)) {
            rows.push_back(std::move(row));
        }
    }
    EXPECT_FALSE(rows.empty()) << relative << " holds no rows " << kind;
    return rows;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        ADD_FAILURE() << "cannot write " << path;
    }
}

bool file_exists(const std::string &path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

} // namespace wextest
