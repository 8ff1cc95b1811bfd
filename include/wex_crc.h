/* CRC-16 (polynomial 0x1021, most significant bit first, start 0, no final XOR: the XMODEM
 * variant, check value 0x31C3) and CRC-32 (reflected polynomial 0xEDB88320, neither pre- nor
 * post-inverted: "123456789" gives 0x2DFD2D88). The CRC-16 pair is exported by the shared library.
 *
 * To checksum data that arrives in pieces, pass each result as the start value of the next piece:
 * the result over the pieces equals the one-shot result over their concatenation. No state, no
 * allocation: safe on any number of threads. */
#ifndef WEX_CRC_H
#define WEX_CRC_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* CRC-16 of length bytes at data, from start value 0. Returns 0 with the value in *crc, or 10 when
 * data or crc is null (also for length 0); *crc is then not written. */
QUIL_EXPORT uint32_t QUIL_CRC_16(const void *data, uint32_t length, uint16_t *crc);

/* Continues the CRC-16 value crc over length more bytes; the result goes to *out. Returns 0, or 10
 * when data or out is null (*out not written). */
QUIL_EXPORT uint32_t QUIL_CRC_Accumulate_16(uint16_t crc, const void *data, uint32_t length,
                                            uint16_t *out);

/* CRC-32 of length bytes at data, from start value 0. Returns 0, or 10 when data or crc is null
 * (*crc not written). Not exported by the shared library. */
uint32_t QUIL_CRC_32(const void *data, uint32_t length, uint32_t *crc);

/* Continues the CRC-32 value crc over length more bytes into *out. Returns 0, or 10 when data or
 * out is null (*out not written). Not exported by the shared library. */
uint32_t QUIL_CRC_Accumulate_32(uint32_t crc, const void *data, uint32_t length, uint32_t *out);

#ifdef __cplusplus
}
#endif

#endif
