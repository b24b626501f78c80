// SPDX-License-Identifier: MIT
/**
 * \file quorvel.h
 * \brief Quorvel: driver library for ESC/POS receipt printers.
 *
 * A host program opens one link to one printer (AbreSocket for TCP port 9100
 * of a network printer, AbrePortaSerial for a serial port), calls print,
 * control and status functions, and closes the link (FechaSocket,
 * FechaPortaSerial). A program that drives several printers at once opens a
 * printer handle for each (quorvel_printer_open_tcp, quorvel_printer_open_serial)
 * and calls the quorvel_printer_* functions on it. The same functions are
 * exported by `libquorvel.so` and by `Quorvel.dll` (by name, at the ordinals
 * of `Quorvel.def`).
 *
 * What holds for every function:
 *
 * - **Results.** A print or control function returns 1 when its whole command
 *   was written to an open link, and 0 when it was not: no link is open, the
 *   write failed or did not finish within its time-out (1 ms per byte plus
 *   1 s), or the input was refused. Refused input (a null pointer, a text or
 *   data longer than the function's limit, a decimal list that does not fit)
 *   sends nothing at all. A 1 means the bytes left this computer, not that the
 *   printer printed them: quorvel_confirm (or quorvel_printer_confirm) waits
 *   until it has, and says when a receipt is held in the printer or may be
 *   lost. A status reply (Le_Status) only says the bytes before it arrived.
 * - **One call, one command.** Each call sends one complete command in one
 *   write (ImprimeCode128_C sends two). Print commands begin with ESC @, which
 *   resets the printer's settings, so the style a call sets never carries over
 *   to the next call.
 * - **One call prints one line in one style.** A text call prints its text and
 *   ends the line; to mix styles on a receipt, make one call per line. The
 *   library neither wraps nor cuts long text: at 80 mm paper a line holds 48
 *   characters of font A or 64 of font B (half as many at double width); the
 *   printer wraps what is longer.
 * - **Text is Windows-1252 bytes.** The text functions select character code
 *   table 16 (Windows-1252) and send the text's bytes unchanged: no conversion,
 *   no escaping. "Caf\xE9" prints "Café". UTF-8 must be converted by the host
 *   first. Control bytes in a text (LF, ESC, ...) reach the printer as they are.
 * - **Writable text.** ImprimeCode128C, ImprimeCode128_C, ComandoTx and separa
 *   split their decimal list in place: the comma after each item is
 *   overwritten with a NUL byte. Pass them writable memory (a `char[]`, never a
 *   string literal, which crashes the host on most systems), and a fresh copy
 *   of the list for every call: a list that was split once reads as its first
 *   item alone.
 * - **Coded arguments are mapped, never refused.** Every integer selector
 *   (justification, font, barcode type, height, ...) is mapped to a command
 *   byte by a table whose last row takes any other value, negative values
 *   included. Each function lists its table; the enums below name the values.
 * - **Nothing hangs or ends the host.** A connection is given 5 s, a status
 *   reply 2 s, a write 1 ms per byte plus 1 s. Failures are reported by the
 *   result (and quorvel_last_error), never by ending the process; a printer
 *   that closes the connection never raises SIGPIPE.
 * - **Threads.** Every call on the default link (the functions without a
 *   printer handle) holds that link's lock, so calls from several threads
 *   never interleave their commands or replies. Each printer handle has a lock
 *   of its own: calls on one handle are serialised the same way, calls on
 *   different handles (and on the default link) run in parallel.
 */
#ifndef QUORVEL_H
#define QUORVEL_H

#include <stdint.h>

/** \defgroup version Version
 *  The library's version. Le_VersaoDLL returns it as the text "MAJOR.MINOR.PATCH.0".
 *  @{ */
#define QUORVEL_VERSION_MAJOR 1 /**< incremented when the interface changes incompatibly */
#define QUORVEL_VERSION_MINOR 2 /**< incremented when functions are added */
#define QUORVEL_VERSION_PATCH 0 /**< incremented for fixes */
/** @} */

/** \def QUORVEL_CALL
 *  Calling convention of every function: `__stdcall` on Windows (which on
 *  x64 is the one Windows convention), the platform's C convention elsewhere.
 *  The 32-bit Quorvel.dll exports every function by its plain name (no
 *  `_name@N`), at the same ordinals as the 64-bit one. Bindings declare the functions with the standard calling convention
 *  (C#: CallingConvention.StdCall; Pascal: stdcall on Windows, cdecl elsewhere).
 *  \def QUORVEL_API
 *  Marks an exported function: imported from Quorvel.dll on Windows, default
 *  visibility elsewhere.
 */
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

/** \defgroup codes Values of the coded arguments
 *  Named values of the integer selectors. Any value outside a table is still
 *  accepted and mapped as each function says (usually to the last row).
 *  @{ */

/** Justification (every `justification` argument): ESC a n. Any other value
 *  prints right-aligned, except in ImprimeLogoNV, which sends the value's low
 *  byte unchanged. */
enum quorvel_justification {
    QUORVEL_ALIGN_LEFT = 0,   /**< ESC a 0 */
    QUORVEL_ALIGN_CENTER = 1, /**< ESC a 1 */
    QUORVEL_ALIGN_RIGHT = 2   /**< ESC a 2; also every other value */
};

/** Character font (`font`): ESC M n. Font A is 12 dots wide, 48 characters a
 *  line on 80 mm paper (576 dots); font B is 9 dots wide, 64 characters. Any
 *  value other than 0 selects font B. */
enum quorvel_font {
    QUORVEL_FONT_A = 0, /**< ESC M 0 */
    QUORVEL_FONT_B = 1  /**< ESC M 1; also every other non-zero value */
};

/** Emphasis (`bold`): ESC E n. Any non-zero value turns it on. */
enum quorvel_bold {
    QUORVEL_BOLD_OFF = 0, /**< ESC E 0 */
    QUORVEL_BOLD_ON = 1   /**< ESC E 1; also every other non-zero value */
};

/** Line-spacing index (`spacing` of the text functions): ESC 3 n, n in the
 *  printer's vertical motion units (dots on a 203 dpi printer). Any index
 *  outside 0 to 5, negative included, gives 21, which is tighter than index 0;
 *  the printer's default spacing is never restored. A line of font A is 24
 *  dots tall, so index 0 (32) or more leaves a gap between lines. */
enum quorvel_spacing {
    QUORVEL_SPACING_32 = 0, /**< ESC 3 32 (0x20) */
    QUORVEL_SPACING_40 = 1, /**< ESC 3 40 (0x28) */
    QUORVEL_SPACING_48 = 2, /**< ESC 3 48 (0x30) */
    QUORVEL_SPACING_53 = 3, /**< ESC 3 53 (0x35) */
    QUORVEL_SPACING_64 = 4, /**< ESC 3 64 (0x40) */
    QUORVEL_SPACING_69 = 5, /**< ESC 3 69 (0x45) */
    QUORVEL_SPACING_21 = 6  /**< ESC 3 21 (0x15); also every other value */
};

/** Print mode of ImprimeTxFormatado (`mode`): ESC ! n. Exactly one mode per
 *  call. 0 is not plain text: it underlines, as every value outside 1 to 5
 *  does. For plain text use ImprimeTexto. */
enum quorvel_text_mode {
    QUORVEL_MODE_UNDERLINE = 0,     /**< ESC ! 0x80, underline; also every value outside 1 to 5 */
    QUORVEL_MODE_FONT_B = 1,        /**< ESC ! 0x01, font B */
    QUORVEL_MODE_PLAIN = 2,         /**< ESC ! 0x02, a bit with no function: plain font A text */
    QUORVEL_MODE_BOLD = 3,          /**< ESC ! 0x08, emphasis */
    QUORVEL_MODE_DOUBLE_HEIGHT = 4, /**< ESC ! 0x10, double height */
    /** ESC ! 0x30, double height and double width (24 characters a line) */
    QUORVEL_MODE_DOUBLE_SIZE = 5
};

/** Symbology (`barcode_type`) of ImprimeCodigoBarras (GS k m, data ended by
 *  NUL, m = 0 to 6) and ImprimeCodigoBarras_C (GS k m n, counted data,
 *  m = 65 to 74). The data is sent unchanged: no check digit is computed and
 *  no length or character rule is checked; a symbol the printer cannot encode
 *  is not printed. ImprimeCodigoBarras knows 0 to 6 and prints CODABAR for
 *  every other value (7 to 9 included); ImprimeCodigoBarras_C knows 0 to 9 and
 *  prints GS1-128 for every other value. */
enum quorvel_barcode_type {
    QUORVEL_BARCODE_UPC_A = 0,   /**< UPC-A: 11 or 12 digits (m 0 / 65) */
    /** UPC-E: 6 to 8 digits, or 11 or 12 starting with 0 (m 1 / 66) */
    QUORVEL_BARCODE_UPC_E = 1,
    QUORVEL_BARCODE_EAN13 = 2,   /**< EAN-13 (JAN13): 12 or 13 digits (m 2 / 67) */
    QUORVEL_BARCODE_EAN8 = 3,    /**< EAN-8 (JAN8): 7 or 8 digits (m 3 / 68) */
    QUORVEL_BARCODE_CODE39 = 4,  /**< CODE39: 0-9, A-Z, space, $ % * + - . / (m 4 / 69) */
    /** ITF (interleaved 2 of 5): an even number of digits (m 5 / 70) */
    QUORVEL_BARCODE_ITF = 5,
    /** CODABAR (NW-7): start/stop A-D around 0-9 $ + - . / : (m 6 / 71) */
    QUORVEL_BARCODE_CODABAR = 6,
    QUORVEL_BARCODE_CODE93 = 7,  /**< CODE93, ImprimeCodigoBarras_C only (m 72) */
    /** CODE128, ImprimeCodigoBarras_C only (m 73); the data starts with "{A", "{B" or "{C" */
    QUORVEL_BARCODE_CODE128 = 8,
    /** GS1-128, ImprimeCodigoBarras_C only (m 74); also every other value there */
    QUORVEL_BARCODE_GS1_128 = 9
};

/** Bar height (`height` of the linear barcode and Code 128 functions): GS h n,
 *  in dots. Any value other than 0 and 1 gives 80 dots. */
enum quorvel_bar_height {
    QUORVEL_BAR_HEIGHT_32 = 0, /**< GS h 32 */
    QUORVEL_BAR_HEIGHT_50 = 1, /**< GS h 50 */
    QUORVEL_BAR_HEIGHT_80 = 2  /**< GS h 80; also every other value */
};

/** Module width (`width` of the linear barcode functions and
 *  ImprimeCode128_C): GS w n, the narrowest bar in dots. Any value other
 *  than 1 and 2 (0 included) gives 3. */
