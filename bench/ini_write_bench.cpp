// Writing INI documents: setting a value walks the lines once and reads one line back; closing
// writes every line through the backup file and flushes it to disk.
//
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DWEX_BUILD_BENCHMARKS=ON
//   cmake --build build-bench -j2 --target ini_write_bench && build-bench/bench/ini_write_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "wex_ini.h"
#include "wex_result_codes.h"

namespace {

// A document of about lines lines: sections of 20 key lines with a comment line each.
std::string document(int64_t lines) {
    std::string text;
    for (int64_t i = 0; i < lines; i += 21) {
        text += "[section" + std::to_string(i) + "]\n";
        for (int k = 0; k < 20; ++k) {
            text += "key" + std::to_string(k) + " = some value of a usual length ;note\n";
        }
    }
    return text;
}

std::string bench_path() {
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/wex_ini_write_bench.ini";
}

void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Replaces a key of the first section: the walk passes every line of the document.
void BM_SetValueWalkingEveryLine(benchmark::State &state) {
    std::string path = bench_path();
    write_text(path, document(state.range(0)));
    IniFile doc{};
    if (QUIL_Ini_Load(path.c_str(), &doc) != QUIL_SUCCESS) {
        state.SkipWithError("cannot load");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(QUIL_Ini_SetValue(&doc, "section0", "key19", "new value"));
    }
    state.counters["lines"] = static_cast<double>(doc.lineCount);
    state.counters["ns/line"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * doc.lineCount,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    QUIL_Ini_Free(&doc);
    std::remove(path.c_str());
}
BENCHMARK(BM_SetValueWalkingEveryLine)->Arg(10000)->Arg(100000);

// Loads, changes one value and closes: the whole save with its flush to disk.
void BM_LoadEditClose(benchmark::State &state) {
    std::string path = bench_path();
    std::string text = document(state.range(0));
    write_text(path, text);
    for (auto _ : state) {
        IniFile doc{};
        QUIL_Ini_Load(path.c_str(), &doc);
        QUIL_Ini_SetValue(&doc, "section0", "key0", state.iterations() % 2 ? "a" : "b");
        if (QUIL_Ini_Close(path.c_str(), &doc) != QUIL_SUCCESS) {
            state.SkipWithError("cannot save");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadEditClose)->Arg(1000)->Arg(40000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
