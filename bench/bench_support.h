// Helpers shared by the benchmark programs: a scratch file and a few counters.
#ifndef WEX_BENCH_SUPPORT_H
#define WEX_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace wex::bench {

// A path in the temporary directory, holding bytes, removed when the object goes.
class BenchFile {
  public:
    explicit BenchFile(const std::string &bytes) {
        const char *dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr ? dir : "/tmp") + "/wex_bench_XXXXXX";
        int fd = mkstemp(path_.data());
        if (fd < 0) {
            fail("cannot create");
        }
        close(fd);
        rewrite(bytes);
    }
    ~BenchFile() { std::remove(path_.c_str()); }
    BenchFile(const BenchFile &) = delete;
    BenchFile &operator=(const BenchFile &) = delete;

    const char *path() const { return path_.c_str(); }

    void rewrite(const std::string &bytes) const {
        std::FILE *file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
            std::fclose(file) != 0) {
            fail("cannot write");
        }
    }

  private:
    [[noreturn]] void fail(const char *what) const {
        std::fprintf(stderr, "%s %s\n", what, path_.c_str());
        std::abort();
    }

    std::string path_;
};

// Reports the time per operation when one iteration does count operations.
inline void set_per_operation(benchmark::State &state, double count) {
    state.counters["per_op"] = benchmark::Counter(
        count, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace wex::bench

#endif
