/* MD5 digest (RFC 1321), computed over data given in pieces: Init, any number of Updates, Final.
 * Internal interface: not exported by the shared library. */
#ifndef WEX_MD5_H
#define WEX_MD5_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MD5Context {
    uint32_t state[4];
    uint32_t count[2];
    uint8_t buffer[64];
} MD5Context;

void QUIL_MD5_Init(MD5Context *ctx);
void QUIL_MD5_Update(MD5Context *ctx, const void *input, uint32_t length);
void QUIL_MD5_Final(uint8_t digest[16], MD5Context *ctx);
void QUIL_MD5_Transform(MD5Context *ctx, const uint8_t block[64]);
void QUIL_MD5_Encode(uint8_t *output, const uint32_t *input, uint32_t length);
void QUIL_MD5_Decode(uint32_t *output, const uint8_t *input, uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
