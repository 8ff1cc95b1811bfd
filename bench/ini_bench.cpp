// INI documents beside their peers on the same files: loading against inih's ini_parse (a
// callback that keeps nothing), loading with ten lookups against GLib's GKeyFile, saving a changed
// document against GKeyFile's save_to_file (both make the file durable and rename it into place),
// and the cost of a lookup per line it walks past. The files use only what all three read alike:
// "[name]" headers, "#" comment lines and "key = value ;note" lines.
#include <benchmark/benchmark.h>

#include <glib.h>
#include <ini.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "wex_ini.h"
#include "wex_os_adapter.h"
#include "wex_result_codes.h"

namespace {

using wex::bench::BenchFile;
using wex::bench::set_per_operation;

constexpr size_t kLarge = 2 * 1024 * 1024;
constexpr size_t kSmall = 4 * 1024;
constexpr int kKeysPerSection = 10;

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "%s failed\n", what);
    std::abort();
}

// Sections of ten keys, a comment line and an empty line each, to about size bytes.
std::string document(size_t size, const char *lineBreak) {
    std::string text;
    for (int section = 0; text.size() < size; ++section) {
        text += "[section" + std::to_string(section) + "]" + lineBreak;
        text += std::string("# about this section") + lineBreak;
        for (int key = 0; key < kKeysPerSection; ++key) {
            text += "  key" + std::to_string(key) + " = value " + std::to_string(key) + " ;note" +
                    lineBreak;
        }
        text += lineBreak;
    }
    return text;
}

size_t size_of(const benchmark::State &state) {
    return static_cast<size_t>(state.range(0));
}
const char *line_break_of(const benchmark::State &state) {
    return state.range(1) != 0 ? "\r\n" : "\n";
}

// ---- Loading ----

