/* Parsers for IPv4 and IPv6 address text with an optional port.
 * Internal interface: not exported by the shared library. */
#ifndef WEX_IPADDR_H
#define WEX_IPADDR_H

#include "wex_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct IpAddrCursor {
    const char *pos;
    int32_t remaining;
} IpAddrCursor;

uint32_t QUIL_IpAddr_ParseV4(const char *text, uint8_t address[4], uint16_t *port);
uint32_t QUIL_IpAddr_ParsePort(uint16_t *port, uint32_t base, IpAddrCursor *cursor);
uint32_t QUIL_IpAddr_ParseV6(const char *text, uint8_t address[16], uint16_t *port);
uint32_t QUIL_IpAddr_ParseV6Groups(uint8_t buffer[16], uint32_t *count, IpAddrCursor *cursor);
uint32_t QUIL_IpAddr_ParseV6Group(uint16_t *value, IpAddrCursor *cursor);
uint32_t QUIL_IpAddr_HexDigitValue(char c, uint8_t *value);

#ifdef __cplusplus
}
#endif

#endif
