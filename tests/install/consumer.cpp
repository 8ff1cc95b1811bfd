// A C++ program built against the installed library through find_package, with the static
// library's internal families.
#include <cstdio>
#include <cstring>

#include "wex_publiclib.h"

int main() {
    MD5Context context;
    uint8_t digest[16];
    QUIL_MD5_Init(&context);
    QUIL_MD5_Update(&context, "abc", 3);
    QUIL_MD5_Final(digest, &context);
    const uint8_t expected[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                  0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    if (std::memcmp(digest, expected, sizeof digest) != 0) {
        return 1;
    }
    uint8_t address[4];
    uint16_t port = 0;
    if (QUIL_IpAddr_ParseV4("10.0.0.1:80", address, &port) != IPADDR_WITH_PORT || port != 80) {
        return 2;
    }
    std::puts("c++ consumer: ok");
    return 0;
}
