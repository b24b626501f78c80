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
 * off line; bit 2: drawer connector pin 3 high); model 2 asks ESC v. */
#define QUORVEL_STATUS_NONE 0               /* no reply, an unlisted reply, or no query */
#define QUORVEL_STATUS_OFFLINE 5            /* reply 1A */
#define QUORVEL_STATUS_OFFLINE_PIN3_HIGH 9  /* reply 1E; model 2: reply 04 */
#define QUORVEL_STATUS_PIN3_HIGH 24         /* reply 16; model 0: any unlisted byte too; model 2: reply 00 */
#define QUORVEL_STATUS_READY 32             /* reply 12 */
/* Results of Le_Status_Gaveta (0: no status) */
#define QUORVEL_DRAWER_LOW 1               /* reply 00 */
#define QUORVEL_DRAWER_HIGH 2              /* any other reply byte */

/* ------------------------------------------------------------------------
 * Companion API: quorvel_* functions.
 *
 * They follow the rules of the functions above: one process-wide lock, every
 * wait bounded, no exit and no SIGPIPE, nothing sent for refused input, one
 * write per command (per band for images), no heap in command paths. They use
 * the same single link: a link opened by quorvel_open_tcp is closed by
 * FechaSocket, one opened by quorvel_open_serial by FechaPortaSerial, and all
 * print functions write to it.
 *
 * Every exported function, the ones above included, records its outcome for
 * the calling thread: a code from enum quorvel_error and a one-line message.
 * quorvel_last_error reads them. Recording never changes a function's result.
 * ------------------------------------------------------------------------ */

/** Outcome codes recorded by every exported function (see quorvel_last_error). */
enum quorvel_error {
    QUORVEL_E_OK = 0,                 /**< the last call succeeded */
    QUORVEL_E_NO_LINK = 1,            /**< no link is open (or the call needs the other kind) */
    QUORVEL_E_ALREADY_OPEN = 2,       /**< a TCP link is already open */
    QUORVEL_E_BAD_ADDRESS = 3,        /**< not an IPv4 or IPv6 literal (host names are refused) */
    QUORVEL_E_BAD_PORT = 4,           /**< TCP port outside 1 to 65535 */
    QUORVEL_E_REFUSED = 5,            /**< the printer refused the connection (nothing listens) */
    QUORVEL_E_TIMED_OUT = 6,          /**< no answer to the connection request within 5 s */
    QUORVEL_E_UNREACHABLE = 7,        /**< no route to the address, or it is not usable here */
    QUORVEL_E_PORT_NOT_FOUND = 8,     /**< no serial port of that name */
    QUORVEL_E_PERMISSION_DENIED = 9,  /**< the system refused access to the port */
    QUORVEL_E_PORT_BUSY = 10,         /**< another process (or opener) holds the port */
    QUORVEL_E_NOT_SERIAL = 11,        /**< the name opens, but it is not a serial device */
    QUORVEL_E_SETTINGS_NOT_APPLIED = 12, /**< the port refused the line settings; it stays open */
    QUORVEL_E_BAD_SPEED = 13,         /**< bits per second not a standard speed, 1200 to 921600 */
    QUORVEL_E_WRITE_FAILED = 14,      /**< a write failed, or was cut short by its time-out */
    QUORVEL_E_LINK_CLOSED = 15,       /**< the printer closed or reset the link */
    QUORVEL_E_TOO_LONG = 16,          /**< input longer than the function accepts */
    QUORVEL_E_NULL_INPUT = 17,        /**< a required pointer argument is null */
    QUORVEL_E_BAD_LIST_ITEM = 18,     /**< a decimal list is empty or has an item that is not a number */
    QUORVEL_E_NO_REPLY = 19,          /**< the printer did not answer a query within 2 s */
    QUORVEL_E_BAD_ARGUMENT = 20,      /**< a number outside its accepted values (see each function) */
    QUORVEL_E_IMAGE_TOO_WIDE = 21,    /**< image wider than QUORVEL_IMAGE_MAX_WIDTH dots */
    QUORVEL_E_NOT_CP1252 = 22,        /**< a character has no Windows-1252 form */
    QUORVEL_E_BAD_UTF8 = 23,          /**< malformed UTF-8 */
    QUORVEL_E_BUFFER_TOO_SMALL = 24,  /**< the output buffer cannot hold the result */
    QUORVEL_E_SYSTEM = 25             /**< another system failure; the message names it */
};

