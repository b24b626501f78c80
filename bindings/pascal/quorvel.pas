// SPDX-License-Identifier: MIT
{ Quorvel for Free Pascal and Delphi: the library's functions, the named
  values of their coded arguments, and TQuorvelPrinter, one object per open
  printer (any number at once). Add this one unit to a project.

  The library is Quorvel.dll on Windows; elsewhere the program links against
  libquorvel.so (fpc -Fl<folder>, see README.md) and runs with libquorvel.so.1.
  Every function is imported by its exported name. Texts are PAnsiChar pointers to
  NUL-terminated Windows-1252 bytes (the code table the text functions select).

  separa, ComandoTx, ImprimeCode128_C and ImprimeCode128C write NUL bytes into
  their list: give them writable memory, a fresh copy per call, never a
  literal. Writable('27,100,4') gives such a copy:
    Raw := Writable('27,100,4');
    ComandoTx(PAnsiChar(Raw));
  Results and values are documented in quorvel.h. }
unit quorvel;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{ Delphi before 2009 (Delphi 7 is CompilerVersion 15) lacks RawByteString,
  UInt64 and code pages on strings: QUORVEL_ANSI_ONLY declares the first two
  from the types it has and skips the third. Newer compilers and Free Pascal
  keep their own. }
{$IFNDEF FPC}
  {$IF CompilerVersion < 20}
    {$DEFINE QUORVEL_ANSI_ONLY}
  {$IFEND}
{$ENDIF}

interface

uses
  SysUtils;

