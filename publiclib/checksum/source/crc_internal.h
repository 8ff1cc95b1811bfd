// The CRC engines behind the public CRC functions. Every engine computes exactly what the
// byte-at-a-time reference loop computes; the fastest one the processor offers is chosen once per
// process. Tests and benchmarks reach each engine through these declarations.
#ifndef WEX_PUBLICLIB_CRC_INTERNAL_H
#define WEX_PUBLICLIB_CRC_INTERNAL_H

#include <cstddef>
#include <cstdint>

namespace wex::crc {

// The engine tables of crc.cpp follow the order of these values.
enum class Engine {
    Bytewise, // one table lookup per byte: the reference
    Slicing8, // eight tables, eight bytes per step: any processor
    Clmul,    // carry-less multiplication folding, 128-bit (x86 PCLMULQDQ)
    Clmul512, // the same folding on 512-bit registers (x86 AVX-512 VPCLMULQDQ)
};

// Whether this processor (and this build) can run engine.
bool engine_available(Engine engine);

// The engine the public functions use in this process.
Engine best_engine();

// The function of engine, which must be available.
using Crc16Function = uint16_t (*)(uint16_t crc, const uint8_t *data, size_t length);
using Crc32Function = uint32_t (*)(uint32_t crc, const uint8_t *data, size_t length);
Crc16Function crc16_function(Engine engine);
Crc32Function crc32_function(Engine engine);

// The body of the public functions for one engine: the value over length bytes from crc goes to
// *out, and the result is QUIL_SUCCESS. The public functions check their arguments and jump to
// the entry of the chosen engine, bound on the first call: the engine is inlined into its entry,
// so a call costs one indirect jump and no lookup.
using Crc16Entry = uint32_t (*)(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out);
using Crc32Entry = uint32_t (*)(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out);
Crc16Entry crc16_entry(Engine engine);
Crc32Entry crc32_entry(Engine engine);

// Runs engine over length bytes from the running value crc. engine must be available.
uint16_t crc16_with(Engine engine, uint16_t crc, const uint8_t *data, size_t length);
uint32_t crc32_with(Engine engine, uint32_t crc, const uint8_t *data, size_t length);

// The portable engines, also the tail loops of the folding ones.
uint16_t crc16_bytewise(uint16_t crc, const uint8_t *data, size_t length);
uint32_t crc32_bytewise(uint32_t crc, const uint8_t *data, size_t length);
uint16_t crc16_slicing8(uint16_t crc, const uint8_t *data, size_t length);
uint32_t crc32_slicing8(uint32_t crc, const uint8_t *data, size_t length);

// The folding engines (crc_clmul.cpp); declared on every platform, available only on x86.
bool clmul_supported();
bool clmul512_supported();
uint16_t crc16_clmul(uint16_t crc, const uint8_t *data, size_t length);
uint32_t crc32_clmul(uint32_t crc, const uint8_t *data, size_t length);
uint16_t crc16_clmul512(uint16_t crc, const uint8_t *data, size_t length);
uint32_t crc32_clmul512(uint32_t crc, const uint8_t *data, size_t length);
uint32_t crc16_clmul_entry(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out);
uint32_t crc32_clmul_entry(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out);
uint32_t crc16_clmul512_entry(uint16_t crc, const uint8_t *data, size_t length, uint16_t *out);
uint32_t crc32_clmul512_entry(uint32_t crc, const uint8_t *data, size_t length, uint32_t *out);

} // namespace wex::crc

#endif