/** Suggested size of the message buffer given to quorvel_last_error. */
#define QUORVEL_ERROR_MESSAGE_SIZE 256
/** Widest image, in dots, that quorvel_print_image and quorvel_store_logo accept (72 mm at 203 dpi). */
#define QUORVEL_IMAGE_MAX_WIDTH 576
/** Tallest image, in dots, that quorvel_print_image accepts. */
#define QUORVEL_IMAGE_MAX_HEIGHT 65535
/** Tallest image, in dots, that quorvel_store_logo accepts. */
#define QUORVEL_LOGO_MAX_HEIGHT 2304
/** Image rows per band written by quorvel_print_image. */
#define QUORVEL_IMAGE_BAND_ROWS 128
/** Values of the dither argument. */
#define QUORVEL_DITHER_THRESHOLD 0       /**< a pixel below 128 is black */
#define QUORVEL_DITHER_FLOYD_STEINBERG 1 /**< error diffusion, same black level */

/**
 * Printer status read by quorvel_read_status. Each flag is 1 when set, 0 when
 * clear, and -1 when the reply that carries it did not come.
 */
struct quorvel_status {
    /* DLE EOT 1: printer */
    int online;              /**< 1 on line (bit 3 clear) */
    int drawer_pin3;         /**< drawer connector pin 3 high (bit 2) */
    int waiting_recovery;    /**< waiting for on-line recovery (bit 5) */
    int feed_button;         /**< feed button pressed (bit 6) */
    /* DLE EOT 2: off-line cause */
    int cover_open;          /**< cover open (bit 2) */
    int paper_feeding;       /**< paper being fed by the feed button (bit 3) */
    int stopped_paper_end;   /**< printing stopped by paper end (bit 5) */
    int error;               /**< an error occurred (bit 6) */
    /* DLE EOT 3: error cause */
    int recoverable_error;   /**< recoverable error (bit 2) */
    int autocutter_error;    /**< auto-cutter error (bit 3) */
    int unrecoverable_error; /**< unrecoverable error (bit 5) */
    int auto_recoverable_error; /**< auto-recoverable error (bit 6) */
    /* DLE EOT 4: roll paper */
    int paper_near_end;      /**< paper near end (bits 2 and 3) */
    int paper_out;           /**< paper end (bits 5 and 6) */
    /** The reply bytes to DLE EOT 1, 2, 3 and 4 (0 to 255), or -1 when missing. */
    int raw[4];
};

/**
 * Reports how the calling thread's last call to this library ended.
 *
 * @param message  buffer for a one-line English message (no line end) that
 *                 names the address or port and the system's reason; may be
 *                 null. It is always NUL-terminated and cut to fit.
 *                 "ok" after a call that succeeded.
 * @param size     size of message in bytes; 0 or less writes nothing.
 * @return the quorvel_error code of the thread's last call: QUORVEL_E_OK (0)
 *         after a call that succeeded or before any call.
 *
 * This function does not record an outcome of its own, so it can be called
 * repeatedly. Outcomes are per thread: another thread's calls never change
 * what this thread reads.
 */
QUORVEL_API int QUORVEL_CALL quorvel_last_error(char* message, int size); /* 40 */