const
{$IFDEF MSWINDOWS}
  QuorvelLib = 'Quorvel.dll';
{$ELSE}
  QuorvelLib = 'quorvel';
{$ENDIF}

  QUORVEL_VERSION_MAJOR = 1;
  QUORVEL_VERSION_MINOR = 2;
  QUORVEL_VERSION_PATCH = 0;

  { Justification (ESC a); any other value: right }
  QUORVEL_ALIGN_LEFT = 0;
  QUORVEL_ALIGN_CENTER = 1;
  QUORVEL_ALIGN_RIGHT = 2;
  { Font (ESC M); any non-zero value: font B }
  QUORVEL_FONT_A = 0;
  QUORVEL_FONT_B = 1;
  QUORVEL_BOLD_OFF = 0;
  QUORVEL_BOLD_ON = 1;
  { Line spacing index (ESC 3 n, n in motion units); any other value: 21 }
  QUORVEL_SPACING_32 = 0;
  QUORVEL_SPACING_40 = 1;
  QUORVEL_SPACING_48 = 2;
  QUORVEL_SPACING_53 = 3;
  QUORVEL_SPACING_64 = 4;
  QUORVEL_SPACING_69 = 5;
  QUORVEL_SPACING_21 = 6;
  { ImprimeTxFormatado modes (ESC !); 0 and any other value underline }
  QUORVEL_MODE_UNDERLINE = 0;
  QUORVEL_MODE_FONT_B = 1;
  QUORVEL_MODE_PLAIN = 2;
  QUORVEL_MODE_BOLD = 3;
  QUORVEL_MODE_DOUBLE_HEIGHT = 4;
  QUORVEL_MODE_DOUBLE_SIZE = 5;
  { Barcode types; ImprimeCodigoBarras knows 0 to 6, ImprimeCodigoBarras_C 0 to 9 }
  QUORVEL_BARCODE_UPC_A = 0;
  QUORVEL_BARCODE_UPC_E = 1;
  QUORVEL_BARCODE_EAN13 = 2;
  QUORVEL_BARCODE_EAN8 = 3;
  QUORVEL_BARCODE_CODE39 = 4;
  QUORVEL_BARCODE_ITF = 5;
  QUORVEL_BARCODE_CODABAR = 6;
  QUORVEL_BARCODE_CODE93 = 7;
  QUORVEL_BARCODE_CODE128 = 8;
  QUORVEL_BARCODE_GS1_128 = 9;
  { Bar height in dots (GS h); any other value: 80 }
  QUORVEL_BAR_HEIGHT_32 = 0;
  QUORVEL_BAR_HEIGHT_50 = 1;
  QUORVEL_BAR_HEIGHT_80 = 2;
  { Module width (GS w); any other value: 3 }
  QUORVEL_BAR_WIDTH_1 = 1;
  QUORVEL_BAR_WIDTH_2 = 2;
  QUORVEL_BAR_WIDTH_3 = 3;
  { Human-readable characters (GS H); any other value: both }
  QUORVEL_HRI_NONE = 0;
  QUORVEL_HRI_ABOVE = 1;
  QUORVEL_HRI_BELOW = 2;
  QUORVEL_HRI_BOTH = 3;
  { QR Code }
  QUORVEL_QR_MODEL_AUTO = 0;
  QUORVEL_QR_MODEL_1 = 1;
  QUORVEL_QR_MODEL_2 = 2;
  QUORVEL_QR_ECC_L = 0;
  QUORVEL_QR_ECC_M = 1;
  QUORVEL_QR_ECC_Q = 2;
  QUORVEL_QR_ECC_H = 3;
  QUORVEL_MODULE_SIZE_MIN = 1;
  QUORVEL_MODULE_SIZE_MAX = 7;
  { PDF417 and Data Matrix }
  QUORVEL_PDF417_COLUMNS_MAX = 30;
  QUORVEL_PDF417_ROW_HEIGHT_MAX = 6;
  QUORVEL_PDF417_ECC_MAX = 8;
  QUORVEL_DATAMATRIX_AUTO = 0;
  QUORVEL_DATAMATRIX_P1_MAX = 4;
  QUORVEL_DATAMATRIX_P2_MAX = 4;
  { Printer models: serial speed and the Le_Status query }
  QUORVEL_MODEL_0 = 0;
  QUORVEL_MODEL_1 = 1;
  QUORVEL_MODEL_2 = 2;
  QUORVEL_MODEL_3 = 3;
  { Stored logo print size (FS p) }
  QUORVEL_LOGO_NORMAL = 0;
  QUORVEL_LOGO_DOUBLE_WIDTH = 1;
  QUORVEL_LOGO_DOUBLE_HEIGHT = 2;
  QUORVEL_LOGO_QUADRUPLE = 3;
  { Longest data, in bytes; longer input is refused (result 0, nothing sent) }
  QUORVEL_MAX_TEXT = 8174;
  QUORVEL_MAX_TEXT_LF = 8172;
  QUORVEL_MAX_TEXT_180 = 8171;
  QUORVEL_MAX_TEXT_FORMATTED = 8177;
  QUORVEL_MAX_BARCODE = 91;
  QUORVEL_MAX_BARCODE_COUNTED = 93;
  QUORVEL_MAX_SYMBOL_ESCZ = 4335;
  QUORVEL_MAX_QR = 4295;
  QUORVEL_MAX_RAW_ITEMS = 4096;
  QUORVEL_CODE128_VALUES = 22;
  { Results of Le_Status and Le_Status_Gaveta }
  QUORVEL_STATUS_NONE = 0;
  QUORVEL_STATUS_OFFLINE = 5;
  QUORVEL_STATUS_OFFLINE_PIN3_HIGH = 9;
  QUORVEL_STATUS_PIN3_HIGH = 24;
  QUORVEL_STATUS_READY = 32;
  QUORVEL_DRAWER_LOW = 1;
  QUORVEL_DRAWER_HIGH = 2;
  { Companion functions }
  QUORVEL_ERROR_MESSAGE_SIZE = 256;
  QUORVEL_IMAGE_MAX_WIDTH = 576;
  QUORVEL_IMAGE_MAX_HEIGHT = 65535;
  QUORVEL_LOGO_MAX_HEIGHT = 2304;
  QUORVEL_IMAGE_BAND_ROWS = 128;
  QUORVEL_DITHER_THRESHOLD = 0;
  QUORVEL_DITHER_FLOYD_STEINBERG = 1;
  QUORVEL_QUEUE_JOB_MAX = 262144;
  { Outcome codes of quorvel_last_error }
  QUORVEL_E_OK = 0;
  QUORVEL_E_NO_LINK = 1;
  QUORVEL_E_ALREADY_OPEN = 2;
  QUORVEL_E_BAD_ADDRESS = 3;
  QUORVEL_E_BAD_PORT = 4;
  QUORVEL_E_REFUSED = 5;
  QUORVEL_E_TIMED_OUT = 6;
  QUORVEL_E_UNREACHABLE = 7;
  QUORVEL_E_PORT_NOT_FOUND = 8;
  QUORVEL_E_PERMISSION_DENIED = 9;
  QUORVEL_E_PORT_BUSY = 10;
  QUORVEL_E_NOT_SERIAL = 11;
  QUORVEL_E_SETTINGS_NOT_APPLIED = 12;
  QUORVEL_E_BAD_SPEED = 13;
  QUORVEL_E_WRITE_FAILED = 14;
  QUORVEL_E_LINK_CLOSED = 15;
  QUORVEL_E_TOO_LONG = 16;
  QUORVEL_E_NULL_INPUT = 17;
  QUORVEL_E_BAD_LIST_ITEM = 18;
  QUORVEL_E_NO_REPLY = 19;
  QUORVEL_E_BAD_ARGUMENT = 20;
  QUORVEL_E_IMAGE_TOO_WIDE = 21;
  QUORVEL_E_NOT_CP1252 = 22;
  QUORVEL_E_BAD_UTF8 = 23;
  QUORVEL_E_BUFFER_TOO_SMALL = 24;
  QUORVEL_E_SYSTEM = 25;
  QUORVEL_E_BAD_HANDLE = 26;
  QUORVEL_E_QUEUE_NOT_FOUND = 27;
  QUORVEL_E_QUEUE_PAUSED = 28;
  QUORVEL_E_JOB_REFUSED = 29;
  QUORVEL_E_NO_STATUS_ON_QUEUE = 30;
  QUORVEL_E_DEVICE_BUSY = 31;
  QUORVEL_E_BAD_BARCODE_DATA = 32;
  QUORVEL_E_HELD = 33;
  QUORVEL_E_OUTCOME_UNKNOWN = 34;
  QUORVEL_E_CANNOT_CONFIRM = 35;
  { The print service link (quorvel_open_spool) }
  QUORVEL_E_SPOOL_UNREACHABLE = 36;
  QUORVEL_E_SPOOL_REFUSED = 37;
  QUORVEL_E_BAD_SPOOL_URL = 38;
  { Confirmed printing: what the last confirm that returned 1 meant (quorvel_confirm_level) }
  QUORVEL_CONFIRM_NONE = 0;
  QUORVEL_CONFIRM_PRINTED = 1;
  QUORVEL_CONFIRM_ARRIVED = 2;
  QUORVEL_CONFIRM_SPOOLED = 3;
  QUORVEL_RECEIPT_PIECE = 65536;
  QUORVEL_CONFIRM_POLL_MS = 500;
  QUORVEL_CONFIRM_LEARN_MS = 3000;