enum quorvel_bar_width {
    QUORVEL_BAR_WIDTH_1 = 1, /**< GS w 1 (not every printer prints it) */
    QUORVEL_BAR_WIDTH_2 = 2, /**< GS w 2 */
    QUORVEL_BAR_WIDTH_3 = 3  /**< GS w 3; also every other value */
};

/** Position of the human-readable characters of a linear barcode
 *  (`hri_position`): GS H n. Any value outside 0 to 2 prints them on both
 *  sides. The Code 128 list functions never print them. */
enum quorvel_hri_position {
    QUORVEL_HRI_NONE = 0,  /**< GS H 0, not printed */
    QUORVEL_HRI_ABOVE = 1, /**< GS H 1, above the bars */
    QUORVEL_HRI_BELOW = 2, /**< GS H 2, below the bars */
    QUORVEL_HRI_BOTH = 3   /**< GS H 3, above and below; also every other value */
};

/** QR Code model (`model` of ImprimeQRCODE_M1 and ImprimeQRCODE_M2). Model 2
 *  is what phones read; use it unless a reader asks for model 1.
 *  ImprimeQRCODE_M1 sends model 2 for every value other than 1;
 *  ImprimeQRCODE_M2 sends 0 ("automatic") for every value other than 1 and 2. */
enum quorvel_qr_model {
    /** ImprimeQRCODE_M2: v = 0x00, the printer chooses; ImprimeQRCODE_M1: model 2 */
    QUORVEL_QR_MODEL_AUTO = 0,
    QUORVEL_QR_MODEL_1 = 1,    /**< model 1 (0x31) */
    QUORVEL_QR_MODEL_2 = 2     /**< model 2 (0x32) */
};

/** QR Code error-correction level (`ecc_level` of the QR functions): the share
 *  of the symbol that may be damaged and still read. Any value outside 0 to 2,
 *  negative included, gives level H. ImprimeQRCODE_M1 sends 0x30 to 0x33,
 *  ImprimeQRCODE_M2 the letters L, M, Q, H. */
enum quorvel_qr_ecc {
    QUORVEL_QR_ECC_L = 0, /**< about 7 % */
    QUORVEL_QR_ECC_M = 1, /**< about 15 % */
    QUORVEL_QR_ECC_Q = 2, /**< about 25 % */
    QUORVEL_QR_ECC_H = 3  /**< about 30 %; also every other value */
};

/** Module size of a QR Code or Data Matrix symbol (`module_size` of the QR
 *  functions, `p3_code` of ImprimeDataMatrix_M2): the side of one module in
 *  dots, 1 to 7. Any value outside 1 to 6 gives 7. */
enum quorvel_module_size {
    QUORVEL_MODULE_SIZE_MIN = 1, /**< the smallest module, 1 dot (hard to read) */
    QUORVEL_MODULE_SIZE_MAX = 7  /**< the largest module, 7 dots; also every value outside 1 to 6 */
};

/** PDF417 arguments of ImprimePDF417_M2. */
enum quorvel_pdf417 {
    /** `columns`: data columns 1 to 30; any other value gives 30 */
    QUORVEL_PDF417_COLUMNS_MAX = 30,
    /** `p3_code`: row height 1 to 6 module widths; any other value gives 6 */
    QUORVEL_PDF417_ROW_HEIGHT_MAX = 6,
    /** `ecc_level`: error-correction level 0 to 8; any other value gives 8 */
    QUORVEL_PDF417_ECC_MAX = 8
};

/** Data Matrix size codes of ImprimeDataMatrix_M2. `p1_code` is sent as it is
 *  for 0 to 3 and as 4 otherwise; `p2_code` 0 to 3 send 0x00, 0x08, 0x09, 0x0A
 *  and any other value 0x0B. A code of 0 on both lets the printer choose the
 *  size; a size it cannot honour is chosen automatically too. */
enum quorvel_datamatrix {
    QUORVEL_DATAMATRIX_AUTO = 0,  /**< `p1_code` and `p2_code` 0: automatic size */
    QUORVEL_DATAMATRIX_P1_MAX = 4, /**< `p1_code` is 0 to 4 (any other value sends 4) */
    /** `p2_code` is 0 to 4 (sending 0x00, 0x08, 0x09, 0x0A, 0x0B) */
    QUORVEL_DATAMATRIX_P2_MAX = 4
};

/** Printer model number (`model_number` of AbreSocket and AbrePortaSerial).
 *  It chooses the serial speed and the status query of Le_Status. A number
 *  outside 0 to 3 opens the link at 115200 bit/s, and Le_Status then returns
 *  0 without asking the printer. */
enum quorvel_model {
    /** 115200 bit/s; Le_Status asks DLE EOT 1 and reads every unlisted reply as 24 */
    QUORVEL_MODEL_0 = 0,
    QUORVEL_MODEL_1 = 1, /**< 115200 bit/s; Le_Status asks DLE EOT 1, unlisted replies give 0 */
    /** 115200 bit/s; Le_Status asks ESC v (paper sensor): reply 04 gives 9, 00 gives 24 */
    QUORVEL_MODEL_2 = 2,
    QUORVEL_MODEL_3 = 3  /**< 9600 bit/s; Le_Status as model 1 */
};

/** Print size of a stored logo (`print_mode` of ImprimeLogoNV): FS p n m.
 *  Sent as its low byte, unmapped. */
enum quorvel_logo_mode {
    QUORVEL_LOGO_NORMAL = 0,        /**< m = 0 */
    QUORVEL_LOGO_DOUBLE_WIDTH = 1,  /**< m = 1 */
    QUORVEL_LOGO_DOUBLE_HEIGHT = 2, /**< m = 2 */
    QUORVEL_LOGO_QUADRUPLE = 3      /**< m = 3, double width and height */
};

/** Limits of the data arguments, in bytes before the terminating NUL. Longer
 *  input is refused whole: the function returns 0 and sends nothing. */
enum quorvel_limits {
    QUORVEL_MAX_TEXT = 8174,            /**< ImprimeTexto, ImprimeTextoInvertido */
    QUORVEL_MAX_TEXT_LF = 8172,         /**< ImprimeTextoLF */
    QUORVEL_MAX_TEXT_180 = 8171,        /**< ImprimeTexto180 */
    QUORVEL_MAX_TEXT_FORMATTED = 8177,  /**< ImprimeTxFormatado */
    QUORVEL_MAX_BARCODE = 91,           /**< ImprimeCodigoBarras */
    QUORVEL_MAX_BARCODE_COUNTED = 93,   /**< ImprimeCodigoBarras_C */
    /** ImprimeQRCODE_M2, ImprimePDF417_M2, ImprimeDataMatrix_M2 */
    QUORVEL_MAX_SYMBOL_ESCZ = 4335,
    QUORVEL_MAX_QR = 4295,              /**< ImprimeQRCODE_M1 */
    QUORVEL_MAX_RAW_ITEMS = 4096,       /**< items of a ComandoTx list */
    QUORVEL_CODE128_VALUES = 22         /**< values taken by ImprimeCode128C and ImprimeCode128_C */
};

/** \def QUORVEL_STATUS_NONE
 *  Le_Status and Le_Status_Gaveta: no status. No reply came within 2 s, the
 *  printer closed the link, no link is open, the reply is not in the model's
 *  table (models 1 to 3), or the model number is outside 0 to 3.
 *  \def QUORVEL_STATUS_OFFLINE
 *  Le_Status: the printer is off line (reply 1A to DLE EOT 1), e.g. cover open
 *  or paper out.
 *  \def QUORVEL_STATUS_OFFLINE_PIN3_HIGH
 *  Le_Status: off line with drawer connector pin 3 high (reply 1E); model 2:
 *  reply 04 to ESC v.
 *  \def QUORVEL_STATUS_PIN3_HIGH
 *  Le_Status: on line, drawer connector pin 3 high (reply 16); model 0 also
 *  for every unlisted reply byte; model 2: reply 00 to ESC v.
 *  \def QUORVEL_STATUS_READY
 *  Le_Status: on line and ready, drawer connector pin 3 low (reply 12).
 *  \def QUORVEL_DRAWER_LOW
 *  Le_Status_Gaveta: drawer connector pin 3 low (reply 00). On most drawers
 *  this means closed.
 *  \def QUORVEL_DRAWER_HIGH
 *  Le_Status_Gaveta: drawer connector pin 3 high (any other reply byte).
 */
/** @} */

