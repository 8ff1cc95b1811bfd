/* A program that reads its settings from INI text held in memory: a port, a size limit, a ratio
 * and a switch, each as the type it needs, then every setting of the section. Values of the
 * wrong type or out of range are refused, never clamped. Exits with 0 when every answer is the
 * expected one. */
#include <inttypes.h>
#include <stdio.h>

#include "wex_publiclib.h"

static const char kSettings[] = "[server]\n"
                                "port = 8080\n"
                                "max_bytes = 18446744073709551615\n"
                                "load = 0.75\n"
                                "verbose = Yes\n"
                                "# refused below\n"
                                "retries = 12abc\n"
                                "timeout = 99999999999999999999\n"
                                "cache = maybe\n";

/* Prints what a getter answered and counts an answer other than the one expected. */
static int expect(const char *what, uint32_t code, uint32_t expected) {
    const char *meaning = code == QUIL_SUCCESS      ? "read"
                          : code == INI_WRONG_TYPE   ? "not of that type"
                          : code == INI_OUT_OF_RANGE ? "out of range"
                                                     : "failed";
    printf("%-10s %s (%" PRIu32 ")\n", what, meaning, code);
    return code == expected ? 0 : 1;
}

int main(void) {
    IniFile doc = {0};
    int64_t port = 0;
    uint64_t maxBytes = 0;
    double load = 0;
    uint32_t verbose = 0;
    int64_t retries = 0;
    uint64_t timeout = 0;
    uint32_t cache = 0;
    IniPair *pairs = NULL;
    uint32_t count = 0;
    uint32_t i = 0;
    int wrong = 0;

    if (QUIL_Ini_LoadMemory(kSettings, sizeof kSettings - 1, &doc, INI_READ_REAL_FILES) != 0) {
        return 1;
    }
    wrong += expect("port", QUIL_Ini_GetInt64(&doc, "server", "port", &port), QUIL_SUCCESS);
    wrong += expect("max_bytes", QUIL_Ini_GetUint64(&doc, "server", "max_bytes", &maxBytes),
                    QUIL_SUCCESS);
    wrong += expect("load", QUIL_Ini_GetDouble(&doc, "server", "load", &load), QUIL_SUCCESS);
    wrong += expect("verbose", QUIL_Ini_GetBool(&doc, "server", "verbose", &verbose),
                    QUIL_SUCCESS);
    printf("port %" PRId64 ", max_bytes %" PRIu64 ", load %g, verbose %" PRIu32 "\n", port,
           maxBytes, load, verbose);
    wrong += expect("retries", QUIL_Ini_GetInt64(&doc, "server", "retries", &retries),
                    INI_WRONG_TYPE);
    wrong += expect("timeout", QUIL_Ini_GetUint64(&doc, "server", "timeout", &timeout),
                    INI_OUT_OF_RANGE);
    wrong += expect("cache", QUIL_Ini_GetBool(&doc, "server", "cache", &cache), INI_WRONG_TYPE);

    if (QUIL_Ini_GetPairs(&doc, "server", &count, &pairs) == QUIL_SUCCESS) {
        for (i = 0; i < count; ++i) {
            printf("  %s = %s\n", pairs[i].key, pairs[i].value != NULL ? pairs[i].value : "");
        }
        QUIL_Ini_FreePairs(pairs);
    }
    QUIL_Ini_Free(&doc);
    wrong += port == 8080 && maxBytes == UINT64_MAX && load == 0.75 && verbose == 1 ? 0 : 1;
    wrong += count == 7 ? 0 : 1;
    return wrong == 0 ? 0 : 1;
}
