/* wex_publiclib: the umbrella header. Including it alone declares every record, constant and
 * operation of the library and of its platform adapter. */
#ifndef WEX_PUBLICLIB_H
#define WEX_PUBLICLIB_H

#include "wex_types.h"
#include "wex_result_codes.h"
#include "wex_os_adapter.h"
#include "wex_dlinklist.h"
#include "wex_slinklist.h"
#include "wex_hash.h"
#include "wex_crc.h"
#include "wex_md5.h"
#include "wex_ini.h"
#include "wex_ipaddr.h"

#endif