// Loads with the load options given (the default reading, or that of real files).
void load_ours(benchmark::State &state, uint32_t options) {
    std::string text = document(size_of(state), line_break_of(state));
    BenchFile file(text);
    for (auto _ : state) {
        IniFile doc{};
        if (QUIL_Ini_LoadWithOptions(file.path(), &doc, options) != QUIL_SUCCESS) {
            fail("QUIL_Ini_LoadWithOptions");
        }
        benchmark::DoNotOptimize(doc.lines);
        state.PauseTiming(); // releasing is not loading
        QUIL_Ini_Free(&doc);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_IniLoad_Ours(benchmark::State &state) {
    load_ours(state, 0);
}

void BM_IniLoadRealFiles_Ours(benchmark::State &state) {
    load_ours(state, INI_READ_REAL_FILES | INI_KEEP_LAYOUT);
}

void BM_IniLoad_Inih(benchmark::State &state) {
    std::string text = document(size_of(state), line_break_of(state));
    BenchFile file(text);
    auto keep_nothing = [](void *, const char *, const char *name, const char *) -> int {
        benchmark::DoNotOptimize(name);
        return 1;
    };
    for (auto _ : state) {
        if (ini_parse(file.path(), keep_nothing, nullptr) != 0) {
            fail("ini_parse");
        }
        // Stopping the clock costs about a microsecond, a tenth of a 4 KB load: ours stops it
        // to release its document, so this loop stops it as well, with nothing to do meanwhile.
        state.PauseTiming();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

#define WEX_LOAD_SIZES ->Args({kLarge, 0})->Args({kLarge, 1})->Args({kSmall, 0})->Args({kSmall, 1})
BENCHMARK(BM_IniLoad_Ours) WEX_LOAD_SIZES;
BENCHMARK(BM_IniLoadRealFiles_Ours) WEX_LOAD_SIZES;
BENCHMARK(BM_IniLoad_Inih) WEX_LOAD_SIZES;

// ---- Loading, ten lookups and closing a 4 KB document ----

struct Lookup {
    std::string section;
    std::string key;
};

// Ten keys spread over the document's sections and keys.
std::array<Lookup, 10> ten_lookups(int sections) {
    std::array<Lookup, 10> lookups;
    for (int i = 0; i < 10; ++i) {
        lookups[static_cast<size_t>(i)] = {"section" + std::to_string(i * sections / 10),
                                           "key" + std::to_string((i * 7) % kKeysPerSection)};
    }
    return lookups;
}

constexpr int kSmallSections = 14; // sections that document(kSmall, ...) holds

void BM_IniLoadLookupClose_Ours(benchmark::State &state) {
    BenchFile file(document(kSmall, "\n"));
    const auto lookups = ten_lookups(kSmallSections);
    for (auto _ : state) {
        IniFile doc{};
        if (QUIL_Ini_Load(file.path(), &doc) != QUIL_SUCCESS) {
            fail("QUIL_Ini_Load");
        }
        for (const Lookup &lookup : lookups) {
            char *value = nullptr;
            if (QUIL_Ini_GetValue(&doc, lookup.section.c_str(), lookup.key.c_str(), &value) !=
                QUIL_SUCCESS) {
                fail("QUIL_Ini_GetValue");
            }
            QUIL_MemFreeD(value, __LINE__, "bench");
        }
        QUIL_Ini_Close(file.path(), &doc);
    }
}

void BM_IniLoadLookupClose_GKeyFile(benchmark::State &state) {
    BenchFile file(document(kSmall, "\n"));
    const auto lookups = ten_lookups(kSmallSections);
    for (auto _ : state) {
        GKeyFile *keys = g_key_file_new();
        if (!g_key_file_load_from_file(keys, file.path(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
            fail("g_key_file_load_from_file");
        }
        for (const Lookup &lookup : lookups) {
            gchar *value =
                g_key_file_get_value(keys, lookup.section.c_str(), lookup.key.c_str(), nullptr);
            if (value == nullptr) {
                fail("g_key_file_get_value");
            }
            g_free(value);
        }
        g_key_file_free(keys);
    }
}

BENCHMARK(BM_IniLoadLookupClose_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IniLoadLookupClose_GKeyFile)->Unit(benchmark::kMicrosecond);

// ---- A lookup that walks the whole 2 MB document ----

// The lookup asks for the last key of the first section: it walks every line back to that header,
// then the section's lines.
void BM_IniGetValueWalk_Ours(benchmark::State &state) {
    BenchFile file(document(kLarge, "\n"));
    IniFile doc{};
    if (QUIL_Ini_Load(file.path(), &doc) != QUIL_SUCCESS) {
        fail("QUIL_Ini_Load");
    }
    constexpr double kSectionLines = 13; // header, comment, ten keys, empty line
    for (auto _ : state) {
        char *value = nullptr;
        if (QUIL_Ini_GetValue(&doc, "SECTION0", "key9", &value) != QUIL_SUCCESS) {
            fail("QUIL_Ini_GetValue");
        }
        QUIL_MemFreeD(value, __LINE__, "bench");
    }
    set_per_operation(state, static_cast<double>(doc.lineCount) + kSectionLines);
    QUIL_Ini_Free(&doc);
}
BENCHMARK(BM_IniGetValueWalk_Ours)->Unit(benchmark::kMicrosecond);

// ---- Saving a changed 2 MB document ----

void BM_IniSave_Ours(benchmark::State &state) {
    BenchFile file(document(kLarge, "\n"));
    for (auto _ : state) {
        state.PauseTiming();
        IniFile doc{};
        if (QUIL_Ini_Load(file.path(), &doc) != QUIL_SUCCESS ||
            QUIL_Ini_SetValue(&doc, "section7", "key3", "changed") != QUIL_SUCCESS) {
            fail("loading and changing");
        }
        state.ResumeTiming();
        if (QUIL_Ini_Close(file.path(), &doc) != QUIL_SUCCESS) {
            fail("QUIL_Ini_Close");
        }
    }
}

void BM_IniSave_GKeyFile(benchmark::State &state) {
    BenchFile file(document(kLarge, "\n"));
    for (auto _ : state) {
        state.PauseTiming();
        GKeyFile *keys = g_key_file_new();
        if (!g_key_file_load_from_file(keys, file.path(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
            fail("g_key_file_load_from_file");
        }
        g_key_file_set_value(keys, "section7", "key3", "changed");
        state.ResumeTiming();
        if (!g_key_file_save_to_file(keys, file.path(), nullptr)) {
            fail("g_key_file_save_to_file");
        }
        state.PauseTiming();
        g_key_file_free(keys);
        state.ResumeTiming();
    }
}

BENCHMARK(BM_IniSave_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniSave_GKeyFile)->Unit(benchmark::kMillisecond);

// ---- Many short lines: loading stays linear ----

void BM_IniLoadShortLines_Ours(benchmark::State &state) {
    std::string text = "[s]\n";
    for (int64_t i = 1; i < state.range(0); ++i) {
        text += "k" + std::to_string(i) + "=" + std::to_string(i % 1000) + "\n";
    }
    BenchFile file(text);
    for (auto _ : state) {
        IniFile doc{};
        if (QUIL_Ini_Load(file.path(), &doc) != QUIL_SUCCESS) {
            fail("QUIL_Ini_Load");
        }
        state.PauseTiming();
        QUIL_Ini_Free(&doc);
        state.ResumeTiming();
    }
    set_per_operation(state, static_cast<double>(state.range(0)));
}
BENCHMARK(BM_IniLoadShortLines_Ours)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
