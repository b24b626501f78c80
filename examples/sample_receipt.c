// SPDX-License-Identifier: MIT
/* A sample till receipt through every family of the library's functions:
 * styled and formatted text, linear barcodes in both GS k forms, Code 128
 * from code lists, QR Code by both command sets, PDF417, Data Matrix, the
 * stored logo, raw commands, the drawer pulse, the status queries and the cut;
 * then the companion calls: a greyscale picture, the full status and a line
 * converted from UTF-8, with quorvel_last_error saying why a call failed.
 *
 * usage: sample_receipt [PRINTER_IP]   (default 127.0.0.1; port 9100)
 * Texts are Windows-1252 bytes: the library selects code table 16. */
#include <stdio.h>
#include <stdlib.h>

#include "quorvel.h"

static const char* status_name(int code) {
    switch (code) {
        case 5:
            return "5 (reply 1A)";
        case 9:
            return "9 (reply 1E)";
        case 24:
            return "24 (reply 16)";
        case 32:
            return "32 (reply 12: ready)";
        default:
            return "no status";
    }
}

static void rule(void) {
    ImprimeTexto("------------------------------------------------", 0, 0, 0, 0);
}

/* One item line in 48 columns of font A: quantity, description, price. */
static void item(int quantity, const char* description, const char* price) {
    char line[64];
    snprintf(line, sizeof line, "%3d %-32s R$ %8s", quantity, description, price);
    ImprimeTexto(line, 0, 0, 0, 0);
}

static void caption(const char* text) {
    ImprimeTexto(text, 1, 1, 1, 0);
}

/* Prints why the last call failed, as the library words it. */
static void explain(const char* what) {
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    int code = quorvel_last_error(message, (int)sizeof message);
    printf("%s: error %d: %s\n", what, code, message);
}

/* A 384 x 112 greyscale badge: a shaded cup on a soft gradient, drawn here
 * so the demo needs no image file. */
enum { picture_width = 384, picture_height = 112 };

static unsigned char* draw_picture(void) {
    unsigned char* gray = malloc(picture_width * picture_height);
    if (gray == NULL) return NULL;
    for (int y = 0; y < picture_height; ++y) {
        for (int x = 0; x < picture_width; ++x) {
            int dx = x - picture_width / 2, dy = y - 64;
            int shade = 235 - x * 90 / picture_width; /* background: light to mid grey */
            if (dy > -30 && dy < 36 && dx > -40 && dx < 40) shade = 40 + (dx + 40) * 2; /* cup */
            if (dx >= 40 && dx < 58 && dy > -14 && dy < 16 && !(dx < 50 && dy > -6 && dy < 8))
                shade = 60; /* handle */
            if (dy >= 36 && dy < 42 && dx > -60 && dx < 60) shade = 20; /* saucer */
            if (dy < -36 && ((x / 6 + y / 9) % 5) == 0 && dx > -30 && dx < 30) shade = 150; /* steam */
            gray[y * picture_width + x] = (unsigned char)shade;
        }
    }
    return gray;
}

static const char* flag(int value) {
    return value < 0 ? "?" : value ? "yes" : "no";
}

