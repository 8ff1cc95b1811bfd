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
// R's sixteen bytes from 0) is the message's CRC. The bytes after the last whole block are read
// as the message's last 16 bytes and folded in once (fold_tail); messages under 16 bytes go
// through the portable loop.
//
// The constants are those powers x^n mod P, computed at compile time from the polynomial below.
// CRC-16 keeps the most significant bit first, so each block is byte-reversed into a register
// whose bit i is the coefficient of x^i, and a constant is x^n mod P as it is. CRC-32 is
// reflected: a block loads as it stands (bit 0 of byte 0 is the highest coefficient), a 64-bit
// half h stands for the polynomial whose coefficient of x^(63-i) is bit i, and the carry-less
// product of two such halves is their polynomial product times x. So the constant for a shift by
// n is (x^(n-1) mod P), bit-reversed into the top 32 bits of a 64-bit word.
#include "checksum/source/crc_internal.h"
#include "wex_result_codes.h"

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

// floor(x^n / P), P = x^width + polynomial: the quotient that Barrett reduction multiplies by.
// Walks x^0 up to x^n keeping x^i = q P + r with deg r < width.
constexpr uint64_t xpow_div(unsigned n, uint64_t polynomial, unsigned width) {
    const uint64_t top = uint64_t{1} << width;
    uint64_t r = 1;
    uint64_t q = 0;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        q <<= 1;
        if ((r & top) != 0) {
            r ^= top | polynomial;
            q |= 1;
        }
    }
    return q;
}

// The low bits of v in reverse order: bit i of v becomes bit (bits - 1 - i).
constexpr uint64_t reflect(uint64_t v, int bits) {
    uint64_t r = 0;
    for (int i = 0; i < bits; ++i) {
        r |= ((v >> i) & 1) << (bits - 1 - i);
    }
    return r;
}

constexpr uint32_t reflect32(uint64_t v) {
    return static_cast<uint32_t>(reflect(v, 32));
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
// x^width / P is 1; the quotient times P gives back x^n less the remainder.
static_assert(xpow_div(16, kCrc16Normal, 16) == 1 && xpow_div(32, kCrc32Normal, 32) == 1);

// Reducing a 128-bit remainder R to the CRC, R x^w mod P, takes three steps of carry-less
// multiplication. (1) With R = H x^64 + L: R x^w = H x^(64+w) + L x^w, and H (x^(64+w) mod P)
// + L x^w has fewer than 64 + w bits. (2) Its top w bits T times x^64 become T (x^64 mod P):
// 64 bits U are left. (3) Barrett: with mu = floor(x^64 / P), the quotient floor(U / P) is
// exactly floor(floor(U / x^w) mu / x^(64-w)) since deg U < 64, and U mod P = U - quotient P,
// of which only the low w bits are needed.
//
// CRC-16 computes this as it stands. CRC-32 is reflected: a 64-bit word stands for the polynomial
// whose coefficient of x^(63-i) is bit i and a product gains a factor x (see above), so each
// constant is its power reflected and placed one step lower, and mu and P, of 33 bits, are
// reflected over 33 bits: as a word that is the polynomial times x^31, which brings the
// quotient's and the remainder's coefficients to bits 0-31 and 32-63 of the product's low word.
struct ReduceConstants {
    uint64_t high;     // step 1: for the high half
    uint64_t top;      // step 2: for the top w bits
    uint64_t quotient; // step 3: mu
    uint64_t modulus;  // step 3: P (without x^w for CRC-16, where it does not matter)
};

constexpr ReduceConstants kCrc16Reduce = {xpow_mod(64 + 16, kCrc16Normal, 16),
                                          xpow_mod(64, kCrc16Normal, 16),
                                          xpow_div(64, kCrc16Normal, 16), kCrc16Normal};
constexpr ReduceConstants kCrc32Reduce = {
    uint64_t{reflect32(xpow_mod(64 + 32 - 1, kCrc32Normal, 32))} << 32,
    uint64_t{reflect32(xpow_mod(64 - 1, kCrc32Normal, 32))} << 32,
    reflect(xpow_div(64, kCrc32Normal, 32), 33), reflect((uint64_t{1} << 32) | kCrc32Normal, 33)};
static_assert(kCrc32Reduce.quotient == 0x1F7011641 && kCrc32Reduce.modulus == 0x1DB710641);

constexpr unsigned kBlockBits = 128;
constexpr size_t kBlock = 16;

} // namespace

#if WEX_CRC_HAVE_CLMUL

