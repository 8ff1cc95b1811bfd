// Checksums beside their peers on the same bytes: CRC-16 (0x1021, most significant bit first)
// against Boost.CRC's table engine and ISA-L's folding crc16_t10dif (same shape, other
// polynomial); CRC-32 (reflected) against zlib and ISA-L's crc32_gzip_refl; MD5 against OpenSSL.
// Sizes: 64 B, 4 KiB, 1 MiB.
#define OPENSSL_SUPPRESS_DEPRECATED // the one-shot MD5 is OpenSSL's fastest path
#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <isa-l/crc.h>
#include <openssl/md5.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "wex_crc.h"
#include "wex_md5.h"

namespace {

constexpr uint32_t kLargest = 1u << 20;

const std::vector<uint8_t> &bytes() {
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> v(kLargest);
        uint32_t x = 2463534242u;
        for (auto &b : v) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = static_cast<uint8_t>(x);
        }
        return v;
    }();
    return data;
}

uint32_t size_of(const benchmark::State &state) {
    return static_cast<uint32_t>(state.range(0));
}

// checksum is a lambda for every contender, so that each call is direct.
template <typename Checksum> void run(benchmark::State &state, Checksum checksum) {
    const uint8_t *data = bytes().data();
    uint32_t size = size_of(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(checksum(data, size));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

[[noreturn]] void disagree(const char *what) {
    std::fprintf(stderr, "%s: results differ\n", what);
    std::abort();
}

uint16_t ours_crc16(const uint8_t *data, uint32_t size) {
    uint16_t crc = 0;
    QUIL_CRC_16(data, size, &crc);
    return crc;
}

uint32_t ours_crc32(const uint8_t *data, uint32_t size) {
    uint32_t crc = 0;
    QUIL_CRC_32(data, size, &crc);
    return crc;
}

using BoostCrc16 = boost::crc_optimal<16, 0x1021, 0, 0, false, false>;

uint16_t boost_crc16(const uint8_t *data, uint32_t size) {
    BoostCrc16 crc;
    crc.process_bytes(data, size);
    return crc.checksum();
}

std::array<uint8_t, 16> ours_md5(const uint8_t *data, uint32_t size) {
    std::array<uint8_t, 16> digest{};
    MD5Context ctx;
    QUIL_MD5_Init(&ctx);
    QUIL_MD5_Update(&ctx, data, size);
    QUIL_MD5_Final(digest.data(), &ctx);
    return digest;
}

std::array<uint8_t, 16> openssl_md5(const uint8_t *data, uint32_t size) {
    std::array<uint8_t, 16> digest{};
    MD5(data, size, digest.data());
    return digest;
}

// The peers compute the same values where they compute the same function: the benchmarks
// compare like with like.
void check_agreement() {
    const uint8_t *data = bytes().data();
    if (ours_crc16(data, kLargest) != boost_crc16(data, kLargest)) {
        disagree("CRC-16 and Boost.CRC");
    }
    uint32_t inverted = 0;
    QUIL_CRC_Accumulate_32(0xFFFFFFFFu, data, kLargest, &inverted);
    if ((inverted ^ 0xFFFFFFFFu) != crc32(0, data, kLargest)) {
        disagree("CRC-32 and zlib");
    }
    if (ours_md5(data, kLargest) != openssl_md5(data, kLargest)) {
        disagree("MD5 and OpenSSL");
    }
}

void BM_Crc16_Ours(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return ours_crc16(data, size); });
}
void BM_Crc16_IsaL(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return crc16_t10dif(0, data, size); });
}
void BM_Crc16_Boost(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return boost_crc16(data, size); });
}
void BM_Crc32_Ours(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return ours_crc32(data, size); });
}
void BM_Crc32_IsaL(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return crc32_gzip_refl(0, data, size); });
}
void BM_Crc32_Zlib(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return crc32(0, data, size); });
}
void BM_Md5_Ours(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return ours_md5(data, size); });
}
void BM_Md5_OpenSsl(benchmark::State &state) {
    run(state, [](const uint8_t *data, uint32_t size) { return openssl_md5(data, size); });
}

#define WEX_SIZES ->Arg(64)->Arg(4096)->Arg(kLargest)
BENCHMARK(BM_Crc16_Ours) WEX_SIZES;
BENCHMARK(BM_Crc16_IsaL) WEX_SIZES;
BENCHMARK(BM_Crc16_Boost) WEX_SIZES;
BENCHMARK(BM_Crc32_Ours) WEX_SIZES;
BENCHMARK(BM_Crc32_IsaL) WEX_SIZES;
BENCHMARK(BM_Crc32_Zlib) WEX_SIZES;
BENCHMARK(BM_Md5_Ours)->Arg(64)->Arg(kLargest);
BENCHMARK(BM_Md5_OpenSsl)->Arg(64)->Arg(kLargest);

} // namespace

int main(int argc, char **argv) {
    check_agreement();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
