// Runs a fuzz target without libFuzzer, so that its checks run under ctest in every build: each
// seed of the corpus directory once, then a fixed number of inputs derived from the seeds by a
// generator with a fixed start (byte changes, insertions, cuts and splices), the same every run.
//
// Usage: <target> CORPUS_DIRECTORY [GENERATED_INPUTS]
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes *g_running = nullptr;

// Keeps the input that broke a property as failed-input in the working directory.
extern "C" void save_failed_input(int) {
    if (FILE *out = std::fopen("failed-input", "wb")) {
        std::fwrite(g_running->data(), 1, g_running->size(), out);
        std::fclose(out);
        std::fputs("the input is saved as failed-input\n", stderr);
    }
}

// The input in a block of exactly its size, so that AddressSanitizer reports a read past it.
void run(const Bytes &input) {
    g_running = &input;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + 1]);
    std::copy(input.begin(), input.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), input.size());
}

// One to eight edits of a seed.
Bytes derive(const std::vector<Bytes> &seeds, std::mt19937 &random) {
    auto below = [&random](size_t n) { return n == 0 ? 0 : random() % n; };
    Bytes input = seeds.empty() ? Bytes() : seeds[below(seeds.size())];
    for (size_t edits = 1 + below(8); edits > 0; --edits) {
        auto at = input.begin() + static_cast<std::ptrdiff_t>(below(input.size() + 1));
        switch (random() % 4) {
        case 0: // change one byte
            if (at != input.end()) {
                *at = static_cast<uint8_t>(random());
            }
            break;
        case 1: // insert up to 16 random bytes
            for (size_t n = below(16) + 1; n > 0; --n) {
                at = input.insert(at, static_cast<uint8_t>(random()));
            }
            break;
        case 2: // cut the rest
            input.erase(at, input.end());
            break;
        default: { // append the tail of another seed
            Bytes other = seeds.empty() ? input : seeds[below(seeds.size())];
            input.insert(input.end(),
                         other.begin() + static_cast<std::ptrdiff_t>(below(other.size())),
                         other.end());
        }
        }
    }
    return input;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY [GENERATED_INPUTS]\n", argv[0]);
        return 2;
    }
    std::signal(SIGABRT, save_failed_input);
    std::set<std::filesystem::path> paths; // the same order on every system
    for (const auto &entry : std::filesystem::directory_iterator(argv[1])) {
        paths.insert(entry.path());
    }
    std::vector<Bytes> seeds;
    for (const auto &path : paths) {
        std::ifstream in(path, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        run(seeds.back());
    }
    long generated = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    std::mt19937 random(20261207);
    for (long i = 0; i < generated; ++i) {
        run(derive(seeds, random));
    }
    std::printf("%zu seeds and %ld derived inputs passed\n", seeds.size(), generated);
    return 0;
}