#define WEX_TARGET_CLMUL __attribute__((target("pclmul,sse4.1,ssse3")))
#define WEX_TARGET_CLMUL512                                                                        \
    __attribute__((target("pclmul,sse4.1,ssse3,avx2,avx512f,avx512vl,avx512bw,vpclmulqdq")))
// The small steps are inlined into each engine, and so compiled for its instruction set.
#define WEX_INLINE inline __attribute__((always_inline))

namespace {

constexpr size_t kLanes = 4;    // 128-bit blocks in flight in the 128-bit engine
constexpr size_t kWide = 64;    // bytes in a 512-bit register
constexpr size_t kWideRegs = 4; // 512-bit registers in flight in the 512-bit engine
// Folding distances in bits: one to three 128-bit lanes, one to three 512-bit registers, and a
// whole round of four registers.
template <FoldConstants (*Fold)(unsigned)> struct Distances {
    static constexpr FoldConstants by128 = Fold(kBlockBits), by256 = Fold(2 * kBlockBits),
                                   by384 = Fold(3 * kBlockBits);
    static constexpr FoldConstants by512 = Fold(kBlockBits * kLanes),
                                   by1024 = Fold(2 * kBlockBits * kLanes),
                                   by1536 = Fold(3 * kBlockBits * kLanes);
    static constexpr FoldConstants by2048 = Fold(kBlockBits * kLanes * kWideRegs);
};

// Byte-shift masks for the last partial block: the 16 bytes from entry k, used with PSHUFB, move
// every byte of a register k - 16 places towards byte 0 (entries 16-31 hold 0-15) and clear those
// that would come from outside it (the entries with the top bit set, which also drive BLENDV).
constexpr uint8_t kClear = 0x80;
alignas(64) constexpr uint8_t kShiftMasks[48] = {
    kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear,
    kClear, kClear, kClear, kClear, 0,      1,      2,      3,      4,      5,      6,      7,
    8,      9,      10,     11,     12,     13,     14,     15,     kClear, kClear, kClear, kClear,
    kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear, kClear};

WEX_TARGET_CLMUL WEX_INLINE __m128i shift_mask(size_t k) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(kShiftMasks + k));
}

WEX_TARGET_CLMUL WEX_INLINE __m128i constants128(FoldConstants k) {
    return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

// a x^D mod P (to 128 bits) XOR next, for the constants of D.
WEX_TARGET_CLMUL WEX_INLINE __m128i fold128(__m128i a, __m128i k, __m128i next) {
    __m128i low = _mm_clmulepi64_si128(a, k, 0x00);
    __m128i high = _mm_clmulepi64_si128(a, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

WEX_TARGET_CLMUL WEX_INLINE __m128i byte_reverse_mask() {
    return _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
}

// What distinguishes the two checksums: how a block becomes a polynomial, where the running
// value enters the first block, which way appending bytes shifts a block, and how the remainder
// becomes the CRC.
struct Crc16 : Distances<crc16_fold> {
    using Value = uint16_t;

    WEX_TARGET_CLMUL static WEX_INLINE __m128i load(const uint8_t *p) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        return _mm_shuffle_epi8(block, byte_reverse_mask());
    }
    // The running value meets the first two bytes: the top of the reversed block.
    WEX_TARGET_CLMUL static WEX_INLINE __m128i seed(Value crc) {
        return _mm_slli_si128(_mm_cvtsi32_si128(crc), 14);
    }
    // n more bytes (0 < n < 16) after a block: its bytes move n places up (the masks from entry
    // 16 - n), the top n into a block of their own at the bottom (from entry 32 - n).
    static constexpr size_t keep_shift(size_t n) { return kBlock - n; }
    static constexpr size_t carry_shift(size_t n) { return 2 * kBlock - n; }
    // The three steps of the reduction, bit i of a register being the coefficient of x^i.
    WEX_TARGET_CLMUL static WEX_INLINE Value reduce(__m128i r) {
        const __m128i fold = _mm_set_epi64x(static_cast<long long>(kCrc16Reduce.top),
                                            static_cast<long long>(kCrc16Reduce.high));
        __m128i lowTimesX16 = _mm_slli_si128(_mm_move_epi64(r), 2);
        __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(r, fold, 0x01), lowTimesX16);
        __m128i u = _mm_xor_si128(_mm_clmulepi64_si128(s, fold, 0x11), _mm_move_epi64(s));
        const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kCrc16Reduce.modulus),
                                               static_cast<long long>(kCrc16Reduce.quotient));
        __m128i product = _mm_clmulepi64_si128(_mm_srli_epi64(u, 16), barrett, 0x00);
        __m128i quotient = _mm_srli_si128(product, 6); // divided by x^48
        __m128i multiple = _mm_clmulepi64_si128(quotient, barrett, 0x10);
        return static_cast<Value>(_mm_cvtsi128_si32(_mm_xor_si128(u, multiple)));
    }
    static Value portable(Value crc, const uint8_t *p, size_t length) {
        return crc16_slicing8(crc, p, length);
    }
};