int main(int argc, char** argv) {
    const char* ip = argc > 1 ? argv[1] : "127.0.0.1";
    if (AbreSocket(ip, 0) != 1) {
        fprintf(stderr, "sample_receipt: cannot connect to %s:9100\n", ip);
        return 1;
    }
    printf("library version: %s\n", Le_VersaoDLL());
    printf("printer status: %s\n", status_name(Le_Status()));
    printf("drawer: %s\n", Le_Status_Gaveta() == 1 ? "closed (reply 00)" : "open");

    /* Header: the stored logo, then a picture dithered from greyscale */
    ImprimeLogoNV(1, 1, 0);
    {
        unsigned char* picture = draw_picture();
        if (picture != NULL &&
            quorvel_print_image(picture, picture_width, picture_height, picture_width, 1,
                                QUORVEL_DITHER_FLOYD_STEINBERG) != 1)
            explain("picture");
        free(picture);
    }
    ImprimeTxFormatado("CAF\xC9 DO JO\xC3O", 1, 1, 5);
    ImprimeTexto("Padaria e Confeitaria Ltda.", 1, 0, 0, 1);
    ImprimeTexto(
        "Rua das Ac\xE1"
        "cias, 123 - S\xE3o Paulo - SP",
        1, 1, 0, 0);
    ImprimeTexto("CNPJ 12.345.678/0001-90   IE 111.222.333.444", 1, 1, 0, 0);
    rule();
    ImprimeTxFormatado("CUPOM N\xC3O FISCAL", 1, 1, 3);
    ImprimeTxFormatado("Pedido 1042 - Mesa 7", 1, 1, 1);
    rule();

    /* Items */
    ImprimeTexto("Qtd Descri\xE7\xE3o                              Valor", 0, 0, 0, 1);
    item(2, "Caf\xE9 expresso", "11,00");
    item(1, "P\xE3o de queijo", "4,50");
    item(1, "Ma\xE7\xE3 do amor", "6,00");
    item(1,
         "Cr\xE8me br\xFBl\xE9"
         "e",
         "14,00");
    item(1,
         "Suco de a\xE7"
         "a\xED com guaran\xE1",
         "9,50");
    ImprimeTextoLF(
        "    (sem a\xE7\xFA"
        "car, gelo \xE0 parte)",
        0, 1, 0, 0, 1);
    rule();
    ImprimeTxFormatado("TOTAL R$ 45,00", 2, 1, 5);
    ImprimeTexto(
        "    Pago no cart\xE3o de d\xE9"
        "bito         R$    45,00",
        0, 0, 0, 0);
    ImprimeTxFormatado("Troco: R$ 0,00", 2, 0, 0);
    ImprimeTexto("", 0, 0, 0, 0);
    ImprimeTextoInvertido("  OBRIGADO PELA PREFER\xCANCIA!  ", 1, 0, 2);
    ImprimeTexto180("Volte sempre \x80 at\xE9 amanh\xE3!", 1, 1, 2, 0);
    {
        /* Hosts hold UTF-8; the text functions take Windows-1252. */
        char line[128];
        if (quorvel_utf8_to_cp1252("Caf\xC3\xA9 \xE2\x80\x9C" "bem tirado\xE2\x80\x9D \xE2\x80\x94 "
                                   "at\xC3\xA9 amanh\xC3\xA3 \xE2\x82\xAC",
                                   line, (int)sizeof line) >= 0)
            ImprimeTexto(line, 1, 0, 0, 0);
        else
            explain("UTF-8 line");
        /* A character Windows-1252 lacks is refused, and named. */
        if (quorvel_utf8_to_cp1252("Ch\xC3\xA1 \xE6\x8A\xB9\xE8\x8C\xB6", line, (int)sizeof line) < 0)
            explain("UTF-8 line with a matcha name");
    }
    ImprimeTexto("", 0, 0, 0, 0);

    /* Linear barcodes: NUL-ended form and counted form */
    caption("EAN-13 (GS k, NUL form)");
    ImprimeCodigoBarras(1, 2, 1, 2, 2, "789123456789");
    caption("CODE39 (NUL form), HRI above and below");
    ImprimeCodigoBarras(1, 4, 0, 1, 3, "PED-1042");
    caption("UPC-A (counted form)");
    ImprimeCodigoBarras_C(1, 0, 0, 2, 2, "03600029145");
    caption("CODE93 (counted form)");
    ImprimeCodigoBarras_C(1, 7, 0, 2, 2, "Mesa 7");
    caption("CODE128 (counted form), code sets B and C");
    ImprimeCodigoBarras_C(1, 8, 1, 2, 2, "{BNF-{C\x0c\x22\x38\x4e");
    caption("ITF (counted form)");
    ImprimeCodigoBarras_C(1, 5, 0, 2, 2, "00012345678905");

    /* Code 128 from lists of 22 code-set-C values (an access key of 44 digits) */
    {
        char key_one[] = "35,26,01,12,34,56,78,00,01,90,65,00,10,00,00,10,42,11,23,45,67,89";
        char key_two[] = "35,26,01,12,34,56,78,00,01,90,65,00,10,00,00,10,42,11,23,45,67,89";
        caption("Chave de acesso (CODE128 C, 22 valores)");
        ImprimeCode128C(key_one, 1, 0);
        caption("A mesma chave em dois s\xEDmbolos");
        ImprimeCode128_C(key_two, 1, 0, 1);
    }

    /* Two-dimensional symbols */
    caption("QR Code (GS ( k)");
    ImprimeQRCODE_M1(1, 2, 5, 1,
                     "https://quorvel.example/nfce?p=35260112345678000190650010000010421123456789");
    caption("QR Code (GS Z / ESC Z)");
    ImprimeQRCODE_M2(1, 2, 4, 1, "Caf\xE9 do Jo\xE3o - pedido 1042 - R$ 45,00");
    ImprimeTexto("", 0, 0, 0, 0);
    caption("PDF417 (GS Z / ESC Z)");
    ImprimePDF417_M2(1, 4, 3, 2, "PEDIDO 1042|MESA 7|TOTAL 45,00|CARTAO DEBITO");
    ImprimeTexto("", 0, 0, 0, 0);
    caption("Data Matrix (GS Z / ESC Z)");
    ImprimeDataMatrix_M2(1, 0, 0, 5, "1042;45,00;2026-12-07");
    ImprimeTexto("", 0, 0, 0, 0);

    /* Drawer, a raw feed (ESC d 4), the cut */
    Abre_Gaveta();
    printf("drawer after the pulse: %s\n", Le_Status_Gaveta() == 1 ? "closed" : "open");
    {
        char feed[] = "27,100,4";
        ComandoTx(feed);
    }
    AcionaGuilhotina();

    /* A second slip: the printer's self-test */
    ImprimeAutoTeste();
    AcionaGuilhotina();

    printf("printer status at the end: %s\n", status_name(Le_Status()));
    {
        struct quorvel_status full;
        if (quorvel_read_status(&full) != 1) explain("full status");
        printf("full status: on line %s, drawer pin 3 %s, cover open %s, paper near end %s, "
               "paper out %s, error %s (raw %02X %02X %02X %02X)\n",
               flag(full.online), flag(full.drawer_pin3), flag(full.cover_open),
               flag(full.paper_near_end), flag(full.paper_out), flag(full.error),
               full.raw[0] & 0xFF, full.raw[1] & 0xFF, full.raw[2] & 0xFF, full.raw[3] & 0xFF);
    }
    FechaSocket();
    return 0;
}
