/* A small program over the exported interface: it keeps the words of its arguments (or a few of
 * its own) in a doubly linked list, prints them in order with the CRC-16 of each, and ends with the
 * CRC-16 of all of them chained together. */
#include <stdio.h>
#include <string.h>

#include "wex_publiclib.h"

static void keep_element(void *element) {
    (void)element;
}

static uint32_t print_word(void *first, void *element, void *second) {
    uint16_t *chained = (uint16_t *)first;
    const char *word = (const char *)element;
    uint32_t length = (uint32_t)strlen(word);
    uint16_t crc = 0;
    (void)second;
    QUIL_CRC_16(word, length, &crc);
    QUIL_CRC_Accumulate_16(*chained, word, length, chained);
    printf("%04x  %s\n", crc, word);
    return 0;
}

int main(int argc, char **argv) {
    static char *defaults[] = {"123456789", "abc", "wex_publiclib"};
    char **words = argc > 1 ? argv + 1 : defaults;
    int n = argc > 1 ? argc - 1 : 3;
    DLinkList *list = NULL;
    uint16_t chained = 0;
    int i;

    if (QUIL_DLinkList_Init(NULL, keep_element, &list) != 0) {
        fprintf(stderr, "list_and_crc: out of memory\n");
        return 1;
    }
    for (i = 0; i < n; ++i) {
        if (QUIL_DLinkList_Insert(list, words[i], DLINK_POS_TAIL) != 0) {
            fprintf(stderr, "list_and_crc: out of memory\n");
            QUIL_DLinkList_Deinit(list, 1);
            return 1;
        }
    }
    QUIL_DLinkList_Process_List(list, print_word, &chained, NULL);
    printf("%04x  (all %d words chained)\n", chained, n);
    QUIL_DLinkList_Deinit(list, 1);
    return 0;
}