#ifdef __cplusplus
extern "C" {
#endif

/** \defgroup lists Decimal lists, raw commands and utilities
 *  @{ */

/**
 * \brief Splits a decimal list such as "10,20,30" into ints.
 *
 * Export ordinal 1. Items are separated by commas; leading, repeated and
 * trailing commas give no empty items ("1,,2," has two items). Each item is
 * read as `%d` reads it: white space skipped, an optional sign, then decimal
 * digits up to the first other character ("12x" gives 12, "0x1B" gives 0).
 * Values beyond 32 bits wrap modulo 2^32. Item k is stored in `values[k]`; an
 * item with no digits ("x") is counted but leaves its entry as it was.
 *
 * \warning `text` is changed in place: the comma after each item becomes a NUL
 * byte. It must be writable (not a string literal), and it reads as its first
 * item alone afterwards, so give every call a fresh copy.
 * \warning `separa` has no capacity argument: `values` must have room for one
 * int per item. A list of n bytes has at most (n + 1) / 2 items, so an array of
 * `(strlen(text) + 1) / 2` ints (at least 1) is always enough.
 *
 * \param text   writable NUL-terminated list; split in place
 * \param values destination, one int per item (see the warning)
 * \return the number of items (0 for an empty list, a list of commas only, or
 *         a null pointer, in which case nothing is written)
 */
QUORVEL_API int QUORVEL_CALL separa(char* text, int* values); /* 1 */

/**
 * \brief The library's version as text: "1.2.0.0".
 *
 * Export ordinal 2. The same pointer on every call, valid while the library is
 * loaded; do not free it or write through it. The numbers are also
 * QUORVEL_VERSION_MAJOR, QUORVEL_VERSION_MINOR and QUORVEL_VERSION_PATCH.
 * Sends nothing.
 *
 * \return "MAJOR.MINOR.PATCH.0", NUL-terminated
 */
QUORVEL_API const char* QUORVEL_CALL Le_VersaoDLL(void); /* 2 */

/**
 * \brief Sends raw command bytes given as a decimal list, framed by ESC @ and LF.
 *
 * Export ordinal 3. The list "27,100,4" sends `1B 40 1B 64 04 0A`: ESC @, one
 * byte per item (the item's value modulo 256, so 0 sends a 00 byte and 256
 * does too), then LF. Items are read as in separa.
 *
 * \warning `text` is changed in place like separa's: give a writable copy per
 * call.
 *
 * \param text writable NUL-terminated list of at most QUORVEL_MAX_RAW_ITEMS
 *             (4096) items; split in place
 * \return 1 when the command was written; 0 when it was not, or when the list
 *         was refused and nothing was sent: empty, an item with no digits
 *         ("27,x"), more than 4096 items, or a null pointer
 */
QUORVEL_API int QUORVEL_CALL ComandoTx(char* text); /* 3 */

/**
 * \brief Length of a NUL-terminated byte string.
 *
 * Export ordinal 4. Sends nothing.
 * \param text NUL-terminated string
 * \return the number of bytes before the first NUL; 0 for a null pointer
 */
QUORVEL_API int QUORVEL_CALL strlen1(const char* text); /* 4 */

/**
 * \brief Copies two byte ranges one after the other into `dest`.
 *
 * Export ordinal 5. Copies `first_len` bytes of `first` to `dest`, then
 * `second_len` bytes of `second` right behind them. Writes no terminating NUL.
 * Sends nothing.
 *
 * \warning There is no capacity argument: `dest` must hold `first_len +
 * second_len` bytes.
 * \param dest       destination, `first_len + second_len` bytes
 * \param first      first range (may be null when `first_len` is 0)
 * \param first_len  bytes to copy from `first`
 * \param second     second range (may be null when `second_len` is 0)
 * \param second_len bytes to copy from `second`
 * \return `dest`. When `dest` is null, or a range is null with a non-zero
 *         length, nothing is copied.
 */
QUORVEL_API void* QUORVEL_CALL concat(void* dest, const void* first, uint64_t first_len,
                                      const void* second, uint64_t second_len); /* 5 */
/** @} */

/** \defgroup barcodes Linear barcodes and Code 128
 *  @{ */

/**
 * \brief Prints a linear barcode, counted form of GS k (symbologies 65 to 74).
 *
 * Export ordinal 6. Sends ESC @, ESC a j, GS w width, GS h height, GS H hri,
 * GS k m n data, LF, where n is the data length. This form offers CODE93,
 * CODE128 and GS1-128 besides the symbologies of ImprimeCodigoBarras. The data
 * is sent unchanged: no check digit, no code-set prefix for CODE128 (start its
 * data with "{B" or "{C").
 *
 * \param justification quorvel_justification; any other value: right
 * \param barcode_type  quorvel_barcode_type 0 to 9 (m = 65 + value); any other
 *                      value, negative included: GS1-128 (74)
 * \param height        quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \param width         quorvel_bar_width: 1 or 2; any other value gives 3
 * \param hri_position  quorvel_hri_position: 0 to 2; any other value: both sides
 * \param data          NUL-terminated data, at most QUORVEL_MAX_BARCODE_COUNTED (93) bytes
 * \return 1 when written; 0 when not written, or when `data` is null or too
 *         long (then nothing is sent)
 */
QUORVEL_API int QUORVEL_CALL ImprimeCodigoBarras_C(int justification, int barcode_type, int height,
                                                   int width, int hri_position,
                                                   const char* data); /* 6 */
/** @} */

/** \defgroup text Text
 *  Every text function sends ESC @, ESC a (justification), ESC 3 (line
 *  spacing), ESC t 16 (code table Windows-1252), its style commands, the text's
 *  bytes unchanged and a line end. One call prints one line in one style.
 *  @{ */

/**
 * \brief Prints one line of text in one of the combined print modes (ESC !).
 *
 * Export ordinal 7. Sends ESC @, ESC a j, ESC 3 n, ESC t 16, ESC ! m, the
 * text, LF. Note the argument order: spacing comes before mode here.
 *
 * \param text          Windows-1252 text, at most QUORVEL_MAX_TEXT_FORMATTED (8177) bytes
 * \param justification quorvel_justification; any other value: right
 * \param spacing       quorvel_spacing index 0 to 5; any other value: 21 units
 * \param mode          quorvel_text_mode 1 to 5; any other value, 0 included,
 *                      underlines (there is no plain mode: use ImprimeTexto)
 * \return 1 when written; 0 when not written, or when `text` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeTxFormatado(const char* text, int justification, int spacing,
                                                int mode); /* 7 */
/** @} */

/** \defgroup device Printer actions
 *  @{ */

/**
 * \brief Prints the printer's self-test page.
 *
 * Export ordinal 8. Sends ESC @, DC2 T (`1B 40 12 54`).
 * \return 1 when written, 0 when not
 */
QUORVEL_API int QUORVEL_CALL ImprimeAutoTeste(void); /* 8 */

/**
 * \brief Prints an image stored in the printer's non-volatile memory.
 *
 * Export ordinal 9. Sends ESC @, ESC a j, FS p n m. Unlike every other
 * function, each argument is sent as its low byte, without mapping: a
 * justification of 7 sends ESC a 7, and an image number of 257 prints image 1.
 * Note the order: the image number comes first, the justification second.
 *
 * \param image_number  which stored image, usually 1 to 255 (low byte sent)
 * \param justification 0 left, 1 centre, 2 right (low byte sent unchanged)
 * \param print_mode    quorvel_logo_mode 0 to 3 (low byte sent unchanged)
 * \return 1 when written, 0 when not
 */
QUORVEL_API int QUORVEL_CALL ImprimeLogoNV(int image_number, int justification,
                                           int print_mode); /* 9 */
/** @} */

/** \addtogroup barcodes
 *  @{ */

/**
 * \brief Prints 22 Code 128 code-set-C values as two symbols of 11 values each.
 *
 * Export ordinal 10. A list of 22 values 0 to 99 stands for 44 digits (each
 * value one pair of digits, e.g. an access key). Sends two commands, one per
 * half: ESC @, ESC a j, GS w width, GS h height, GS H 0 (no human-readable
 * characters), GS k 73 15 "{B" "{C" and 11 values, CR LF. The second command is
 * sent even when the first was not written.
 *
 * \warning `codes` is split in place like separa's list: give a writable copy
 * per call.
 *
 * \param codes         writable list of at least QUORVEL_CODE128_VALUES (22)
 *                      decimal values; items after the 22nd are ignored; each
 *                      value is sent as its low byte (100 sends 0x64, which is
 *                      not a digit pair)
 * \param justification quorvel_justification; any other value: right
 * \param height        quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \param width         quorvel_bar_width: 1 or 2; any other value gives 3
 * \return 1 when both commands were written; 0 when either was not, or when the
 *         list was refused and nothing was sent: fewer than 22 items, an item
 *         among the first 22 with no digits, or a null pointer
 */
QUORVEL_API int QUORVEL_CALL ImprimeCode128_C(char* codes, int justification, int height,
                                              int width); /* 10 */

/**
 * \brief Prints 22 Code 128 code-set-C values as one symbol.
 *
 * Export ordinal 11. Sends ESC @, ESC a j, GS w 2 (fixed), GS h height, GS H 0,
 * GS k 73 24 "{C" and the 22 values, CR LF. The list rules are those of
 * ImprimeCode128_C.
 *
 * \warning `codes` is split in place like separa's list: give a writable copy
 * per call.
 *
 * \param codes         writable list of at least 22 decimal values (see ImprimeCode128_C)
 * \param justification quorvel_justification; any other value: right
 * \param height        quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \return 1 when written; 0 when not written or when the list was refused (see
 *         ImprimeCode128_C)
 */
QUORVEL_API int QUORVEL_CALL ImprimeCode128C(char* codes, int justification, int height); /* 11 */

/**
 * \brief Prints a linear barcode, NUL-ended form of GS k (symbologies 0 to 6).
 *
 * Export ordinal 12. Sends ESC @, ESC a j, GS w width, GS h height, GS H hri,
 * GS k m data NUL, LF. The data is sent unchanged: no check digit is added and
 * no digit count is checked; a symbol the printer cannot encode is not printed.
 *
 * \param justification quorvel_justification; any other value: right
 * \param barcode_type  quorvel_barcode_type 0 to 5; any other value, 6 to 9 and
 *                      negative included: CODABAR (6)
 * \param height        quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \param width         quorvel_bar_width: 1 or 2; any other value gives 3
 * \param hri_position  quorvel_hri_position: 0 to 2; any other value: both sides
 * \param data          NUL-terminated data, at most QUORVEL_MAX_BARCODE (91) bytes
 * \return 1 when written; 0 when not written, or when `data` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeCodigoBarras(int justification, int barcode_type, int height,
                                                 int width, int hri_position,
                                                 const char* data); /* 12 */
/** @} */

/** \defgroup symbols Two-dimensional symbols
 *  The three `_M2` functions send GS Z t (symbol type) and ESC Z P1 P2 P3 nL nH
 *  data; ImprimeQRCODE_M1 sends the GS ( k QR Code functions. Data is sent
 *  unchanged and not checked against the symbol's capacity: data that does
 *  not fit is not printed by the printer.
 *  @{ */

/**
 * \brief Prints a Data Matrix symbol (GS Z 1, ESC Z).
 *
 * Export ordinal 13. Sends ESC @, ESC a j, GS Z 1, ESC Z P1 P2 P3 nL nH, data.
 * Nothing follows the data (no line feed).
 *
 * \param justification quorvel_justification; any other value: right
 * \param p1_code       size code P1: 0 to 3 sent as they are, any other value 4;
 *                      0 on both P1 and P2 (QUORVEL_DATAMATRIX_AUTO) lets the
 *                      printer choose the size
 * \param p2_code       size code P2: 0, 1, 2, 3 send 0x00, 0x08, 0x09, 0x0A;
 *                      any other value 0x0B
 * \param p3_code       module size in dots, 1 to 6; any other value 7
 * \param data          NUL-terminated data, at most QUORVEL_MAX_SYMBOL_ESCZ (4335) bytes
 * \return 1 when written; 0 when not written, or when `data` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code,
                                                  int p3_code, const char* data); /* 13 */

/**
 * \brief Prints a PDF417 symbol (GS Z 0, ESC Z).
 *
 * Export ordinal 14. Sends ESC @, ESC a j, GS Z 0, ESC Z columns ecc rows nL
 * nH, data (no line feed). Note the argument order: the row height (third
 * argument) is sent after the error-correction level (fourth).
 *
 * \param justification quorvel_justification; any other value: right
 * \param columns       data columns 1 to 29 sent as they are; any other value 30
 * \param p3_code       row height 1 to 5 module widths; any other value 6
 * \param ecc_level     error-correction level 0 to 7; any other value 8
 * \param data          NUL-terminated data, at most QUORVEL_MAX_SYMBOL_ESCZ (4335) bytes
 * \return 1 when written; 0 when not written, or when `data` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimePDF417_M2(int justification, int columns, int p3_code,
                                              int ecc_level, const char* data); /* 14 */

/**
 * \brief Prints a QR Code by GS Z 2 and ESC Z.
 *
 * Export ordinal 15. Sends ESC @, ESC a j, GS Z 2, ESC Z model ecc size nL nH,
 * data (no line feed). For printers that do not know ESC Z, use
 * ImprimeQRCODE_M1.
 *
 * \param justification quorvel_justification; any other value: right
 * \param model         quorvel_qr_model: 1 sends 0x31, 2 sends 0x32, any other
 *                      value 0x00 (automatic)
 * \param module_size   module size in dots 1 to 6; any other value 7
 * \param ecc_level     quorvel_qr_ecc: 0 L, 1 M, 2 Q; any other value H
 * \param data          NUL-terminated data, at most QUORVEL_MAX_SYMBOL_ESCZ (4335) bytes
 * \return 1 when written; 0 when not written, or when `data` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeQRCODE_M2(int justification, int model, int module_size,
                                              int ecc_level, const char* data); /* 15 */

/**
 * \brief Prints a QR Code by the GS ( k functions.
 *
 * Export ordinal 16. Sends ESC @, ESC a j, then GS ( k functions 165 (model),
 * 167 (module size), 169 (error correction), 180 (store the data), 181 (print),
 * two NUL bytes and LF, all in one write.
 *
 * \param justification quorvel_justification; any other value: right
 * \param model         quorvel_qr_model: 1 for model 1; any other value model 2
 * \param module_size   module size in dots 1 to 6; any other value 7
 * \param ecc_level     quorvel_qr_ecc: 0 L, 1 M, 2 Q; any other value H
 * \param data          NUL-terminated data, at most QUORVEL_MAX_QR (4295) bytes
 * \return 1 when written; 0 when not written, or when `data` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeQRCODE_M1(int justification, int model, int module_size,
                                              int ecc_level, const char* data); /* 16 */
/** @} */

/** \addtogroup text
 *  @{ */

/**
 * \brief Prints one line of text upside down.
 *
 * Export ordinal 17. Sends ESC @, ESC a j, ESC 3 n, ESC t 16, ESC E b, ESC M f,
 * ESC { 1, the text, LF. The printed line reads the right way up when the
 * receipt is turned round; to print several lines upside down, print them in
 * reverse order.
 *
 * \param text          Windows-1252 text, at most QUORVEL_MAX_TEXT_180 (8171) bytes
 * \param justification quorvel_justification; any other value: right
 * \param font          quorvel_font: 0 font A; any other value font B
 * \param spacing       quorvel_spacing index 0 to 5; any other value: 21 units
 * \param bold          quorvel_bold: 0 off; any other value on
 * \return 1 when written; 0 when not written, or when `text` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeTexto180(const char* text, int justification, int font,
                                             int spacing, int bold); /* 17 */

/**
 * \brief Prints one line of text white on black.
 *
 * Export ordinal 18. Sends ESC @, ESC a j, ESC 3 n, ESC t 16, ESC M f, GS B 1,
 * the text, LF. There is no bold argument.
 *
 * \param text          Windows-1252 text, at most QUORVEL_MAX_TEXT (8174) bytes
 * \param justification quorvel_justification; any other value: right
 * \param font          quorvel_font: 0 font A; any other value font B
 * \param spacing       quorvel_spacing index 0 to 5; any other value: 21 units
 * \return 1 when written; 0 when not written, or when `text` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeTextoInvertido(const char* text, int justification, int font,
                                                   int spacing); /* 18 */

/**
 * \brief Prints one line of text.
 *
 * Export ordinal 19. Sends ESC @, ESC a j, ESC 3 n, ESC t 16, ESC E b, ESC M f,
 * the text, LF. `ImprimeTexto("AB", 1, 0, 5, 1)` sends `1B 40 1B 61 01 1B 33 45
 * 1B 74 10 1B 45 01 1B 4D 00 41 42 0A`. An empty text feeds one empty line.
 *
 * \param text          Windows-1252 text, at most QUORVEL_MAX_TEXT (8174) bytes
 * \param justification quorvel_justification; any other value: right
 * \param font          quorvel_font: 0 font A; any other value font B
 * \param spacing       quorvel_spacing index 0 to 5; any other value: 21 units
 * \param bold          quorvel_bold: 0 off; any other value on
 * \return 1 when written; 0 when not written, or when `text` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeTexto(const char* text, int justification, int font,
                                          int spacing, int bold); /* 19 */

/**
 * \brief Prints one line of text, then feeds a chosen number of lines.
 *
 * Export ordinal 20. As ImprimeTexto, but the line ends with ESC d n (print
 * and feed n lines) instead of LF. ESC d 0 prints the line without feeding:
 * the next text then starts on the same line.
 *
 * \param text          Windows-1252 text, at most QUORVEL_MAX_TEXT_LF (8172) bytes
 * \param justification quorvel_justification; any other value: right
 * \param font          quorvel_font: 0 font A; any other value font B
 * \param spacing       quorvel_spacing index 0 to 5; any other value: 21 units
 * \param bold          quorvel_bold: 0 off; any other value on
 * \param feed_lines    lines to feed, 0 to 255; sent as its low byte (258 feeds 2, -1 feeds 255)
 * \return 1 when written; 0 when not written, or when `text` is null or too long
 */
QUORVEL_API int QUORVEL_CALL ImprimeTextoLF(const char* text, int justification, int font,
                                            int spacing, int bold, int feed_lines); /* 20 */
/** @} */

/** \defgroup status Status
 *  Both status functions first drop bytes left over from earlier queries, send
 *  a three-byte query and wait at most 2 s for the first reply byte, on the
 *  open link. They are the way to learn whether the printer is alive: a print
 *  function's 1 only says the bytes were written. A status reply comes at once,
 *  ahead of what is still to print: to learn that a receipt has printed, use
 *  quorvel_confirm.
 *  @{ */

/**
 * \brief Reads the printer's status.
 *
 * Export ordinal 21. The query and the reading of the reply depend on the
 * model number given when the link was opened (quorvel_model): models 0, 1 and
 * 3 send DLE EOT 1 (`10 04 01`), model 2 sends ESC v (`1B 76 01`).
 *
 * | Reply | Models 0, 1, 3        | Model 2 |
 * |-------|-----------------------|---------|
 * | 12    | 32 (ready)            | 0       |
 * | 16    | 24 (pin 3 high)       | 0       |
 * | 1A    | 5 (off line)          | 0       |
 * | 1E    | 9 (off line, pin 3 high) | 0    |
 * | 04    | model 0: 24; else 0   | 9       |
 * | 00    | model 0: 24; else 0   | 24      |
 * | other | model 0: 24; else 0   | 0       |
 *
 * \return QUORVEL_STATUS_READY (32), QUORVEL_STATUS_OFFLINE (5),
 *         QUORVEL_STATUS_OFFLINE_PIN3_HIGH (9), QUORVEL_STATUS_PIN3_HIGH (24),
 *         or QUORVEL_STATUS_NONE (0): no reply within 2 s, the link is closed or
 *         lost, an unlisted reply, or a model number outside 0 to 3 (then
 *         nothing is sent)
 */
QUORVEL_API int QUORVEL_CALL Le_Status(void); /* 21 */
/** @} */

/** \addtogroup device
 *  @{ */

/**
 * \brief Cuts the paper (full cut).
 *
 * Export ordinal 22. Sends GS V 0 (`1D 56 00`). The printer cuts at the cutter,
 * which lies a few lines above the last printed line: feed a few lines first
 * (ImprimeTextoLF with `feed_lines` 4 to 6) so the last line is not cut off.
 * \return 1 when written, 0 when not
 */
QUORVEL_API int QUORVEL_CALL AcionaGuilhotina(void); /* 22 */

/**
 * \brief Opens the cash drawer.
 *
 * Export ordinal 23. Sends ESC p 0 60 120 (`1B 70 00 3C 78`): a pulse on pin 2
 * of the drawer connector, 120 ms on, 240 ms off.
 * \return 1 when written, 0 when not
 */
QUORVEL_API int QUORVEL_CALL Abre_Gaveta(void); /* 23 */
/** @} */

/** \addtogroup status
 *  @{ */

/**
 * \brief Reads the cash drawer connector.
 *
 * Export ordinal 24. Sends GS r 2 (`1D 72 02`), the same for every model.
 * \return QUORVEL_DRAWER_LOW (1) for reply 00, QUORVEL_DRAWER_HIGH (2) for any
 *         other reply byte, QUORVEL_STATUS_NONE (0) when there is no reply within
 *         2 s or no link
 */
QUORVEL_API int QUORVEL_CALL Le_Status_Gaveta(void); /* 24 */
/** @} */

/** \defgroup links Links
 *  One default link at a time. While a TCP link is open every command goes to
 *  it, even if a serial port is open too; otherwise commands go to the serial
 *  port. Printer handles have links of their own, which these functions never
 *  touch.
 *  @{ */

/**
 * \brief Opens a serial port with a printer on it.
 *
 * Export ordinal 25. Opens the port exclusively at 115200 bit/s (9600 for
 * model 3), 8 data bits, no parity, one stop bit, no flow control, raw, with
 * DTR and RTS dropped; a status reply is awaited at most 2000 ms. A port that
 * this library still holds is closed first.
 *
 * \param port_name    Linux: the device path, e.g. "/dev/ttyUSB0"; Windows:
 *                     "COM3", and "\\\\.\\COM10" for ports above COM9 (the name
 *                     is used unchanged)
 * \param model_number quorvel_model 0 to 3; stored even when the open fails
 * \return 1 when the port is open and configured. 0 when the name is null, the
 *         port does not exist, is busy or not permitted (nothing is held), or
 *         when it opened but refused the line settings: it is then still held
 *         and receives commands, so call FechaPortaSerial (or try another
 *         model, i.e. speed).
 */
QUORVEL_API int QUORVEL_CALL AbrePortaSerial(const char* port_name, int model_number); /* 25 */

/**
 * \brief Closes the serial port opened by AbrePortaSerial.
 *
 * Export ordinal 26. Leaves a TCP link alone.
 * \return 1 when the port was closed; 0 when no port was held or closing failed
 */
QUORVEL_API int QUORVEL_CALL FechaPortaSerial(void); /* 26 */

/**
 * \brief Opens a TCP link to a network printer's port 9100.
 *
 * Export ordinal 27. Connects to `ip_address`:9100 within 5 s. From then on
 * every command goes to this link until FechaSocket.
 *
 * \param ip_address   dotted IPv4 address, e.g. "192.168.0.50": four numbers
 *                     0 to 255 without leading zeros; host names are not
 *                     resolved and are refused
 * \param model_number quorvel_model 0 to 3; stored on every call, also when the
 *                     link is already open or the open fails
 * \return 1 when connected. 0 when a TCP link is already open (it stays open
 *         and in use; close it first), when the address is not a dotted IPv4
 *         address, or when the connection was refused, unreachable or not made
 *         within 5 s; the link is then closed.
 */
QUORVEL_API int QUORVEL_CALL AbreSocket(const char* ip_address, int model_number); /* 27 */

/**
 * \brief Closes the TCP link.
 *
 * Export ordinal 28. Closing right after printing loses nothing on a healthy
 * link: bytes the printer sent unasked are read first, so the close never
 * resets the connection under commands still on their way. After a lost link,
 * FechaSocket then AbreSocket reconnects.
 * \return 1 when an open link was closed; 0 when none was open
 */
QUORVEL_API int QUORVEL_CALL FechaSocket(void); /* 28 */
/** @} */

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

/* ------------------------------------------------------------------------
 * Companion API: quorvel_* functions.
 *
 * They follow the rules of the functions above: the default link's lock, every
 * wait bounded, no exit and no SIGPIPE, nothing sent for refused input, one
 * write per command (per band for images), no heap in command paths. They use
 * the same default link: a link opened by quorvel_open_tcp is closed by
 * FechaSocket, one opened by quorvel_open_serial by FechaPortaSerial, and all
 * print functions write to it.
 *
 * Every exported function, the ones above included, records its outcome for
 * the calling thread: a code from enum quorvel_error and a one-line message.
 * quorvel_last_error reads them. Recording never changes a function's result.
 * ------------------------------------------------------------------------ */

/**
 * Outcome codes recorded by every exported function (see quorvel_last_error).
 *
 * The functions above record: AbreSocket ALREADY_OPEN, NULL_INPUT,
 * BAD_ADDRESS, REFUSED, TIMED_OUT, UNREACHABLE, SYSTEM; AbrePortaSerial the
 * port codes of quorvel_open_serial but BAD_SPEED; FechaSocket and
 * FechaPortaSerial NO_LINK; text, barcode and symbol functions NULL_INPUT
 * and TOO_LONG; ComandoTx, ImprimeCode128C and ImprimeCode128_C NULL_INPUT,
 * BAD_LIST_ITEM and TOO_LONG; separa, strlen1 and concat NULL_INPUT;
 * Le_Status BAD_ARGUMENT for a model without a status query; every function
 * that writes NO_LINK, WRITE_FAILED and LINK_CLOSED, and the status queries
 * NO_REPLY.
 */
enum quorvel_error {
    QUORVEL_E_OK = 0,                 /**< the last call succeeded */
    QUORVEL_E_NO_LINK = 1,            /**< no link is open, or none to close */
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
    QUORVEL_E_SYSTEM = 25,            /**< another system failure; the message names it */
    QUORVEL_E_BAD_HANDLE = 26,        /**< a null, closed or unknown printer handle */
    QUORVEL_E_QUEUE_NOT_FOUND = 27,   /**< the spooler has no print queue of that name */
    QUORVEL_E_QUEUE_PAUSED = 28,      /**< the print queue is paused (stopped): it would hold the job */
    QUORVEL_E_JOB_REFUSED = 29,       /**< the spooler refused the job (the queue rejects jobs, or failed) */
    QUORVEL_E_NO_STATUS_ON_QUEUE = 30, /**< status asked of a queue link: spoolers pass no replies back */
    QUORVEL_E_DEVICE_BUSY = 31,       /**< another program holds the printer device */
    QUORVEL_E_BAD_BARCODE_DATA = 32,  /**< barcode data breaks its symbology's rules (quorvel_check_barcode) */
    /** the receipt waits inside the printer (paper out, cover open, an error): the message names
     *  the cause; fix it, then confirm again (never send the receipt again) */
    QUORVEL_E_HELD = 33,
    /** the link dropped, or the printer stopped answering, after the receipt was sent: it may or
     *  may not have printed; reprint it marked as a copy */
    QUORVEL_E_OUTCOME_UNKNOWN = 34,
    /** the printer answers neither the process ID request (GS ( H) nor a GS r query on this link */
    QUORVEL_E_CANNOT_CONFIRM = 35,
    /** the print service (quorvel_open_spool) cannot be reached, or did not answer */
    QUORVEL_E_SPOOL_UNREACHABLE = 36,
    /** the print service refused the job or the printer's name; the message gives its reason */
    QUORVEL_E_SPOOL_REFUSED = 37,
    /** not http://ADDRESS[:PORT] with an address literal, or not a printer name */
    QUORVEL_E_BAD_SPOOL_URL = 38
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

/** Largest job, in bytes, that a queue link collects before sending it. */
#define QUORVEL_QUEUE_JOB_MAX 262144

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
 * most 2 s for its one-byte reply (a byte of the form 0xx1xx10); anything
 * else that arrives meanwhile, such as a four-byte automatic status group, is
 * skipped. After a reply that did not come no further query is sent, so a
 * silent printer costs one wait, not four.
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

/* ------------------------------------------------------------------------
 * Printer handles: quorvel_printer_* functions.
 *
 * Any number of printers open at once in one process, each driven through its
 * own handle, from any thread. A handle has its own link, its own lock and its
 * own deadlines: calls on one handle are serialised, calls on different
 * handles run in parallel, and a printer that stalls or dies costs only its
 * own calls their own deadlines. Handles never touch the default link of the
 * functions above (AbreSocket, quorvel_open_tcp, ...), and those functions
 * never touch a handle.
 *
 * Every operation takes the handle first and otherwise the arguments of its
 * counterpart above, and sends exactly the bytes its counterpart sends, with
 * the same results, limits, mapping tables and errors; each function names
 * its counterpart. Besides those errors each records QUORVEL_E_BAD_HANDLE for
 * a null, closed or unknown handle, and then sends nothing and returns 0.
 * Messages of quorvel_last_error name the printer's address and port, or its
 * serial port.
 *
 * A handle is an opaque value, never dereferenced by the caller. A closed
 * handle stays refused: its slot is reused only under a new generation, so a
 * stale copy can never reach a printer opened later.
 * ------------------------------------------------------------------------ */

/** An open printer: the handle taken by every quorvel_printer_* function. */
typedef struct quorvel_printer quorvel_printer;

/**
 * Opens a printer over TCP and returns its handle.
 *
 * @param address  IPv4 dotted-decimal or IPv6 literal, as for quorvel_open_tcp
 *                 (host names are refused).
 * @param port     TCP port, 1 to 65535 (9100 is the usual raw printer port).
 * @param model    printer model number as for AbreSocket (0 to 3); it chooses
 *                 the query of quorvel_printer_status.
 * @return the handle, or NULL when the printer could not be opened
 *         (quorvel_last_error says why).
 *
 * The connection attempt waits at most 5 s. Errors: QUORVEL_E_NULL_INPUT,
 * QUORVEL_E_BAD_ADDRESS, QUORVEL_E_BAD_PORT, QUORVEL_E_REFUSED,
 * QUORVEL_E_TIMED_OUT, QUORVEL_E_UNREACHABLE, QUORVEL_E_SYSTEM (also when the
 * process already holds the most handles the library can keep open, 1024).
 * Opening the same printer twice gives two handles with two connections.
 */
QUORVEL_API quorvel_printer* QUORVEL_CALL quorvel_printer_open_tcp(const char* address, int port,
                                                                   int model); /* 50 */

/**
 * Opens a printer on a serial port and returns its handle.
 *
 * @param port             device name as for quorvel_open_serial ("/dev/ttyUSB0", "COM1").
 * @param bits_per_second  a standard speed, 1200 to 921600, as for quorvel_open_serial.
 * @param model            printer model number as for AbrePortaSerial (0 to 3).
 * @return the handle, or NULL when the port could not be opened and set.
 *
 * Unlike quorvel_open_serial, a port that opens but refuses its line settings
 * is closed again and NULL returned (QUORVEL_E_SETTINGS_NOT_APPLIED). Ports are
 * opened exclusively: a port already held, by a handle, the default link or
 * another process, gives QUORVEL_E_PORT_BUSY. Errors: QUORVEL_E_NULL_INPUT,
 * QUORVEL_E_BAD_SPEED, QUORVEL_E_PORT_NOT_FOUND, QUORVEL_E_PERMISSION_DENIED,
 * QUORVEL_E_PORT_BUSY, QUORVEL_E_NOT_SERIAL, QUORVEL_E_SETTINGS_NOT_APPLIED,
 * QUORVEL_E_SYSTEM.
 */
QUORVEL_API quorvel_printer* QUORVEL_CALL quorvel_printer_open_serial(const char* port,
                                                                      int bits_per_second,
                                                                      int model); /* 51 */

/**
 * Closes a printer's link and ends its handle.
 *
 * A call on the same handle in another thread is let finish first (within its
 * own deadline); calls that come after the close, and every copy of the
 * handle, are refused with QUORVEL_E_BAD_HANDLE. Over TCP, what the printer
 * sent unasked is read before closing, as FechaSocket does.
 *
 * @param printer  the handle; NULL or an already closed handle is refused.
 * @return 1 when the handle was open and is now closed, 0 otherwise
 *         (QUORVEL_E_BAD_HANDLE).
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_close(quorvel_printer* printer); /* 52 */

/**
 * \brief Prints one line of text in one style.
 *
 * Export ordinal 53. Sends exactly what ImprimeTexto sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeTexto).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param text NUL-terminated Windows-1252 text, limits as for the counterpart
 * \param justification quorvel_justification; any other value: right
 * \param font quorvel_font: 0 font A, any other value font B
 * \param spacing quorvel_spacing index (ESC 3 n)
 * \param bold quorvel_bold: any non-zero value turns emphasis on
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_text(quorvel_printer* printer, const char* text,
                                                  int justification, int font, int spacing,
                                                  int bold); /* 53 */

/**
 * \brief Prints text in one style, then feeds lines (ESC d n).
 *
 * Export ordinal 54. Sends exactly what ImprimeTextoLF sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeTextoLF).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param text NUL-terminated Windows-1252 text, limits as for the counterpart
 * \param justification quorvel_justification; any other value: right
 * \param font quorvel_font: 0 font A, any other value font B
 * \param spacing quorvel_spacing index (ESC 3 n)
 * \param bold quorvel_bold: any non-zero value turns emphasis on
 * \param feed_lines lines fed after the text (ESC d n, low byte)
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_text_feed(quorvel_printer* printer, const char* text,
                                                       int justification, int font, int spacing,
                                                       int bold, int feed_lines); /* 54 */

/**
 * \brief Prints one line of text upside down (ESC { 1).
 *
 * Export ordinal 55. Sends exactly what ImprimeTexto180 sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeTexto180).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param text NUL-terminated Windows-1252 text, limits as for the counterpart
 * \param justification quorvel_justification; any other value: right
 * \param font quorvel_font: 0 font A, any other value font B
 * \param spacing quorvel_spacing index (ESC 3 n)
 * \param bold quorvel_bold: any non-zero value turns emphasis on
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_text_upside_down(quorvel_printer* printer,
                                                              const char* text, int justification,
                                                              int font, int spacing,
                                                              int bold); /* 55 */

/**
 * \brief Prints one line of text white on black (GS B 1).
 *
 * Export ordinal 56. Sends exactly what ImprimeTextoInvertido sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeTextoInvertido).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param text NUL-terminated Windows-1252 text, limits as for the counterpart
 * \param justification quorvel_justification; any other value: right
 * \param font quorvel_font: 0 font A, any other value font B
 * \param spacing quorvel_spacing index (ESC 3 n)
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_text_inverted(quorvel_printer* printer,
                                                           const char* text, int justification,
                                                           int font, int spacing); /* 56 */

/**
 * \brief Prints one line of text in one print mode (ESC ! n).
 *
 * Export ordinal 57. Sends exactly what ImprimeTxFormatado sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeTxFormatado).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param text NUL-terminated Windows-1252 text, limits as for the counterpart
 * \param justification quorvel_justification; any other value: right
 * \param spacing quorvel_spacing index (ESC 3 n)
 * \param mode quorvel_text_mode: one print mode (ESC ! n)
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_formatted_text(quorvel_printer* printer,
                                                            const char* text, int justification,
                                                            int spacing, int mode); /* 57 */

/**
 * \brief Prints a linear barcode, NUL-ended form of GS k (symbologies 0 to 6).
 *
 * Export ordinal 58. Sends exactly what ImprimeCodigoBarras sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeCodigoBarras).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param justification quorvel_justification; any other value: right
 * \param barcode_type quorvel_barcode_type, mapped as for the counterpart
 * \param height quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \param width quorvel_bar_width: 1 or 2; any other value gives 3
 * \param hri_position quorvel_hri_position: 0 to 2; any other value: both sides
 * \param data NUL-terminated data, limits as for the counterpart
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_barcode(quorvel_printer* printer, int justification,
                                                     int barcode_type, int height, int width,
                                                     int hri_position, const char* data); /* 58 */

/**
 * \brief Prints a linear barcode, counted form of GS k (symbologies 65 to 74).
 *
 * Export ordinal 59. Sends exactly what ImprimeCodigoBarras_C sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeCodigoBarras_C).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param justification quorvel_justification; any other value: right
 * \param barcode_type quorvel_barcode_type, mapped as for the counterpart
 * \param height quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \param width quorvel_bar_width: 1 or 2; any other value gives 3
 * \param hri_position quorvel_hri_position: 0 to 2; any other value: both sides
 * \param data NUL-terminated data, limits as for the counterpart
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_barcode_counted(quorvel_printer* printer,
                                                             int justification, int barcode_type,
                                                             int height, int width,
                                                             int hri_position,
                                                             const char* data); /* 59 */

/**
 * \brief Prints a Code 128 symbol from a decimal list of code values.
 *
 * Export ordinal 60. Sends exactly what ImprimeCode128C sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeCode128C).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param codes writable decimal list of QUORVEL_CODE128_VALUES values, split in place: a fresh copy
 *              per call
 * \param justification quorvel_justification; any other value: right
 * \param height quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_code128(quorvel_printer* printer, char* codes,
                                                     int justification, int height); /* 60 */

/**
 * \brief Prints a Code 128 symbol from a decimal list of code values, with a module width (two
 * writes).
 *
 * Export ordinal 61. Sends exactly what ImprimeCode128_C sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeCode128_C).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param codes writable decimal list of QUORVEL_CODE128_VALUES values, split in place: a fresh copy
 *              per call
 * \param justification quorvel_justification; any other value: right
 * \param height quorvel_bar_height: 0 gives 32 dots, 1 gives 50, any other value 80
 * \param width quorvel_bar_width: 1 or 2; any other value gives 3
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_code128_width(quorvel_printer* printer, char* codes,
                                                           int justification, int height,
                                                           int width); /* 61 */

/**
 * \brief Prints a QR Code by the GS ( k function commands.
 *
 * Export ordinal 62. Sends exactly what ImprimeQRCODE_M1 sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeQRCODE_M1).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param justification quorvel_justification; any other value: right
 * \param model quorvel_qr_model, mapped as for the counterpart
 * \param module_size quorvel_module_size 1 to 7
 * \param ecc_level error-correction level, mapped as for the counterpart
 * \param data NUL-terminated data, limits as for the counterpart
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_qr_code(quorvel_printer* printer, int justification,
                                                     int model, int module_size, int ecc_level,
                                                     const char* data); /* 62 */

/**
 * \brief Prints a QR Code by the ESC Z command.
 *
 * Export ordinal 63. Sends exactly what ImprimeQRCODE_M2 sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeQRCODE_M2).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param justification quorvel_justification; any other value: right
 * \param model quorvel_qr_model, mapped as for the counterpart
 * \param module_size quorvel_module_size 1 to 7
 * \param ecc_level error-correction level, mapped as for the counterpart
 * \param data NUL-terminated data, limits as for the counterpart
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_qr_code_escz(quorvel_printer* printer,
                                                          int justification, int model,
                                                          int module_size, int ecc_level,
                                                          const char* data); /* 63 */

/**
 * \brief Prints a PDF417 symbol by the ESC Z command.
 *
 * Export ordinal 64. Sends exactly what ImprimePDF417_M2 sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimePDF417_M2).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param justification quorvel_justification; any other value: right
 * \param columns PDF417 data columns 1 to 30; any other value gives 30
 * \param p3_code as for the counterpart (PDF417 row height, Data Matrix module size)
 * \param ecc_level error-correction level, mapped as for the counterpart
 * \param data NUL-terminated data, limits as for the counterpart
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_pdf417_escz(quorvel_printer* printer,
                                                         int justification, int columns,
                                                         int p3_code, int ecc_level,
                                                         const char* data); /* 64 */

/**
 * \brief Prints a Data Matrix symbol by the ESC Z command.
 *
 * Export ordinal 65. Sends exactly what ImprimeDataMatrix_M2 sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeDataMatrix_M2).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param justification quorvel_justification; any other value: right
 * \param p1_code quorvel_datamatrix size code, as for ImprimeDataMatrix_M2
 * \param p2_code quorvel_datamatrix size code, as for ImprimeDataMatrix_M2
 * \param p3_code as for the counterpart (PDF417 row height, Data Matrix module size)
 * \param data NUL-terminated data, limits as for the counterpart
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_data_matrix_escz(quorvel_printer* printer,
                                                              int justification, int p1_code,
                                                              int p2_code, int p3_code,
                                                              const char* data); /* 65 */

/**
 * \brief Prints a logo stored in the printer (FS p n m).
 *
 * Export ordinal 66. Sends exactly what ImprimeLogoNV sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeLogoNV).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param image_number stored image number (FS p n), low byte
 * \param justification quorvel_justification; any other value: right
 * \param print_mode quorvel_logo_mode, sent as its low byte
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_logo(quorvel_printer* printer, int image_number,
                                                  int justification, int print_mode); /* 66 */

/**
 * \brief Prints the printer's self-test page.
 *
 * Export ordinal 67. Sends exactly what ImprimeAutoTeste sends, on this handle's
 * link, with the same limits, mappings and errors (see ImprimeAutoTeste).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_self_test(quorvel_printer* printer); /* 67 */

/**
 * \brief Feeds the paper and cuts it.
 *
 * Export ordinal 68. Sends exactly what AcionaGuilhotina sends, on this handle's
 * link, with the same limits, mappings and errors (see AcionaGuilhotina).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_cut(quorvel_printer* printer); /* 68 */

/**
 * \brief Pulses the cash drawer connector.
 *
 * Export ordinal 69. Sends exactly what Abre_Gaveta sends, on this handle's
 * link, with the same limits, mappings and errors (see Abre_Gaveta).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_open_drawer(quorvel_printer* printer); /* 69 */

/**
 * \brief Reads the printer's status by the query of the handle's model.
 *
 * Export ordinal 70. Sends exactly what Le_Status sends, on this handle's
 * link, with the same limits, mappings and errors (see Le_Status).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \return a QUORVEL_STATUS_* code, as Le_Status; 0 (QUORVEL_STATUS_NONE) when there is none or the
 *         handle is refused
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_status(quorvel_printer* printer); /* 70 */

/**
 * \brief Reads drawer connector pin 3 (GS r 2).
 *
 * Export ordinal 71. Sends exactly what Le_Status_Gaveta sends, on this handle's
 * link, with the same limits, mappings and errors (see Le_Status_Gaveta).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \return QUORVEL_DRAWER_LOW, QUORVEL_DRAWER_HIGH, or 0 when there is no status or the handle is
 *         refused
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_drawer_status(quorvel_printer* printer); /* 71 */

/**
 * \brief Sends raw command bytes given as a decimal list, framed by ESC @ and LF.
 *
 * Export ordinal 72. Sends exactly what ComandoTx sends, on this handle's
 * link, with the same limits, mappings and errors (see ComandoTx).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param text writable decimal list of at most QUORVEL_MAX_RAW_ITEMS items, split in place: a fresh
 *             copy per call
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_raw(quorvel_printer* printer, char* text); /* 72 */

/**
 * \brief Prints an 8-bit greyscale image as raster bit images (GS v 0), one write per band.
 *
 * Export ordinal 73. Sends exactly what quorvel_print_image sends, on this handle's
 * link, with the same limits, mappings and errors (see quorvel_print_image).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param gray pixels, row by row, 0 black to 255 white
 * \param width dots per row, 1 to QUORVEL_IMAGE_MAX_WIDTH
 * \param height rows, 1 to QUORVEL_IMAGE_MAX_HEIGHT (QUORVEL_LOGO_MAX_HEIGHT for a logo)
 * \param stride bytes from the start of one row to the next, at least width
 * \param justification quorvel_justification; any other value: right
 * \param dither QUORVEL_DITHER_THRESHOLD or QUORVEL_DITHER_FLOYD_STEINBERG
 * \return 1 only when every band was written, 0 otherwise
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_image(quorvel_printer* printer,
                                                   const unsigned char* gray, int width, int height,
                                                   int stride, int justification,
                                                   int dither); /* 73 */

/**
 * \brief Stores an 8-bit greyscale image in the printer's non-volatile memory (FS q).
 *
 * Export ordinal 74. Sends exactly what quorvel_store_logo sends, on this handle's
 * link, with the same limits, mappings and errors (see quorvel_store_logo).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param number image number, 1 to 255
 * \param gray pixels, row by row, 0 black to 255 white
 * \param width dots per row, 1 to QUORVEL_IMAGE_MAX_WIDTH
 * \param height rows, 1 to QUORVEL_IMAGE_MAX_HEIGHT (QUORVEL_LOGO_MAX_HEIGHT for a logo)
 * \param stride bytes from the start of one row to the next, at least width
 * \param dither QUORVEL_DITHER_THRESHOLD or QUORVEL_DITHER_FLOYD_STEINBERG
 * \return 1 when the whole command was written; 0 when it was not, when the
 *         input was refused (nothing sent) or the handle was refused
 *         (QUORVEL_E_BAD_HANDLE)
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_store_logo(quorvel_printer* printer, int number,
                                                        const unsigned char* gray, int width,
                                                        int height, int stride,
                                                        int dither); /* 74 */

/**
 * \brief Reads the full status by DLE EOT 1, 2, 3 and 4.
 *
 * Export ordinal 75. Sends exactly what quorvel_read_status sends, on this handle's
 * link, with the same limits, mappings and errors (see quorvel_read_status).
 *
 * \param printer an open handle (quorvel_printer_open_tcp, _open_serial)
 * \param status filled in as by quorvel_read_status
 * \return 1 only when all four replies came, 0 otherwise
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_read_status(quorvel_printer* printer,
                                                         struct quorvel_status* status); /* 75 */
/**
 * Checks barcode data against the fixed rules of its symbology, without
 * sending anything: the check a caller makes before ImprimeCodigoBarras or
 * ImprimeCodigoBarras_C, which send the data unchanged and whose printer
 * drops a symbol it cannot encode.
 *
 * The rules: UPC-A 11 or 12 digits, UPC-E 6 to 8 digits or 11 or 12 starting
 * with 0, EAN-13 12 or 13 digits, EAN-8 7 or 8 digits (the last digit of the
 * longer length must be the right check digit); CODE39 0-9, A-Z, space and
 * $ % * + - . /; ITF an even number of digits; CODABAR A, B, C or D at both
 * ends around 0-9 and $ + - . / :. CODE93, CODE128 and GS1-128 have none here.
 *
 * @param barcode_type quorvel_barcode_type 0 to 9
 * @param data         NUL-terminated data, as it would be sent
 * @return 1 when the data keeps the rules, 0 otherwise.
 *
 * Errors: QUORVEL_E_BAD_BARCODE_DATA, whose message names the broken rule
 * (character and position, length, expected check digit, start/stop);
 * QUORVEL_E_NULL_INPUT; QUORVEL_E_BAD_ARGUMENT for a type outside 0 to 9.
 */
QUORVEL_API int QUORVEL_CALL quorvel_check_barcode(int barcode_type, const char* data); /* 47 */

/**
 * Opens a queue link: a printer behind the system's spooler, such as a USB
 * receipt printer installed as a printer (a CUPS queue on Linux, a printer of
 * Windows' printer list). Find the name with `lpstat -p` or in the list of
 * printers.
 *
 * Spoolers take whole documents, so commands are collected into one job that
 * goes to the queue as a RAW document (format application/vnd.cups-raw on
 * CUPS, datatype RAW on Windows), unchanged, at each AcionaGuilhotina, at
 * quorvel_flush and when FechaPortaSerial closes the link. A job holds at
 * most QUORVEL_QUEUE_JOB_MAX bytes: a command that would pass that bound
 * sends the job first. Spoolers cannot pass status queries on: Le_Status,
 * Le_Status_Gaveta and quorvel_read_status send nothing and return their
 * "no reply" result, with QUORVEL_E_NO_STATUS_ON_QUEUE.
 *
 * @param name   the queue's name, e.g. "receipts" or "POS-80 Printer".
 * @param model  printer model number as for AbrePortaSerial (0 to 3).
 * @return 1 when the queue exists and is not paused, 0 otherwise.
 *
 * A port or queue this library already holds is closed first (its job sent).
 * Errors: QUORVEL_E_NULL_INPUT, QUORVEL_E_QUEUE_NOT_FOUND,
 * QUORVEL_E_QUEUE_PAUSED, QUORVEL_E_SYSTEM (the spooler cannot be reached).
 * Sending a job can give QUORVEL_E_QUEUE_PAUSED, QUORVEL_E_JOB_REFUSED or
 * QUORVEL_E_QUEUE_NOT_FOUND; the job then stays collected for a later flush.
 */
QUORVEL_API int QUORVEL_CALL quorvel_open_queue(const char* name, int model); /* 100 */

/**
 * Opens a device link on Linux: a printer-class character device such as
 * /dev/usb/lp0 (USB) or /dev/lp0 (parallel port), held exclusively.
 *
 * Writes wait at most 1 s plus 1 ms per byte, status replies at most 2 s, as
 * on a serial port. quorvel_read_status also reads the port status of the
 * device driver (LPGETSTATUS) where it has one: online, paper_out and error
 * are taken from it when the printer does not answer DLE EOT.
 *
 * @param path   the device, e.g. "/dev/usb/lp0".
 * @param model  printer model number as for AbrePortaSerial (0 to 3).
 * @return 1 when the device is open, 0 otherwise.
 *
 * A port or queue this library already holds is closed first. Close the link
 * with FechaPortaSerial. Errors: QUORVEL_E_NULL_INPUT,
 * QUORVEL_E_PORT_NOT_FOUND (no such device; always on Windows),
 * QUORVEL_E_PERMISSION_DENIED (the message names the device's group, usually
 * lp), QUORVEL_E_DEVICE_BUSY, QUORVEL_E_SYSTEM.
 */
QUORVEL_API int QUORVEL_CALL quorvel_open_device(const char* path, int model); /* 101 */

/**
 * Sends the job a queue link has collected so far, as AcionaGuilhotina does
 * after its cut. On a TCP, serial or device link, where every command goes
 * out at once, it does nothing.
 *
 * @return 1 when nothing was left to send or the job was sent, 0 otherwise.
 *
 * Errors: QUORVEL_E_NO_LINK, QUORVEL_E_QUEUE_NOT_FOUND,
 * QUORVEL_E_QUEUE_PAUSED, QUORVEL_E_JOB_REFUSED, QUORVEL_E_SYSTEM.
 */
QUORVEL_API int QUORVEL_CALL quorvel_flush(void); /* 102 */

/**
 * Opens a printer handle on a print queue, as quorvel_open_queue does for the
 * default link: commands collect into one RAW job per handle, sent at each
 * quorvel_printer_cut, at quorvel_printer_flush and at quorvel_printer_close
 * (which then returns 0 with the queue's error when that last job was not
 * taken; the handle is closed all the same).
 *
 * @param name   the queue's name (`lpstat -p`; Windows' printer list).
 * @param model  printer model number (0 to 3).
 * @return the handle, or NULL (errors as for quorvel_open_queue).
 */
QUORVEL_API quorvel_printer* QUORVEL_CALL quorvel_printer_open_queue(const char* name,
                                                                    int model); /* 103 */

/**
 * Opens a printer handle on a printer-class device on Linux (/dev/usb/lp0),
 * as quorvel_open_device does for the default link.
 *
 * @param path   the device.
 * @param model  printer model number (0 to 3).
 * @return the handle, or NULL (errors as for quorvel_open_device).
 */
QUORVEL_API quorvel_printer* QUORVEL_CALL quorvel_printer_open_device(const char* path,
                                                                     int model); /* 104 */

/**
 * quorvel_flush on a printer handle's link.
 *
 * @param printer  an open handle.
 * @return 1 when nothing was left to send or the job was sent; 0 otherwise,
 *         or when the handle was refused (QUORVEL_E_BAD_HANDLE).
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_flush(quorvel_printer* printer); /* 105 */

/* ------------------------------------------------------------------------
 * Confirmed printing and whole receipts.
 *
 * A 1 from a print function means the bytes were written to the link, not
 * that the printer printed them. quorvel_confirm (default link) and
 * quorvel_printer_confirm (a handle) tell what became of everything sent on
 * the link before them:
 *
 * - They tie an ID to it with the process ID request GS ( H fn 48
 *   (1D 28 48 06 00 30 30 d1 d2 d3 d4), IDs "0001" to "9999" and then "0001"
 *   again, one sequence per link (it starts again when the link is opened
 *   again). The printer answers 37 22 d1 d2 d3 d4 00 once the data before the
 *   ID has printed. While waiting, the library tells that answer apart from
 *   automatic status back groups (GS a, 4 bytes, first byte 0xx1xx00), other
 *   "header to NUL" answers and one-byte status replies, whatever order they
 *   come in and however the link splits them.
 * - While waiting it asks for the real-time status every 500 ms (DLE EOT 2,
 *   and DLE EOT 3 when it reports an error) and reads automatic status back as
 *   it comes, so a receipt held by paper out, an open cover or an error is
 *   reported within a second.
 * - The result is 1 when the receipt printed. Otherwise 0, with
 *   quorvel_last_error giving QUORVEL_E_HELD (the message names the cause:
 *   fix it and call confirm again, which waits for the same ID and sends no
 *   new one unless more was sent since), QUORVEL_E_OUTCOME_UNKNOWN (the link
 *   dropped, the printer stopped answering, or the time-out passed: reprint
 *   the receipt marked as a copy; calling confirm again keeps waiting for the
 *   same ID) or QUORVEL_E_CANNOT_CONFIRM.
 *
 * Printers without GS ( H. Whether a printer answers GS ( H is learned on each
 * link at its first confirm (never when the link opens: AbreSocket and the
 * other open functions send exactly what they always sent). That first confirm
 * sends the ID followed by a GS r 1 query (paper sensor status), which every
 * printer answers when it reaches it, after the data. A printer that answers
 * GS r 1 with status all clear but gives no ID within
 * QUORVEL_CONFIRM_LEARN_MS after it is taken for one without GS ( H; an ID
 * that comes later on the link puts it right again. From then on confirm
 * sends GS r 1 alone and returns 1 once it is answered with paper present,
 * and quorvel_confirm_level returns QUORVEL_CONFIRM_ARRIVED: the data reached
 * the printer and was processed, which is the most such a printer can tell.
 * Why 1 and not "cannot confirm": with these printers a till can still tell a
 * receipt that reached a working printer from one that is held or lost, which
 * is what it needs to act; a till that accepts only printed receipts checks
 * quorvel_confirm_level. QUORVEL_E_CANNOT_CONFIRM is left for links on which
 * the printer answers neither (a printer-class device that cannot be read).
 *
 * Queue links (quorvel_open_queue) confirm as far as the spooler can tell:
 * the collected job is sent, and 1 means the spooler accepted it
 * (QUORVEL_CONFIRM_SPOOLED); the printer behind the spooler cannot be asked.
 *
 * Whole receipts. quorvel_printer_begin and quorvel_printer_end hold a printer
 * for the calling thread: calls on that handle from other threads wait until
 * the receipt ends. The calls in between send nothing: their bytes collect
 * into one buffer, which quorvel_printer_end writes in one write (a receipt
 * larger than QUORVEL_RECEIPT_PIECE bytes in pieces of that size, one after
 * the other, with nothing of another thread's between them), then confirms.
 * quorvel_printer_write sends bytes exactly as they are, of any length, so a
 * receipt built elsewhere goes out whole in one write.
 * ------------------------------------------------------------------------ */

/** What the last 1 of a confirm meant (quorvel_confirm_level). */
enum quorvel_confirmation {
    QUORVEL_CONFIRM_NONE = 0,    /**< no confirm on this link yet, or the last one returned 0 */
    QUORVEL_CONFIRM_PRINTED = 1, /**< the printer answered the process ID: the receipt printed */
    /** the printer has no GS ( H: its GS r answer says the data arrived and was processed */
    QUORVEL_CONFIRM_ARRIVED = 2,
    /** a queue link: the spooler accepted the job; the printer behind it cannot be asked */
    QUORVEL_CONFIRM_SPOOLED = 3
};

/** Largest write of quorvel_printer_end, in bytes: a larger receipt goes out in pieces of this size. */
#define QUORVEL_RECEIPT_PIECE 65536
/** Status is asked this often, in milliseconds, while a confirm waits. */
#define QUORVEL_CONFIRM_POLL_MS 500
/** How long, in milliseconds, a first confirm waits for the ID after the GS r answer before
 *  taking the printer for one without GS ( H. */
#define QUORVEL_CONFIRM_LEARN_MS 3000

/**
 * Confirms that everything sent on the default link before this call has printed.
 *
 * Sends GS ( H fn 48 with the link's next ID (see "Confirmed printing" above;
 * on the first confirm of a link also GS r 1), then waits for its answer,
 * asking for the real-time status every QUORVEL_CONFIRM_POLL_MS. Waits at most
 * timeout_ms in all; allow for the receipt's printing time (about 1.6 s for a
 * 40 cm receipt at 250 mm/s). When the last confirm on this link was left
 * waiting (held or time-out) and nothing was sent since, no new ID is sent:
 * it waits for the same one. The link's lock is held while it waits, so other
 * calls on the same link wait with it (calls on other printer handles do not).
 *
 * @param timeout_ms  longest wait in milliseconds, 0 or more (0 looks once at
 *                    what has arrived and at the status).
 * @return 1 when it printed (or, see quorvel_confirm_level, arrived or was
 *         spooled); 0 otherwise.
 *
 * Errors: QUORVEL_E_HELD (paper out, cover open, error: the message names it;
 * confirm again once fixed), QUORVEL_E_OUTCOME_UNKNOWN (link dropped, printer
 * silent, or no answer within timeout_ms: reprint marked as a copy),
 * QUORVEL_E_CANNOT_CONFIRM, QUORVEL_E_NO_LINK, QUORVEL_E_BAD_ARGUMENT (a
 * negative time-out; nothing is sent). On a queue link the errors of
 * quorvel_flush (the job then stays collected).
 */
QUORVEL_API int QUORVEL_CALL quorvel_confirm(int timeout_ms); /* 110 */

/**
 * Tells what the default link's last confirm that returned 1 meant.
 *
 * @return a quorvel_confirmation value: QUORVEL_CONFIRM_PRINTED, _ARRIVED or
 *         _SPOOLED after a confirm that returned 1, QUORVEL_CONFIRM_NONE
 *         before any and after one that returned 0.
 *
 * Sends nothing and does not change quorvel_last_error.
 */
QUORVEL_API int QUORVEL_CALL quorvel_confirm_level(void); /* 111 */

/**
 * Sends bytes to the default link exactly as they are: no ESC @ before them,
 * no LF after them, no length limit.
 *
 * @param bytes   the bytes, e.g. a whole receipt built in memory.
 * @param length  their count, 0 or more (0 sends nothing and returns 1).
 * @return 1 when every byte was written (in one write), 0 otherwise.
 *
 * The write waits at most 1 s plus 1 ms per byte. Errors:
 * QUORVEL_E_NULL_INPUT (bytes null with length above 0),
 * QUORVEL_E_BAD_ARGUMENT (negative length), QUORVEL_E_NO_LINK,
 * QUORVEL_E_WRITE_FAILED, QUORVEL_E_LINK_CLOSED; on a queue link the errors of
 * quorvel_flush when the job had to be sent to make room.
 */
QUORVEL_API int QUORVEL_CALL quorvel_write(const unsigned char* bytes, int length); /* 112 */

/**
 * quorvel_confirm on a printer handle's link: confirms that everything sent on
 * it before this call has printed.
 *
 * @param printer     an open handle.
 * @param timeout_ms  longest wait in milliseconds, 0 or more.
 * @return 1 when it printed (or arrived, or was spooled: see
 *         quorvel_printer_confirm_level); 0 otherwise (errors as for
 *         quorvel_confirm, and QUORVEL_E_BAD_HANDLE).
 *
 * Inside a receipt (quorvel_printer_begin) the calling thread cannot confirm
 * what has not been sent yet: QUORVEL_E_BAD_ARGUMENT; use quorvel_printer_end
 * with a time-out.
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_confirm(quorvel_printer* printer,
                                                     int timeout_ms); /* 113 */

/**
 * quorvel_confirm_level for a printer handle's link.
 *
 * @param printer  an open handle.
 * @return a quorvel_confirmation value; QUORVEL_CONFIRM_NONE for a refused handle
 *         too (QUORVEL_E_BAD_HANDLE).
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_confirm_level(quorvel_printer* printer); /* 114 */

/**
 * Starts a whole receipt: holds the printer for the calling thread and
 * collects what the following calls on this handle send.
 *
 * Until quorvel_printer_end (or quorvel_printer_cancel) the print calls of
 * this thread on the handle send nothing: their bytes collect, in order, in
 * the handle's receipt buffer. Calls on the handle from other threads wait
 * until then (so end or cancel every receipt begun, also on error paths; a
 * thread that ends without doing so leaves the printer held). Status queries
 * inside a receipt are sent at once, ahead of the collected bytes. A call
 * inside the receipt that fails (refused input) makes quorvel_printer_end
 * send nothing, so no receipt goes out with a line missing.
 * quorvel_printer_close from the same thread drops the unfinished receipt.
 *
 * @param printer  an open handle.
 * @return 1 when the receipt began; 0 otherwise.
 *
 * Errors: QUORVEL_E_BAD_HANDLE, QUORVEL_E_BAD_ARGUMENT (this thread already
 * has a receipt open on the handle), QUORVEL_E_SYSTEM (no memory for the
 * buffer).
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_begin(quorvel_printer* printer); /* 115 */

/**
 * Ends a whole receipt: sends what was collected since quorvel_printer_begin
 * in one write, confirms it when asked, and lets other threads at the printer.
 *
 * @param printer             an open handle with a receipt begun by this thread.
 * @param confirm_timeout_ms  above 0: then confirm as quorvel_printer_confirm
 *                            with this time-out; 0 or less: no confirm.
 * @return 1 when the receipt was written (and, when asked, confirmed: see
 *         quorvel_printer_confirm_level); 0 otherwise. The printer is let go
 *         either way.
 *
 * A receipt larger than QUORVEL_RECEIPT_PIECE bytes goes out in pieces of
 * that size, one straight after the other. When a call inside the receipt
 * failed, nothing is sent and the first failure is reported again, its
 * message starting "receipt not sent". Errors: those of
 * quorvel_printer_confirm; QUORVEL_E_BAD_ARGUMENT (no receipt begun by this
 * thread); when a write fails, QUORVEL_E_OUTCOME_UNKNOWN if a confirm was
 * asked for (part may have been printed), else the write's own error.
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_end(quorvel_printer* printer,
                                                 int confirm_timeout_ms); /* 116 */

/**
 * Sends bytes to a printer handle exactly as they are: no ESC @ before them,
 * no LF after them, no length limit. Inside a receipt they collect like the
 * bytes of every other call.
 *
 * @param printer  an open handle.
 * @param bytes    the bytes, e.g. a whole receipt built in memory.
 * @param length   their count, 0 or more (0 sends nothing and returns 1).
 * @return 1 when every byte was written in one write (or collected); 0
 *         otherwise (errors as for quorvel_write, and QUORVEL_E_BAD_HANDLE).
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_write(quorvel_printer* printer,
                                                   const unsigned char* bytes,
                                                   int length); /* 117 */

/**
 * Drops a receipt begun with quorvel_printer_begin without sending any of it,
 * and lets other threads at the printer: the way out of a receipt that went
 * wrong half way.
 *
 * @param printer  an open handle with a receipt begun by this thread.
 * @return 1 when a receipt was dropped; 0 otherwise (QUORVEL_E_BAD_HANDLE;
 *         QUORVEL_E_BAD_ARGUMENT when this thread has no receipt open on it).
 */
QUORVEL_API int QUORVEL_CALL quorvel_printer_cancel(quorvel_printer* printer); /* 118 */

/**
 * \defgroup spool Print service link
 * A print service (quorvel-spool) in front of the printer: it stores each
 * job on disk, delivers it once and confirms it, or reports why not. As on a
 * queue link, commands collect into a job, handed over to the service at
 * each paper cut, quorvel_flush / quorvel_printer_flush and close; the call
 * that hands it over returns 1 once the service has stored the job. Status
 * functions answer from the service's last reading of the printer (DLE EOT 1
 * to 4). HTTP is spoken over the same sockets as the TCP link.
 */

/**
 * Opens the default link to a printer behind a print service.
 *
 * @param url      "http://ADDRESS[:PORT]" with an address literal (IPv6 in
 *                 brackets); port 8631 when left out.
 * @param printer  the service's name of the printer.
 * @param model    the printer's model number, as for AbreSocket.
 * @return 1 when the service answered and knows the printer; 0 otherwise.
 *
 * Errors: QUORVEL_E_NULL_INPUT, QUORVEL_E_BAD_SPOOL_URL,
 * QUORVEL_E_SPOOL_UNREACHABLE, QUORVEL_E_SPOOL_REFUSED (no such printer).
 * A job handed over later fails with QUORVEL_E_SPOOL_UNREACHABLE (it stays
 * collected: flush again) or QUORVEL_E_SPOOL_REFUSED (the service's reason).
 * Close with FechaPortaSerial.
 */
QUORVEL_API int QUORVEL_CALL quorvel_open_spool(const char* url, const char* printer,
                                                int model); /* 130 */

/**
 * quorvel_open_spool on a printer handle of its own.
 *
 * @param url      "http://ADDRESS[:PORT]" of the print service (port 8631 when left out).
 * @param printer  the service's name of the printer.
 * @param model    the printer's model number, as for quorvel_printer_open_tcp.
 * @return the handle, or NULL (errors as for quorvel_open_spool).
 */
QUORVEL_API quorvel_printer* QUORVEL_CALL quorvel_printer_open_spool(const char* url,
                                                                     const char* printer,
                                                                     int model); /* 131 */

#ifdef __cplusplus
}
#endif

#endif /* QUORVEL_H */
