// The address parsers and their building blocks on arbitrary texts through ipaddr_outcomes.h, with
// nothing readable past a text's end, and against inet_pton on the texts that it reads too.
#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <algorithm>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "ipaddr_outcomes.h"

namespace {

using wexfuzz::check;

// Checks that a result breaks no property that holds for every text.
const std::string &checked(const std::string &result) {
    check(result.rfind("wrong", 0) != 0, result.c_str());
    return result;
}

void check_parsers(const char *text) {
    std::string v4 = checked(wexaddr::v4(text));
    uint8_t b[16];
    char dotted[INET_ADDRSTRLEN];
    if (v4 != "malformed" && v4.find(':') == std::string::npos &&
        inet_pton(AF_INET, text, b) == 1) {
        check(v4 == inet_ntop(AF_INET, b, dotted, sizeof dotted), "IPv4 bytes equal inet_pton's");
    }
    std::string v6 = checked(wexaddr::v6(text));
    if (v6.rfind("read ", 0) == 0 && inet_pton(AF_INET6, text, b) == 1) {
        check(v6 == "read " + wexaddr::canonical_v6(b) + " 0",
              "a text inet_pton reads gives its bytes and no port");
    }
    if (v6.rfind("read ", 0) == 0 && v6.compare(v6.size() - 2, 2, " 0") == 0) {
        std::string canonical = v6.substr(5, v6.size() - 7);
        check(wexaddr::v6(canonical.c_str()) == v6, "the canonical text reads back to the bytes");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    wexfuzz::LiveBlockCheck noLeak;
    wexfuzz::ExactText text(bytes, size);
    check_parsers(text.c_str());
    // The building blocks on a copy without terminator: they must read nothing at its end.
    std::unique_ptr<char[]> unterminated(new char[size == 0 ? 1 : size]);
    std::copy(bytes, bytes + size, unterminated.get());
    for (const char *reader : {"port10", "port16", "group", "groups"}) {
        checked(wexaddr::read_at(reader, unterminated.get(), size));
    }
    return 0;
}
