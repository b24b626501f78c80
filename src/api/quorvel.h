/* Quorvel: driver library for ESC/POS receipt printers.
 *
 * A host opens one link (AbrePortaSerial or AbreSocket), calls print, control
 * and status functions, and closes the link. Print and control functions return
 * 1 when their whole command was written to an open link, 0 when it was not.
 */
#ifndef QUORVEL_H
#define QUORVEL_H

#include <stdint.h>

#if defined(_WIN32)
#define QUORVEL_CALL __stdcall
#if defined(QUORVEL_BUILDING_LIBRARY)
#define QUORVEL_API
#else
#define QUORVEL_API __declspec(dllimport)
#endif
#else
#define QUORVEL_CALL
#define QUORVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Decimal lists and utilities */
QUORVEL_API int QUORVEL_CALL separa(char* text, int* values);                       /* 1 */
QUORVEL_API const char* QUORVEL_CALL Le_VersaoDLL(void);                            /* 2 */
QUORVEL_API int QUORVEL_CALL ComandoTx(char* text);                                 /* 3 */
QUORVEL_API int QUORVEL_CALL strlen1(const char* text);                             /* 4 */
QUORVEL_API void* QUORVEL_CALL concat(void* dest, const void* first, uint64_t first_len,
                                      const void* second, uint64_t second_len);   /* 5 */

/* Linear barcodes */
QUORVEL_API int QUORVEL_CALL ImprimeCodigoBarras_C(int justification, int barcode_type, int height,
                                                   int width, int hri_position,
                                                   const char* data);              /* 6 */
/* Formatted text */
QUORVEL_API int QUORVEL_CALL ImprimeTxFormatado(const char* text, int justification, int spacing,
                                                int mode);                         /* 7 */
/* Device actions */
QUORVEL_API int QUORVEL_CALL ImprimeAutoTeste(void);                                /* 8 */
QUORVEL_API int QUORVEL_CALL ImprimeLogoNV(int image_number, int justification,
                                           int print_mode);                        /* 9 */
/* Code 128 from code lists */
QUORVEL_API int QUORVEL_CALL ImprimeCode128_C(char* codes, int justification, int height,
                                              int width);                          /* 10 */
QUORVEL_API int QUORVEL_CALL ImprimeCode128C(char* codes, int justification, int height); /* 11 */
QUORVEL_API int QUORVEL_CALL ImprimeCodigoBarras(int justification, int barcode_type, int height,
                                                 int width, int hri_position,
                                                 const char* data);                /* 12 */
/* Two-dimensional symbols */
QUORVEL_API int QUORVEL_CALL ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code,
                                                  int p3_code, const char* data);  /* 13 */
QUORVEL_API int QUORVEL_CALL ImprimePDF417_M2(int justification, int columns, int p3_code,
                                              int ecc_level, const char* data);    /* 14 */
QUORVEL_API int QUORVEL_CALL ImprimeQRCODE_M2(int justification, int model, int module_size,
                                              int ecc_level, const char* data);    /* 15 */
QUORVEL_API int QUORVEL_CALL ImprimeQRCODE_M1(int justification, int model, int module_size,
                                              int ecc_level, const char* data);    /* 16 */
/* Styled text */
QUORVEL_API int QUORVEL_CALL ImprimeTexto180(const char* text, int justification, int font,
                                             int spacing, int bold);               /* 17 */
QUORVEL_API int QUORVEL_CALL ImprimeTextoInvertido(const char* text, int justification, int font,
                                                   int spacing);                   /* 18 */
QUORVEL_API int QUORVEL_CALL ImprimeTexto(const char* text, int justification, int font,
                                          int spacing, int bold);                  /* 19 */
QUORVEL_API int QUORVEL_CALL ImprimeTextoLF(const char* text, int justification, int font,
                                            int spacing, int bold, int feed_lines); /* 20 */
/* Status and device actions */
QUORVEL_API int QUORVEL_CALL Le_Status(void);                                       /* 21 */
QUORVEL_API int QUORVEL_CALL AcionaGuilhotina(void);                                /* 22 */
QUORVEL_API int QUORVEL_CALL Abre_Gaveta(void);                                     /* 23 */
QUORVEL_API int QUORVEL_CALL Le_Status_Gaveta(void);                                /* 24 */
/* Links */
QUORVEL_API int QUORVEL_CALL AbrePortaSerial(const char* port_name, int model_number); /* 25 */
QUORVEL_API int QUORVEL_CALL FechaPortaSerial(void);                                /* 26 */
QUORVEL_API int QUORVEL_CALL AbreSocket(const char* ip_address, int model_number);  /* 27 */
QUORVEL_API int QUORVEL_CALL FechaSocket(void);                                     /* 28 */

/* Status codes of Le_Status. Models 0, 1 and 3 ask DLE EOT 1 (bit 3 of the reply:
 * off line; bit 2: drawer connector pin 3 high); model 2 asks ESC v.
 * Automatic status back (GS a) groups that arrive before the reply are passed
 * over for DLE EOT 1 and for the GS r 2 of Le_Status_Gaveta. An ESC v reply
 * cannot be told from a group's first byte: model 2 reads the first byte. */
#define QUORVEL_STATUS_NONE 0               /* no reply, an unlisted reply, or no query */
#define QUORVEL_STATUS_OFFLINE 5            /* reply 1A */
#define QUORVEL_STATUS_OFFLINE_PIN3_HIGH 9  /* reply 1E; model 2: reply 04 */
#define QUORVEL_STATUS_PIN3_HIGH 24         /* reply 16; model 0: any unlisted byte too; model 2: reply 00 */
#define QUORVEL_STATUS_READY 32             /* reply 12 */
/* Results of Le_Status_Gaveta (0: no status) */
#define QUORVEL_DRAWER_LOW 1               /* reply 00 */
#define QUORVEL_DRAWER_HIGH 2              /* any other reply byte */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEL_H */
