// MD5 message digest (RFC 1321): the caller's context holds the chaining values, the bit count
// and up to 63 bytes of a partial block. Whole blocks are compressed straight from the caller's
// input; only a leading partial block and the trailing bytes pass through the context's buffer.
#include <array>
#include <cstddef>
#include <utility>

#include "common/bounded.h"
#include "wex_md5.h"

namespace {

constexpr uint32_t kBlockSize = 64;
constexpr uint32_t kWordsPerBlock = 16;
constexpr uint32_t kLengthFieldOffset = 56; // the bit count fills the last 8 bytes of a block
constexpr uint32_t kBitCountBytes = 8;
constexpr uint32_t kDigestBytes = 16;
constexpr uint32_t kBytesPerWord = 4;
// Multiplying a 32-bit byte count by 8 pushes its top three bits into the high word of the count.
constexpr uint32_t kBitsShiftedOut = 29;

constexpr std::array<uint32_t, 4> kInitialState = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};

// Step i adds floor(2^32 * |sin(i + 1)|), i in radians.
constexpr std::array<uint32_t, 64> kSineTable = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Each round rotates by the same four amounts in turn.
constexpr std::array<std::array<uint32_t, 4>, 4> kRoundShifts = {
    {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}}};

// Message word taken by step i: round r walks the sixteen words from a start by a fixed stride.
constexpr uint32_t message_word(uint32_t step) {
    constexpr std::array<uint32_t, 4> kStart = {0, 1, 5, 0};
    constexpr std::array<uint32_t, 4> kStride = {1, 5, 3, 7};
    uint32_t round = step / kWordsPerBlock;
    uint32_t k = step % kWordsPerBlock;
    return (kStart[round] + kStride[round] * k) % kWordsPerBlock;
}

static_assert(message_word(16) == 1 && message_word(17) == 6 && message_word(32) == 5 &&
              message_word(33) == 8 && message_word(48) == 0 && message_word(49) == 7);

constexpr uint32_t rotate_left(uint32_t x, uint32_t n) {
    return (x << n) | (x >> (32 - n));
}

// The four auxiliary functions F, G, H and I, one per round, added to sum. b is the value the
// previous step produced, so every part that does not need it comes first and the chain from b
// to the step's result stays short. F is the bit selection (b & c) | (~b & d) with one operation
// less; G's two halves (b & d) and (c & ~d) have no bit in common, so they can be added one by
// one instead of joined; H's c ^ d and I's ~d wait for no b.
template <uint32_t Round>
constexpr uint32_t add_mix(uint32_t sum, uint32_t b, uint32_t c, uint32_t d) {
    if constexpr (Round == 0) {
        return sum + (d ^ (b & (c ^ d)));
    } else if constexpr (Round == 1) {
        return (sum + (c & ~d)) + (b & d);
    } else if constexpr (Round == 2) {
        return sum + (b ^ (c ^ d));
    } else {
        return sum + (c ^ (b | ~d));
    }
}

uint32_t load_le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// One step. The four working values take turns as a, b, c and d: step i updates value (4 - i) % 4,
// exactly as the unrolled rounds of RFC 1321 name them. The message word is read from the block
// where the step needs it: no copy of the message is made.
template <uint32_t Step> inline void md5_step(std::array<uint32_t, 4> &v, const uint8_t *block) {
    constexpr uint32_t round = Step / kWordsPerBlock;
    constexpr size_t a = (4 - Step % 4) % 4;
    constexpr size_t b = (a + 1) % 4;
    constexpr size_t c = (a + 2) % 4;
    constexpr size_t d = (a + 3) % 4;
    constexpr uint32_t shift = kRoundShifts[round][Step % 4];
    // The message word and the constant do not depend on the previous step: add them first.
    uint32_t sum = v[a] + load_le32(block + kBytesPerWord * message_word(Step)) + kSineTable[Step];
    v[a] = v[b] + rotate_left(add_mix<round>(sum, v[b], v[c], v[d]), shift);
}

// The 64 steps, unrolled at compile time.
template <size_t... Steps>
inline void md5_steps(std::array<uint32_t, 4> &v, const uint8_t *block,
                      std::index_sequence<Steps...>) {
    (md5_step<static_cast<uint32_t>(Steps)>(v, block), ...);
}

void decode_words(uint32_t *output, const uint8_t *input, uint32_t length) {
    uint32_t whole = length / kBytesPerWord;
    for (uint32_t i = 0; i < whole; ++i) {
        output[i] = load_le32(input + i * kBytesPerWord);
    }
    uint32_t tail = length % kBytesPerWord;
    if (tail != 0) {
        // A partial last word: the bytes that are there, the missing high bytes zero.
        uint32_t word = 0;
        for (uint32_t k = 0; k < tail; ++k) {
            word |= static_cast<uint32_t>(input[whole * kBytesPerWord + k]) << (8 * k);
        }
        output[whole] = word;
    }
}