type
{$IFDEF QUORVEL_ANSI_ONLY}
  { Bytes as they are: a string without a code page there }
  RawByteString = AnsiString;
  { concat's lengths: the same 8 bytes; lengths never reach the sign bit }
  UInt64 = Int64;
{$ENDIF}
  { quorvel_read_status: each flag 1, 0, or -1 when its reply did not come }
  TQuorvelStatus = record
    online, drawer_pin3, waiting_recovery, feed_button: Integer;
    cover_open, paper_feeding, stopped_paper_end, error: Integer;
    recoverable_error, autocutter_error, unrecoverable_error, auto_recoverable_error: Integer;
    paper_near_end, paper_out: Integer;
    raw: array[0..3] of Integer;
  end;
  PQuorvelStatus = ^TQuorvelStatus;
  PInteger32 = ^Integer;
  { quorvel_printer*: an open printer's handle, never dereferenced }
  PQuorvelPrinter = Pointer;

{ Decimal lists and utilities }
function separa(text: PAnsiChar; values: PInteger32): Integer; stdcall; external QuorvelLib name 'separa';
function Le_VersaoDLL: PAnsiChar; stdcall; external QuorvelLib name 'Le_VersaoDLL';
function ComandoTx(text: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ComandoTx';
function strlen1(text: PAnsiChar): Integer; stdcall; external QuorvelLib name 'strlen1';
{ Exported as concat; named so here so it does not hide the standard Concat. }
function quorvel_concat(dest: Pointer; first: Pointer; first_len: UInt64; second: Pointer; second_len: UInt64): Pointer; stdcall; external QuorvelLib name 'concat';
{ Linear barcodes and Code 128 }
function ImprimeCodigoBarras_C(justification, barcode_type, height, width, hri_position: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ImprimeCodigoBarras_C';
function ImprimeCodigoBarras(justification, barcode_type, height, width, hri_position: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ImprimeCodigoBarras';
function ImprimeCode128_C(codes: PAnsiChar; justification, height, width: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeCode128_C';
function ImprimeCode128C(codes: PAnsiChar; justification, height: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeCode128C';
{ Text }
function ImprimeTxFormatado(text: PAnsiChar; justification, spacing, mode: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeTxFormatado';
function ImprimeTexto180(text: PAnsiChar; justification, font, spacing, bold: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeTexto180';
function ImprimeTextoInvertido(text: PAnsiChar; justification, font, spacing: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeTextoInvertido';
function ImprimeTexto(text: PAnsiChar; justification, font, spacing, bold: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeTexto';
function ImprimeTextoLF(text: PAnsiChar; justification, font, spacing, bold, feed_lines: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeTextoLF';
{ Printer actions }
function ImprimeAutoTeste: Integer; stdcall; external QuorvelLib name 'ImprimeAutoTeste';
function ImprimeLogoNV(image_number, justification, print_mode: Integer): Integer; stdcall; external QuorvelLib name 'ImprimeLogoNV';
function AcionaGuilhotina: Integer; stdcall; external QuorvelLib name 'AcionaGuilhotina';
function Abre_Gaveta: Integer; stdcall; external QuorvelLib name 'Abre_Gaveta';
{ Two-dimensional symbols }
function ImprimeDataMatrix_M2(justification, p1_code, p2_code, p3_code: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ImprimeDataMatrix_M2';
function ImprimePDF417_M2(justification, columns, p3_code, ecc_level: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ImprimePDF417_M2';
function ImprimeQRCODE_M2(justification, model, module_size, ecc_level: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ImprimeQRCODE_M2';
function ImprimeQRCODE_M1(justification, model, module_size, ecc_level: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'ImprimeQRCODE_M1';
{ Status }
function Le_Status: Integer; stdcall; external QuorvelLib name 'Le_Status';
function Le_Status_Gaveta: Integer; stdcall; external QuorvelLib name 'Le_Status_Gaveta';
{ Links }
function AbrePortaSerial(port_name: PAnsiChar; model_number: Integer): Integer; stdcall; external QuorvelLib name 'AbrePortaSerial';
function FechaPortaSerial: Integer; stdcall; external QuorvelLib name 'FechaPortaSerial';
function AbreSocket(ip_address: PAnsiChar; model_number: Integer): Integer; stdcall; external QuorvelLib name 'AbreSocket';
function FechaSocket: Integer; stdcall; external QuorvelLib name 'FechaSocket';
{ Companion functions }
function quorvel_last_error(message: PAnsiChar; size: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_last_error';
function quorvel_open_tcp(address: PAnsiChar; port, model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_tcp';
function quorvel_open_serial(port: PAnsiChar; bits_per_second, model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_serial';
function quorvel_print_image(gray: PByte; width, height, stride, justification, dither: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_print_image';
function quorvel_store_logo(number: Integer; gray: PByte; width, height, stride, dither: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_store_logo';
function quorvel_read_status(status: PQuorvelStatus): Integer; stdcall; external QuorvelLib name 'quorvel_read_status';
function quorvel_utf8_to_cp1252(utf8: PAnsiChar; output: PAnsiChar; size: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_utf8_to_cp1252';
function quorvel_check_barcode(barcode_type: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_check_barcode';
{ Print queues and printer devices; FechaPortaSerial closes both (a queue's job is sent first) }
function quorvel_open_queue(name: PAnsiChar; model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_queue';
function quorvel_open_device(path: PAnsiChar; model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_device';
function quorvel_flush: Integer; stdcall; external QuorvelLib name 'quorvel_flush';

{ Printer handles: one per open printer, each with its own link; every
  operation takes the handle first and sends what its counterpart above sends.
  Open returns nil on failure (LastErrorMessage says why). TQuorvelPrinter
  below wraps them. }
function quorvel_printer_open_tcp(address: PAnsiChar; port, model: Integer): PQuorvelPrinter; stdcall; external QuorvelLib name 'quorvel_printer_open_tcp';
function quorvel_printer_open_serial(port: PAnsiChar; bits_per_second, model: Integer): PQuorvelPrinter; stdcall; external QuorvelLib name 'quorvel_printer_open_serial';
function quorvel_printer_close(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_close';
function quorvel_printer_text(printer: PQuorvelPrinter; text: PAnsiChar; justification, font, spacing, bold: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_text';
function quorvel_printer_text_feed(printer: PQuorvelPrinter; text: PAnsiChar; justification, font, spacing, bold, feed_lines: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_text_feed';
function quorvel_printer_text_upside_down(printer: PQuorvelPrinter; text: PAnsiChar; justification, font, spacing, bold: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_text_upside_down';
function quorvel_printer_text_inverted(printer: PQuorvelPrinter; text: PAnsiChar; justification, font, spacing: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_text_inverted';
function quorvel_printer_formatted_text(printer: PQuorvelPrinter; text: PAnsiChar; justification, spacing, mode: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_formatted_text';
function quorvel_printer_barcode(printer: PQuorvelPrinter; justification, barcode_type, height, width, hri_position: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_barcode';
function quorvel_printer_barcode_counted(printer: PQuorvelPrinter; justification, barcode_type, height, width, hri_position: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_barcode_counted';
function quorvel_printer_code128(printer: PQuorvelPrinter; codes: PAnsiChar; justification, height: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_code128';
function quorvel_printer_code128_width(printer: PQuorvelPrinter; codes: PAnsiChar; justification, height, width: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_code128_width';
function quorvel_printer_qr_code(printer: PQuorvelPrinter; justification, model, module_size, ecc_level: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_qr_code';
function quorvel_printer_qr_code_escz(printer: PQuorvelPrinter; justification, model, module_size, ecc_level: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_qr_code_escz';
function quorvel_printer_pdf417_escz(printer: PQuorvelPrinter; justification, columns, p3_code, ecc_level: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_pdf417_escz';
function quorvel_printer_data_matrix_escz(printer: PQuorvelPrinter; justification, p1_code, p2_code, p3_code: Integer; data: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_data_matrix_escz';
function quorvel_printer_logo(printer: PQuorvelPrinter; image_number, justification, print_mode: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_logo';
function quorvel_printer_self_test(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_self_test';
function quorvel_printer_cut(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_cut';
function quorvel_printer_open_drawer(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_open_drawer';
function quorvel_printer_status(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_status';
function quorvel_printer_drawer_status(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_drawer_status';
function quorvel_printer_raw(printer: PQuorvelPrinter; text: PAnsiChar): Integer; stdcall; external QuorvelLib name 'quorvel_printer_raw';
function quorvel_printer_image(printer: PQuorvelPrinter; gray: PByte; width, height, stride, justification, dither: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_image';
function quorvel_printer_store_logo(printer: PQuorvelPrinter; number: Integer; gray: PByte; width, height, stride, dither: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_store_logo';
function quorvel_printer_read_status(printer: PQuorvelPrinter; status: PQuorvelStatus): Integer; stdcall; external QuorvelLib name 'quorvel_printer_read_status';
function quorvel_printer_open_queue(name: PAnsiChar; model: Integer): PQuorvelPrinter; stdcall; external QuorvelLib name 'quorvel_printer_open_queue';
function quorvel_printer_open_device(path: PAnsiChar; model: Integer): PQuorvelPrinter; stdcall; external QuorvelLib name 'quorvel_printer_open_device';
function quorvel_printer_flush(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_flush';

{ Confirmed printing, whole receipts and bytes as they are (see quorvel.h).
  Confirm returns 1 when the receipt printed; 0 with QUORVEL_E_HELD (tell the
  operator, confirm again, never resend), QUORVEL_E_OUTCOME_UNKNOWN (reprint
  marked COPY) or QUORVEL_E_CANNOT_CONFIRM. }
function quorvel_confirm(timeout_ms: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_confirm';
function quorvel_confirm_level: Integer; stdcall; external QuorvelLib name 'quorvel_confirm_level';
function quorvel_write(bytes: PByte; length: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_write';
function quorvel_printer_confirm(printer: PQuorvelPrinter; timeout_ms: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_confirm';
function quorvel_printer_confirm_level(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_confirm_level';
function quorvel_printer_begin(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_begin';
function quorvel_printer_end(printer: PQuorvelPrinter; confirm_timeout_ms: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_end';
function quorvel_printer_write(printer: PQuorvelPrinter; bytes: PByte; length: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_printer_write';
function quorvel_printer_cancel(printer: PQuorvelPrinter): Integer; stdcall; external QuorvelLib name 'quorvel_printer_cancel';

{ A printer behind a print service (quorvel-spool): url 'http://ADDRESS[:PORT]'
  (port 8631 when left out), printer the service's name of it. Commands go as
  one job at each cut, flush and close, which returns 1 once the service has
  stored it; else 0 with QUORVEL_E_SPOOL_UNREACHABLE (the job stays: flush
  again), QUORVEL_E_SPOOL_REFUSED or QUORVEL_E_BAD_SPOOL_URL. }
function quorvel_open_spool(url, printer: PAnsiChar; model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_spool';
function quorvel_printer_open_spool(url, printer: PAnsiChar; model: Integer): PQuorvelPrinter; stdcall; external QuorvelLib name 'quorvel_printer_open_spool';

type
  { A call a printer did not take: Code and the message of quorvel_last_error. }
  EQuorvelPrinter = class(Exception)
  public
    Code: Integer;
    constructor CreateFor(const Call: string);
  end;
  { The receipt waits inside the printer (paper out, cover open, an error; the
    message names it): tell the operator, then Confirm again. Never resend. }
  EQuorvelHeld = class(EQuorvelPrinter);
  { The link dropped or the printer went silent after the receipt was sent:
    it may or may not have printed. Reprint it marked COPY. }
  EQuorvelOutcomeUnknown = class(EQuorvelPrinter);
  { The printer cannot tell whether the receipt printed. }
  EQuorvelCannotConfirm = class(EQuorvelPrinter);

  { One printer through a handle of its own: any number are open at once
    (receipt, kitchen and bar printers), each usable from several threads
    (calls on one printer run one after the other; calls on different
    printers run in parallel). Free closes it. Texts are Windows-1252 bytes.
    Each procedure raises EQuorvelPrinter when its command was not written or
    was refused; after Close every call raises it (QUORVEL_E_BAD_HANDLE). }
  TQuorvelPrinter = class
  private
    FHandle: PQuorvelPrinter;
    procedure Check(Result: Integer; const Call: string);
  public
    { A network printer at an IPv4 or IPv6 literal. }
    constructor OpenTcp(const Address: AnsiString; Port: Integer = 9100; Model: Integer = QUORVEL_MODEL_0);
    { A serial printer; BitsPerSecond 0 takes the model's speed (9600 for model 3, else 115200). }
    constructor OpenSerial(const Port: AnsiString; BitsPerSecond: Integer = 0; Model: Integer = QUORVEL_MODEL_0);
    { A printer behind the system's spooler (lpstat -p, or Windows' printer
      list): commands go as one RAW job at each Cut, Flush and Close. }
    constructor OpenQueue(const Name: AnsiString; Model: Integer = QUORVEL_MODEL_0);
    { A printer behind a print service at Url ('http://ADDRESS[:PORT]'), by
      the service's name of it: a job at each Cut, Flush and Close. }
    constructor OpenSpool(const Url, Printer: AnsiString; Model: Integer = QUORVEL_MODEL_0);
    { A printer-class device on Linux, e.g. /dev/usb/lp0. }
    constructor OpenDevice(const Path: AnsiString; Model: Integer = QUORVEL_MODEL_0);
    destructor Destroy; override;
    { Closes the link; a call on it in another thread is let finish first. A
      queue's last job is sent too: call Flush first to learn whether it was taken. }
    procedure Close;
    { Sends the job a queue has collected; nothing to do on other links. }
    procedure Flush;
    procedure Text(const S: RawByteString; Justification: Integer = QUORVEL_ALIGN_LEFT; Font: Integer = QUORVEL_FONT_A; Spacing: Integer = QUORVEL_SPACING_32; Bold: Integer = QUORVEL_BOLD_OFF);
    procedure TextFeed(const S: RawByteString; FeedLines: Integer; Justification: Integer = QUORVEL_ALIGN_LEFT; Font: Integer = QUORVEL_FONT_A; Spacing: Integer = QUORVEL_SPACING_32; Bold: Integer = QUORVEL_BOLD_OFF);
    procedure TextUpsideDown(const S: RawByteString; Justification: Integer = QUORVEL_ALIGN_LEFT; Font: Integer = QUORVEL_FONT_A; Spacing: Integer = QUORVEL_SPACING_32; Bold: Integer = QUORVEL_BOLD_OFF);
    procedure TextInverted(const S: RawByteString; Justification: Integer = QUORVEL_ALIGN_LEFT; Font: Integer = QUORVEL_FONT_A; Spacing: Integer = QUORVEL_SPACING_32);
    procedure FormattedText(const S: RawByteString; Mode: Integer; Justification: Integer = QUORVEL_ALIGN_LEFT; Spacing: Integer = QUORVEL_SPACING_32);
    procedure Barcode(BarcodeType: Integer; const Data: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; Height: Integer = 2; Width: Integer = 2; Hri: Integer = 2);
    procedure BarcodeCounted(BarcodeType: Integer; const Data: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; Height: Integer = 2; Width: Integer = 2; Hri: Integer = 2);
    { Code 128 from a decimal list of 22 code-set-C values; Width > 0 takes ImprimeCode128_C's form. }
    procedure Code128(const Codes: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; Height: Integer = 2; Width: Integer = 0);
    procedure QrCode(const Data: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; Model: Integer = 2; ModuleSize: Integer = 4; Ecc: Integer = 1);
    procedure QrCodeEscZ(const Data: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; Model: Integer = 2; ModuleSize: Integer = 4; Ecc: Integer = 1);
    procedure Pdf417(const Data: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; Columns: Integer = 4; RowHeight: Integer = 3; Ecc: Integer = 2);
    procedure DataMatrix(const Data: RawByteString; Justification: Integer = QUORVEL_ALIGN_CENTER; SizeV: Integer = 0; SizeR: Integer = 0; ModuleSize: Integer = 4);
    procedure Logo(ImageNumber: Integer; Justification: Integer = QUORVEL_ALIGN_CENTER; PrintMode: Integer = 0);
    procedure SelfTest;
    procedure Cut;
    procedure OpenDrawer;
    { ESC @, the bytes of a decimal list, LF. }
    procedure Raw(const List: RawByteString);
    procedure Image(Gray: PByte; Width, Height, Stride: Integer; Justification: Integer = QUORVEL_ALIGN_CENTER; Dither: Integer = 1);
    procedure StoreLogo(Number: Integer; Gray: PByte; Width, Height, Stride: Integer; Dither: Integer = 1);
    { The model's status code (as Le_Status); 0 when there is none. }
    function Status: Integer;
    { QUORVEL_DRAWER_LOW, QUORVEL_DRAWER_HIGH, or 0 when there is none. }
    function DrawerStatus: Integer;
    { DLE EOT 1 to 4; raises when none of the replies came. }
    function FullStatus: TQuorvelStatus;
    { Waits at most TimeoutMs until everything sent so far has printed; returns
      QUORVEL_CONFIRM_PRINTED (or _ARRIVED, _SPOOLED: see quorvel.h). Raises
      EQuorvelHeld, EQuorvelOutcomeUnknown or EQuorvelCannotConfirm. }
    function Confirm(TimeoutMs: Integer = 10000): Integer;
    { A whole receipt: after BeginReceipt this thread's calls collect into one
      buffer and other threads' calls on the printer wait; EndReceipt sends it
      in one write and, with ConfirmTimeoutMs > 0, confirms it (result as
      Confirm; QUORVEL_CONFIRM_NONE without). On an error path CancelReceipt
      drops it: every BeginReceipt needs one of the two. }
    procedure BeginReceipt;
    function EndReceipt(ConfirmTimeoutMs: Integer = 0): Integer;
    procedure CancelReceipt;
    { Bytes exactly as they are: no ESC @ before, no LF after, any length. }
    procedure Write(const Bytes: RawByteString);
    property Handle: PQuorvelPrinter read FHandle;
  end;

{ A private, writable copy of a list for separa, ComandoTx and the Code 128 functions. }
function Writable(const List: RawByteString): RawByteString;
{ The calling thread's last outcome message (quorvel_last_error); its code in Code. }
function LastErrorMessage(out Code: Integer): string;
{ UTF-8 text (such as a literal in a UTF-8 source file) as the Windows-1252
  bytes the text functions print, through quorvel_utf8_to_cp1252:
    ImprimeTexto(PAnsiChar(Cp1252('Pão de queijo')), ...);
  Raises EQuorvelText naming the first character Windows-1252 lacks, or the
  malformed byte, instead of printing mojibake. }
function Cp1252(const Utf8: RawByteString): RawByteString;
{ '' when Data keeps the fixed rules of its barcode type (quorvel_check_barcode),
  otherwise the rule it breaks. Check before ImprimeCodigoBarras(_C): the printer
  silently drops a symbol it cannot encode, and the call still returns 1. }
function BarcodeDataError(BarcodeType: Integer; const Data: RawByteString): string;

type
  EQuorvelText = class(Exception);

implementation

function Writable(const List: RawByteString): RawByteString;
begin
  Result := List;
  UniqueString(Result);
end;

function LastErrorMessage(out Code: Integer): string;
var
  Buffer: array[0..QUORVEL_ERROR_MESSAGE_SIZE - 1] of AnsiChar;
begin
  Code := quorvel_last_error(@Buffer[0], SizeOf(Buffer));
  Result := string(AnsiString(PAnsiChar(@Buffer[0])));
end;

constructor EQuorvelPrinter.CreateFor(const Call: string);
var
  Why: string;
begin
  Why := LastErrorMessage(Code);
  if Why = '' then Why := 'failed';
  inherited Create(Call + ': ' + Why);
end;

{ The exception for a failed call: its class from the code of quorvel_last_error. }
function QuorvelFailure(const Call: string): EQuorvelPrinter;
var
  Code: Integer;
  Why: string;
begin
  Why := LastErrorMessage(Code);
  if Why = '' then Why := 'failed';
  case Code of
    QUORVEL_E_HELD: Result := EQuorvelHeld.Create(Call + ': ' + Why);
    QUORVEL_E_OUTCOME_UNKNOWN: Result := EQuorvelOutcomeUnknown.Create(Call + ': ' + Why);
    QUORVEL_E_CANNOT_CONFIRM: Result := EQuorvelCannotConfirm.Create(Call + ': ' + Why);
  else
    Result := EQuorvelPrinter.Create(Call + ': ' + Why);
  end;
  Result.Code := Code;
end;

constructor TQuorvelPrinter.OpenTcp(const Address: AnsiString; Port: Integer; Model: Integer);
begin
  inherited Create;
  FHandle := quorvel_printer_open_tcp(PAnsiChar(Address), Port, Model);
  if FHandle = nil then raise EQuorvelPrinter.CreateFor('quorvel_printer_open_tcp(' + string(Address) + ')');
end;

constructor TQuorvelPrinter.OpenSerial(const Port: AnsiString; BitsPerSecond: Integer; Model: Integer);
begin
  inherited Create;
  if BitsPerSecond = 0 then
    if Model = QUORVEL_MODEL_3 then BitsPerSecond := 9600 else BitsPerSecond := 115200;
  FHandle := quorvel_printer_open_serial(PAnsiChar(Port), BitsPerSecond, Model);
  if FHandle = nil then raise EQuorvelPrinter.CreateFor('quorvel_printer_open_serial(' + string(Port) + ')');
end;

constructor TQuorvelPrinter.OpenQueue(const Name: AnsiString; Model: Integer);
begin
  inherited Create;
  FHandle := quorvel_printer_open_queue(PAnsiChar(Name), Model);
  if FHandle = nil then raise EQuorvelPrinter.CreateFor('quorvel_printer_open_queue(' + string(Name) + ')');
end;

constructor TQuorvelPrinter.OpenSpool(const Url, Printer: AnsiString; Model: Integer);
begin
  inherited Create;
  FHandle := quorvel_printer_open_spool(PAnsiChar(Url), PAnsiChar(Printer), Model);
  if FHandle = nil then
    raise EQuorvelPrinter.CreateFor('quorvel_printer_open_spool(' + string(Url) + ', ' + string(Printer) + ')');
end;

constructor TQuorvelPrinter.OpenDevice(const Path: AnsiString; Model: Integer);
begin
  inherited Create;
  FHandle := quorvel_printer_open_device(PAnsiChar(Path), Model);
  if FHandle = nil then raise EQuorvelPrinter.CreateFor('quorvel_printer_open_device(' + string(Path) + ')');
end;

destructor TQuorvelPrinter.Destroy;
begin
  Close;
  inherited Destroy;
end;

procedure TQuorvelPrinter.Close;
var
  Closing: PQuorvelPrinter;
begin
  Closing := FHandle;
  FHandle := nil;
  if Closing <> nil then quorvel_printer_close(Closing);
end;

procedure TQuorvelPrinter.Check(Result: Integer; const Call: string);
begin
  if Result <> 1 then raise QuorvelFailure(Call);
end;

procedure TQuorvelPrinter.Text(const S: RawByteString; Justification, Font, Spacing, Bold: Integer);
begin
  Check(quorvel_printer_text(FHandle, PAnsiChar(S), Justification, Font, Spacing, Bold), 'quorvel_printer_text');
end;

procedure TQuorvelPrinter.TextFeed(const S: RawByteString; FeedLines, Justification, Font, Spacing, Bold: Integer);
begin
  Check(quorvel_printer_text_feed(FHandle, PAnsiChar(S), Justification, Font, Spacing, Bold, FeedLines), 'quorvel_printer_text_feed');
end;

procedure TQuorvelPrinter.TextUpsideDown(const S: RawByteString; Justification, Font, Spacing, Bold: Integer);
begin
  Check(quorvel_printer_text_upside_down(FHandle, PAnsiChar(S), Justification, Font, Spacing, Bold), 'quorvel_printer_text_upside_down');
end;

procedure TQuorvelPrinter.TextInverted(const S: RawByteString; Justification, Font, Spacing: Integer);
begin
  Check(quorvel_printer_text_inverted(FHandle, PAnsiChar(S), Justification, Font, Spacing), 'quorvel_printer_text_inverted');
end;

procedure TQuorvelPrinter.FormattedText(const S: RawByteString; Mode, Justification, Spacing: Integer);
begin
  Check(quorvel_printer_formatted_text(FHandle, PAnsiChar(S), Justification, Spacing, Mode), 'quorvel_printer_formatted_text');
end;

procedure TQuorvelPrinter.Barcode(BarcodeType: Integer; const Data: RawByteString; Justification, Height, Width, Hri: Integer);
begin
  Check(quorvel_printer_barcode(FHandle, Justification, BarcodeType, Height, Width, Hri, PAnsiChar(Data)), 'quorvel_printer_barcode');
end;

procedure TQuorvelPrinter.BarcodeCounted(BarcodeType: Integer; const Data: RawByteString; Justification, Height, Width, Hri: Integer);
begin
  Check(quorvel_printer_barcode_counted(FHandle, Justification, BarcodeType, Height, Width, Hri, PAnsiChar(Data)), 'quorvel_printer_barcode_counted');
end;

procedure TQuorvelPrinter.Code128(const Codes: RawByteString; Justification, Height, Width: Integer);
var
  List: RawByteString;
begin
  List := Writable(Codes);
  if Width > 0 then
    Check(quorvel_printer_code128_width(FHandle, PAnsiChar(List), Justification, Height, Width), 'quorvel_printer_code128_width')
  else
    Check(quorvel_printer_code128(FHandle, PAnsiChar(List), Justification, Height), 'quorvel_printer_code128');
end;

procedure TQuorvelPrinter.QrCode(const Data: RawByteString; Justification, Model, ModuleSize, Ecc: Integer);
begin
  Check(quorvel_printer_qr_code(FHandle, Justification, Model, ModuleSize, Ecc, PAnsiChar(Data)), 'quorvel_printer_qr_code');
end;

procedure TQuorvelPrinter.QrCodeEscZ(const Data: RawByteString; Justification, Model, ModuleSize, Ecc: Integer);
begin
  Check(quorvel_printer_qr_code_escz(FHandle, Justification, Model, ModuleSize, Ecc, PAnsiChar(Data)), 'quorvel_printer_qr_code_escz');
end;

procedure TQuorvelPrinter.Pdf417(const Data: RawByteString; Justification, Columns, RowHeight, Ecc: Integer);
begin
  Check(quorvel_printer_pdf417_escz(FHandle, Justification, Columns, RowHeight, Ecc, PAnsiChar(Data)), 'quorvel_printer_pdf417_escz');
end;

procedure TQuorvelPrinter.DataMatrix(const Data: RawByteString; Justification, SizeV, SizeR, ModuleSize: Integer);
begin
  Check(quorvel_printer_data_matrix_escz(FHandle, Justification, SizeV, SizeR, ModuleSize, PAnsiChar(Data)), 'quorvel_printer_data_matrix_escz');
end;

procedure TQuorvelPrinter.Logo(ImageNumber, Justification, PrintMode: Integer);
begin
  Check(quorvel_printer_logo(FHandle, ImageNumber, Justification, PrintMode), 'quorvel_printer_logo');
end;

procedure TQuorvelPrinter.SelfTest;
begin
  Check(quorvel_printer_self_test(FHandle), 'quorvel_printer_self_test');
end;

procedure TQuorvelPrinter.Flush;
begin
  Check(quorvel_printer_flush(FHandle), 'quorvel_printer_flush');
end;

procedure TQuorvelPrinter.Cut;
begin
  Check(quorvel_printer_cut(FHandle), 'quorvel_printer_cut');
end;

procedure TQuorvelPrinter.OpenDrawer;
begin
  Check(quorvel_printer_open_drawer(FHandle), 'quorvel_printer_open_drawer');
end;

procedure TQuorvelPrinter.Raw(const List: RawByteString);
var
  Copy: RawByteString;
begin
  Copy := Writable(List);
  Check(quorvel_printer_raw(FHandle, PAnsiChar(Copy)), 'quorvel_printer_raw');
end;

procedure TQuorvelPrinter.Image(Gray: PByte; Width, Height, Stride, Justification, Dither: Integer);
begin
  Check(quorvel_printer_image(FHandle, Gray, Width, Height, Stride, Justification, Dither), 'quorvel_printer_image');
end;

procedure TQuorvelPrinter.StoreLogo(Number: Integer; Gray: PByte; Width, Height, Stride, Dither: Integer);
begin
  Check(quorvel_printer_store_logo(FHandle, Number, Gray, Width, Height, Stride, Dither), 'quorvel_printer_store_logo');
end;

function TQuorvelPrinter.Status: Integer;
begin
  Result := quorvel_printer_status(FHandle);
end;

function TQuorvelPrinter.DrawerStatus: Integer;
begin
  Result := quorvel_printer_drawer_status(FHandle);
end;

function TQuorvelPrinter.FullStatus: TQuorvelStatus;
begin
  if (quorvel_printer_read_status(FHandle, @Result) <> 1) and (Result.raw[0] < 0) and
     (Result.raw[1] < 0) and (Result.raw[2] < 0) and (Result.raw[3] < 0) then
    raise EQuorvelPrinter.CreateFor('quorvel_printer_read_status');
end;

function TQuorvelPrinter.Confirm(TimeoutMs: Integer): Integer;
begin
  Check(quorvel_printer_confirm(FHandle, TimeoutMs), 'quorvel_printer_confirm');
  Result := quorvel_printer_confirm_level(FHandle);
end;

procedure TQuorvelPrinter.BeginReceipt;
begin
  Check(quorvel_printer_begin(FHandle), 'quorvel_printer_begin');
end;

function TQuorvelPrinter.EndReceipt(ConfirmTimeoutMs: Integer): Integer;
begin
  Check(quorvel_printer_end(FHandle, ConfirmTimeoutMs), 'quorvel_printer_end');
  if ConfirmTimeoutMs > 0 then
    Result := quorvel_printer_confirm_level(FHandle)
  else
    Result := QUORVEL_CONFIRM_NONE;
end;

procedure TQuorvelPrinter.CancelReceipt;
begin
  Check(quorvel_printer_cancel(FHandle), 'quorvel_printer_cancel');
end;

procedure TQuorvelPrinter.Write(const Bytes: RawByteString);
begin
  Check(quorvel_printer_write(FHandle, PByte(Pointer(Bytes)), Length(Bytes)), 'quorvel_printer_write');
end;

function Cp1252(const Utf8: RawByteString): RawByteString;
var
  Length, Code: Integer;
begin
  Length := quorvel_utf8_to_cp1252(PAnsiChar(Utf8), nil, 0);
  if Length < 0 then
    raise EQuorvelText.Create(LastErrorMessage(Code));
  Result := '';
  if Length = 0 then Exit;
  SetLength(Result, Length);
  { Length + 1: the NUL byte; a string keeps room for it past its end }
  if quorvel_utf8_to_cp1252(PAnsiChar(Utf8), PAnsiChar(Result), Length + 1) <> Length then
    raise EQuorvelText.Create(LastErrorMessage(Code));
{$IFNDEF QUORVEL_ANSI_ONLY}
  SetCodePage(Result, 1252, False);
{$ENDIF}
end;

function BarcodeDataError(BarcodeType: Integer; const Data: RawByteString): string;
var
  Code: Integer;
begin
  if quorvel_check_barcode(BarcodeType, PAnsiChar(Data)) = 1 then
    Result := ''
  else
    Result := LastErrorMessage(Code);
end;

end.
