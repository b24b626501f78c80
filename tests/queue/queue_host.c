// SPDX-License-Identifier: MIT
// One receipt, printed through the link named on the command line; built for
// Linux against libquorvel.so and for Windows against Quorvel.dll, so both
// builds print the same bytes. Prints each failing call's outcome and ends
// with status 1 on the first failure.
//
//   queue_host tcp ADDRESS     the receipt over TCP port 9100
//   queue_host queue NAME      the receipt through a print queue
//   queue_host expect NAME     only opens the queue, then asks for status:
//                              prints the outcome codes, one per line
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static int check(int result, const char* call) {
    if (result != 0) return 1;
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    int code = quorvel_last_error(message, (int)sizeof message);
    printf("%s failed: %d %s\n", call, code, message);
    return 0;
}

static int outcome(void) { return quorvel_last_error(NULL, 0); }

// Two receipts: the first ends with the cut (one job), the second with the
// close (another job). Text, a barcode, a QR code and a drawer pulse.
static int print_receipts(void) {
    char qr[] = "https://example.com/r/0001";
    return check(ImprimeTexto("QUORVEL QUEUE RECEIPT", 1, 0, 0, 1), "ImprimeTexto") &&
           check(ImprimeTextoLF("Coffee            2.50", 0, 0, 0, 0, 1), "ImprimeTextoLF") &&
           check(ImprimeCodigoBarras(1, 2, 1, 2, 2, "4006381333931"), "ImprimeCodigoBarras") &&
           check(ImprimeQRCODE_M2(1, 2, 4, 1, qr), "ImprimeQRCODE_M2") &&
           check(Abre_Gaveta(), "Abre_Gaveta") && check(AcionaGuilhotina(), "AcionaGuilhotina") &&
           check(ImprimeTextoLF("second receipt \xe9\xe0\xe7", 2, 1, 1, 0, 3), "ImprimeTextoLF");
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: queue_host tcp ADDRESS | queue NAME | expect NAME\n");
        return 2;
    }
    if (strcmp(argv[1], "tcp") == 0) {
        int ok = check(quorvel_open_tcp(argv[2], 9100, 0), "quorvel_open_tcp") && print_receipts();
        FechaSocket();
        return ok ? 0 : 1;
    }
    if (strcmp(argv[1], "queue") == 0) {
        int ok = check(quorvel_open_queue(argv[2], 0), "quorvel_open_queue") && print_receipts();
        ok = check(FechaPortaSerial(), "FechaPortaSerial") && ok;
        return ok ? 0 : 1;
    }
    if (strcmp(argv[1], "expect") == 0) {
        // The outcome of the open, then of both status queries on the link.
        struct quorvel_status status;
        quorvel_open_queue(argv[2], 0);
        printf("%d\n", outcome());
        int result = Le_Status();
        printf("%d %d\n", result, outcome());
        result = quorvel_read_status(&status);
        printf("%d %d\n", result, outcome());
        FechaPortaSerial();
        return 0;
    }
    return 2;
}
