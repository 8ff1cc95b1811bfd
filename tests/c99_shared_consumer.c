/* Compiled as strict C99 against the umbrella header and linked with the shared library: the
 * public headers are valid C and the exported functions work from C. */
#include "wex_publiclib.h"

static int released;

static void count_release(void *element) {
    (void)element;
    released++;
}

static uint32_t match_int(const void *key, const void *item) {
    return *(const int *)key == *(const int *)item ? 0u : 1u;
}

int main(void) {
    static const char check[] = "123456789";
    int values[3] = {1, 2, 3};
    int key = 2;
    DLinkList *list = NULL;
    void *found = NULL;
    uint32_t count = 0;
    uint16_t crc = 0;
    int i;

    if (QUIL_CRC_16(check, 9, &crc) != QUIL_SUCCESS || crc != 0x31C3) {
        return 1;
    }
    if (QUIL_DLinkList_Init(match_int, count_release, &list) != QUIL_SUCCESS) {
        return 2;
    }
    for (i = 0; i < 3; ++i) {
        if (QUIL_DLinkList_Insert(list, &values[i], DLINK_POS_TAIL) != QUIL_SUCCESS) {
            return 3;
        }
    }
    if (QUIL_DLinkList_Query(list, &key, NULL, &found) != QUIL_SUCCESS || found != &values[1]) {
        return 4;
    }
    if (QUIL_DLinkList_Get_NodeNumber(list, &count) != QUIL_SUCCESS || count != 3) {
        return 5;
    }
    if (QUIL_DLinkList_Deinit(list, 0) != QUIL_SUCCESS || released != 3) {
        return 6;
    }
    return 0;
}
