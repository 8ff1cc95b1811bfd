// CRC folding with carry-less multiplication, for x86 processors with PCLMULQDQ (and, on 512-bit
// registers, AVX-512 with VPCLMULQDQ). Compiled with per-function target attributes so that the
// library itself needs no -march: crc.cpp runs these engines only where the processor reports
// the instructions.
//
// How it works. A 16-byte block of the message is a polynomial A of degree < 128 over GF(2). To
// move it D bits further down the message, split it into halves, A = H x^64 + L, and replace
// A x^D by H (x^(D+64) mod P) + L (x^D mod P): two carry-less products of a 64-bit half with a
// constant of the CRC's width, whose sum is congruent to A x^D modulo P and still fits 128 bits.
// XORing that into the block D bits later folds the message down, block by block, into one
// 16-byte remainder R congruent to the whole message; its CRC (R x^w mod P, the ordinary CRC of
// R's sixteen bytes from 0) is the message's CRC, and the bytes after the last whole block go
// through the portable loop from there.
//
// The constants are those powers x^n mod P, computed at compile time from the polynomial below.
// CRC-16 keeps the most significant bit first, so each block is byte-reversed into a register
// whose bit i is the coefficient of x^i, and a constant is x^n mod P as it is. CRC-32 is
// reflected: a block loads as it stands (bit 0 of byte 0 is the highest coefficient), a 64-bit
// half h stands for the polynomial whose coefficient of x^(63-i) is bit i, and the carry-less
// product of two such halves is their polynomial product times x. So the constant for a shift by
// n is (x^(n-1) mod P), bit-reversed into the top 32 bits of a 64-bit word.
#include "checksum/source/crc_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#define WEX_CRC_HAVE_CLMUL 1
#include <immintrin.h>
#endif

namespace wex::crc {

namespace {

// x^n mod P, with P = x^width + polynomial, in ordinary bit order (bit i: coefficient of x^i).
constexpr uint64_t xpow_mod(unsigned n, uint64_t polynomial, unsigned width) {
    const uint64_t top = uint64_t{1} << width;
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if ((r & top) != 0) {
            r ^= top | polynomial;
        }
    }
    return r;
}

constexpr uint32_t reflect32(uint64_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 32; ++i) {
        r |= static_cast<uint32_t>((v >> i) & 1) << (31 - i);
    }
    return r;
}

constexpr uint64_t kCrc16Normal = 0x1021;     // x^16 + x^12 + x^5 + 1
constexpr uint64_t kCrc32Normal = 0x04C11DB7; // x^32 + ... + 1, the reflected table's polynomial

// Constants for folding a block D bits down: {for the low 64-bit half, for the high half}.
struct FoldConstants {
    uint64_t low, high;
};

constexpr FoldConstants crc16_fold(unsigned d) {
    // Ordinary order: the low half is L, the high half is H.
    return {xpow_mod(d, kCrc16Normal, 16), xpow_mod(d + 64, kCrc16Normal, 16)};
}

constexpr FoldConstants crc32_fold(unsigned d) {
    // Reflected: the low half holds H (the first bytes), the high half L; each product carries
    // an extra factor x, hence the exponents one lower.
    return {uint64_t{reflect32(xpow_mod(d + 63, kCrc32Normal, 32))} << 32,
            uint64_t{reflect32(xpow_mod(d - 1, kCrc32Normal, 32))} << 32};
}

// The polynomials and a known power as a check of the generator: x^32 mod P is P's low part.
static_assert(xpow_mod(32, kCrc32Normal, 32) == kCrc32Normal);
static_assert(xpow_mod(16, kCrc16Normal, 16) == kCrc16Normal);
static_assert(reflect32(kCrc32Normal) == 0xEDB88320);

constexpr unsigned kBlockBits = 128;
constexpr size_t kBlock = 16;

} // namespace

#if WEX_CRC_HAVE_CLMUL

#define WEX_TARGET_CLMUL __attribute__((target("pclmul,sse4.1,ssse3")))
#define WEX_TARGET_CLMUL512                                                                        \
    __attribute__((target("pclmul,sse4.1,ssse3,avx2,avx512f,avx512vl,avx512bw,vpclmulqdq")))