struct Crc32 : Distances<crc32_fold> {
    using Value = uint32_t;

    WEX_TARGET_CLMUL static WEX_INLINE __m128i load(const uint8_t *p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    }
    // The running value meets the first four bytes: the bottom of the block.
    WEX_TARGET_CLMUL static WEX_INLINE __m128i seed(Value crc) {
        return _mm_cvtsi32_si128(static_cast<int>(crc));
    }
    // n more bytes after a block: its bytes move n places down (the masks from entry 16 + n),
    // the bottom n into a block of their own at the top (from entry n).
    static constexpr size_t keep_shift(size_t n) { return kBlock + n; }
    static constexpr size_t carry_shift(size_t n) { return n; }
    // The same three steps on reflected words: the low word holds H, the remainder's top 32
    // bits land in bits 32-63 of the low word and U in the high word.
    WEX_TARGET_CLMUL static WEX_INLINE Value reduce(__m128i r) {
        const __m128i fold = _mm_set_epi64x(static_cast<long long>(kCrc32Reduce.top),
                                            static_cast<long long>(kCrc32Reduce.high));
        __m128i lowTimesX32 = _mm_slli_si128(_mm_srli_si128(r, 8), 4);
        __m128i s = _mm_xor_si128(_mm_clmulepi64_si128(r, fold, 0x00), lowTimesX32);
        __m128i u = _mm_srli_si128(_mm_xor_si128(_mm_clmulepi64_si128(s, fold, 0x10), s), 8);
        const __m128i barrett = _mm_set_epi64x(static_cast<long long>(kCrc32Reduce.modulus),
                                               static_cast<long long>(kCrc32Reduce.quotient));
        const __m128i low32 = _mm_set_epi64x(0, 0xFFFFFFFF);
        __m128i product = _mm_clmulepi64_si128(_mm_and_si128(u, low32), barrett, 0x00);
        __m128i quotient = _mm_and_si128(product, low32);
        __m128i multiple = _mm_clmulepi64_si128(quotient, barrett, 0x10);
        return static_cast<Value>(_mm_extract_epi32(_mm_xor_si128(u, multiple), 1));
    }
    static Value portable(Value crc, const uint8_t *p, size_t length) {
        return crc32_slicing8(crc, p, length);
    }
};

// The remainder x followed by the last n bytes of the message (0 < n < 16), which end at end;
// the 16 bytes before end are readable since x covers at least one block. Appending n bytes
// multiplies x by x^(8n): x's bytes shift by n, those that leave the register form a block of
// their own one block earlier, and the n new bytes fill the freed places. That earlier block is
// folded onto the shifted one: one fold instead of a byte loop.
template <typename C>
WEX_TARGET_CLMUL WEX_INLINE __m128i fold_tail(__m128i x, const uint8_t *end, size_t n) {
    __m128i keep = shift_mask(C::keep_shift(n));
    __m128i shifted = _mm_shuffle_epi8(x, keep);
    __m128i carried = _mm_shuffle_epi8(x, shift_mask(C::carry_shift(n)));
    // The places the shift cleared (the mask's top bit set) take the bytes of the last block.
    __m128i last = _mm_blendv_epi8(shifted, C::load(end - kBlock), keep);
    return fold128(carried, constants128(C::by128), last);
}

// Folds whole blocks from p onto x, then the last partial block, and reduces to the CRC.
template <typename C>
WEX_TARGET_CLMUL WEX_INLINE typename C::Value fold_blocks(__m128i x, const uint8_t *p,
                                                          size_t length) {
    const __m128i by128 = constants128(C::by128);
    for (; length >= kBlock; p += kBlock, length -= kBlock) {
        x = fold128(x, by128, C::load(p));
    }
    if (length != 0) {
        x = fold_tail<C>(x, p + length, length);
    }
    return C::reduce(x);
}

// Four consecutive blocks folded onto the last, each by its own distance: the products do not
// wait for one another.
template <typename C>
WEX_TARGET_CLMUL WEX_INLINE __m128i fold_lanes(__m128i first, __m128i second, __m128i third,
                                               __m128i last) {
    __m128i r = fold128(third, constants128(C::by128), last);
    r = fold128(second, constants128(C::by256), r);
    return fold128(first, constants128(C::by384), r);
}

