// SPDX-License-Identifier: MIT
/* The reference call sequence for the binding tests: every exported function
 * called through quorvel.h, each result printed as one line "name result...".
 * The C# and Pascal hosts make the same calls through their bindings; the
 * harness (run_binding.py) requires the same lines and the same bytes at the
 * printer. usage: reference_host PRINTER_IP */
#include <stdio.h>
#include <string.h>

#include "quorvel.h"

static void hex(const char* name, const void* bytes, size_t length) {
    printf("%s", name);
    for (size_t i = 0; i < length; ++i) printf(" %02X", ((const unsigned char*)bytes)[i]);
    printf("\n");
}

static void last_error(const char* after) {
    char message[QUORVEL_ERROR_MESSAGE_SIZE];
    int code = quorvel_last_error(message, sizeof message);
    printf("last_error after %s: %d %s\n", after, code, message);
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const char* ip = argv[1];

    /* Utilities, no printer needed */
    printf("Le_VersaoDLL %s\n", Le_VersaoDLL());
    printf("strlen1 %d\n", strlen1("abc"));
    char dest[6] = "-----";
    void* returned = concat(dest, "ab", 2, "cde", 3);
    printf("concat %s %s\n", dest, returned == dest ? "dest" : "other");
    char list[] = "10,-20,,30x";
    int values[4] = {7, 7, 7, 7};
    int count = separa(list, values);
    printf("separa %d %d %d %d %d\n", count, values[0], values[1], values[2], values[3]);
    hex("separa text", list, sizeof list);

    /* The 28 over TCP */
    printf("AbreSocket %d\n", AbreSocket(ip, 0));
    printf("AbreSocket again %d\n", AbreSocket(ip, 0));
    printf("Le_Status %d\n", Le_Status());
    printf("Le_Status_Gaveta %d\n", Le_Status_Gaveta());
    printf("ImprimeTexto %d\n", ImprimeTexto("Caf\xE9", 1, 0, 5, 1));
    printf("ImprimeTextoLF %d\n", ImprimeTextoLF("LF", 2, 1, 1, 0, 3));
    printf("ImprimeTexto180 %d\n", ImprimeTexto180("180", 0, 1, 2, 1));
    printf("ImprimeTextoInvertido %d\n", ImprimeTextoInvertido("INV", 1, 0, 3));
    printf("ImprimeTxFormatado %d\n", ImprimeTxFormatado("FMT", 2, 4, 5));
    printf("ImprimeCodigoBarras %d\n", ImprimeCodigoBarras(1, 2, 1, 2, 2, "789123456789"));
    printf("ImprimeCodigoBarras_C %d\n", ImprimeCodigoBarras_C(0, 8, 0, 3, 1, "{BAB12"));
    char codes_two[] = "10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31";
    printf("ImprimeCode128_C %d\n", ImprimeCode128_C(codes_two, 1, 0, 2));
    char codes_one[] = "35,26,01,12,34,56,78,00,01,90,65,00,10,00,00,10,42,11,23,45,67,89";
    printf("ImprimeCode128C %d\n", ImprimeCode128C(codes_one, 2, 1));
    char short_codes[] = "1,2,3";
    printf("ImprimeCode128C short %d\n", ImprimeCode128C(short_codes, 0, 0));
    printf("ImprimeQRCODE_M1 %d\n", ImprimeQRCODE_M1(1, 2, 4, 1, "QR one"));
    printf("ImprimeQRCODE_M2 %d\n", ImprimeQRCODE_M2(1, 2, 3, 2, "QR two"));
    printf("ImprimePDF417_M2 %d\n", ImprimePDF417_M2(0, 4, 3, 2, "PDF417"));
    printf("ImprimeDataMatrix_M2 %d\n", ImprimeDataMatrix_M2(2, 0, 1, 5, "DM"));
    printf("ImprimeLogoNV %d\n", ImprimeLogoNV(1, 1, 0));
    char raw[] = "27,100,2";
    printf("ComandoTx %d\n", ComandoTx(raw));
    printf("ImprimeAutoTeste %d\n", ImprimeAutoTeste());
    printf("AcionaGuilhotina %d\n", AcionaGuilhotina());
    printf("Abre_Gaveta %d\n", Abre_Gaveta());

    /* The companion functions */
    char converted[16];
    printf("quorvel_utf8_to_cp1252 %d\n",
           quorvel_utf8_to_cp1252("Caf\xC3\xA9", converted, sizeof converted));
    hex("converted", converted, 4);
    printf("quorvel_utf8_to_cp1252 bad %d\n", quorvel_utf8_to_cp1252("\xE2\x82", converted, 16));
    last_error("bad UTF-8");
    printf("quorvel_check_barcode %d\n", quorvel_check_barcode(QUORVEL_BARCODE_EAN13, "5901234123457"));
    printf("quorvel_check_barcode bad %d\n", quorvel_check_barcode(QUORVEL_BARCODE_EAN13, "123"));
    last_error("bad barcode");
    struct quorvel_status status;
    memset(&status, 0, sizeof status);
    printf("quorvel_read_status %d\n", quorvel_read_status(&status));
    printf("status %d %d %d %d raw %d %d %d %d\n", status.online, status.cover_open,
           status.paper_near_end, status.paper_out, status.raw[0], status.raw[1], status.raw[2],
           status.raw[3]);
    unsigned char gray[8 * 16];
    for (int i = 0; i < 8 * 16; ++i) gray[i] = (unsigned char)((i % 16 + i / 16) % 2 ? 255 : 0);
    printf("quorvel_print_image %d\n", quorvel_print_image(gray, 16, 8, 16, 1, 0));
    printf("quorvel_store_logo %d\n", quorvel_store_logo(1, gray, 16, 8, 16, 1));
    printf("FechaSocket %d\n", FechaSocket());
    printf("FechaSocket again %d\n", FechaSocket());
    last_error("FechaSocket again");

    printf("quorvel_open_tcp %d\n", quorvel_open_tcp(ip, 9100, 2));
    printf("Le_Status model 2 %d\n", Le_Status());
    printf("FechaSocket %d\n", FechaSocket());
    printf("ImprimeTexto no link %d\n", ImprimeTexto("lost", 0, 0, 0, 0));
    last_error("no link");

    /* Serial ports that do not exist */
    printf("AbrePortaSerial %d\n", AbrePortaSerial("/nonexistent/ttyQ0", 0));
    printf("FechaPortaSerial %d\n", FechaPortaSerial());
    printf("quorvel_open_serial %d\n", quorvel_open_serial("/nonexistent/ttyQ0", 19200, 0));
    last_error("quorvel_open_serial");

    /* What a binding's idiomatic layer sends for a small receipt (C#: the Printer class) */
    printf("class open %d\n", AbreSocket(ip, 0));
    printf("class text %d\n", ImprimeTexto("Caf\xE9 com a\xE7\xFA"
                                           "car",
                                           1, 0, 0, 1));
    printf("class formatted %d\n", ImprimeTxFormatado("TOTAL R$ 11,50", 2, 0, 5));
    printf("class barcode %d\n", ImprimeCodigoBarras_C(1, 2, 2, 2, 2, "789123456789"));
    char class_codes[] = "35,26,1,12,34,56,78,0,1,90,65,0,10,0,0,10,42,11,23,45,67,89";
    printf("class code128 %d\n", ImprimeCode128C(class_codes, 1, 2));
    printf("class qr %d\n", ImprimeQRCODE_M1(1, 2, 4, 1, "https://example.com/r/42"));
    char class_raw[] = "27,100,2";
    printf("class raw %d\n", ComandoTx(class_raw));
    printf("class cut %d\n", AcionaGuilhotina());
    printf("class status %d\n", Le_Status());
    printf("class close %d\n", FechaSocket());

    /* Whole receipts and bytes as they are (no confirm here: its status polls are timed) */
    static const unsigned char own[] = {0x1B, 0x40, 'A', 0x00, 'B', 0x0A};
    quorvel_printer* p = quorvel_printer_open_tcp(ip, 9100, 0);
    printf("receipt write %d\n", quorvel_printer_write(p, own, (int)sizeof own));
    printf("receipt begin %d\n", quorvel_printer_begin(p));
    printf("receipt text %d\n", quorvel_printer_text(p, "Caf\xE9", 1, 0, 0, 1));
    printf("receipt write inside %d\n", quorvel_printer_write(p, own, (int)sizeof own));
    printf("receipt cut %d\n", quorvel_printer_cut(p));
    printf("receipt end %d\n", quorvel_printer_end(p, 0));
    printf("receipt level %d\n", quorvel_printer_confirm_level(p));
    printf("receipt begin again %d\n", quorvel_printer_begin(p));
    printf("receipt dropped text %d\n", quorvel_printer_text(p, "dropped", 0, 0, 0, 0));
    printf("receipt cancel %d\n", quorvel_printer_cancel(p));
    printf("receipt cancel again %d\n", quorvel_printer_cancel(p));
    last_error("cancel again");
    printf("receipt confirm negative %d\n", quorvel_printer_confirm(p, -1));
    last_error("confirm negative");
    printf("receipt close %d\n", quorvel_printer_close(p));
    printf("classic open %d\n", AbreSocket(ip, 0));
    printf("quorvel_write %d\n", quorvel_write(own, (int)sizeof own));
    printf("quorvel_write nothing %d\n", quorvel_write(NULL, 0));
    printf("quorvel_confirm_level %d\n", quorvel_confirm_level());
    printf("classic close %d\n", FechaSocket());
    return 0;
}