namespace {

constexpr size_t kLanes = 4;    // 128-bit blocks in flight in the 128-bit engine
constexpr size_t kWide = 64;    // bytes in a 512-bit register
constexpr size_t kWideRegs = 4; // 512-bit registers in flight in the 512-bit engine
constexpr FoldConstants kCrc16By128 = crc16_fold(kBlockBits);
constexpr FoldConstants kCrc16By512 = crc16_fold(kBlockBits * kLanes);
constexpr FoldConstants kCrc16By2048 = crc16_fold(kBlockBits * kLanes * kWideRegs);
constexpr FoldConstants kCrc32By128 = crc32_fold(kBlockBits);
constexpr FoldConstants kCrc32By512 = crc32_fold(kBlockBits * kLanes);
constexpr FoldConstants kCrc32By2048 = crc32_fold(kBlockBits * kLanes * kWideRegs);

WEX_TARGET_CLMUL inline __m128i constants128(FoldConstants k) {
    return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

// a x^D mod P (to 128 bits) XOR next, for the constants of D.
WEX_TARGET_CLMUL inline __m128i fold128(__m128i a, __m128i k, __m128i next) {
    __m128i low = _mm_clmulepi64_si128(a, k, 0x00);
    __m128i high = _mm_clmulepi64_si128(a, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

WEX_TARGET_CLMUL inline __m128i byte_reverse_mask() {
    return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// What distinguishes the two checksums: how a block becomes a polynomial, where the running
// value enters the first block, and the portable loop that finishes.
struct Crc16 {
    using Value = uint16_t;
    static constexpr FoldConstants by128 = kCrc16By128, by512 = kCrc16By512, by2048 = kCrc16By2048;

    WEX_TARGET_CLMUL static __m128i load(const uint8_t *p) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        return _mm_shuffle_epi8(block, byte_reverse_mask());
    }
    // The running value meets the first two bytes: the top of the reversed block.
    WEX_TARGET_CLMUL static __m128i seed(Value crc) {
        return _mm_slli_si128(_mm_cvtsi32_si128(crc), 14);
    }
    WEX_TARGET_CLMUL static Value finish(__m128i remainder, const uint8_t *rest, size_t length) {
        alignas(16) uint8_t bytes[kBlock];
        _mm_store_si128(reinterpret_cast<__m128i *>(bytes),
                        _mm_shuffle_epi8(remainder, byte_reverse_mask()));
        return crc16_slicing8(crc16_slicing8(0, bytes, kBlock), rest, length);
    }
    static Value portable(Value crc, const uint8_t *p, size_t length) {
        return crc16_slicing8(crc, p, length);
    }
};

struct Crc32 {
    using Value = uint32_t;
    static constexpr FoldConstants by128 = kCrc32By128, by512 = kCrc32By512, by2048 = kCrc32By2048;

    WEX_TARGET_CLMUL static __m128i load(const uint8_t *p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    // The running value meets the first four bytes: the bottom of the block.
    WEX_TARGET_CLMUL static __m128i seed(Value crc) {
        return _mm_cvtsi32_si128(static_cast<int>(crc));
    }
    WEX_TARGET_CLMUL static Value finish(__m128i remainder, const uint8_t *rest, size_t length) {
        alignas(16) uint8_t bytes[kBlock];
        _mm_store_si128(reinterpret_cast<__m128i *>(bytes), remainder);
        return crc32_slicing8(crc32_slicing8(0, bytes, kBlock), rest, length);
    }
    static Value portable(Value crc, const uint8_t *p, size_t length) {
        return crc32_slicing8(crc, p, length);
    }
};

// Folds whole blocks from p into one remainder, then finishes with the bytes left over.
template <typename C>
WEX_TARGET_CLMUL typename C::Value fold_blocks(__m128i x, const uint8_t *p, size_t length) {
    const __m128i by128 = constants128(C::by128);
    for (; length >= kBlock; p += kBlock, length -= kBlock) {
        x = fold128(x, by128, C::load(p));
    }
    return C::finish(x, p, length);
}

template <typename C>
WEX_TARGET_CLMUL typename C::Value crc_clmul(typename C::Value crc, const uint8_t *p,
                                             size_t length) {
    if (length < kLanes * kBlock) {
        return C::portable(crc, p, length);
    }
    __m128i x[kLanes];
    for (size_t j = 0; j < kLanes; ++j) {
        x[j] = C::load(p + j * kBlock);
    }
    x[0] = _mm_xor_si128(x[0], C::seed(crc));
    p += kLanes * kBlock;
    length -= kLanes * kBlock;

    const __m128i by512 = constants128(C::by512);
    for (; length >= kLanes * kBlock; p += kLanes * kBlock, length -= kLanes * kBlock) {
        for (size_t j = 0; j < kLanes; ++j) {
            x[j] = fold128(x[j], by512, C::load(p + j * kBlock));
        }
    }
    const __m128i by128 = constants128(C::by128);
    __m128i r = x[0];
    for (size_t j = 1; j < kLanes; ++j) {
        r = fold128(r, by128, x[j]);
    }
    return fold_blocks<C>(r, p, length);
}

// ---- 512-bit registers: four 128-bit lanes each, folded independently ----

WEX_TARGET_CLMUL512 inline __m512i constants512(FoldConstants k) {
    auto low = static_cast<long long>(k.low);
    auto high = static_cast<long long>(k.high);
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

WEX_TARGET_CLMUL512 inline __m512i fold512(__m512i a, __m512i k, __m512i next) {
    __m512i low = _mm512_clmulepi64_epi128(a, k, 0x00);
    __m512i high = _mm512_clmulepi64_epi128(a, k, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96); // low ^ high ^ next
}

template <typename C> WEX_TARGET_CLMUL512 __m512i load512(const uint8_t *p);

template <> WEX_TARGET_CLMUL512 __m512i load512<Crc16>(const uint8_t *p) {
    __m512i block = _mm512_loadu_si512(p);
    // Byte i of each lane takes byte 15 - i of the same lane.
    const long long high = 0x0001020304050607, low = 0x08090A0B0C0D0E0F;
    const __m512i reverse = _mm512_set_epi64(high, low, high, low, high, low, high, low);
    return _mm512_shuffle_epi8(block, reverse);
}

template <> WEX_TARGET_CLMUL512 __m512i load512<Crc32>(const uint8_t *p) {
    return _mm512_loadu_si512(p);
}

template <typename C>
WEX_TARGET_CLMUL512 typename C::Value crc_clmul512(typename C::Value crc, const uint8_t *p,
                                                   size_t length) {
    if (length < kWideRegs * kWide) {
        return crc_clmul<C>(crc, p, length);
    }
    __m512i z[kWideRegs];
    for (size_t j = 0; j < kWideRegs; ++j) {
        z[j] = load512<C>(p + j * kWide);
    }
    z[0] = _mm512_xor_si512(z[0], _mm512_zextsi128_si512(C::seed(crc)));
    p += kWideRegs * kWide;
    length -= kWideRegs * kWide;

    const __m512i by2048 = constants512(C::by2048);
    for (; length >= kWideRegs * kWide; p += kWideRegs * kWide, length -= kWideRegs * kWide) {
        for (size_t j = 0; j < kWideRegs; ++j) {
            z[j] = fold512(z[j], by2048, load512<C>(p + j * kWide));
        }
    }
    const __m512i by512 = constants512(C::by512);
    __m512i r = z[0];
    for (size_t j = 1; j < kWideRegs; ++j) {
        r = fold512(r, by512, z[j]);
    }
    for (; length >= kWide; p += kWide, length -= kWide) {
        r = fold512(r, by512, load512<C>(p));
    }
    // The four lanes hold consecutive blocks: fold them into the last one.
    alignas(64) __m128i lanes[kLanes];
    _mm512_store_si512(lanes, r);
    const __m128i by128 = constants128(C::by128);
    __m128i x = lanes[0];
    for (size_t j = 1; j < kLanes; ++j) {
        x = fold128(x, by128, lanes[j]);
    }
    return fold_blocks<C>(x, p, length);
}

} // namespace

bool clmul_supported() {
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1") &&
           __builtin_cpu_supports("ssse3");
}

bool clmul512_supported() {
    return clmul_supported() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("vpclmulqdq");
}

uint16_t crc16_clmul(uint16_t crc, const uint8_t *data, size_t length) {
    return crc_clmul<Crc16>(crc, data, length);
}
uint32_t crc32_clmul(uint32_t crc, const uint8_t *data, size_t length) {
    return crc_clmul<Crc32>(crc, data, length);
}
uint16_t crc16_clmul512(uint16_t crc, const uint8_t *data, size_t length) {
    return crc_clmul512<Crc16>(crc, data, length);
}
uint32_t crc32_clmul512(uint32_t crc, const uint8_t *data, size_t length) {
    return crc_clmul512<Crc32>(crc, data, length);
}

#else // no carry-less multiplication on this processor family: the portable engine stands in

bool clmul_supported() {
    return false;
}
bool clmul512_supported() {
    return false;
}
uint16_t crc16_clmul(uint16_t crc, const uint8_t *data, size_t length) {
    return crc16_slicing8(crc, data, length);
}
uint32_t crc32_clmul(uint32_t crc, const uint8_t *data, size_t length) {
    return crc32_slicing8(crc, data, length);
}
uint16_t crc16_clmul512(uint16_t crc, const uint8_t *data, size_t length) {
    return crc16_slicing8(crc, data, length);
}
uint32_t crc32_clmul512(uint32_t crc, const uint8_t *data, size_t length) {
    return crc32_slicing8(crc, data, length);
}

#endif

} // namespace wex::crc
