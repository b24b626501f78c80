// SPDX-License-Identifier: MIT
/* A till program in plain C: opens the printer named on the command line,
 * prints a few lines, cuts the paper and reads the printer status.
 *
 *   host_example --tcp 192.168.0.50
 *   host_example --serial /dev/ttyUSB0
 */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

/* Says what failed, then the library's reason, which ends with what to try. */
static void report(const char* what) {
    char why[QUORVEL_ERROR_MESSAGE_SIZE];
    quorvel_last_error(why, sizeof why);
    fprintf(stderr, "%s: %s\n", what, why);
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "--tcp") != 0 && strcmp(argv[1], "--serial") != 0)) {
        fprintf(stderr, "usage: %s --tcp IP | --serial PORT\n", argv[0]);
        return 2;
    }
    const int tcp = strcmp(argv[1], "--tcp") == 0;
    const int model = 0;
    if (!(tcp ? AbreSocket(argv[2], model) : AbrePortaSerial(argv[2], model))) {
        fprintf(stderr, "cannot open the printer at %s\n", argv[2]);
        report("open");
        if (!tcp) FechaPortaSerial(); /* a port that opened but was not configured is still held */
        return 1;
    }

    /* Text is Windows-1252 (code table 16): 0xE9 is e with acute accent. */
    int printed = ImprimeTexto("QUORVEL CAF\xC9", 1, 0, 0, 1) &&
                  ImprimeTexto("1 x Espresso          2.50", 0, 0, 0, 0) &&
                  ImprimeTextoLF("TOTAL                 2.50", 0, 0, 0, 1, 3) && AcionaGuilhotina();
    if (!printed) report("print");
    int status = Le_Status();
    if (status == QUORVEL_STATUS_NONE) report("status");
    printf("printed: %s, status: %d\n", printed ? "yes" : "no", status);

    if (tcp)
        FechaSocket();
    else
        FechaPortaSerial();
    return printed && status != QUORVEL_STATUS_NONE ? 0 : 1;
}
