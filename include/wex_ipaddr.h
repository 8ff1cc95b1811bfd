/* Parsers for IPv4 and IPv6 address text with an optional port.
 * Internal interface: not exported by the shared library.
 *
 * Result codes: IPADDR_* in wex_result_codes.h. A text is either read completely or refused with
 * IPADDR_MALFORMED (30): nothing may be left behind the address, the closing bracket or the port,
 * and a port is a run of digits of at most 65535 (no blank, sign or second prefix). Digits are
 * ASCII only; no locale is consulted. The parsers keep no state and allocate nothing, so any
 * number of threads may call them at once. */
#ifndef WEX_IPADDR_H
#define WEX_IPADDR_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A reading position in a NUL-terminated text: nothing at or beyond pos + remaining is read. */
typedef struct IpAddrCursor {
    const char *pos;   /* next character to read */
    int32_t remaining; /* characters from pos to the end of the text */
} IpAddrCursor;

/* Parses "a.b.c.d" with an optional ":port". Each part is decimal (leading zeros allowed, so
 * "010" is ten) or hexadecimal behind "0x"/"0X", at most 255; the port is decimal, or hexadecimal
 * behind "0x"/"0X". The address is stored in reverse order of the text: address[0] = d,
 * address[3] = a, which read as a little-endian uint32_t gives a * 2^24 + b * 2^16 + c * 2^8 + d.
 * Returns 0 without a port (*port = 0); IPADDR_WITH_PORT (1) with one; 10 when text, address or
 * port is null (nothing written); 30 for malformed text, with address set to four zero bytes and
 * *port to 0. */
uint32_t QUIL_IpAddr_ParseV4(const char *text, uint8_t address[4], uint16_t *port);

/* Reads the run of digits of base (10 or 16, without a prefix) at the cursor as a port and moves
 * the cursor past it. Returns 0; 10 when port or cursor (or its pos) is null or base is neither
 * 10 nor 16; 30 when no digit is at the cursor or the value exceeds 65535. On failure neither
 * *port nor the cursor changes. */
uint32_t QUIL_IpAddr_ParsePort(uint16_t *port, uint32_t base, IpAddrCursor *cursor);

/* Parses IPv6 text: up to eight groups of one to four hexadecimal digits joined by ':', one "::"
 * standing for the groups left out (for none when eight are written), an optional '[' and ']'
 * (not required to pair), a decimal ":port" behind the address, and a dotted IPv4 tail (no port)
 * behind "::" and a run of groups, or behind ":::". After eight groups a ':' starts the port even
 * without brackets ("1:2:3:4:5:6:7:8:80"). The tail is recognised only when its first part has two
 * or three digits and does not begin with '0': "::ffff:1.2.3.4" and "::10.0.0.1" are refused.
 * address receives the 16 bytes in network order, group k in bytes 2k (high) and 2k + 1.
 * Returns 0 with *port = 0 when there is no port; 10 when text, address or port is null
 * (nothing written); 30 for malformed text. After a 30 the outputs are unchanged, except when the
 * text failed behind its "::" (a malformed second run or IPv4 tail): then address holds the bytes
 * gathered so far and *port is 0. Use the outputs only after a 0. */
uint32_t QUIL_IpAddr_ParseV6(const char *text, uint8_t address[16], uint16_t *port);

/* Reads a run of groups joined by single colons at the cursor into buffer, high byte first, and
 * stores the number of bytes in *count (0 when the cursor is not on a hexadecimal digit). The run
 * stops after eight groups, at any character other than ':' followed by a hexadecimal digit, and
 * in front of a ':' that starts an IPv4 tail; the stopping character is not consumed. Returns 0;
 * 10 for a null buffer, count or cursor; 30 for a malformed group. On failure nothing changes. */
uint32_t QUIL_IpAddr_ParseV6Groups(uint8_t buffer[16], uint32_t *count, IpAddrCursor *cursor);

/* Reads one group of one to four hexadecimal digits, which must be followed by ':', '.', ']' or the
 * end of the text (not consumed). Returns 0; 10 for a null value or cursor; 30 otherwise, with
 * neither *value nor the cursor changed. */
uint32_t QUIL_IpAddr_ParseV6Group(uint16_t *value, IpAddrCursor *cursor);

/* Converts '0'-'9', 'A'-'F' or 'a'-'f' to 0 to 15 and returns 0; any other character gives
 * *value = 255 and returns 1. Returns 10 for a null value. */
uint32_t QUIL_IpAddr_HexDigitValue(char c, uint8_t *value);

#ifdef __cplusplus
}
#endif

#endif
