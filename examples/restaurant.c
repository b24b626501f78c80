// SPDX-License-Identifier: MIT
/* A restaurant till in plain C: the customer's receipt on the counter printer,
 * the order on the kitchen printer and the drinks on the bar printer. All three
 * are open at once, each through a printer handle of its own, and the kitchen
 * and bar tickets print from threads of their own while the receipt prints.
 *
 *   restaurant RECEIPT KITCHEN BAR
 *   restaurant 192.168.0.50 /dev/ttyUSB0 192.168.0.52
 *
 * Each printer is an IP address (port 9100) or a serial port (/dev/tty...,
 * COM1 on Windows). Texts are Windows-1252 bytes: 0xE3 is a with tilde. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

#ifdef _WIN32
#include <windows.h>
typedef HANDLE thread_t;
static DWORD WINAPI run_ticket(LPVOID ticket);
static int start_thread(thread_t* thread, void* ticket) {
    *thread = CreateThread(NULL, 0, run_ticket, ticket, 0, NULL);
    return *thread != NULL;
}
static void join_thread(thread_t thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
#else
#include <pthread.h>
typedef pthread_t thread_t;
static void* run_ticket(void* ticket);
static int start_thread(thread_t* thread, void* ticket) {
    return pthread_create(thread, NULL, run_ticket, ticket) == 0;
}
static void join_thread(thread_t thread) {
    pthread_join(thread, NULL);
}
#endif

/* Opens a printer named by an IP address or a serial port; NULL, and why, on failure. */
static quorvel_printer* open_printer(const char* where) {
    int serial = where[0] == '/' || strncmp(where, "COM", 3) == 0;
    quorvel_printer* printer = serial ? quorvel_printer_open_serial(where, 115200, QUORVEL_MODEL_0)
                                      : quorvel_printer_open_tcp(where, 9100, QUORVEL_MODEL_0);
    if (printer == NULL) {
        char message[QUORVEL_ERROR_MESSAGE_SIZE];
        quorvel_last_error(message, (int)sizeof message);
        fprintf(stderr, "restaurant: cannot open the printer at %s: %s\n", where, message);
    }
    return printer;
}

/* One station's ticket: the table in large letters, the items in bold, a cut. */
struct ticket {
    quorvel_printer* printer;
    const char* title;
    const char* items[3]; /* NULL-ended */
    int printed;
};

static void print_ticket(struct ticket* t) {
    int ok = quorvel_printer_formatted_text(t->printer, t->title, 0, 0, 5);
    for (int i = 0; t->items[i] != NULL; ++i)
        ok = ok && quorvel_printer_text(t->printer, t->items[i], 0, 0, 0, 1);
    t->printed = ok && quorvel_printer_text_feed(t->printer, "", 0, 0, 0, 0, 4) &&
                 quorvel_printer_cut(t->printer);
}

#ifdef _WIN32
static DWORD WINAPI run_ticket(LPVOID ticket) {
    print_ticket(ticket);
    return 0;
}
#else
static void* run_ticket(void* ticket) {
    print_ticket(ticket);
    return NULL;
}
#endif

/* The customer's receipt: 48 columns of font A on 80 mm paper. */
static int print_receipt(quorvel_printer* p) {
    return quorvel_printer_formatted_text(p, "RESTAURANTE S\xC3O JO\xC3O", 1, 0, 5) &&
           quorvel_printer_text(p, "2 x P\xE3o de queijo                          7,00", 0, 0, 0, 0) &&
           quorvel_printer_text(p, "1 x Coxinha                                 6,50", 0, 0, 0, 0) &&
           quorvel_printer_text(p, "1 x Caf\xE9                                    4,50", 0, 0, 0, 0) &&
           quorvel_printer_text(p, "1 x Suco de laranja                         8,00", 0, 0, 0, 0) &&
           quorvel_printer_text_feed(p, "TOTAL R$                                   26,00", 0, 0, 0,
                                     1, 2) &&
           quorvel_printer_qr_code(p, 1, 2, 4, 1, "https://example.com/r/42") &&
           quorvel_printer_text_feed(p, "Obrigado!", 1, 0, 0, 0, 4) && quorvel_printer_cut(p);
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s RECEIPT KITCHEN BAR (an IP address or a serial port each)\n",
                argv[0]);
        return 2;
    }
    quorvel_printer* receipt = open_printer(argv[1]);
    quorvel_printer* kitchen = receipt ? open_printer(argv[2]) : NULL;
    quorvel_printer* bar = kitchen ? open_printer(argv[3]) : NULL;
    int ok = bar != NULL;
    if (ok) {
        struct ticket tickets[2] = {
            {kitchen, "COZINHA  MESA 7", {"2 x P\xE3o de queijo", "1 x Coxinha", NULL}, 0},
            {bar, "BAR  MESA 7", {"1 x Caf\xE9", "1 x Suco de laranja", NULL}, 0},
        };
        thread_t threads[2];
        int started[2];
        for (int i = 0; i < 2; ++i) started[i] = start_thread(&threads[i], &tickets[i]);
        ok = print_receipt(receipt);
        for (int i = 0; i < 2; ++i) {
            if (started[i]) join_thread(threads[i]);
            else print_ticket(&tickets[i]); /* no thread to spare: print it here */
            ok = ok && tickets[i].printed;
        }
        /* A 1 from a print call means the bytes left this computer; the status
         * read confirms the counter printer is there and ready. */
        int status = quorvel_printer_status(receipt);
        printf("printed: %s, receipt printer status: %d\n", ok ? "yes" : "no", status);
        ok = ok && status == QUORVEL_STATUS_READY;
    }
    quorvel_printer_close(bar); /* closing NULL is refused, harmlessly */
    quorvel_printer_close(kitchen);
    quorvel_printer_close(receipt);
    return ok ? 0 : 1;
}
