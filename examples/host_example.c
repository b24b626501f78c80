// SPDX-License-Identifier: MIT
/* A till program in plain C: opens the printer named on the command line,
 * prints a receipt, cuts the paper and confirms that it printed.
 *
 *   host_example --tcp 192.168.0.50
 *   host_example --serial /dev/ttyUSB0
 *
 * The till's pattern: print, cut, confirm.
 * - Held (paper out, cover open, an error): tell the operator, and once they
 *   press Enter confirm again. Never send the receipt again: it waits inside
 *   the printer and prints when the cause is cleared.
 * - Outcome unknown (the link dropped, the printer stopped answering): the
 *   receipt may or may not have printed. Open the link again and reprint it
 *   marked COPY.
 * Exit status 0 when the receipt (or its copy) printed, 1 otherwise. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

/* Room for the receipt's printing time; a held printer is reported within 1 s. */
#define CONFIRM_MS 10000

/* Says what failed, then the library's reason, which ends with what to try. */
static void report(const char* what) {
    char why[QUORVEL_ERROR_MESSAGE_SIZE];
    quorvel_last_error(why, sizeof why);
    fprintf(stderr, "%s: %s\n", what, why);
}

static int open_link(int tcp, const char* where) {
    if (tcp ? AbreSocket(where, QUORVEL_MODEL_0) : AbrePortaSerial(where, QUORVEL_MODEL_0))
        return 1;
    fprintf(stderr, "cannot open the printer at %s\n", where);
    report("open");
    if (!tcp) FechaPortaSerial(); /* a port that opened but was not configured is still held */
    return 0;
}

static void close_link(int tcp) {
    if (tcp)
        FechaSocket();
    else
        FechaPortaSerial();
}

/* The receipt, ending with its cut. Text is Windows-1252 (code table 16):
 * 0xC9 is E with acute accent. A reprint says COPY at the top. */
static int print_receipt(int copy) {
    return (!copy || ImprimeTxFormatado("*** COPY ***", QUORVEL_ALIGN_CENTER, QUORVEL_SPACING_32,
                                        QUORVEL_MODE_DOUBLE_SIZE)) &&
           ImprimeTexto("QUORVEL CAF\xC9", 1, 0, 0, 1) &&
           ImprimeTexto("1 x Espresso          2.50", 0, 0, 0, 0) &&
           ImprimeTextoLF("TOTAL                 2.50", 0, 0, 0, 1, 3) && AcionaGuilhotina();
}

/* Confirms; while the receipt is held, tells the operator and confirms again
 * after Enter. 1 printed; 0 with quorvel_last_error saying why not. */
static int confirm_receipt(void) {
    char why[QUORVEL_ERROR_MESSAGE_SIZE];
    while (quorvel_confirm(CONFIRM_MS) != 1) {
        if (quorvel_last_error(why, sizeof why) != QUORVEL_E_HELD) return 0;
        fprintf(stderr, "held: %s\npress Enter once it is fixed\n", why);
        int c;
        while ((c = getchar()) != EOF && c != '\n') {
        }
        if (c == EOF) return 0; /* nobody to fix it: the receipt stays held */
    }
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "--tcp") != 0 && strcmp(argv[1], "--serial") != 0)) {
        fprintf(stderr, "usage: %s --tcp IP | --serial PORT\n", argv[0]);
        return 2;
    }
    const int tcp = strcmp(argv[1], "--tcp") == 0;
    if (!open_link(tcp, argv[2])) return 1;

    for (int copy = 0; copy < 2; ++copy) {
        if (print_receipt(copy) && confirm_receipt()) {
            printf("printed%s: %s\n", copy ? " as a copy" : "",
                   quorvel_confirm_level() == QUORVEL_CONFIRM_PRINTED
                       ? "confirmed by the printer"
                       : "arrived at the printer (it cannot report printing)");
            close_link(tcp);
            return 0;
        }
        const int code = quorvel_last_error(NULL, 0);
        report(copy ? "copy" : "receipt");
        if (code == QUORVEL_E_HELD || code == QUORVEL_E_CANNOT_CONFIRM) break; /* never resend */
        /* Outcome unknown, or a write failed half way: it may have printed. */
        close_link(tcp);
        if (copy || !open_link(tcp, argv[2])) return 1;
        fprintf(stderr, "reprinting the receipt marked COPY\n");
    }
    close_link(tcp);
    return 1;
}
