Attribute VB_Name = "Quorvel"
' SPDX-License-Identifier: MIT
' Quorvel for Visual Basic 6: every function and constant of quorvel.h.
'
' Add this module to the project and put the 32-bit Quorvel.dll (bin\x86 of the
' SDK) beside the .exe or in the program's folder: a VB6 program is a 32-bit
' process on every Windows. Every function is __stdcall and exported by its
' plain name; the number after @ is its ordinal in Quorvel.dll.
'
' How arguments are passed (tests/bindings/check_vb6_module.py checks each line
' against the header):
' - int: ByVal As Long. Results: As Long.
' - Text (char*): ByVal As String. VB hands the DLL a NUL-terminated copy in the
'   system's ANSI code page (Windows-1252 on Western Windows, which is what the
'   printer gets) and copies back what the DLL wrote. The list functions
'   (separa, ComandoTx, ImprimeCode128C, ImprimeCode128_C) write into it: pass
'   a fresh copy of the list each time. For quorvel_last_error pass a buffer:
'   String(256, vbNullChar); QuorvelLastError() below does it.
' - Arrays (int*, unsigned char*): ByRef to the first element, e.g. values(0),
'   gray(0).
' - quorvel_utf8_to_cp1252 takes and gives bytes: ByRef to the first element of
'   two Byte arrays. A String cannot carry UTF-8 there, since VB converts it to
'   the ANSI code page on the way in. Utf8ToCp1252() below does the call.
' - concat's 64-bit lengths: ByVal As Currency, which holds the length / 10000
'   (CCur(n) / 10000 passes n).
' - Le_VersaoDLL returns the address of its text: lstrlenA and lstrcpyA from
'   kernel32 (declared below) copy it into a String; QuorvelVersion() does it.
'
' Results: 1 means done, 0 not done (quorvel_last_error says why). VB's True
' is -1, so `If ImprimeTexto(...) = True` is never met and `If Not
' ImprimeTexto(...)` is met for both (Not 1 = -2, Not 0 = -1). Test the
' number:
'     If ImprimeTexto("Coffee  2.50", QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A, _
'                     QUORVEL_SPACING_32, QUORVEL_BOLD_OFF) <> 1 Then
'         MsgBox QuorvelLastError()
'     End If

Option Explicit

' #define values
Public Const QUORVEL_VERSION_MAJOR As Long = 1
Public Const QUORVEL_VERSION_MINOR As Long = 2
Public Const QUORVEL_VERSION_PATCH As Long = 0

' quorvel_justification
Public Const QUORVEL_ALIGN_LEFT As Long = 0
Public Const QUORVEL_ALIGN_CENTER As Long = 1
Public Const QUORVEL_ALIGN_RIGHT As Long = 2

' quorvel_font
Public Const QUORVEL_FONT_A As Long = 0
Public Const QUORVEL_FONT_B As Long = 1

' quorvel_bold
Public Const QUORVEL_BOLD_OFF As Long = 0
Public Const QUORVEL_BOLD_ON As Long = 1

' quorvel_spacing
Public Const QUORVEL_SPACING_32 As Long = 0
Public Const QUORVEL_SPACING_40 As Long = 1
Public Const QUORVEL_SPACING_48 As Long = 2
Public Const QUORVEL_SPACING_53 As Long = 3
Public Const QUORVEL_SPACING_64 As Long = 4
Public Const QUORVEL_SPACING_69 As Long = 5
Public Const QUORVEL_SPACING_21 As Long = 6

' quorvel_text_mode
Public Const QUORVEL_MODE_UNDERLINE As Long = 0
Public Const QUORVEL_MODE_FONT_B As Long = 1
Public Const QUORVEL_MODE_PLAIN As Long = 2
Public Const QUORVEL_MODE_BOLD As Long = 3
Public Const QUORVEL_MODE_DOUBLE_HEIGHT As Long = 4
Public Const QUORVEL_MODE_DOUBLE_SIZE As Long = 5

' quorvel_barcode_type
Public Const QUORVEL_BARCODE_UPC_A As Long = 0
Public Const QUORVEL_BARCODE_UPC_E As Long = 1
Public Const QUORVEL_BARCODE_EAN13 As Long = 2
Public Const QUORVEL_BARCODE_EAN8 As Long = 3
Public Const QUORVEL_BARCODE_CODE39 As Long = 4
Public Const QUORVEL_BARCODE_ITF As Long = 5
Public Const QUORVEL_BARCODE_CODABAR As Long = 6
Public Const QUORVEL_BARCODE_CODE93 As Long = 7
Public Const QUORVEL_BARCODE_CODE128 As Long = 8
Public Const QUORVEL_BARCODE_GS1_128 As Long = 9

' quorvel_bar_height
Public Const QUORVEL_BAR_HEIGHT_32 As Long = 0
Public Const QUORVEL_BAR_HEIGHT_50 As Long = 1
Public Const QUORVEL_BAR_HEIGHT_80 As Long = 2

' quorvel_bar_width
Public Const QUORVEL_BAR_WIDTH_1 As Long = 1
Public Const QUORVEL_BAR_WIDTH_2 As Long = 2
Public Const QUORVEL_BAR_WIDTH_3 As Long = 3

' quorvel_hri_position
Public Const QUORVEL_HRI_NONE As Long = 0
Public Const QUORVEL_HRI_ABOVE As Long = 1
Public Const QUORVEL_HRI_BELOW As Long = 2
Public Const QUORVEL_HRI_BOTH As Long = 3

' quorvel_qr_model
Public Const QUORVEL_QR_MODEL_AUTO As Long = 0
Public Const QUORVEL_QR_MODEL_1 As Long = 1
Public Const QUORVEL_QR_MODEL_2 As Long = 2

' quorvel_qr_ecc
Public Const QUORVEL_QR_ECC_L As Long = 0
Public Const QUORVEL_QR_ECC_M As Long = 1
Public Const QUORVEL_QR_ECC_Q As Long = 2
Public Const QUORVEL_QR_ECC_H As Long = 3

' quorvel_module_size
Public Const QUORVEL_MODULE_SIZE_MIN As Long = 1
Public Const QUORVEL_MODULE_SIZE_MAX As Long = 7

' quorvel_pdf417
Public Const QUORVEL_PDF417_COLUMNS_MAX As Long = 30
Public Const QUORVEL_PDF417_ROW_HEIGHT_MAX As Long = 6
Public Const QUORVEL_PDF417_ECC_MAX As Long = 8

' quorvel_datamatrix
Public Const QUORVEL_DATAMATRIX_AUTO As Long = 0
Public Const QUORVEL_DATAMATRIX_P1_MAX As Long = 4
Public Const QUORVEL_DATAMATRIX_P2_MAX As Long = 4

' quorvel_model
Public Const QUORVEL_MODEL_0 As Long = 0
Public Const QUORVEL_MODEL_1 As Long = 1
Public Const QUORVEL_MODEL_2 As Long = 2
Public Const QUORVEL_MODEL_3 As Long = 3

' quorvel_logo_mode
Public Const QUORVEL_LOGO_NORMAL As Long = 0
Public Const QUORVEL_LOGO_DOUBLE_WIDTH As Long = 1
Public Const QUORVEL_LOGO_DOUBLE_HEIGHT As Long = 2
Public Const QUORVEL_LOGO_QUADRUPLE As Long = 3

' quorvel_limits
Public Const QUORVEL_MAX_TEXT As Long = 8174
Public Const QUORVEL_MAX_TEXT_LF As Long = 8172
Public Const QUORVEL_MAX_TEXT_180 As Long = 8171
Public Const QUORVEL_MAX_TEXT_FORMATTED As Long = 8177
Public Const QUORVEL_MAX_BARCODE As Long = 91
Public Const QUORVEL_MAX_BARCODE_COUNTED As Long = 93
Public Const QUORVEL_MAX_SYMBOL_ESCZ As Long = 4335
Public Const QUORVEL_MAX_QR As Long = 4295
Public Const QUORVEL_MAX_RAW_ITEMS As Long = 4096
Public Const QUORVEL_CODE128_VALUES As Long = 22

' #define values
Public Const QUORVEL_STATUS_NONE As Long = 0
Public Const QUORVEL_STATUS_OFFLINE As Long = 5
Public Const QUORVEL_STATUS_OFFLINE_PIN3_HIGH As Long = 9
Public Const QUORVEL_STATUS_PIN3_HIGH As Long = 24
Public Const QUORVEL_STATUS_READY As Long = 32
Public Const QUORVEL_DRAWER_LOW As Long = 1
Public Const QUORVEL_DRAWER_HIGH As Long = 2

' quorvel_error
Public Const QUORVEL_E_OK As Long = 0
Public Const QUORVEL_E_NO_LINK As Long = 1
Public Const QUORVEL_E_ALREADY_OPEN As Long = 2
Public Const QUORVEL_E_BAD_ADDRESS As Long = 3
Public Const QUORVEL_E_BAD_PORT As Long = 4
Public Const QUORVEL_E_REFUSED As Long = 5
Public Const QUORVEL_E_TIMED_OUT As Long = 6
Public Const QUORVEL_E_UNREACHABLE As Long = 7
Public Const QUORVEL_E_PORT_NOT_FOUND As Long = 8
Public Const QUORVEL_E_PERMISSION_DENIED As Long = 9
Public Const QUORVEL_E_PORT_BUSY As Long = 10
Public Const QUORVEL_E_NOT_SERIAL As Long = 11
Public Const QUORVEL_E_SETTINGS_NOT_APPLIED As Long = 12
Public Const QUORVEL_E_BAD_SPEED As Long = 13
Public Const QUORVEL_E_WRITE_FAILED As Long = 14
Public Const QUORVEL_E_LINK_CLOSED As Long = 15
Public Const QUORVEL_E_TOO_LONG As Long = 16
Public Const QUORVEL_E_NULL_INPUT As Long = 17
Public Const QUORVEL_E_BAD_LIST_ITEM As Long = 18
Public Const QUORVEL_E_NO_REPLY As Long = 19
Public Const QUORVEL_E_BAD_ARGUMENT As Long = 20
Public Const QUORVEL_E_IMAGE_TOO_WIDE As Long = 21
Public Const QUORVEL_E_NOT_CP1252 As Long = 22
Public Const QUORVEL_E_BAD_UTF8 As Long = 23
Public Const QUORVEL_E_BUFFER_TOO_SMALL As Long = 24
Public Const QUORVEL_E_SYSTEM As Long = 25
Public Const QUORVEL_E_QUEUE_NOT_FOUND As Long = 27
Public Const QUORVEL_E_QUEUE_PAUSED As Long = 28
Public Const QUORVEL_E_JOB_REFUSED As Long = 29
Public Const QUORVEL_E_NO_STATUS_ON_QUEUE As Long = 30
Public Const QUORVEL_E_DEVICE_BUSY As Long = 31

' #define values
Public Const QUORVEL_ERROR_MESSAGE_SIZE As Long = 256
Public Const QUORVEL_IMAGE_MAX_WIDTH As Long = 576
Public Const QUORVEL_IMAGE_MAX_HEIGHT As Long = 65535
Public Const QUORVEL_LOGO_MAX_HEIGHT As Long = 2304
Public Const QUORVEL_IMAGE_BAND_ROWS As Long = 128
Public Const QUORVEL_DITHER_THRESHOLD As Long = 0
Public Const QUORVEL_DITHER_FLOYD_STEINBERG As Long = 1
Public Const QUORVEL_QUEUE_JOB_MAX As Long = 262144
Public Const QUORVEL_E_BAD_BARCODE_DATA As Long = 32

' Confirmed printing. quorvel_confirm / quorvel_printer_confirm return 1 when the
' receipt printed (quorvel_*confirm_level tells PRINTED, ARRIVED or SPOOLED), else
' 0 with quorvel_last_error giving QUORVEL_E_HELD (tell the operator, then confirm
' again: never send the receipt again), QUORVEL_E_OUTCOME_UNKNOWN (reprint it
' marked COPY) or QUORVEL_E_CANNOT_CONFIRM. Results are 1 or 0, and VB's True is
' -1: test  If quorvel_confirm(10000) = 1 Then , never  If ... = True Then .
Public Const QUORVEL_E_HELD As Long = 33
Public Const QUORVEL_E_OUTCOME_UNKNOWN As Long = 34
Public Const QUORVEL_E_CANNOT_CONFIRM As Long = 35
Public Const QUORVEL_CONFIRM_NONE As Long = 0
Public Const QUORVEL_CONFIRM_PRINTED As Long = 1
Public Const QUORVEL_CONFIRM_ARRIVED As Long = 2
Public Const QUORVEL_CONFIRM_SPOOLED As Long = 3
Public Const QUORVEL_RECEIPT_PIECE As Long = 65536
Public Const QUORVEL_CONFIRM_POLL_MS As Long = 500
Public Const QUORVEL_CONFIRM_LEARN_MS As Long = 3000

' The print service link (quorvel_open_spool): the service cannot be reached (the
' job stays collected: flush again), it refused the job or the printer's name, or
' the URL is not http://ADDRESS[:PORT].
Public Const QUORVEL_E_SPOOL_UNREACHABLE As Long = 36
Public Const QUORVEL_E_SPOOL_REFUSED As Long = 37
Public Const QUORVEL_E_BAD_SPOOL_URL As Long = 38
Public Const QUORVEL_E_BAD_HANDLE As Long = 26

' struct quorvel_status, filled by quorvel_read_status: 1 set, 0 clear, -1 no reply.
Public Type QuorvelStatus
    online As Long
    drawer_pin3 As Long
    waiting_recovery As Long
    feed_button As Long
    cover_open As Long
    paper_feeding As Long
    stopped_paper_end As Long
    error_ As Long
    recoverable_error As Long
    autocutter_error As Long
    unrecoverable_error As Long
    auto_recoverable_error As Long
    paper_near_end As Long
    paper_out As Long
    raw(0 To 3) As Long
End Type

' Decimal lists and utilities
Public Declare Function separa Lib "Quorvel.dll" (ByVal text As String, ByRef values As Long) As Long ' @1
Public Declare Function Le_VersaoDLL Lib "Quorvel.dll" () As Long ' @2
Public Declare Function ComandoTx Lib "Quorvel.dll" (ByVal text As String) As Long ' @3
Public Declare Function strlen1 Lib "Quorvel.dll" (ByVal text As String) As Long ' @4
Public Declare Function concat Lib "Quorvel.dll" (ByRef dest As Any, ByRef first As Any, ByVal first_len As Currency, ByRef second As Any, ByVal second_len As Currency) As Long ' @5

' Printing
Public Declare Function ImprimeCodigoBarras_C Lib "Quorvel.dll" (ByVal justification As Long, ByVal barcode_type As Long, ByVal height As Long, ByVal width_ As Long, ByVal hri_position As Long, ByVal data As String) As Long ' @6
Public Declare Function ImprimeTxFormatado Lib "Quorvel.dll" (ByVal text As String, ByVal justification As Long, ByVal spacing As Long, ByVal mode As Long) As Long ' @7
Public Declare Function ImprimeAutoTeste Lib "Quorvel.dll" () As Long ' @8
Public Declare Function ImprimeLogoNV Lib "Quorvel.dll" (ByVal image_number As Long, ByVal justification As Long, ByVal print_mode As Long) As Long ' @9
Public Declare Function ImprimeCode128_C Lib "Quorvel.dll" (ByVal codes As String, ByVal justification As Long, ByVal height As Long, ByVal width_ As Long) As Long ' @10
Public Declare Function ImprimeCode128C Lib "Quorvel.dll" (ByVal codes As String, ByVal justification As Long, ByVal height As Long) As Long ' @11
Public Declare Function ImprimeCodigoBarras Lib "Quorvel.dll" (ByVal justification As Long, ByVal barcode_type As Long, ByVal height As Long, ByVal width_ As Long, ByVal hri_position As Long, ByVal data As String) As Long ' @12
Public Declare Function ImprimeDataMatrix_M2 Lib "Quorvel.dll" (ByVal justification As Long, ByVal p1_code As Long, ByVal p2_code As Long, ByVal p3_code As Long, ByVal data As String) As Long ' @13
Public Declare Function ImprimePDF417_M2 Lib "Quorvel.dll" (ByVal justification As Long, ByVal columns As Long, ByVal p3_code As Long, ByVal ecc_level As Long, ByVal data As String) As Long ' @14
Public Declare Function ImprimeQRCODE_M2 Lib "Quorvel.dll" (ByVal justification As Long, ByVal model As Long, ByVal module_size As Long, ByVal ecc_level As Long, ByVal data As String) As Long ' @15
Public Declare Function ImprimeQRCODE_M1 Lib "Quorvel.dll" (ByVal justification As Long, ByVal model As Long, ByVal module_size As Long, ByVal ecc_level As Long, ByVal data As String) As Long ' @16
Public Declare Function ImprimeTexto180 Lib "Quorvel.dll" (ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long, ByVal bold As Long) As Long ' @17
Public Declare Function ImprimeTextoInvertido Lib "Quorvel.dll" (ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long) As Long ' @18
Public Declare Function ImprimeTexto Lib "Quorvel.dll" (ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long, ByVal bold As Long) As Long ' @19
Public Declare Function ImprimeTextoLF Lib "Quorvel.dll" (ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long, ByVal bold As Long, ByVal feed_lines As Long) As Long ' @20

' Cutter, drawer and status
Public Declare Function Le_Status Lib "Quorvel.dll" () As Long ' @21
Public Declare Function AcionaGuilhotina Lib "Quorvel.dll" () As Long ' @22
Public Declare Function Abre_Gaveta Lib "Quorvel.dll" () As Long ' @23
Public Declare Function Le_Status_Gaveta Lib "Quorvel.dll" () As Long ' @24

' Links
Public Declare Function AbrePortaSerial Lib "Quorvel.dll" (ByVal port_name As String, ByVal model_number As Long) As Long ' @25
Public Declare Function FechaPortaSerial Lib "Quorvel.dll" () As Long ' @26
Public Declare Function AbreSocket Lib "Quorvel.dll" (ByVal ip_address As String, ByVal model_number As Long) As Long ' @27
Public Declare Function FechaSocket Lib "Quorvel.dll" () As Long ' @28

' Companion functions
Public Declare Function quorvel_last_error Lib "Quorvel.dll" (ByVal message As String, ByVal size As Long) As Long ' @40
Public Declare Function quorvel_open_tcp Lib "Quorvel.dll" (ByVal address As String, ByVal port As Long, ByVal model As Long) As Long ' @41
Public Declare Function quorvel_open_serial Lib "Quorvel.dll" (ByVal port As String, ByVal bits_per_second As Long, ByVal model As Long) As Long ' @42
Public Declare Function quorvel_print_image Lib "Quorvel.dll" (ByRef gray As Byte, ByVal width_ As Long, ByVal height As Long, ByVal stride As Long, ByVal justification As Long, ByVal dither As Long) As Long ' @43
Public Declare Function quorvel_store_logo Lib "Quorvel.dll" (ByVal number As Long, ByRef gray As Byte, ByVal width_ As Long, ByVal height As Long, ByVal stride As Long, ByVal dither As Long) As Long ' @44
Public Declare Function quorvel_read_status Lib "Quorvel.dll" (ByRef status As QuorvelStatus) As Long ' @45
Public Declare Function quorvel_utf8_to_cp1252 Lib "Quorvel.dll" (ByRef utf8 As Byte, ByRef out As Byte, ByVal size As Long) As Long ' @46
Public Declare Function quorvel_check_barcode Lib "Quorvel.dll" (ByVal barcode_type As Long, ByVal data As String) As Long ' @47
Public Declare Function quorvel_open_queue Lib "Quorvel.dll" (ByVal name_ As String, ByVal model As Long) As Long ' @100
Public Declare Function quorvel_open_device Lib "Quorvel.dll" (ByVal path As String, ByVal model As Long) As Long ' @101
Public Declare Function quorvel_flush Lib "Quorvel.dll" () As Long ' @102
Public Declare Function quorvel_printer_open_tcp Lib "Quorvel.dll" (ByVal address As String, ByVal port As Long, ByVal model As Long) As Long ' @50
Public Declare Function quorvel_printer_open_serial Lib "Quorvel.dll" (ByVal port As String, ByVal bits_per_second As Long, ByVal model As Long) As Long ' @51
Public Declare Function quorvel_printer_close Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @52
Public Declare Function quorvel_printer_text Lib "Quorvel.dll" (ByVal printer As Long, ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long, ByVal bold As Long) As Long ' @53
Public Declare Function quorvel_printer_text_feed Lib "Quorvel.dll" (ByVal printer As Long, ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long, ByVal bold As Long, ByVal feed_lines As Long) As Long ' @54
Public Declare Function quorvel_printer_text_upside_down Lib "Quorvel.dll" (ByVal printer As Long, ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long, ByVal bold As Long) As Long ' @55
Public Declare Function quorvel_printer_text_inverted Lib "Quorvel.dll" (ByVal printer As Long, ByVal text As String, ByVal justification As Long, ByVal font As Long, ByVal spacing As Long) As Long ' @56
Public Declare Function quorvel_printer_formatted_text Lib "Quorvel.dll" (ByVal printer As Long, ByVal text As String, ByVal justification As Long, ByVal spacing As Long, ByVal mode As Long) As Long ' @57
Public Declare Function quorvel_printer_barcode Lib "Quorvel.dll" (ByVal printer As Long, ByVal justification As Long, ByVal barcode_type As Long, ByVal height As Long, ByVal width_ As Long, ByVal hri_position As Long, ByVal data As String) As Long ' @58
Public Declare Function quorvel_printer_barcode_counted Lib "Quorvel.dll" (ByVal printer As Long, ByVal justification As Long, ByVal barcode_type As Long, ByVal height As Long, ByVal width_ As Long, ByVal hri_position As Long, ByVal data As String) As Long ' @59
Public Declare Function quorvel_printer_code128 Lib "Quorvel.dll" (ByVal printer As Long, ByVal codes As String, ByVal justification As Long, ByVal height As Long) As Long ' @60
Public Declare Function quorvel_printer_code128_width Lib "Quorvel.dll" (ByVal printer As Long, ByVal codes As String, ByVal justification As Long, ByVal height As Long, ByVal width_ As Long) As Long ' @61
Public Declare Function quorvel_printer_qr_code Lib "Quorvel.dll" (ByVal printer As Long, ByVal justification As Long, ByVal model As Long, ByVal module_size As Long, ByVal ecc_level As Long, ByVal data As String) As Long ' @62
Public Declare Function quorvel_printer_qr_code_escz Lib "Quorvel.dll" (ByVal printer As Long, ByVal justification As Long, ByVal model As Long, ByVal module_size As Long, ByVal ecc_level As Long, ByVal data As String) As Long ' @63
Public Declare Function quorvel_printer_pdf417_escz Lib "Quorvel.dll" (ByVal printer As Long, ByVal justification As Long, ByVal columns As Long, ByVal p3_code As Long, ByVal ecc_level As Long, ByVal data As String) As Long ' @64
Public Declare Function quorvel_printer_data_matrix_escz Lib "Quorvel.dll" (ByVal printer As Long, ByVal justification As Long, ByVal p1_code As Long, ByVal p2_code As Long, ByVal p3_code As Long, ByVal data As String) As Long ' @65
Public Declare Function quorvel_printer_logo Lib "Quorvel.dll" (ByVal printer As Long, ByVal image_number As Long, ByVal justification As Long, ByVal print_mode As Long) As Long ' @66
Public Declare Function quorvel_printer_self_test Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @67
Public Declare Function quorvel_printer_cut Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @68
Public Declare Function quorvel_printer_open_drawer Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @69
Public Declare Function quorvel_printer_status Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @70
Public Declare Function quorvel_printer_drawer_status Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @71
Public Declare Function quorvel_printer_raw Lib "Quorvel.dll" (ByVal printer As Long, ByVal text As String) As Long ' @72
Public Declare Function quorvel_printer_image Lib "Quorvel.dll" (ByVal printer As Long, ByRef gray As Byte, ByVal width_ As Long, ByVal height As Long, ByVal stride As Long, ByVal justification As Long, ByVal dither As Long) As Long ' @73
Public Declare Function quorvel_printer_store_logo Lib "Quorvel.dll" (ByVal printer As Long, ByVal number As Long, ByRef gray As Byte, ByVal width_ As Long, ByVal height As Long, ByVal stride As Long, ByVal dither As Long) As Long ' @74
Public Declare Function quorvel_printer_read_status Lib "Quorvel.dll" (ByVal printer As Long, ByRef status As QuorvelStatus) As Long ' @75
Public Declare Function quorvel_printer_open_queue Lib "Quorvel.dll" (ByVal name_ As String, ByVal model As Long) As Long ' @103
Public Declare Function quorvel_printer_open_device Lib "Quorvel.dll" (ByVal path As String, ByVal model As Long) As Long ' @104
Public Declare Function quorvel_printer_flush Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @105

' Confirmed printing, whole receipts and bytes as they are. A whole receipt:
' quorvel_printer_begin, the print calls, then quorvel_printer_end(printer, 10000)
' to send it in one write and confirm it (or quorvel_printer_cancel on an error
' path). quorvel_write / quorvel_printer_write take a Byte array: bytes(0), n.
Public Declare Function quorvel_confirm Lib "Quorvel.dll" (ByVal timeout_ms As Long) As Long ' @110
Public Declare Function quorvel_confirm_level Lib "Quorvel.dll" () As Long ' @111
Public Declare Function quorvel_write Lib "Quorvel.dll" (ByRef bytes As Byte, ByVal length As Long) As Long ' @112
Public Declare Function quorvel_printer_confirm Lib "Quorvel.dll" (ByVal printer As Long, ByVal timeout_ms As Long) As Long ' @113
Public Declare Function quorvel_printer_confirm_level Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @114
Public Declare Function quorvel_printer_begin Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @115
Public Declare Function quorvel_printer_end Lib "Quorvel.dll" (ByVal printer As Long, ByVal confirm_timeout_ms As Long) As Long ' @116
Public Declare Function quorvel_printer_write Lib "Quorvel.dll" (ByVal printer As Long, ByRef bytes As Byte, ByVal length As Long) As Long ' @117
Public Declare Function quorvel_printer_cancel Lib "Quorvel.dll" (ByVal printer As Long) As Long ' @118

' A printer behind a print service (quorvel-spool): url "http://127.0.0.1:8631",
' printer_name the service's name of it. Commands go as one job at each cut,
' quorvel_flush and FechaPortaSerial, which return 1 once the service stored it.
Public Declare Function quorvel_open_spool Lib "Quorvel.dll" (ByVal url As String, ByVal printer_name As String, ByVal model As Long) As Long ' @130
Public Declare Function quorvel_printer_open_spool Lib "Quorvel.dll" (ByVal url As String, ByVal printer_name As String, ByVal model As Long) As Long ' @131

' From kernel32: Le_VersaoDLL's text from its address.
Public Declare Function lstrlenA Lib "kernel32" (ByVal text As Long) As Long
Public Declare Function lstrcpyA Lib "kernel32" (ByVal dest As String, ByVal source As Long) As Long

' Le_VersaoDLL as a String, e.g. "1.2.0".
Public Function QuorvelVersion() As String
    Dim address As Long, text As String
    address = Le_VersaoDLL()
    If address = 0 Then Exit Function
    text = String$(lstrlenA(address), vbNullChar)
    lstrcpyA text, address
    QuorvelVersion = text
End Function

' Why the last call failed, ending with what to try ("" after a success).
Public Function QuorvelLastError(Optional code As Long) As String
    Dim message As String
    message = String$(QUORVEL_ERROR_MESSAGE_SIZE, vbNullChar)
    code = quorvel_last_error(message, QUORVEL_ERROR_MESSAGE_SIZE)
    QuorvelLastError = Left$(message, InStr(message & vbNullChar, vbNullChar) - 1)
End Function

' UTF-8 bytes (from a file or a web answer) as the Windows-1252 text the text
' functions print. Raises an error naming the character Windows-1252 lacks.
' The result goes back to bytes through the ANSI code page when passed to a
' function: exact on Windows set to a Western (1252) code page.
Public Function Utf8ToCp1252(utf8() As Byte) As String
    Dim source() As Byte, result() As Byte, n As Long, i As Long, length As Long
    n = UBound(utf8) - LBound(utf8) + 1
    ReDim source(0 To n)   ' the bytes and a NUL
    For i = 0 To n - 1
        source(i) = utf8(LBound(utf8) + i)
    Next i
    ReDim result(0 To n)   ' never longer than the UTF-8, plus the NUL
    length = quorvel_utf8_to_cp1252(source(0), result(0), n + 1)
    If length < 0 Then Err.Raise vbObjectError + 1, "Quorvel", QuorvelLastError()
    If length = 0 Then Exit Function
    ReDim Preserve result(0 To length - 1)
    Utf8ToCp1252 = StrConv(result, vbUnicode)
End Function