void encode_words(uint8_t *output, const uint32_t *input, uint32_t length) {
    for (uint32_t k = 0; k < length; ++k) {
        output[k] = static_cast<uint8_t>(input[k / kBytesPerWord] >> (8 * (k % kBytesPerWord)));
    }
}

void transform(uint32_t state[4], const uint8_t *block) {
    std::array<uint32_t, 4> v = {state[0], state[1], state[2], state[3]};
    md5_steps(v, block, std::make_index_sequence<kBlockSize>{});
    for (size_t i = 0; i < v.size(); ++i) {
        state[i] += v[i];
    }
}

// Number of bytes waiting in the context's buffer.
uint32_t buffered_bytes(const MD5Context *ctx) {
    return (ctx->count[0] >> 3) % kBlockSize;
}

void add_to_bit_count(MD5Context *ctx, uint32_t length) {
    uint32_t bits = length << 3;
    ctx->count[0] += bits;
    if (ctx->count[0] < bits) {
        ctx->count[1]++;
    }
    ctx->count[1] += length >> kBitsShiftedOut;
}

void update(MD5Context *ctx, const uint8_t *input, uint32_t length) {
    uint32_t index = buffered_bytes(ctx);
    add_to_bit_count(ctx, length);
    uint32_t i = 0;
    if (index != 0) {
        // Complete the buffered block first, if this input reaches that far.
        uint32_t room = kBlockSize - index;
        if (length < room) {
            wex::bounded::memcpy_s(ctx->buffer + index, room, input, length);
            return;
        }
        wex::bounded::memcpy_s(ctx->buffer + index, room, input, room);
        transform(ctx->state, ctx->buffer);
        i = room;
    }
    // Whole blocks straight from the input, then the rest into the emptied buffer.
    for (; length - i >= kBlockSize; i += kBlockSize) {
        transform(ctx->state, input + i);
    }
    wex::bounded::memcpy_s(ctx->buffer, kBlockSize, input + i, length - i);
}

// The padding (a one bit, zeros, the 64-bit bit count) written straight into the buffer after
// the bytes waiting there: one block, or two when fewer than nine bytes of room are left.
void finish(MD5Context *ctx) {
    uint32_t index = buffered_bytes(ctx);
    ctx->buffer[index++] = 0x80;
    if (index > kLengthFieldOffset) {
        wex::bounded::memset_s(ctx->buffer + index, kBlockSize - index, 0, kBlockSize - index);
        transform(ctx->state, ctx->buffer);
        index = 0;
    }
    wex::bounded::memset_s(ctx->buffer + index, kLengthFieldOffset - index, 0,
                           kLengthFieldOffset - index);
    encode_words(ctx->buffer + kLengthFieldOffset, ctx->count, kBitCountBytes);
    transform(ctx->state, ctx->buffer);
}

} // namespace

extern "C" {

void QUIL_MD5_Init(MD5Context *ctx) {
    if (ctx == nullptr) {
        return;
    }
    ctx->count[0] = 0;
    ctx->count[1] = 0;
    for (size_t i = 0; i < kInitialState.size(); ++i) {
        ctx->state[i] = kInitialState[i];
    }
}

void QUIL_MD5_Update(MD5Context *ctx, const void *input, uint32_t length) {
    if (ctx == nullptr || (input == nullptr && length != 0)) {
        return;
    }
    if (length != 0) {
        update(ctx, static_cast<const uint8_t *>(input), length);
    }
}

void QUIL_MD5_Final(uint8_t digest[16], MD5Context *ctx) {
    if (digest == nullptr || ctx == nullptr) {
        return;
    }
    finish(ctx);
    encode_words(digest, ctx->state, kDigestBytes);
    wex::bounded::memset_s(ctx, sizeof *ctx, 0, sizeof *ctx);
}

void QUIL_MD5_Transform(MD5Context *ctx, const uint8_t block[64]) {
    if (ctx == nullptr || block == nullptr) {
        return;
    }
    transform(ctx->state, block);
}

void QUIL_MD5_Encode(uint8_t *output, const uint32_t *input, uint32_t length) {
    if (output == nullptr || input == nullptr) {
        return;
    }
    encode_words(output, input, length);
}

void QUIL_MD5_Decode(uint32_t *output, const uint8_t *input, uint32_t length) {
    if (output == nullptr || input == nullptr) {
        return;
    }
    decode_words(output, input, length);
}

} // extern "C"
