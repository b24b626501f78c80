// SPDX-License-Identifier: MIT
/* A receipt through a print queue: a printer installed as a printer (Windows'
 * printer list, e.g. a USB receipt printer with its driver; a CUPS queue on
 * Linux). The commands collect into one job, sent as RAW bytes at the cut.
 *
 *   queue_example "POS-80 Printer"      (Windows: the name in Printers & scanners)
 *   queue_example receipts              (Linux: a name from lpstat -p)
 *
 * Each failure says what to do, from the library's error code and message.
 */
#include <stdio.h>

#include "quorvel.h"

/* What to try for the queue's own errors; the library's message says more. */
static const struct {
    int code;
    const char* advice;
} queue_advice[] = {
    {QUORVEL_E_QUEUE_NOT_FOUND,
     "no queue of that name: check the spelling against the printer list"},
    {QUORVEL_E_QUEUE_PAUSED,
     "the queue is paused: resume it (Windows: Printers & scanners; CUPS: cupsenable)"},
    {QUORVEL_E_JOB_REFUSED, "the queue refuses jobs: let it accept them (CUPS: cupsaccept)"},
    {QUORVEL_E_SYSTEM, "the spooler cannot be reached: is the print spooler service running?"},
};

static int failed(const char* call) {
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    const int code = quorvel_last_error(message, (int)sizeof message);
    fprintf(stderr, "%s failed (error %d): %s\n", call, code, message);
    for (size_t i = 0; i < sizeof queue_advice / sizeof queue_advice[0]; ++i)
        if (queue_advice[i].code == code) fprintf(stderr, "  %s\n", queue_advice[i].advice);
    return 0;
}

static int print_receipt(void) {
    char qr[] = "https://example.com/r/0001";
    /* Each call returns 1 when its bytes joined the job. */
    return (ImprimeTexto("PADARIA CENTRAL", 1, 0, 0, 1) || failed("ImprimeTexto")) &&
           (ImprimeTextoLF("Coffee                      2.50", 0, 0, 0, 0, 1) ||
            failed("ImprimeTextoLF")) &&
           (ImprimeQRCODE_M2(1, 2, 4, 1, qr) || failed("ImprimeQRCODE_M2")) &&
           /* The cut ends the receipt and sends the job to the queue. */
           (AcionaGuilhotina() || failed("AcionaGuilhotina (sending the job)"));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s QUEUE-NAME\n", argv[0]);
        return 2;
    }
    if (!quorvel_open_queue(argv[1], 0)) return failed("quorvel_open_queue"), 1;
    const int printed = print_receipt();
    /* Closing sends whatever followed the last cut (nothing here). */
    const int closed = FechaPortaSerial() || failed("FechaPortaSerial");
    if (!printed || !closed) return 1;
    printf("receipt sent to queue %s\n", argv[1]);
    return 0;
}
