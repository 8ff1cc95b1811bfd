// Address texts beside inet_pton: a thousand IPv4 and a thousand IPv6 addresses, each parsed by
// both, all of them valid for both.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "wex_ipaddr.h"
#include "wex_result_codes.h"

namespace {

using wex::bench::set_per_operation;

constexpr uint32_t kAddresses = 1000;

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value & 0xFFFF);
    return text;
}

// Dotted quads with one to three digits per part.
std::vector<std::string> v4_texts() {
    std::vector<std::string> texts;
    uint32_t x = 12345;
    for (uint32_t i = 0; i < kAddresses; ++i) {
        std::string text;
        for (int part = 0; part < 4; ++part) {
            x = x * 1103515245u + 12345u;
            text += (part > 0 ? "." : "") + std::to_string((x >> 16) % 256);
        }
        texts.push_back(text);
    }
    return texts;
}

// Full eight-group forms, forms with "::" and forms with a dotted tail, in turn.
std::vector<std::string> v6_texts() {
    std::vector<std::string> texts;
    uint32_t x = 54321;
    auto next = [&x] {
        x = x * 1103515245u + 12345u;
        return x >> 8;
    };
    for (uint32_t i = 0; i < kAddresses; ++i) {
        std::string text;
        switch (i % 3) {
        case 0:
            for (int group = 0; group < 8; ++group) {
                text += (group > 0 ? ":" : "") + hex(next());
            }
            break;
        case 1:
            text = "2001:db8:" + hex(next()) + "::" + hex(next()) + ":" + hex(next());
            break;
        default:
            // The tail's first part has two or three digits, as the parser requires.
            text = "::ffff:" + std::to_string(10 + next() % 246) + "." +
                   std::to_string(next() % 256) + ".1" + std::to_string(next() % 10) + "." +
                   std::to_string(next() % 256);
            break;
        }
        texts.push_back(text);
    }
    return texts;
}

// Both parsers accept every text and agree on the bytes (ours keeps IPv4 parts in reverse order).
void check_agreement(const std::vector<std::string> &texts, int family) {
    for (const std::string &text : texts) {
        uint8_t ours[16] = {};
        uint8_t theirs[16] = {};
        uint16_t port = 0;
        bool v4 = family == AF_INET;
        uint32_t result = v4 ? QUIL_IpAddr_ParseV4(text.c_str(), ours, &port)
                             : QUIL_IpAddr_ParseV6(text.c_str(), ours, &port);
        if (v4) {
            std::reverse(ours, ours + 4);
        }
        if (result != QUIL_SUCCESS || inet_pton(family, text.c_str(), theirs) != 1 ||
            std::memcmp(ours, theirs, v4 ? 4 : 16) != 0) {
            std::fprintf(stderr, "parsers disagree on %s\n", text.c_str());
            std::abort();
        }
    }
}

template <typename Parse>
void run(benchmark::State &state, const std::vector<std::string> &texts, Parse parse) {
    for (auto _ : state) {
        for (const std::string &text : texts) {
            uint8_t address[16];
            benchmark::DoNotOptimize(parse(text.c_str(), address));
            benchmark::ClobberMemory();
        }
    }
    set_per_operation(state, kAddresses);
}

void BM_IpV4_Ours(benchmark::State &state) {
    run(state, v4_texts(), [](const char *text, uint8_t *address) {
        uint16_t port = 0;
        return QUIL_IpAddr_ParseV4(text, address, &port);
    });
}
void BM_IpV4_InetPton(benchmark::State &state) {
    run(state, v4_texts(),
        [](const char *text, uint8_t *address) { return inet_pton(AF_INET, text, address); });
}
void BM_IpV6_Ours(benchmark::State &state) {
    run(state, v6_texts(), [](const char *text, uint8_t *address) {
        uint16_t port = 0;
        return QUIL_IpAddr_ParseV6(text, address, &port);
    });
}
void BM_IpV6_InetPton(benchmark::State &state) {
    run(state, v6_texts(),
        [](const char *text, uint8_t *address) { return inet_pton(AF_INET6, text, address); });
}

BENCHMARK(BM_IpV4_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IpV4_InetPton)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IpV6_Ours)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IpV6_InetPton)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
    check_agreement(v4_texts(), AF_INET);
    check_agreement(v6_texts(), AF_INET6);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
