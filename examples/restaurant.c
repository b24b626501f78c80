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
 * COM1 on Windows). Texts are Windows-1252 bytes: 0xE3 is a with tilde.
 *
 * Each ticket is one whole receipt (quorvel_printer_begin ... _end), sent in
 * one write and confirmed: held tickets are reported and confirmed again until
 * the operator fixes the printer, and a ticket whose fate is unknown (link
 * dropped, printer silent) is reprinted once, marked COPY. */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

#ifdef _WIN32
#include <windows.h>
typedef HANDLE thread_t;
static DWORD WINAPI run_ticket(LPVOID job);
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
static void* run_ticket(void* job);
static int start_thread(thread_t* thread, void* ticket) {
    return pthread_create(thread, NULL, run_ticket, ticket) == 0;
}
static void join_thread(thread_t thread) {
    pthread_join(thread, NULL);
}
#endif

/* Room for a receipt's printing time; a held printer is reported within 1 s. */
#define CONFIRM_MS 10000
/* Confirms of a held receipt (each returns within about a second while held). */
#define HELD_CONFIRMS 300

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

/* One printer's job: a station's ticket (the table in large letters, the items
 * in bold) or, with no title, the customer's receipt. */
struct job {
    const char* where;
    quorvel_printer* printer;
    const char* title;
    const char* items[3]; /* NULL-ended */
    int printed;
};

/* The customer's receipt: 48 columns of font A on 80 mm paper. */
static int print_receipt(quorvel_printer* p) {
    return quorvel_printer_formatted_text(p, "RESTAURANTE S\xC3O JO\xC3O", 1, 0, 5) &&
           quorvel_printer_text(p, "2 x P\xE3o de queijo                          7,00", 0, 0, 0,
                                0) &&
           quorvel_printer_text(p, "1 x Coxinha                                 6,50", 0, 0, 0,
                                0) &&
           quorvel_printer_text(p, "1 x Caf\xE9                                    4,50", 0, 0, 0,
                                0) &&
           quorvel_printer_text(p, "1 x Suco de laranja                         8,00", 0, 0, 0,
                                0) &&
           quorvel_printer_text_feed(p, "TOTAL R$                                   26,00", 0, 0, 0,
                                     1, 2) &&
           quorvel_printer_qr_code(p, 1, 2, 4, 1, "https://example.com/r/42") &&
           quorvel_printer_text_feed(p, "Obrigado!", 1, 0, 0, 0, 4) && quorvel_printer_cut(p);
}

static int print_ticket(const struct job* t) {
    int ok = quorvel_printer_formatted_text(t->printer, t->title, 0, 0, 5);
    for (int i = 0; t->items[i] != NULL; ++i)
        ok = ok && quorvel_printer_text(t->printer, t->items[i], 0, 0, 0, 1);
    return ok && quorvel_printer_text_feed(t->printer, "", 0, 0, 0, 0, 4) &&
           quorvel_printer_cut(t->printer);
}

/* The job as one whole receipt: collected between begin and end, sent in one
 * write, confirmed. A reprint says COPY at the top. 1 printed; 0 not (see
 * quorvel_last_error); -1 a call was refused, and nothing was sent. */
static int print_whole(struct job* j, int copy, const char* name) {
    if (!quorvel_printer_begin(j->printer)) return 0;
    int ok = (!copy || quorvel_printer_formatted_text(j->printer, "*** COPY ***", 1, 0, 5)) &&
             (j->title ? print_ticket(j) : print_receipt(j->printer));
    if (!ok) {
        char why[QUORVEL_ERROR_MESSAGE_SIZE];
        quorvel_last_error(why, (int)sizeof why);
        fprintf(stderr, "restaurant: %s refused: %s\n", name, why);
        quorvel_printer_cancel(j->printer); /* nothing of it goes out */
        return -1;
    }
    return quorvel_printer_end(j->printer, CONFIRM_MS);
}

/* The till's pattern: print, cut, confirm. Held: tell the operator and confirm
 * again, never resend. Outcome unknown: open the printer again and reprint the
 * job marked COPY. */
static void deliver(struct job* j) {
    char why[QUORVEL_ERROR_MESSAGE_SIZE];
    const char* name = j->title ? j->title : "RECEIPT";
    for (int copy = 0; copy < 2; ++copy) {
        int ok = print_whole(j, copy, name);
        if (ok < 0) return;
        for (int n = 0; !ok && n < HELD_CONFIRMS; ++n) {
            if (quorvel_last_error(why, (int)sizeof why) != QUORVEL_E_HELD) break;
            if (n == 0) fprintf(stderr, "restaurant: %s held: %s\n", name, why);
            ok = quorvel_printer_confirm(j->printer, CONFIRM_MS); /* the same receipt */
        }
        if (ok) {
            j->printed = 1;
            return;
        }
        int code = quorvel_last_error(why, (int)sizeof why);
        fprintf(stderr, "restaurant: %s%s: %s\n", name, copy ? " (copy)" : "", why);
        if (code != QUORVEL_E_OUTCOME_UNKNOWN || copy) return; /* held or sent: never resend */
        quorvel_printer_close(j->printer); /* it may have printed: reprint as a copy */
        j->printer = open_printer(j->where);
        if (j->printer == NULL) return;
        fprintf(stderr, "restaurant: reprinting %s marked COPY\n", name);
    }
}

#ifdef _WIN32
static DWORD WINAPI run_ticket(LPVOID job) {
    deliver(job);
    return 0;
}
#else
static void* run_ticket(void* job) {
    deliver(job);
    return NULL;
}
#endif

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s RECEIPT KITCHEN BAR (an IP address or a serial port each)\n",
                argv[0]);
        return 2;
    }
    struct job jobs[3] = {
        {argv[1], NULL, NULL, {NULL}, 0},
        {argv[2], NULL, "COZINHA  MESA 7", {"2 x P\xE3o de queijo", "1 x Coxinha", NULL}, 0},
        {argv[3], NULL, "BAR  MESA 7", {"1 x Caf\xE9", "1 x Suco de laranja", NULL}, 0},
    };
    int ok = 1;
    for (int i = 0; i < 3 && ok; ++i) ok = (jobs[i].printer = open_printer(jobs[i].where)) != NULL;
    if (ok) {
        /* The kitchen and bar tickets from threads of their own, the receipt here. */
        thread_t threads[2];
        int started[2];
        for (int i = 0; i < 2; ++i) started[i] = start_thread(&threads[i], &jobs[i + 1]);
        deliver(&jobs[0]);
        for (int i = 0; i < 2; ++i) {
            if (started[i])
                join_thread(threads[i]);
            else
                deliver(&jobs[i + 1]); /* no thread to spare: print it here */
        }
        ok = jobs[0].printed && jobs[1].printed && jobs[2].printed;
        printf("printed: %s\n", ok ? "yes" : "no");
    }
    for (int i = 2; i >= 0; --i)
        quorvel_printer_close(jobs[i].printer); /* NULL is refused, harmlessly */
    return ok ? 0 : 1;
}
