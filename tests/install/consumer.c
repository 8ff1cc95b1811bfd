/* A C99 program built against the installed library through pkg-config. */
#include <stdio.h>

#include "wex_publiclib.h"

static void keep(void *element) {
    (void)element;
}

int main(void) {
    DLinkList *list = NULL;
    uint16_t crc = 0;
    uint32_t count = 0;
    static char word[] = "123456789";

    if (QUIL_CRC_16(word, 9, &crc) != QUIL_SUCCESS || crc != 0x31C3) {
        return 1;
    }
    if (QUIL_DLinkList_Init(NULL, keep, &list) != QUIL_SUCCESS ||
        QUIL_DLinkList_Insert(list, word, DLINK_POS_TAIL) != QUIL_SUCCESS ||
        QUIL_DLinkList_Get_NodeNumber(list, &count) != QUIL_SUCCESS || count != 1) {
        return 2;
    }
    QUIL_DLinkList_Deinit(list, 1);
    puts("c99 consumer: ok");
    return 0;
}