/**
 * Opens the TCP link to a network printer at any port.
 *
 * @param address  IPv4 dotted-decimal literal ("192.0.2.7", no leading zeros) or
 *                 IPv6 literal ("::1", "fe80::1%2", optionally in brackets
 *                 "[::1]"). Host names are refused: resolving them can block
 *                 without limit.
 * @param port     TCP port, 1 to 65535 (9100 is the usual raw printer port).
 * @param model    printer model number as for AbreSocket (0 to 3); stored even
 *                 when the call fails, as AbreSocket does.
 * @return 1 when the link is open, 0 otherwise.
 *
 * The connection attempt waits at most 5 s. Errors: QUORVEL_E_ALREADY_OPEN,
 * QUORVEL_E_NULL_INPUT, QUORVEL_E_BAD_ADDRESS, QUORVEL_E_BAD_PORT,
 * QUORVEL_E_REFUSED, QUORVEL_E_TIMED_OUT, QUORVEL_E_UNREACHABLE,
 * QUORVEL_E_SYSTEM. Close the link with FechaSocket.
 */
QUORVEL_API int QUORVEL_CALL quorvel_open_tcp(const char* address, int port, int model); /* 41 */

/**
 * Opens a serial link at any standard speed.
 *
 * @param port             device name: "/dev/ttyS0", "/dev/ttyUSB0" on Linux,
 *                         "COM1" (or "\\\\.\\COM10") on Windows.
 * @param bits_per_second  1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200,
 *                         230400, 460800 or 921600. Line: 8 data bits, no parity,
 *                         1 stop bit, no flow control.
 * @param model            printer model number as for AbrePortaSerial (0 to 3).
 * @return 1 when the port is open and set, 0 otherwise.
 *
 * As AbrePortaSerial: a port this library already holds is closed first, and a
 * port that opens but refuses its settings stays open (close it with
 * FechaPortaSerial). An unsupported speed is refused before anything else
 * happens, leaving any open port as it was. Reads wait at most 2 s, writes
 * 1 s plus 1 ms per byte. Errors: QUORVEL_E_NULL_INPUT, QUORVEL_E_BAD_SPEED,
 * QUORVEL_E_PORT_NOT_FOUND, QUORVEL_E_PERMISSION_DENIED, QUORVEL_E_PORT_BUSY,
 * QUORVEL_E_NOT_SERIAL, QUORVEL_E_SETTINGS_NOT_APPLIED, QUORVEL_E_SYSTEM.
 */
QUORVEL_API int QUORVEL_CALL quorvel_open_serial(const char* port, int bits_per_second,
                                                 int model); /* 42 */

/**
 * Prints an 8-bit greyscale image as raster bit images (GS v 0).
 *
 * @param gray           pixels, row by row, 0 black to 255 white.
 * @param width          dots per row, 1 to QUORVEL_IMAGE_MAX_WIDTH (576).
 * @param height         rows, 1 to QUORVEL_IMAGE_MAX_HEIGHT.
 * @param stride         bytes from the start of one row to the next, at least width.
 * @param justification  0 left, 1 centre, 2 right (ESC a).
 * @param dither         QUORVEL_DITHER_THRESHOLD (0): a pixel below 128 prints
 *                       black; QUORVEL_DITHER_FLOYD_STEINBERG (1): error diffusion.
 * @return 1 only when every band was written, 0 otherwise.
 *
 * The first write is ESC @, ESC a and the first band; each further band of at
 * most QUORVEL_IMAGE_BAND_ROWS rows is one GS v 0 command in one write. On a
 * failed write no further band is sent. Errors: QUORVEL_E_NULL_INPUT,
 * QUORVEL_E_IMAGE_TOO_WIDE, QUORVEL_E_BAD_ARGUMENT (width, height, stride,
 * justification or dither), QUORVEL_E_NO_LINK, QUORVEL_E_WRITE_FAILED,
 * QUORVEL_E_LINK_CLOSED.
 */
