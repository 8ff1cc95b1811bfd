#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "wex_test_XXXXXX").string();
    char *made = mkdtemp(pattern.data());
    if (made == nullptr) {
        ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
    }
    path_ = pattern;
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
