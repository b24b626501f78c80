// SPDX-License-Identifier: MIT
/* A host built against an installed Quorvel: checks the version text and a
 * list parse, which need no printer. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

int main(void) {
    char list[] = "10,20,30";
    int values[3] = {0, 0, 0};
    int count = separa(list, values);
    printf("version %s, parsed %d: %d %d %d\n", Le_VersaoDLL(), count, values[0], values[1],
           values[2]);
    return strcmp(Le_VersaoDLL(), "1.2.0.0") == 0 && count == 3 && values[2] == 30 ? 0 : 1;
}
