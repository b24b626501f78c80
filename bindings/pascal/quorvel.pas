// SPDX-License-Identifier: MIT
{ Quorvel for Free Pascal and Delphi: the library's functions and the named
  values of their coded arguments. Add this one unit to a project.

  The library is Quorvel.dll on Windows and libquorvel.so elsewhere; every
  function is imported by its exported name. Texts are PAnsiChar pointers to
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

interface

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

type
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
{ Print queues and printer devices; FechaPortaSerial closes both (a queue's job is sent first) }
function quorvel_open_queue(name: PAnsiChar; model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_queue';
function quorvel_open_device(path: PAnsiChar; model: Integer): Integer; stdcall; external QuorvelLib name 'quorvel_open_device';
function quorvel_flush: Integer; stdcall; external QuorvelLib name 'quorvel_flush';

{ A private, writable copy of a list for separa, ComandoTx and the Code 128 functions. }
function Writable(const List: RawByteString): RawByteString;
{ The calling thread's last outcome message (quorvel_last_error); its code in Code. }
function LastErrorMessage(out Code: Integer): string;

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

end.
