// CRC-16 (0x1021, most significant bit first) and CRC-32 (reflected 0xEDB88320), neither inverted.
//
// The byte-at-a-time loops are the reference: one table lookup, one shift and one XOR per byte.
// Beside them stand slicing-by-8 (eight bytes per step through eight tables, for any processor)
// and carry-less multiplication folding (crc_clmul.cpp) for x86 processors that have it. All
// tables are generated at compile time from the polynomials; the engine is chosen once per
// process from what the processor reports, never from how the library was compiled.
#include <array>
#include <atomic>
#include <iterator>
#include <cstring>

#include "checksum/source/crc_internal.h"
#include "wex_crc.h"
#include "wex_result_codes.h"

namespace wex::crc {

namespace {

constexpr uint16_t kCrc16Polynomial = 0x1021;
constexpr uint32_t kCrc32Polynomial = 0xEDB88320; // 0x04C11DB7 bit-reversed
constexpr size_t kSlices = 8;

// Entry i: i in the top byte of a 16-bit word, shifted left eight times through the polynomial.
constexpr std::array<uint16_t, 256> make_crc16_table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 0x8000) != 0 ? (r << 1) ^ kCrc16Polynomial : r << 1;
        }
        table[i] = static_cast<uint16_t>(r);
    }
    return table;
}

// Entry i: i shifted right eight times through the reflected polynomial.
constexpr std::array<uint32_t, 256> make_crc32_table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r & 1) != 0 ? (r >> 1) ^ kCrc32Polynomial : r >> 1;
        }
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = make_crc16_table();
constexpr std::array<uint32_t, 256> kCrc32Table = make_crc32_table();

static_assert(kCrc16Table[1] == 0x1021 && kCrc16Table[3] == 0x3063 && kCrc16Table[255] == 0x1EF0);
static_assert(kCrc32Table[1] == 0x77073096 && kCrc32Table[3] == 0x990951BA &&
              kCrc32Table[255] == 0x2D02EF8D);

// Slice k, entry i: the CRC of byte i followed by k zero bytes. Slice 0 is the byte table.
template <typename T, typename Step>
constexpr std::array<std::array<T, 256>, kSlices> make_slices(const std::array<T, 256> &table,
                                                              Step step) {
    std::array<std::array<T, 256>, kSlices> slices{};
    slices[0] = table;
    for (size_t k = 1; k < kSlices; ++k) {
        for (size_t i = 0; i < 256; ++i) {
            slices[k][i] = step(slices[k - 1][i]);
        }
    }
    return slices;
}

// One zero byte more through each checksum's table.
constexpr uint16_t crc16_zero_byte(uint16_t r) {
    return static_cast<uint16_t>((r << 8) ^ kCrc16Table[r >> 8]);
}
constexpr uint32_t crc32_zero_byte(uint32_t r) {
    return (r >> 8) ^ kCrc32Table[r & 0xFF];
}

constexpr auto kCrc16Slices = make_slices(kCrc16Table, crc16_zero_byte);
constexpr auto kCrc32Slices = make_slices(kCrc32Table, crc32_zero_byte);

inline uint32_t load_le32(const uint8_t *p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

} // namespace

uint16_t crc16_bytewise(uint16_t crc, const uint8_t *data, size_t length) {
    for (size_t k = 0; k < length; ++k) {
        auto i = static_cast<uint8_t>((crc >> 8) ^ data[k]);
        crc = static_cast<uint16_t>((crc << 8) ^ kCrc16Table[i]);
    }
    return crc;
}

uint32_t crc32_bytewise(uint32_t crc, const uint8_t *data, size_t length) {
    for (size_t k = 0; k < length; ++k) {
        crc = (crc >> 8) ^ kCrc32Table[(crc ^ data[k]) & 0xFF];
    }
    return crc;
}