template <typename C>
WEX_TARGET_CLMUL WEX_INLINE typename C::Value crc_clmul(typename C::Value crc, const uint8_t *p,
                                                        size_t length) {
    if (length < kBlock) {
        return C::portable(crc, p, length);
    }
    if (length < kLanes * kBlock) {
        return fold_blocks<C>(_mm_xor_si128(C::load(p), C::seed(crc)), p + kBlock, length - kBlock);
    }
    // Four lanes in named registers: an array would be kept in memory and every fold would wait
    // for a store.
    __m128i x0 = _mm_xor_si128(C::load(p), C::seed(crc));
    __m128i x1 = C::load(p + kBlock);
    __m128i x2 = C::load(p + 2 * kBlock);
    __m128i x3 = C::load(p + 3 * kBlock);
    p += kLanes * kBlock;
    length -= kLanes * kBlock;

    const __m128i by512 = constants128(C::by512);
    for (; length >= kLanes * kBlock; p += kLanes * kBlock, length -= kLanes * kBlock) {
        x0 = fold128(x0, by512, C::load(p));
        x1 = fold128(x1, by512, C::load(p + kBlock));
        x2 = fold128(x2, by512, C::load(p + 2 * kBlock));
        x3 = fold128(x3, by512, C::load(p + 3 * kBlock));
    }
    return fold_blocks<C>(fold_lanes<C>(x0, x1, x2, x3), p, length);
}

// ---- 512-bit registers: four 128-bit lanes each, folded independently ----

