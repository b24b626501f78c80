// SPDX-License-Identifier: MIT
/* A kitchen order on a 58 mm printer (32 columns of font A): the order and
 * table in large print, one line per dish with its notes, and a cut. It uses
 * the library's classic functions: AbreSocket opens the printer's link,
 * FechaSocket closes it again, so a till opens each printer of the shop in
 * turn.
 *
 * usage: kitchen_order [PRINTER_IP]   (default 127.0.0.1; port 9100)
 * Texts are Windows-1252 bytes: the library selects code table 16. */
#include <stdio.h>

#include "quorvel.h"

static void dish(int quantity, const char* name, const char* note) {
    char line[40];
    snprintf(line, sizeof line, "%2dx %s", quantity, name);
    ImprimeTexto(line, 0, 0, 0, 1);
    if (note != NULL) {
        snprintf(line, sizeof line, "    > %s", note);
        ImprimeTexto(line, 0, 1, 0, 0);
    }
}

int main(int argc, char** argv) {
    const char* ip = argc > 1 ? argv[1] : "127.0.0.1";
    if (AbreSocket(ip, 0) != 1) {
        char message[QUORVEL_ERROR_MESSAGE_SIZE];
        quorvel_last_error(message, (int)sizeof message);
        printf("kitchen_order: cannot open %s:9100: %s\n", ip, message);
        return 1;
    }
    ImprimeTxFormatado("COZINHA", 1, 1, 5);
    ImprimeTxFormatado("Pedido 1042", 1, 1, 5);
    ImprimeTexto("Mesa 7 - 12:41 - Jo\xE3o", 1, 0, 0, 0);
    ImprimeTexto("--------------------------------", 0, 0, 0, 0);
    dish(2, "P\xE3o de queijo", NULL);
    dish(1, "Bauru", "sem tomate");
    dish(1, "Sandu\xED" "che natural", "p\xE3o integral");
    dish(3, "Caf\xE9" " expresso", "um descafeinado");
    ImprimeTexto("--------------------------------", 0, 0, 0, 0);
    ImprimeTxFormatado("7 itens", 2, 1, 4);
    ImprimeTextoLF("", 0, 0, 0, 0, 3);
    AcionaGuilhotina();
    FechaSocket();
    printf("kitchen_order: order 1042 sent to %s\n", ip);
    return 0;
}