uint16_t crc16_slicing8(uint16_t crc, const uint8_t *data, size_t length) {
    const auto &t = kCrc16Slices;
    for (; length >= kSlices; length -= kSlices, data += kSlices) {
        // The running value meets the first two bytes; each byte then travels as many zero
        // bytes as follow it within the step.
        auto b0 = static_cast<uint8_t>(data[0] ^ (crc >> 8));
        auto b1 = static_cast<uint8_t>(data[1] ^ (crc & 0xFF));
        crc = static_cast<uint16_t>(t[7][b0] ^ t[6][b1] ^ t[5][data[2]] ^ t[4][data[3]] ^
                                    t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
    }
    return crc16_bytewise(crc, data, length);
}

uint32_t crc32_slicing8(uint32_t crc, const uint8_t *data, size_t length) {
    const auto &t = kCrc32Slices;
    for (; length >= kSlices; length -= kSlices, data += kSlices) {
        uint32_t lo = load_le32(data) ^ crc;
        uint32_t hi = load_le32(data + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    return crc32_bytewise(crc, data, length);
}

bool engine_available(Engine engine) {
    switch (engine) {
    case Engine::Bytewise:
    case Engine::Slicing8:
        return true;
    case Engine::Clmul:
        return clmul_supported();
    case Engine::Clmul512:
        return clmul512_supported();
    }
    return false;
}

Engine best_engine() {
    static const Engine chosen = clmul512_supported() ? Engine::Clmul512
                                 : clmul_supported()  ? Engine::Clmul
                                                      : Engine::Slicing8;
    return chosen;
}

// The engines in the order of Engine's values.
constexpr Crc16Function kCrc16Engines[] = {crc16_bytewise, crc16_slicing8, crc16_clmul,
                                           crc16_clmul512};
constexpr Crc32Function kCrc32Engines[] = {crc32_bytewise, crc32_slicing8, crc32_clmul,
                                           crc32_clmul512};
static_assert(static_cast<size_t>(Engine::Clmul512) + 1 == std::size(kCrc16Engines) &&
              std::size(kCrc16Engines) == std::size(kCrc32Engines));

Crc16Function crc16_function(Engine engine) {
    return kCrc16Engines[static_cast<size_t>(engine)];
}

Crc32Function crc32_function(Engine engine) {
    return kCrc32Engines[static_cast<size_t>(engine)];
}

uint16_t crc16_with(Engine engine, uint16_t crc, const uint8_t *data, size_t length) {
    return crc16_function(engine)(crc, data, length);
}

uint32_t crc32_with(Engine engine, uint32_t crc, const uint8_t *data, size_t length) {
    return crc32_function(engine)(crc, data, length);
}

namespace {

static_assert(QUIL_SUCCESS == 0, "the engines' entries return 0 for success");

// The entries of the portable engines, which inline them here.
template <typename Value, Value (*Function)(Value, const uint8_t *, size_t)>
uint32_t entry(Value crc, const uint8_t *data, size_t length, Value *out) {
    *out = Function(crc, data, length);
    return QUIL_SUCCESS;
}

constexpr Crc16Entry kCrc16Entries[] = {entry<uint16_t, crc16_bytewise>,
                                        entry<uint16_t, crc16_slicing8>, crc16_clmul_entry,
                                        crc16_clmul512_entry};
constexpr Crc32Entry kCrc32Entries[] = {entry<uint32_t, crc32_bytewise>,
                                        entry<uint32_t, crc32_slicing8>, crc32_clmul_entry,
                                        crc32_clmul512_entry};
static_assert(std::size(kCrc16Entries) == std::size(kCrc16Engines) &&
              std::size(kCrc32Entries) == std::size(kCrc32Engines));

// The entry the public functions jump to. It starts as a binder that, on the first call, puts
// the best engine's entry in its place and runs it: no guard and no lookup on later calls. Racing
// first calls store the same value; the relaxed atomic only makes that store well defined.
uint32_t bind_crc16(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out);
uint32_t bind_crc32(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out);
std::atomic<Crc16Entry> gCrc16Entry{bind_crc16};
std::atomic<Crc32Entry> gCrc32Entry{bind_crc32};

uint32_t bind_crc16(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out) {
    Crc16Entry chosen = crc16_entry(best_engine());
    gCrc16Entry.store(chosen, std::memory_order_relaxed);
    return chosen(crc, data, length, out);
}

uint32_t bind_crc32(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out) {
    Crc32Entry chosen = crc32_entry(best_engine());
    gCrc32Entry.store(chosen, std::memory_order_relaxed);
    return chosen(crc, data, length, out);
}

} // namespace

Crc16Entry crc16_entry(Engine engine) {
    return kCrc16Entries[static_cast<size_t>(engine)];
}

Crc32Entry crc32_entry(Engine engine) {
    return kCrc32Entries[static_cast<size_t>(engine)];
}

namespace {

// The public functions' shared bodies: the checks, then one jump to the bound entry.
uint32_t accumulate16(uint16_t crc, const void *data, uint32_t length, uint16_t *out) {
    if (data == nullptr || out == nullptr) {
        return CRC_BAD_ARGUMENT;
    }
    return gCrc16Entry.load(std::memory_order_relaxed)(crc, static_cast<const uint8_t *>(data),
                                                       length, out);
}

uint32_t accumulate32(uint32_t crc, const void *data, uint32_t length, uint32_t *out) {
    if (data == nullptr || out == nullptr) {
        return CRC_BAD_ARGUMENT;
    }
    return gCrc32Entry.load(std::memory_order_relaxed)(crc, static_cast<const uint8_t *>(data),
                                                       length, out);
}

} // namespace

} // namespace wex::crc

extern "C" {

uint32_t QUIL_CRC_16(const void *data, uint32_t length, uint16_t *crc) {
    return wex::crc::accumulate16(0, data, length, crc);
}

uint32_t QUIL_CRC_Accumulate_16(uint16_t crc, const void *data, uint32_t length, uint16_t *out) {
    return wex::crc::accumulate16(crc, data, length, out);
}

uint32_t QUIL_CRC_32(const void *data, uint32_t length, uint32_t *crc) {
    return wex::crc::accumulate32(0, data, length, crc);
}

uint32_t QUIL_CRC_Accumulate_32(uint32_t crc, const void *data, uint32_t length, uint32_t *out) {
    return wex::crc::accumulate32(crc, data, length, out);
}

} // extern "C"
