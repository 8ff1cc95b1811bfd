/* MD5 digest (RFC 1321), computed over data given in pieces: Init, any number of Updates, Final.
 * Internal interface: not exported by the shared library.
 *
 * All state lives in the caller's MD5Context; nothing is allocated. A context is valid from Init to
 * Final; Final clears it, so the next message starts with Init again. Separate contexts may be used
 * on separate threads at once. The operations return nothing: a null pointer makes a call do
 * nothing. */
#ifndef WEX_MD5_H
#define WEX_MD5_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MD5Context {
    uint32_t state[4];  /* the four chaining values */
    uint32_t count[2];  /* message bits fed so far, modulo 2^64, low word first */
    uint8_t buffer[64]; /* bytes of a partial block not yet compressed */
} MD5Context;

/* Starts a new message: the bit count to 0 and the chaining values to those of RFC 1321. */
void QUIL_MD5_Init(MD5Context *ctx);

/* Feeds length bytes of input; pieces of any size, 0 included, may follow one another. A null
 * input with a length above 0 changes nothing. */
void QUIL_MD5_Update(MD5Context *ctx, const void *input, uint32_t length);

/* Pads the message, writes its 16-byte digest and clears the whole context to zero. */
void QUIL_MD5_Final(uint8_t digest[16], MD5Context *ctx);

/* Building blocks of the three operations above. Transform compresses one 64-byte block into the
 * chaining values, without touching the count or the buffer. Encode writes words as little-endian
 * bytes and Decode reads them back; length counts bytes, and a partial last word is handled
 * byte by byte, so no byte beyond length is read or written (Decode zeroes the missing high
 * bytes of its last word). */
void QUIL_MD5_Transform(MD5Context *ctx, const uint8_t block[64]);
void QUIL_MD5_Encode(uint8_t *output, const uint32_t *input, uint32_t length);
void QUIL_MD5_Decode(uint32_t *output, const uint8_t *input, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
