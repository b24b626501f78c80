/* A sample till receipt through every family of the library's functions:
 * styled and formatted text, linear barcodes in both GS k forms, Code 128
 * from code lists, QR Code by both command sets, PDF417, Data Matrix, the
 * stored logo, raw commands, the drawer pulse, the status queries and the cut.
 *
 * usage: sample_receipt [PRINTER_IP]   (default 127.0.0.1; port 9100)
 * Texts are Windows-1252 bytes: the library selects code table 16. */
#include <stdio.h>

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

int main(int argc, char** argv) {
    const char* ip = argc > 1 ? argv[1] : "127.0.0.1";
    if (AbreSocket(ip, 0) != 1) {
        fprintf(stderr, "sample_receipt: cannot connect to %s:9100\n", ip);
        return 1;
    }
    printf("library version: %s\n", Le_VersaoDLL());
    printf("printer status: %s\n", status_name(Le_Status()));
    printf("drawer: %s\n", Le_Status_Gaveta() == 1 ? "closed (reply 00)" : "open");

    /* Header */
    ImprimeLogoNV(1, 1, 0);
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
    FechaSocket();
    return 0;
}
