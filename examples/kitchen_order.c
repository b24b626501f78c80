// SPDX-License-Identifier: MIT
/* A kitchen order on a 58 mm printer (32 columns of font A): the order and
 * table in large print, one line per dish with its notes, and a cut. It goes
 * through a printer handle: the kitchen printer is open on its own, beside
 * whatever else the till has open (the counter printer, the bar).
 *
 * usage: kitchen_order [PRINTER_IP]   (default 127.0.0.1; port 9100)
 * Texts are Windows-1252 bytes: the library selects code table 16. */
#include <stdio.h>

#include "quorvel.h"

static void dish(quorvel_printer* kitchen, int quantity, const char* name, const char* note) {
    char line[40];
    snprintf(line, sizeof line, "%2dx %s", quantity, name);
    quorvel_printer_text(kitchen, line, 0, 0, 0, 1);
    if (note != NULL) {
        snprintf(line, sizeof line, "    > %s", note);
        quorvel_printer_text(kitchen, line, 0, 1, 0, 0);
    }
}

int main(int argc, char** argv) {
    const char* ip = argc > 1 ? argv[1] : "127.0.0.1";
    quorvel_printer* kitchen = quorvel_printer_open_tcp(ip, 9100, 0);
    if (kitchen == NULL) {
        char message[QUORVEL_ERROR_MESSAGE_SIZE];
        quorvel_last_error(message, (int)sizeof message);
        printf("kitchen_order: cannot open %s:9100: %s\n", ip, message);
        return 1;
    }
    quorvel_printer_formatted_text(kitchen, "COZINHA", 1, 1, 5);
    quorvel_printer_formatted_text(kitchen, "Pedido 1042", 1, 1, 5);
    quorvel_printer_text(kitchen, "Mesa 7 - 12:41 - Jo\xE3o", 1, 0, 0, 0);
    quorvel_printer_text(kitchen, "--------------------------------", 0, 0, 0, 0);
    dish(kitchen, 2, "P\xE3o de queijo", NULL);
    dish(kitchen, 1, "Bauru", "sem tomate");
    dish(kitchen, 1, "Sandu\xED" "che natural", "p\xE3o integral");
    dish(kitchen, 3, "Caf\xE9" " expresso", "um descafeinado");
    quorvel_printer_text(kitchen, "--------------------------------", 0, 0, 0, 0);
    quorvel_printer_formatted_text(kitchen, "7 itens", 2, 1, 4);
    quorvel_printer_text_feed(kitchen, "", 0, 0, 0, 0, 3);
    if (quorvel_printer_cut(kitchen) != 1) {
        char message[QUORVEL_ERROR_MESSAGE_SIZE];
        quorvel_last_error(message, (int)sizeof message);
        quorvel_printer_close(kitchen);
        printf("kitchen_order: the order did not reach %s:9100: %s\n", ip, message);
        return 1;
    }
    quorvel_printer_close(kitchen);
    printf("kitchen_order: order 1042 sent to %s\n", ip);
    return 0;
}