WEX_TARGET_CLMUL512 WEX_INLINE __m512i constants512(FoldConstants k) {
    auto low = static_cast<long long>(k.low);
    auto high = static_cast<long long>(k.high);
    return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

WEX_TARGET_CLMUL512 WEX_INLINE __m512i fold512(__m512i a, __m512i k, __m512i next) {
    __m512i low = _mm512_clmulepi64_epi128(a, k, 0x00);
    __m512i high = _mm512_clmulepi64_epi128(a, k, 0x11);
    return _mm512_ternarylogic_epi64(low, high, next, 0x96); // low ^ high ^ next
}

template <typename C> WEX_TARGET_CLMUL512 WEX_INLINE __m512i load512(const uint8_t *p);

template <> WEX_TARGET_CLMUL512 WEX_INLINE __m512i load512<Crc16>(const uint8_t *p) {
    __m512i block = _mm512_loadu_si512(p);
    // Byte i of each lane takes byte 15 - i of the same lane.
    const long long high = 0x0001020304050607, low = 0x08090A0B0C0D0E0F;
    const __m512i reverse = _mm512_set_epi64(high, low, high, low, high, low, high, low);
    return _mm512_shuffle_epi8(block, reverse);
}

template <> WEX_TARGET_CLMUL512 WEX_INLINE __m512i load512<Crc32>(const uint8_t *p) {
    return _mm512_loadu_si512(p);
}

// The four lanes of r, consecutive blocks, folded into one: the first three each by its distance
// to the last, all in one pair of multiplications, then the lanes XORed together.
template <typename C> WEX_TARGET_CLMUL512 WEX_INLINE __m128i fold_lanes512(__m512i r) {
    const __m512i k = _mm512_set_epi64(0, 0, static_cast<long long>(C::by128.high),
                                       static_cast<long long>(C::by128.low),
                                       static_cast<long long>(C::by256.high),
                                       static_cast<long long>(C::by256.low),
                                       static_cast<long long>(C::by384.high),
                                       static_cast<long long>(C::by384.low));
    __m512i low = _mm512_clmulepi64_epi128(r, k, 0x00);
    __m512i high = _mm512_clmulepi64_epi128(r, k, 0x11);
    // The last lane unmultiplied: its products are zero, so XOR the lane itself in.
    __m512i sum = _mm512_ternarylogic_epi64(low, high, _mm512_maskz_mov_epi64(0xC0, r), 0x96);
    __m256i half = _mm256_xor_si256(_mm512_maskz_extracti64x4_epi64(0xFF, sum, 0),
                                    _mm512_maskz_extracti64x4_epi64(0xFF, sum, 1));
    return _mm_xor_si128(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
}

template <typename C>
WEX_TARGET_CLMUL512 WEX_INLINE typename C::Value crc_clmul512(typename C::Value crc,
                                                              const uint8_t *p, size_t length) {
    if (length < kWide) {
        // Short input: 128-bit folding only, no wide register touched.
        if (length < kBlock) {
            return C::portable(crc, p, length);
        }
        return fold_blocks<C>(_mm_xor_si128(C::load(p), C::seed(crc)), p + kBlock, length - kBlock);
    }
    __m512i r;
    if (length < kWideRegs * kWide) {
        // One register, folded 64 bytes at a time: the whole round's set-up would not pay.
        r = _mm512_xor_si512(load512<C>(p), _mm512_zextsi128_si512(C::seed(crc)));
        p += kWide;
        length -= kWide;
    } else {
        // Named registers for the same reason as in the 128-bit engine.
        __m512i z0 = _mm512_xor_si512(load512<C>(p), _mm512_zextsi128_si512(C::seed(crc)));
        __m512i z1 = load512<C>(p + kWide);
        __m512i z2 = load512<C>(p + 2 * kWide);
        __m512i z3 = load512<C>(p + 3 * kWide);
        p += kWideRegs * kWide;
        length -= kWideRegs * kWide;

        const __m512i by2048 = constants512(C::by2048);
        for (; length >= kWideRegs * kWide; p += kWideRegs * kWide, length -= kWideRegs * kWide) {
            z0 = fold512(z0, by2048, load512<C>(p));
            z1 = fold512(z1, by2048, load512<C>(p + kWide));
            z2 = fold512(z2, by2048, load512<C>(p + 2 * kWide));
            z3 = fold512(z3, by2048, load512<C>(p + 3 * kWide));
        }
        // The registers onto the last, each by its own distance.
        r = fold512(z2, constants512(C::by512), z3);
        r = fold512(z1, constants512(C::by1024), r);
        r = fold512(z0, constants512(C::by1536), r);
    }
    // The leftover 64-byte pieces, then the lanes into one block.
    const __m512i by512 = constants512(C::by512);
    for (; length >= kWide; p += kWide, length -= kWide) {
        r = fold512(r, by512, load512<C>(p));
    }
    return fold_blocks<C>(fold_lanes512<C>(r), p, length);
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

WEX_TARGET_CLMUL uint16_t crc16_clmul(uint16_t crc, const uint8_t *data, size_t length) {
    return crc_clmul<Crc16>(crc, data, length);
}
WEX_TARGET_CLMUL uint32_t crc32_clmul(uint32_t crc, const uint8_t *data, size_t length) {
    return crc_clmul<Crc32>(crc, data, length);
}
WEX_TARGET_CLMUL512 uint16_t crc16_clmul512(uint16_t crc, const uint8_t *data, size_t length) {
    return crc_clmul512<Crc16>(crc, data, length);
}
WEX_TARGET_CLMUL512 uint32_t crc32_clmul512(uint32_t crc, const uint8_t *data, size_t length) {
    return crc_clmul512<Crc32>(crc, data, length);
}

// The public functions' bodies: each engine inlined, the value stored here.
WEX_TARGET_CLMUL uint32_t crc16_clmul_entry(uint16_t crc, const uint8_t *data, size_t length,
                                            uint16_t *out) {
    *out = crc_clmul<Crc16>(crc, data, length);
    return QUIL_SUCCESS;
}
WEX_TARGET_CLMUL uint32_t crc32_clmul_entry(uint32_t crc, const uint8_t *data, size_t length,
                                            uint32_t *out) {
    *out = crc_clmul<Crc32>(crc, data, length);
    return QUIL_SUCCESS;
}
WEX_TARGET_CLMUL512 uint32_t crc16_clmul512_entry(uint16_t crc, const uint8_t *data,
                                                  size_t length, uint16_t *out) {
    *out = crc_clmul512<Crc16>(crc, data, length);
    return QUIL_SUCCESS;
}
WEX_TARGET_CLMUL512 uint32_t crc32_clmul512_entry(uint32_t crc, const uint8_t *data,
                                                  size_t length, uint32_t *out) {
    *out = crc_clmul512<Crc32>(crc, data, length);
    return QUIL_SUCCESS;
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
uint32_t crc16_clmul_entry(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out) {
    *out = crc16_slicing8(crc, data, length);
    return QUIL_SUCCESS;
}
uint32_t crc32_clmul_entry(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out) {
    *out = crc32_slicing8(crc, data, length);
    return QUIL_SUCCESS;
}
uint32_t crc16_clmul512_entry(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out) {
    *out = crc16_slicing8(crc, data, length);
    return QUIL_SUCCESS;
}
uint32_t crc32_clmul512_entry(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out) {
    *out = crc32_slicing8(crc, data, length);
    return QUIL_SUCCESS;
}

#endif

} // namespace wex::crc
