#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace wextest {

uint32_t hash_u32_key(const void *key, uint32_t *value) {
    std::memcpy(value, key, sizeof *value);
    return 0;
}

uint32_t compare_u32_key(const void *key, const void *stored) {
    return std::memcmp(key, stored, sizeof(uint32_t)) == 0 ? 0 : 1;
}

void release_key_copy(void *copy) {
    QUIL_MemFreeD(copy, __LINE__, "tests/support/test_support");
}

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
