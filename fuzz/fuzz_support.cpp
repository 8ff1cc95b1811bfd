#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "wex_os_adapter.h"

namespace wexfuzz {

void fail(const char *what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

void check_code(uint32_t code, std::initializer_list<uint32_t> documented, const char *operation) {
    for (uint32_t allowed : documented) {
        if (code == allowed) {
            return;
        }
    }
    std::fprintf(stderr, "%s returned the undocumented code %u\n", operation, code);
    std::abort();
}

LiveBlockCheck::LiveBlockCheck() : liveAtStart_(QUIL_Adapter_LiveBlocks()) {}

LiveBlockCheck::~LiveBlockCheck() {
    check(QUIL_Adapter_LiveBlocks() == liveAtStart_, "every block is given back");
}

ExactText::ExactText(const uint8_t *bytes, size_t size) : text_(new char[size + 1]) {
    if (size > 0) {
        std::memcpy(text_.get(), bytes, size);
    }
    text_[size] = '\0';
}

const std::string &scratch_directory() {
    static const std::string directory = [] {
        // A memory file system where there is one: saving syncs every file it writes.
        std::error_code ignored;
        std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                         ? std::filesystem::path("/dev/shm")
                                         : std::filesystem::temp_directory_path();
        std::random_device random;
        std::filesystem::path made;
        for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
            std::filesystem::path candidate = base / ("wex_fuzz_" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ignored)) {
                made = candidate;
            }
        }
        check(!made.empty(), "a scratch directory can be made");
        static std::string removeAtExit;
        removeAtExit = made.string();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return removeAtExit;
    }();
    return directory;
}

} // namespace wexfuzz
