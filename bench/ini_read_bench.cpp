// Reading INI documents: loading grows linearly with the file, and a value lookup costs a few
// nanoseconds per line it walks past.
//
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DWEX_BUILD_BENCHMARKS=ON
//   cmake --build build-bench -j2 --target ini_read_bench && build-bench/bench/ini_read_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

// A file in the temporary directory, removed when the benchmark binary ends.
class BenchFile {
  public:
    explicit BenchFile(const std::string &bytes) {
        const char *dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr ? dir : "/tmp") + "/wex_ini_bench_XXXXXX";
        int fd = mkstemp(path_.data());
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            std::fprintf(stderr, "cannot write %s\n", path_.c_str());
            std::abort();
        }
        close(fd);
    }
    ~BenchFile() { std::remove(path_.c_str()); }
    BenchFile(const BenchFile &) = delete;
    BenchFile &operator=(const BenchFile &) = delete;
    const char *path() const { return path_.c_str(); }

  private:
    std::string path_;
};

// count short key lines under one header: "[s]\n" then "k0=0\n", "k1=1\n", ...
std::string short_lines(int64_t count) {
    std::string text = "[s]\n";
    for (int64_t i = 1; i < count; ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i % 1000) + "\n";
    }
    return text;
}

void BM_LoadShortLines(benchmark::State &state) {
    BenchFile file(short_lines(state.range(0)));
    for (auto _ : state) {
        IniFile doc{};
        if (QUIL_Ini_Load(file.path(), &doc) != QUIL_SUCCESS) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(doc.lines);
        state.PauseTiming(); // releasing is not loading
        QUIL_Ini_Free(&doc);
        state.ResumeTiming();
    }
    state.counters["lines"] = static_cast<double>(state.range(0));
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadShortLines)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// About 2 MB of sections of ten keys with comments between them; the lookup asks for the last
// key of the first section, so it walks every line back to that header, then the section.
std::string two_megabytes() {
    std::string text;
    for (int section = 0; text.size() < 2 * 1024 * 1024; ++section) {
        text += "[section" + std::to_string(section) + "] ;header comment\n";
        text += "; about this section\n";
        for (int key = 0; key < 10; ++key) {
            text += "  key" + std::to_string(key) + " = value " + std::to_string(key) + " ;note\n";
        }
        text += "\n";
    }
    return text;
}

void BM_GetValueWalk(benchmark::State &state) {
    BenchFile file(two_megabytes());
    IniFile doc{};
    if (QUIL_Ini_Load(file.path(), &doc) != QUIL_SUCCESS) {
        state.SkipWithError("load failed");
        return;
    }
    // Back from the last line to the header in slot 0, then the section's 12 lines.
    double scanned = static_cast<double>(doc.lineCount) + 12;
    for (auto _ : state) {
        char *value = nullptr;
        if (QUIL_Ini_GetValue(&doc, "SECTION0", "key9", &value) != QUIL_SUCCESS) {
            state.SkipWithError("lookup failed");
            break;
        }
        QUIL_MemFreeD(value, __LINE__, "bench");
    }
    state.counters["lines"] = static_cast<double>(doc.lineCount);
    state.counters["per_line"] = benchmark::Counter(
        scanned, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    QUIL_Ini_Free(&doc);
}
BENCHMARK(BM_GetValueWalk)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
