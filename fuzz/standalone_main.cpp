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
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kLargestEditCount = 8;
constexpr size_t kLargestInsertion = 16;

std::vector<Bytes> read_seeds(const char *directory) {
    std::vector<std::filesystem::path> paths;
    for (const auto &entry : std::filesystem::directory_iterator(directory)) {
        paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end()); // the same order on every system
    std::vector<Bytes> seeds;
    for (const auto &path : paths) {
        std::ifstream in(path, std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return seeds;
}

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
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + (input.empty() ? 1 : 0)]);
    std::copy(input.begin(), input.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), input.size());
}

Bytes derive(const std::vector<Bytes> &seeds, std::mt19937 &random) {
    auto below = [&random](size_t n) { return n == 0 ? 0 : random() % n; };
    Bytes input = seeds.empty() ? Bytes() : seeds[below(seeds.size())];
    for (int edits = 1 + static_cast<int>(below(kLargestEditCount)); edits > 0; --edits) {
        size_t at = below(input.size() + 1);
        switch (random() % 4) {
        case 0: // change one byte
            if (at < input.size()) {
                input[at] = static_cast<uint8_t>(random());
            }
            break;
        case 1: // insert random bytes
            for (size_t n = below(kLargestInsertion) + 1; n > 0; --n) {
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(at),
                             static_cast<uint8_t>(random()));
            }
            break;
        case 2: // cut the rest
            input.resize(at);
            break;
        default: { // append the tail of another seed
            const Bytes &other = seeds.empty() ? input : seeds[below(seeds.size())];
            Bytes tail(other.begin() + static_cast<std::ptrdiff_t>(below(other.size())),
                       other.end());
            input.insert(input.end(), tail.begin(), tail.end());
            break;
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
    std::vector<Bytes> seeds = read_seeds(argv[1]);
    for (const Bytes &seed : seeds) {
        run(seed);
    }
    long generated = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    std::mt19937 random(20261207);
    for (long i = 0; i < generated; ++i) {
        run(derive(seeds, random));
    }
    std::printf("%zu seeds and %ld derived inputs passed\n", seeds.size(), generated);
    return 0;
}