QUORVEL_API int QUORVEL_CALL quorvel_print_image(const unsigned char* gray, int width, int height,
                                                 int stride, int justification,
                                                 int dither); /* 43 */

/**
 * Stores an 8-bit greyscale image in the printer's non-volatile memory as
 * image number, so that ImprimeLogoNV(number, ...) prints it.
 *
 * Uses FS q (define NV bit images). FS q replaces every stored image at once:
 * after this call image number holds the picture and images 1 to number - 1
 * hold a blank 8 x 8 dot placeholder; any other stored image is gone. The
 * image is padded with white to whole bytes: width up to a multiple of 8 dots,
 * height up to a multiple of 8 dots. Printers limit how often their
 * non-volatile memory may be written: store a logo once, not per receipt.
 *
 * @param number  image number, 1 to 255.
 * @param gray    pixels, row by row, 0 black to 255 white.
 * @param width   dots per row, 1 to QUORVEL_IMAGE_MAX_WIDTH (576).
 * @param height  rows, 1 to QUORVEL_LOGO_MAX_HEIGHT (2304).
 * @param stride  bytes from the start of one row to the next, at least width.
 * @param dither  as for quorvel_print_image.
 * @return 1 only when the whole command was written, 0 otherwise.
 *
 * The command goes out in bands of columns, one write each. Errors:
 * QUORVEL_E_NULL_INPUT, QUORVEL_E_IMAGE_TOO_WIDE, QUORVEL_E_BAD_ARGUMENT,
 * QUORVEL_E_NO_LINK, QUORVEL_E_WRITE_FAILED, QUORVEL_E_LINK_CLOSED.
 */
QUORVEL_API int QUORVEL_CALL quorvel_store_logo(int number, const unsigned char* gray, int width,
                                                int height, int stride, int dither); /* 44 */

/**
 * Reads the printer's full status with the real-time queries DLE EOT 1, 2, 3
 * and 4, which every model answers the same way, even while off line.
 *
 * Bytes already waiting on the link are discarded first. Each query waits at
 * most 2 s for its one-byte reply; a byte that is not a status reply (for
 * instance an automatic status group) is skipped within that time.
 *
 * @param status  filled in: every field of a reply that came, -1 in every
 *                field (and raw entry) of a reply that did not.
 * @return 1 only when all four replies came, 0 otherwise.
 *
 * Errors: QUORVEL_E_NULL_INPUT (nothing is sent), QUORVEL_E_NO_LINK,
 * QUORVEL_E_WRITE_FAILED, QUORVEL_E_LINK_CLOSED, QUORVEL_E_NO_REPLY.
 */
QUORVEL_API int QUORVEL_CALL quorvel_read_status(struct quorvel_status* status); /* 45 */

/**
 * Converts UTF-8 text to the Windows-1252 bytes that the text functions take.
 *
 * @param utf8  NUL-terminated UTF-8 text (a leading byte-order mark is kept
 *              out of the result).
 * @param out   receives the Windows-1252 text and a NUL byte. With out null
 *              and size 0 nothing is written and the length is still returned,
 *              so a caller can learn the size it needs (length + 1).
 * @param size  size of out in bytes, 0 or more.
 * @return the length of the converted text (without the NUL byte), or -1.
 *
 * Errors: QUORVEL_E_NULL_INPUT (utf8 null, or out null with size > 0);
 * QUORVEL_E_BAD_UTF8 and QUORVEL_E_NOT_CP1252 on the first offending
 * character, whose message names its byte offset and the bytes or the
 * character (U+XXXX); QUORVEL_E_BUFFER_TOO_SMALL when out is not null and
 * cannot hold the text and its NUL byte (out is then left empty);
 * QUORVEL_E_BAD_ARGUMENT for a negative size. Nothing is sent to the printer.
 */
QUORVEL_API int QUORVEL_CALL quorvel_utf8_to_cp1252(const char* utf8, char* out, int size); /* 46 */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEL_H */
