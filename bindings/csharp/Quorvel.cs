// SPDX-License-Identifier: MIT
// Quorvel for C#: the library's functions ([DllImport], classes Native and
// NativePrinter) and a Printer class over the printer handles: one Printer per
// printer, any number open at once. Copy this one file into a project.
//
// The library is "Quorvel.dll" on Windows and the runtime library
// "libquorvel.so.1" on Linux (package libquorvel1; the development symlink
// libquorvel.so is not needed). A [DllImport] name is a constant and no one
// name finds both files, so Native calls one of two import classes.
// Text goes to the printer as Windows-1252 bytes: Native takes byte[] (give it
// NUL-terminated Windows-1252 bytes, see Native.Text), Printer takes string and
// converts it. Works on .NET Framework, .NET and Mono.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Quorvel
{
    /// <summary>Named values of the coded arguments (see quorvel.h).</summary>
    public enum Justification { Left = 0, Center = 1, Right = 2 }
    public enum Font { A = 0, B = 1 }
    /// <summary>Line spacing index: ESC 3 n in motion units.</summary>
    public enum Spacing { S32 = 0, S40 = 1, S48 = 2, S53 = 3, S64 = 4, S69 = 5, S21 = 6 }
    /// <summary>ImprimeTxFormatado modes. 0 underlines; there is no plain mode.</summary>
    public enum TextMode { Underline = 0, FontB = 1, Plain = 2, Bold = 3, DoubleHeight = 4, DoubleSize = 5 }
    public enum BarcodeType { UpcA = 0, UpcE = 1, Ean13 = 2, Ean8 = 3, Code39 = 4, Itf = 5, Codabar = 6, Code93 = 7, Code128 = 8, Gs1_128 = 9 }
    /// <summary>Bar height in dots.</summary>
    public enum BarHeight { H32 = 0, H50 = 1, H80 = 2 }
    public enum BarWidth { W1 = 1, W2 = 2, W3 = 3 }
    public enum Hri { None = 0, Above = 1, Below = 2, Both = 3 }
    public enum QrModel { Auto = 0, Model1 = 1, Model2 = 2 }
    public enum QrEcc { L = 0, M = 1, Q = 2, H = 3 }
    public enum LogoMode { Normal = 0, DoubleWidth = 1, DoubleHeight = 2, Quadruple = 3 }
    public enum Dither { Threshold = 0, FloydSteinberg = 1 }
    /// <summary>What a confirmation that succeeded vouches for (quorvel_confirm_level).</summary>
    public enum ConfirmLevel { None = 0, Printed = 1, Arrived = 2, Spooled = 3 }

    public static class Status
    {
        public const int None = 0, Offline = 5, OfflinePin3High = 9, Pin3High = 24, Ready = 32;
        public const int DrawerLow = 1, DrawerHigh = 2;
    }

    /// <summary>quorvel_read_status: each flag 1, 0, or -1 when its reply did not come.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct FullStatus
    {
        public int Online, DrawerPin3, WaitingRecovery, FeedButton;
        public int CoverOpen, PaperFeeding, StoppedPaperEnd, Error;
        public int RecoverableError, AutocutterError, UnrecoverableError, AutoRecoverableError;
        public int PaperNearEnd, PaperOut;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 4)]
        public int[] Raw;
    }

    /// <summary>The exported functions, one to one. Results as in quorvel.h.</summary>
    /// <summary>The codes of quorvel_last_error and PrinterException.Code (enum quorvel_error).</summary>
    public static class ErrorCode
    {
        public const int Ok = 0;
        public const int NoLink = 1;
        public const int AlreadyOpen = 2;
        public const int BadAddress = 3;
        public const int BadPort = 4;
        public const int Refused = 5;
        public const int TimedOut = 6;
        public const int Unreachable = 7;
        public const int PortNotFound = 8;
        public const int PermissionDenied = 9;
        public const int PortBusy = 10;
        public const int NotSerial = 11;
        public const int SettingsNotApplied = 12;
        public const int BadSpeed = 13;
        public const int WriteFailed = 14;
        public const int LinkClosed = 15;
        public const int TooLong = 16;
        public const int NullInput = 17;
        public const int BadListItem = 18;
        public const int NoReply = 19;
        public const int BadArgument = 20;
        public const int ImageTooWide = 21;
        public const int NotCp1252 = 22;
        public const int BadUtf8 = 23;
        public const int BufferTooSmall = 24;
        public const int System = 25;
        public const int BadHandle = 26;
        public const int QueueNotFound = 27;
        public const int QueuePaused = 28;
        public const int JobRefused = 29;
        public const int NoStatusOnQueue = 30;
        public const int DeviceBusy = 31;
        public const int BadBarcodeData = 32;
        public const int Held = 33;
        public const int OutcomeUnknown = 34;
        public const int CannotConfirm = 35;
        public const int SpoolUnreachable = 36;
        public const int SpoolRefused = 37;
        public const int BadSpoolUrl = 38;
    }

    public static class Native
    {
        // Which import class calls the library. P/Invoke binds at the first call,
        // so the other class's file is never looked for.
        static readonly bool Windows = System.IO.Path.DirectorySeparatorChar == '\\';

        /// <summary>NUL-terminated Windows-1252 bytes of a string, for the byte[] text arguments.
        /// Throws ArgumentException for a character that Windows-1252 lacks.</summary>
        public static byte[] Text(string text) { return Windows1252.Encode(text, true); }

        // Decimal lists and utilities. separa, ComandoTx, ImprimeCode128_C and
        // ImprimeCode128C write NUL bytes into their list: pass a fresh byte[] per call.
        public static int separa(byte[] text, int[] values) { return Windows ? OnWindows.separa(text, values) : Elsewhere.separa(text, values); }
        public static IntPtr Le_VersaoDLL() { return Windows ? OnWindows.Le_VersaoDLL() : Elsewhere.Le_VersaoDLL(); }
        public static int ComandoTx(byte[] text) { return Windows ? OnWindows.ComandoTx(text) : Elsewhere.ComandoTx(text); }
        public static int strlen1(byte[] text) { return Windows ? OnWindows.strlen1(text) : Elsewhere.strlen1(text); }
        public static IntPtr concat(byte[] dest, byte[] first, ulong first_len, byte[] second, ulong second_len) { return Windows ? OnWindows.concat(dest, first, first_len, second, second_len) : Elsewhere.concat(dest, first, first_len, second, second_len); }

        // Linear barcodes and Code 128
        public static int ImprimeCodigoBarras_C(int justification, int barcode_type, int height, int width, int hri_position, byte[] data) { return Windows ? OnWindows.ImprimeCodigoBarras_C(justification, barcode_type, height, width, hri_position, data) : Elsewhere.ImprimeCodigoBarras_C(justification, barcode_type, height, width, hri_position, data); }
        public static int ImprimeCodigoBarras(int justification, int barcode_type, int height, int width, int hri_position, byte[] data) { return Windows ? OnWindows.ImprimeCodigoBarras(justification, barcode_type, height, width, hri_position, data) : Elsewhere.ImprimeCodigoBarras(justification, barcode_type, height, width, hri_position, data); }
        public static int ImprimeCode128_C(byte[] codes, int justification, int height, int width) { return Windows ? OnWindows.ImprimeCode128_C(codes, justification, height, width) : Elsewhere.ImprimeCode128_C(codes, justification, height, width); }
        public static int ImprimeCode128C(byte[] codes, int justification, int height) { return Windows ? OnWindows.ImprimeCode128C(codes, justification, height) : Elsewhere.ImprimeCode128C(codes, justification, height); }

        // Text
        public static int ImprimeTxFormatado(byte[] text, int justification, int spacing, int mode) { return Windows ? OnWindows.ImprimeTxFormatado(text, justification, spacing, mode) : Elsewhere.ImprimeTxFormatado(text, justification, spacing, mode); }
        public static int ImprimeTexto180(byte[] text, int justification, int font, int spacing, int bold) { return Windows ? OnWindows.ImprimeTexto180(text, justification, font, spacing, bold) : Elsewhere.ImprimeTexto180(text, justification, font, spacing, bold); }
        public static int ImprimeTextoInvertido(byte[] text, int justification, int font, int spacing) { return Windows ? OnWindows.ImprimeTextoInvertido(text, justification, font, spacing) : Elsewhere.ImprimeTextoInvertido(text, justification, font, spacing); }
        public static int ImprimeTexto(byte[] text, int justification, int font, int spacing, int bold) { return Windows ? OnWindows.ImprimeTexto(text, justification, font, spacing, bold) : Elsewhere.ImprimeTexto(text, justification, font, spacing, bold); }
        public static int ImprimeTextoLF(byte[] text, int justification, int font, int spacing, int bold, int feed_lines) { return Windows ? OnWindows.ImprimeTextoLF(text, justification, font, spacing, bold, feed_lines) : Elsewhere.ImprimeTextoLF(text, justification, font, spacing, bold, feed_lines); }

        // Printer actions
        public static int ImprimeAutoTeste() { return Windows ? OnWindows.ImprimeAutoTeste() : Elsewhere.ImprimeAutoTeste(); }
        public static int ImprimeLogoNV(int image_number, int justification, int print_mode) { return Windows ? OnWindows.ImprimeLogoNV(image_number, justification, print_mode) : Elsewhere.ImprimeLogoNV(image_number, justification, print_mode); }
        public static int AcionaGuilhotina() { return Windows ? OnWindows.AcionaGuilhotina() : Elsewhere.AcionaGuilhotina(); }
        public static int Abre_Gaveta() { return Windows ? OnWindows.Abre_Gaveta() : Elsewhere.Abre_Gaveta(); }

        // Two-dimensional symbols
        public static int ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code, int p3_code, byte[] data) { return Windows ? OnWindows.ImprimeDataMatrix_M2(justification, p1_code, p2_code, p3_code, data) : Elsewhere.ImprimeDataMatrix_M2(justification, p1_code, p2_code, p3_code, data); }
        public static int ImprimePDF417_M2(int justification, int columns, int p3_code, int ecc_level, byte[] data) { return Windows ? OnWindows.ImprimePDF417_M2(justification, columns, p3_code, ecc_level, data) : Elsewhere.ImprimePDF417_M2(justification, columns, p3_code, ecc_level, data); }
        public static int ImprimeQRCODE_M2(int justification, int model, int module_size, int ecc_level, byte[] data) { return Windows ? OnWindows.ImprimeQRCODE_M2(justification, model, module_size, ecc_level, data) : Elsewhere.ImprimeQRCODE_M2(justification, model, module_size, ecc_level, data); }
        public static int ImprimeQRCODE_M1(int justification, int model, int module_size, int ecc_level, byte[] data) { return Windows ? OnWindows.ImprimeQRCODE_M1(justification, model, module_size, ecc_level, data) : Elsewhere.ImprimeQRCODE_M1(justification, model, module_size, ecc_level, data); }

        // Status
        public static int Le_Status() { return Windows ? OnWindows.Le_Status() : Elsewhere.Le_Status(); }
        public static int Le_Status_Gaveta() { return Windows ? OnWindows.Le_Status_Gaveta() : Elsewhere.Le_Status_Gaveta(); }

        // Links (port names and addresses are ASCII)
        public static int AbrePortaSerial(string port_name, int model_number) { return Windows ? OnWindows.AbrePortaSerial(port_name, model_number) : Elsewhere.AbrePortaSerial(port_name, model_number); }
        public static int FechaPortaSerial() { return Windows ? OnWindows.FechaPortaSerial() : Elsewhere.FechaPortaSerial(); }
        public static int AbreSocket(string ip_address, int model_number) { return Windows ? OnWindows.AbreSocket(ip_address, model_number) : Elsewhere.AbreSocket(ip_address, model_number); }
        public static int FechaSocket() { return Windows ? OnWindows.FechaSocket() : Elsewhere.FechaSocket(); }

        // Companion functions
        public static int quorvel_last_error(StringBuilder message, int size) { return Windows ? OnWindows.quorvel_last_error(message, size) : Elsewhere.quorvel_last_error(message, size); }
        public static int quorvel_open_tcp(string address, int port, int model) { return Windows ? OnWindows.quorvel_open_tcp(address, port, model) : Elsewhere.quorvel_open_tcp(address, port, model); }
        public static int quorvel_open_serial(string port, int bits_per_second, int model) { return Windows ? OnWindows.quorvel_open_serial(port, bits_per_second, model) : Elsewhere.quorvel_open_serial(port, bits_per_second, model); }
        public static int quorvel_print_image(byte[] gray, int width, int height, int stride, int justification, int dither) { return Windows ? OnWindows.quorvel_print_image(gray, width, height, stride, justification, dither) : Elsewhere.quorvel_print_image(gray, width, height, stride, justification, dither); }
        public static int quorvel_store_logo(int number, byte[] gray, int width, int height, int stride, int dither) { return Windows ? OnWindows.quorvel_store_logo(number, gray, width, height, stride, dither) : Elsewhere.quorvel_store_logo(number, gray, width, height, stride, dither); }
        public static int quorvel_read_status(out FullStatus status) { return Windows ? OnWindows.quorvel_read_status(out status) : Elsewhere.quorvel_read_status(out status); }
        public static int quorvel_utf8_to_cp1252(byte[] utf8, byte[] output, int size) { return Windows ? OnWindows.quorvel_utf8_to_cp1252(utf8, output, size) : Elsewhere.quorvel_utf8_to_cp1252(utf8, output, size); }
        public static int quorvel_check_barcode(int barcode_type, byte[] data) { return Windows ? OnWindows.quorvel_check_barcode(barcode_type, data) : Elsewhere.quorvel_check_barcode(barcode_type, data); }
        public static int quorvel_open_queue(string name, int model) { return Windows ? OnWindows.quorvel_open_queue(name, model) : Elsewhere.quorvel_open_queue(name, model); }
        public static int quorvel_open_device(string path, int model) { return Windows ? OnWindows.quorvel_open_device(path, model) : Elsewhere.quorvel_open_device(path, model); }
        public static int quorvel_flush() { return Windows ? OnWindows.quorvel_flush() : Elsewhere.quorvel_flush(); }
        public static int quorvel_open_spool(string url, string printer, int model) { return Windows ? OnWindows.quorvel_open_spool(url, printer, model) : Elsewhere.quorvel_open_spool(url, printer, model); }

        // Confirmed printing and bytes as they are, on the default link
        public static int quorvel_confirm(int timeout_ms) { return Windows ? OnWindows.quorvel_confirm(timeout_ms) : Elsewhere.quorvel_confirm(timeout_ms); }
        public static int quorvel_confirm_level() { return Windows ? OnWindows.quorvel_confirm_level() : Elsewhere.quorvel_confirm_level(); }
        public static int quorvel_write(byte[] bytes, int length) { return Windows ? OnWindows.quorvel_write(bytes, length) : Elsewhere.quorvel_write(bytes, length); }

        public const int ErrorMessageSize = 256;

        /// <summary>Le_VersaoDLL as a string.</summary>
        public static string Version() { return Marshal.PtrToStringAnsi(Le_VersaoDLL()); }

        /// <summary>quorvel_last_error: the calling thread's last outcome code, and its message.</summary>
        public static int LastError(out string message)
        {
            var text = new StringBuilder(ErrorMessageSize);
            int code = quorvel_last_error(text, text.Capacity);
            message = text.ToString();
            return code;
        }
    }

    /// <summary>The printer-handle functions, one to one: each open printer is a
    /// handle (IntPtr.Zero when an open failed) that every operation takes first.
    /// Any number are open at once, each with its own link; results as in quorvel.h.</summary>
    public static class NativePrinter
    {
        // P/Invoke binds at the first call, so the other class's file is never looked for.
        static readonly bool Windows = System.IO.Path.DirectorySeparatorChar == '\\';

        public static IntPtr quorvel_printer_open_tcp(string address, int port, int model) { return Windows ? OnWindows.quorvel_printer_open_tcp(address, port, model) : Elsewhere.quorvel_printer_open_tcp(address, port, model); }
        public static IntPtr quorvel_printer_open_serial(string port, int bits_per_second, int model) { return Windows ? OnWindows.quorvel_printer_open_serial(port, bits_per_second, model) : Elsewhere.quorvel_printer_open_serial(port, bits_per_second, model); }
        public static int quorvel_printer_close(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_close(printer) : Elsewhere.quorvel_printer_close(printer); }
        public static int quorvel_printer_text(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold) { return Windows ? OnWindows.quorvel_printer_text(printer, text, justification, font, spacing, bold) : Elsewhere.quorvel_printer_text(printer, text, justification, font, spacing, bold); }
        public static int quorvel_printer_text_feed(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold, int feed_lines) { return Windows ? OnWindows.quorvel_printer_text_feed(printer, text, justification, font, spacing, bold, feed_lines) : Elsewhere.quorvel_printer_text_feed(printer, text, justification, font, spacing, bold, feed_lines); }
        public static int quorvel_printer_text_upside_down(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold) { return Windows ? OnWindows.quorvel_printer_text_upside_down(printer, text, justification, font, spacing, bold) : Elsewhere.quorvel_printer_text_upside_down(printer, text, justification, font, spacing, bold); }
        public static int quorvel_printer_text_inverted(IntPtr printer, byte[] text, int justification, int font, int spacing) { return Windows ? OnWindows.quorvel_printer_text_inverted(printer, text, justification, font, spacing) : Elsewhere.quorvel_printer_text_inverted(printer, text, justification, font, spacing); }
        public static int quorvel_printer_formatted_text(IntPtr printer, byte[] text, int justification, int spacing, int mode) { return Windows ? OnWindows.quorvel_printer_formatted_text(printer, text, justification, spacing, mode) : Elsewhere.quorvel_printer_formatted_text(printer, text, justification, spacing, mode); }
        public static int quorvel_printer_barcode(IntPtr printer, int justification, int barcode_type, int height, int width, int hri_position, byte[] data) { return Windows ? OnWindows.quorvel_printer_barcode(printer, justification, barcode_type, height, width, hri_position, data) : Elsewhere.quorvel_printer_barcode(printer, justification, barcode_type, height, width, hri_position, data); }
        public static int quorvel_printer_barcode_counted(IntPtr printer, int justification, int barcode_type, int height, int width, int hri_position, byte[] data) { return Windows ? OnWindows.quorvel_printer_barcode_counted(printer, justification, barcode_type, height, width, hri_position, data) : Elsewhere.quorvel_printer_barcode_counted(printer, justification, barcode_type, height, width, hri_position, data); }
        public static int quorvel_printer_code128(IntPtr printer, byte[] codes, int justification, int height) { return Windows ? OnWindows.quorvel_printer_code128(printer, codes, justification, height) : Elsewhere.quorvel_printer_code128(printer, codes, justification, height); }
        public static int quorvel_printer_code128_width(IntPtr printer, byte[] codes, int justification, int height, int width) { return Windows ? OnWindows.quorvel_printer_code128_width(printer, codes, justification, height, width) : Elsewhere.quorvel_printer_code128_width(printer, codes, justification, height, width); }
        public static int quorvel_printer_qr_code(IntPtr printer, int justification, int model, int module_size, int ecc_level, byte[] data) { return Windows ? OnWindows.quorvel_printer_qr_code(printer, justification, model, module_size, ecc_level, data) : Elsewhere.quorvel_printer_qr_code(printer, justification, model, module_size, ecc_level, data); }
        public static int quorvel_printer_qr_code_escz(IntPtr printer, int justification, int model, int module_size, int ecc_level, byte[] data) { return Windows ? OnWindows.quorvel_printer_qr_code_escz(printer, justification, model, module_size, ecc_level, data) : Elsewhere.quorvel_printer_qr_code_escz(printer, justification, model, module_size, ecc_level, data); }
        public static int quorvel_printer_pdf417_escz(IntPtr printer, int justification, int columns, int p3_code, int ecc_level, byte[] data) { return Windows ? OnWindows.quorvel_printer_pdf417_escz(printer, justification, columns, p3_code, ecc_level, data) : Elsewhere.quorvel_printer_pdf417_escz(printer, justification, columns, p3_code, ecc_level, data); }
        public static int quorvel_printer_data_matrix_escz(IntPtr printer, int justification, int p1_code, int p2_code, int p3_code, byte[] data) { return Windows ? OnWindows.quorvel_printer_data_matrix_escz(printer, justification, p1_code, p2_code, p3_code, data) : Elsewhere.quorvel_printer_data_matrix_escz(printer, justification, p1_code, p2_code, p3_code, data); }
        public static int quorvel_printer_logo(IntPtr printer, int image_number, int justification, int print_mode) { return Windows ? OnWindows.quorvel_printer_logo(printer, image_number, justification, print_mode) : Elsewhere.quorvel_printer_logo(printer, image_number, justification, print_mode); }
        public static int quorvel_printer_self_test(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_self_test(printer) : Elsewhere.quorvel_printer_self_test(printer); }
        public static int quorvel_printer_cut(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_cut(printer) : Elsewhere.quorvel_printer_cut(printer); }
        public static int quorvel_printer_open_drawer(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_open_drawer(printer) : Elsewhere.quorvel_printer_open_drawer(printer); }
        public static int quorvel_printer_status(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_status(printer) : Elsewhere.quorvel_printer_status(printer); }
        public static int quorvel_printer_drawer_status(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_drawer_status(printer) : Elsewhere.quorvel_printer_drawer_status(printer); }
        public static int quorvel_printer_raw(IntPtr printer, byte[] text) { return Windows ? OnWindows.quorvel_printer_raw(printer, text) : Elsewhere.quorvel_printer_raw(printer, text); }
        public static int quorvel_printer_image(IntPtr printer, byte[] gray, int width, int height, int stride, int justification, int dither) { return Windows ? OnWindows.quorvel_printer_image(printer, gray, width, height, stride, justification, dither) : Elsewhere.quorvel_printer_image(printer, gray, width, height, stride, justification, dither); }
        public static int quorvel_printer_store_logo(IntPtr printer, int number, byte[] gray, int width, int height, int stride, int dither) { return Windows ? OnWindows.quorvel_printer_store_logo(printer, number, gray, width, height, stride, dither) : Elsewhere.quorvel_printer_store_logo(printer, number, gray, width, height, stride, dither); }
        public static int quorvel_printer_read_status(IntPtr printer, out FullStatus status) { return Windows ? OnWindows.quorvel_printer_read_status(printer, out status) : Elsewhere.quorvel_printer_read_status(printer, out status); }
        public static IntPtr quorvel_printer_open_queue(string name, int model) { return Windows ? OnWindows.quorvel_printer_open_queue(name, model) : Elsewhere.quorvel_printer_open_queue(name, model); }
        public static IntPtr quorvel_printer_open_device(string path, int model) { return Windows ? OnWindows.quorvel_printer_open_device(path, model) : Elsewhere.quorvel_printer_open_device(path, model); }
        public static int quorvel_printer_flush(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_flush(printer) : Elsewhere.quorvel_printer_flush(printer); }
        public static IntPtr quorvel_printer_open_spool(string url, string printer, int model) { return Windows ? OnWindows.quorvel_printer_open_spool(url, printer, model) : Elsewhere.quorvel_printer_open_spool(url, printer, model); }

        // Confirmed printing, whole receipts and bytes as they are
        public static int quorvel_printer_confirm(IntPtr printer, int timeout_ms) { return Windows ? OnWindows.quorvel_printer_confirm(printer, timeout_ms) : Elsewhere.quorvel_printer_confirm(printer, timeout_ms); }
        public static int quorvel_printer_confirm_level(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_confirm_level(printer) : Elsewhere.quorvel_printer_confirm_level(printer); }
        public static int quorvel_printer_begin(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_begin(printer) : Elsewhere.quorvel_printer_begin(printer); }
        public static int quorvel_printer_end(IntPtr printer, int confirm_timeout_ms) { return Windows ? OnWindows.quorvel_printer_end(printer, confirm_timeout_ms) : Elsewhere.quorvel_printer_end(printer, confirm_timeout_ms); }
        public static int quorvel_printer_write(IntPtr printer, byte[] bytes, int length) { return Windows ? OnWindows.quorvel_printer_write(printer, bytes, length) : Elsewhere.quorvel_printer_write(printer, bytes, length); }
        public static int quorvel_printer_cancel(IntPtr printer) { return Windows ? OnWindows.quorvel_printer_cancel(printer) : Elsewhere.quorvel_printer_cancel(printer); }

        /// <summary>Windows: the DLL of the SDK.</summary>
        static class OnWindows
        {
            const string Lib = "Quorvel.dll";
            const CallingConvention Call = CallingConvention.StdCall;

            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_tcp(string address, int port, int model);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_serial(string port, int bits_per_second, int model);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_close(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text_feed(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold, int feed_lines);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text_upside_down(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text_inverted(IntPtr printer, byte[] text, int justification, int font, int spacing);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_formatted_text(IntPtr printer, byte[] text, int justification, int spacing, int mode);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_barcode(IntPtr printer, int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_barcode_counted(IntPtr printer, int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_code128(IntPtr printer, [In, Out] byte[] codes, int justification, int height);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_code128_width(IntPtr printer, [In, Out] byte[] codes, int justification, int height, int width);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_qr_code(IntPtr printer, int justification, int model, int module_size, int ecc_level, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_qr_code_escz(IntPtr printer, int justification, int model, int module_size, int ecc_level, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_pdf417_escz(IntPtr printer, int justification, int columns, int p3_code, int ecc_level, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_data_matrix_escz(IntPtr printer, int justification, int p1_code, int p2_code, int p3_code, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_logo(IntPtr printer, int image_number, int justification, int print_mode);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_self_test(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_cut(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_open_drawer(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_status(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_drawer_status(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_raw(IntPtr printer, [In, Out] byte[] text);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_image(IntPtr printer, byte[] gray, int width, int height, int stride, int justification, int dither);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_store_logo(IntPtr printer, int number, byte[] gray, int width, int height, int stride, int dither);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_read_status(IntPtr printer, out FullStatus status);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_queue(string name, int model);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_device(string path, int model);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_flush(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_spool(string url, string printer, int model);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_confirm(IntPtr printer, int timeout_ms);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_confirm_level(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_begin(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_end(IntPtr printer, int confirm_timeout_ms);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_write(IntPtr printer, byte[] bytes, int length);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_cancel(IntPtr printer);
        }

        /// <summary>Elsewhere: the runtime library by its soname.</summary>
        static class Elsewhere
        {
            const string Lib = "libquorvel.so.1";
            const CallingConvention Call = CallingConvention.StdCall;

            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_tcp(string address, int port, int model);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_serial(string port, int bits_per_second, int model);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_close(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text_feed(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold, int feed_lines);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text_upside_down(IntPtr printer, byte[] text, int justification, int font, int spacing, int bold);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_text_inverted(IntPtr printer, byte[] text, int justification, int font, int spacing);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_formatted_text(IntPtr printer, byte[] text, int justification, int spacing, int mode);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_barcode(IntPtr printer, int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_barcode_counted(IntPtr printer, int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_code128(IntPtr printer, [In, Out] byte[] codes, int justification, int height);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_code128_width(IntPtr printer, [In, Out] byte[] codes, int justification, int height, int width);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_qr_code(IntPtr printer, int justification, int model, int module_size, int ecc_level, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_qr_code_escz(IntPtr printer, int justification, int model, int module_size, int ecc_level, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_pdf417_escz(IntPtr printer, int justification, int columns, int p3_code, int ecc_level, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_data_matrix_escz(IntPtr printer, int justification, int p1_code, int p2_code, int p3_code, byte[] data);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_logo(IntPtr printer, int image_number, int justification, int print_mode);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_self_test(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_cut(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_open_drawer(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_status(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_drawer_status(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_raw(IntPtr printer, [In, Out] byte[] text);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_image(IntPtr printer, byte[] gray, int width, int height, int stride, int justification, int dither);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_store_logo(IntPtr printer, int number, byte[] gray, int width, int height, int stride, int dither);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_read_status(IntPtr printer, out FullStatus status);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_queue(string name, int model);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_device(string path, int model);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_flush(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern IntPtr quorvel_printer_open_spool(string url, string printer, int model);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_confirm(IntPtr printer, int timeout_ms);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_confirm_level(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_begin(IntPtr printer);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_end(IntPtr printer, int confirm_timeout_ms);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_write(IntPtr printer, byte[] bytes, int length);
            [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_printer_cancel(IntPtr printer);
        }
    }

    /// <summary>The imports on Windows: the DLL of the SDK.</summary>
    static class OnWindows
    {
        const string Lib = "Quorvel.dll";
        const CallingConvention Call = CallingConvention.StdCall;

        [DllImport(Lib, CallingConvention = Call)] internal static extern int separa([In, Out] byte[] text, [In, Out] int[] values);
        [DllImport(Lib, CallingConvention = Call)] internal static extern IntPtr Le_VersaoDLL();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ComandoTx([In, Out] byte[] text);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int strlen1(byte[] text);
        [DllImport(Lib, CallingConvention = Call)] internal static extern IntPtr concat([In, Out] byte[] dest, byte[] first, ulong first_len, byte[] second, ulong second_len);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCodigoBarras_C(int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCodigoBarras(int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCode128_C([In, Out] byte[] codes, int justification, int height, int width);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCode128C([In, Out] byte[] codes, int justification, int height);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTxFormatado(byte[] text, int justification, int spacing, int mode);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTexto180(byte[] text, int justification, int font, int spacing, int bold);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTextoInvertido(byte[] text, int justification, int font, int spacing);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTexto(byte[] text, int justification, int font, int spacing, int bold);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTextoLF(byte[] text, int justification, int font, int spacing, int bold, int feed_lines);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeAutoTeste();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeLogoNV(int image_number, int justification, int print_mode);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int AcionaGuilhotina();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int Abre_Gaveta();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code, int p3_code, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimePDF417_M2(int justification, int columns, int p3_code, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeQRCODE_M2(int justification, int model, int module_size, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeQRCODE_M1(int justification, int model, int module_size, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int Le_Status();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int Le_Status_Gaveta();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int AbrePortaSerial(string port_name, int model_number);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int FechaPortaSerial();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int AbreSocket(string ip_address, int model_number);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int FechaSocket();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_last_error(StringBuilder message, int size);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_tcp(string address, int port, int model);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_serial(string port, int bits_per_second, int model);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_print_image(byte[] gray, int width, int height, int stride, int justification, int dither);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_store_logo(int number, byte[] gray, int width, int height, int stride, int dither);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_read_status(out FullStatus status);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_utf8_to_cp1252(byte[] utf8, [Out] byte[] output, int size);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_check_barcode(int barcode_type, byte[] data);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_queue(string name, int model);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_device(string path, int model);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_flush();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_spool(string url, string printer, int model);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_confirm(int timeout_ms);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_confirm_level();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_write(byte[] bytes, int length);
    }

    /// <summary>The imports elsewhere: the runtime library of package libquorvel1 by its soname, not the development symlink libquorvel.so.</summary>
    static class Elsewhere
    {
        const string Lib = "libquorvel.so.1";
        const CallingConvention Call = CallingConvention.StdCall;

        [DllImport(Lib, CallingConvention = Call)] internal static extern int separa([In, Out] byte[] text, [In, Out] int[] values);
        [DllImport(Lib, CallingConvention = Call)] internal static extern IntPtr Le_VersaoDLL();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ComandoTx([In, Out] byte[] text);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int strlen1(byte[] text);
        [DllImport(Lib, CallingConvention = Call)] internal static extern IntPtr concat([In, Out] byte[] dest, byte[] first, ulong first_len, byte[] second, ulong second_len);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCodigoBarras_C(int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCodigoBarras(int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCode128_C([In, Out] byte[] codes, int justification, int height, int width);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeCode128C([In, Out] byte[] codes, int justification, int height);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTxFormatado(byte[] text, int justification, int spacing, int mode);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTexto180(byte[] text, int justification, int font, int spacing, int bold);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTextoInvertido(byte[] text, int justification, int font, int spacing);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTexto(byte[] text, int justification, int font, int spacing, int bold);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeTextoLF(byte[] text, int justification, int font, int spacing, int bold, int feed_lines);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeAutoTeste();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeLogoNV(int image_number, int justification, int print_mode);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int AcionaGuilhotina();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int Abre_Gaveta();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code, int p3_code, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimePDF417_M2(int justification, int columns, int p3_code, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeQRCODE_M2(int justification, int model, int module_size, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int ImprimeQRCODE_M1(int justification, int model, int module_size, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int Le_Status();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int Le_Status_Gaveta();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int AbrePortaSerial(string port_name, int model_number);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int FechaPortaSerial();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int AbreSocket(string ip_address, int model_number);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int FechaSocket();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_last_error(StringBuilder message, int size);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_tcp(string address, int port, int model);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_serial(string port, int bits_per_second, int model);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_print_image(byte[] gray, int width, int height, int stride, int justification, int dither);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_store_logo(int number, byte[] gray, int width, int height, int stride, int dither);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_read_status(out FullStatus status);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_utf8_to_cp1252(byte[] utf8, [Out] byte[] output, int size);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_check_barcode(int barcode_type, byte[] data);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_queue(string name, int model);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_device(string path, int model);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_flush();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] internal static extern int quorvel_open_spool(string url, string printer, int model);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_confirm(int timeout_ms);
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_confirm_level();
        [DllImport(Lib, CallingConvention = Call)] internal static extern int quorvel_write(byte[] bytes, int length);
    }

    /// <summary>Windows-1252, the code table the text functions select; built in,
    /// since not every runtime ships this encoding.</summary>
    public static class Windows1252
    {
        // Characters of bytes 80 to 9F; '\0' marks the five unassigned bytes.
        const string High = "\u20AC\0\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\0\u017D\0" +
                            "\0\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\0\u017E\u0178";

        public static byte[] Encode(string text, bool nulTerminated)
        {
            if (text == null) throw new ArgumentNullException("text");
            var bytes = new byte[text.Length + (nulTerminated ? 1 : 0)];
            for (int i = 0; i < text.Length; ++i)
            {
                char c = text[i];
                int at = c == '\0' ? -1 : High.IndexOf(c);
                if (at >= 0) bytes[i] = (byte)(0x80 + at);
                else if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) bytes[i] = (byte)c;
                else throw new ArgumentException(string.Format(
                    "character U+{0:X4} at index {1} has no Windows-1252 form", (int)c, i), "text");
            }
            return bytes;
        }
    }

    /// <summary>A call the printer did not take. Message and Code come from quorvel_last_error.</summary>
    public class PrinterException : Exception
    {
        public int Code { get; private set; }
        public PrinterException(string call, int code, string message)
            : base(call + ": " + (string.IsNullOrEmpty(message) ? "failed" : message)) { Code = code; }
    }

    /// <summary>The receipt waits inside the printer: paper out, cover open or an error (the
    /// message names it). Tell the operator, then call Confirm again: it waits for the same
    /// receipt. Never send the receipt again; it prints once the cause is cleared.</summary>
    public class HeldException : PrinterException
    {
        public HeldException(string call, int code, string message) : base(call, code, message) { }
    }

    /// <summary>The link dropped, or the printer stopped answering, after the receipt was sent:
    /// it may or may not have printed. Open the printer again and reprint it marked "COPY".</summary>
    public class OutcomeUnknownException : PrinterException
    {
        public OutcomeUnknownException(string call, int code, string message) : base(call, code, message) { }
    }

    /// <summary>The printer answers neither the process ID request nor a status query on this
    /// link: it cannot tell whether the receipt printed.</summary>
    public class CannotConfirmException : PrinterException
    {
        public CannotConfirmException(string call, int code, string message) : base(call, code, message) { }
    }

    /// <summary>One printer, through a handle of its own: any number are open at once
    /// (receipt, kitchen and bar printers), each with its own link, and each usable
    /// from several threads (calls on one printer run one after the other; calls on
    /// different printers run in parallel). Dispose closes it; a call on a disposed
    /// printer throws PrinterException (code 26, not an open printer handle).
    /// Each method throws PrinterException when its command was not written (or refused).</summary>
    public sealed class Printer : IDisposable
    {
        IntPtr handle; // the library's quorvel_printer*; IntPtr.Zero once disposed
        bool cutLast;  // the receipt's last call so far was a cut (PrintReceipt adds none then)

        Printer(IntPtr handle) { this.handle = handle; }

        /// <summary>A network printer at ip (IPv4 or IPv6 literal), port 9100.</summary>
        public static Printer ConnectTcp(string ip, int model = 0) { return ConnectTcp(ip, 9100, model); }

        /// <summary>A network printer at an IPv4 or IPv6 literal and any port.</summary>
        public static Printer ConnectTcp(string address, int port, int model)
        {
            return Opened(NativePrinter.quorvel_printer_open_tcp(address, port, model),
                          "quorvel_printer_open_tcp(" + address + ")");
        }

        /// <summary>A serial printer at 115200 bit/s (9600 for model 3).</summary>
        public static Printer OpenSerial(string port, int model = 0) { return OpenSerial(port, model == 3 ? 9600 : 115200, model); }

        /// <summary>A serial printer at any standard speed. A port that refuses its
        /// settings is closed again by the library.</summary>
        public static Printer OpenSerial(string port, int bitsPerSecond, int model)
        {
            return Opened(NativePrinter.quorvel_printer_open_serial(port, bitsPerSecond, model),
                          "quorvel_printer_open_serial(" + port + ")");
        }

        static Printer Opened(IntPtr handle, string call)
        {
            if (handle == IntPtr.Zero) throw Failure(call);
            return new Printer(handle);
        }

        /// <summary>A printer behind the spooler (lpstat -p, or Windows' printer list).
        /// Commands go as one RAW job at each Cut, Flush and Dispose.</summary>
        public static Printer OpenQueue(string name, int model = 0)
        {
            return Opened(NativePrinter.quorvel_printer_open_queue(name, model),
                          "quorvel_printer_open_queue(" + name + ")");
        }

        /// <summary>A printer behind a print service (quorvel-spool) at url, "http://ADDRESS[:PORT]",
        /// by the service's name of it. Commands go as one job at each Cut, Flush and Dispose,
        /// which returns once the service has stored it.</summary>
        public static Printer OpenSpool(string url, string printer, int model = 0)
        {
            return Opened(NativePrinter.quorvel_printer_open_spool(url, printer, model),
                          "quorvel_printer_open_spool(" + url + ", " + printer + ")");
        }

        /// <summary>A printer-class device on Linux, e.g. /dev/usb/lp0.</summary>
        public static Printer OpenDevice(string path, int model = 0)
        {
            return Opened(NativePrinter.quorvel_printer_open_device(path, model),
                          "quorvel_printer_open_device(" + path + ")");
        }

        /// <summary>Sends the job a queue has collected (nothing to do on other links).
        /// Dispose sends the last job too but cannot throw: Flush first to learn whether it was taken.</summary>
        public void Flush() { Check(NativePrinter.quorvel_printer_flush(handle), "quorvel_printer_flush"); }

        public void Text(string text, Justification justification = Justification.Left, Font font = Font.A,
                         Spacing spacing = Spacing.S32, bool bold = false)
        {
            Check(NativePrinter.quorvel_printer_text(handle, Native.Text(text), (int)justification, (int)font, (int)spacing, bold ? 1 : 0), "quorvel_printer_text");
        }

        public void TextAndFeed(string text, int feedLines, Justification justification = Justification.Left,
                                Font font = Font.A, Spacing spacing = Spacing.S32, bool bold = false)
        {
            Check(NativePrinter.quorvel_printer_text_feed(handle, Native.Text(text), (int)justification, (int)font, (int)spacing, bold ? 1 : 0, feedLines), "quorvel_printer_text_feed");
        }

        public void TextUpsideDown(string text, Justification justification = Justification.Left, Font font = Font.A,
                                   Spacing spacing = Spacing.S32, bool bold = false)
        {
            Check(NativePrinter.quorvel_printer_text_upside_down(handle, Native.Text(text), (int)justification, (int)font, (int)spacing, bold ? 1 : 0), "quorvel_printer_text_upside_down");
        }

        public void TextReversed(string text, Justification justification = Justification.Left, Font font = Font.A,
                                 Spacing spacing = Spacing.S32)
        {
            Check(NativePrinter.quorvel_printer_text_inverted(handle, Native.Text(text), (int)justification, (int)font, (int)spacing), "quorvel_printer_text_inverted");
        }

        public void Formatted(string text, TextMode mode, Justification justification = Justification.Left,
                              Spacing spacing = Spacing.S32)
        {
            Check(NativePrinter.quorvel_printer_formatted_text(handle, Native.Text(text), (int)justification, (int)spacing, (int)mode), "quorvel_printer_formatted_text");
        }

        const int MaxBarcodeCounted = 93;

        /// <summary>The counted form of GS k (ImprimeCodigoBarras_C, any symbology of BarcodeType). Data that
        /// breaks its symbology's fixed rules throws PrinterException naming the rule
        /// (quorvel_check_barcode), and nothing is sent.</summary>
        public void Barcode(BarcodeType type, string data, Justification justification = Justification.Center,
                            BarHeight height = BarHeight.H80, BarWidth width = BarWidth.W2, Hri hri = Hri.Below)
        {
            byte[] bytes = Native.Text(data);
            // The printer drops a symbol its rules refuse; longer data is refused as TOO_LONG by the call.
            if (bytes.Length - 1 <= MaxBarcodeCounted)
                Check(Native.quorvel_check_barcode((int)type, bytes), "quorvel_check_barcode");
            Check(NativePrinter.quorvel_printer_barcode_counted(handle, (int)justification, (int)type, (int)height, (int)width, (int)hri, bytes), "quorvel_printer_barcode_counted");
        }

        /// <summary>22 code-set-C values 0 to 99 as one Code 128 symbol (ImprimeCode128C).</summary>
        public void Code128(int[] values, Justification justification = Justification.Center, BarHeight height = BarHeight.H80)
        {
            Check(NativePrinter.quorvel_printer_code128(handle, List(values), (int)justification, (int)height), "quorvel_printer_code128");
        }

        public void QrCode(string data, QrEcc ecc = QrEcc.M, int moduleSize = 4, Justification justification = Justification.Center)
        {
            Check(NativePrinter.quorvel_printer_qr_code(handle, (int)justification, (int)QrModel.Model2, moduleSize, (int)ecc, Native.Text(data)), "quorvel_printer_qr_code");
        }

        public void Pdf417(string data, int columns = 4, int rowHeight = 3, int ecc = 2, Justification justification = Justification.Center)
        {
            Check(NativePrinter.quorvel_printer_pdf417_escz(handle, (int)justification, columns, rowHeight, ecc, Native.Text(data)), "quorvel_printer_pdf417_escz");
        }

        public void DataMatrix(string data, int moduleSize = 5, Justification justification = Justification.Center)
        {
            Check(NativePrinter.quorvel_printer_data_matrix_escz(handle, (int)justification, 0, 0, moduleSize, Native.Text(data)), "quorvel_printer_data_matrix_escz");
        }

        public void Logo(int imageNumber, Justification justification = Justification.Center, LogoMode mode = LogoMode.Normal)
        {
            Check(NativePrinter.quorvel_printer_logo(handle, imageNumber, (int)justification, (int)mode), "quorvel_printer_logo");
        }

        /// <summary>ESC @, these bytes, LF (ComandoTx).</summary>
        public void Raw(params byte[] bytes)
        {
            var values = new int[bytes.Length];
            for (int i = 0; i < bytes.Length; ++i) values[i] = bytes[i];
            Check(NativePrinter.quorvel_printer_raw(handle, List(values)), "quorvel_printer_raw");
        }

        /// <summary>Sends bytes exactly as they are: no ESC @ before, no LF after, any length
        /// (quorvel_printer_write). Inside a receipt they collect with the rest.</summary>
        public void Write(byte[] bytes)
        {
            if (bytes == null) throw new ArgumentNullException("bytes");
            Check(NativePrinter.quorvel_printer_write(handle, bytes, bytes.Length), "quorvel_printer_write");
            cutLast = EndsWithCut(bytes);
        }

        /// <summary>8-bit grey pixels, row by row, 0 black (quorvel_print_image).</summary>
        public void Image(byte[] gray, int width, int height, Dither dither = Dither.FloydSteinberg,
                          Justification justification = Justification.Center)
        {
            Check(NativePrinter.quorvel_printer_image(handle, gray, width, height, width, (int)justification, (int)dither), "quorvel_printer_image");
        }

        public void Cut()
        {
            Check(NativePrinter.quorvel_printer_cut(handle), "quorvel_printer_cut");
            cutLast = true;
        }
        public void OpenDrawer() { Check(NativePrinter.quorvel_printer_open_drawer(handle), "quorvel_printer_open_drawer"); }
        public void SelfTest() { Check(NativePrinter.quorvel_printer_self_test(handle), "quorvel_printer_self_test"); }

        /// <summary>A Status code by the model's query (Le_Status); Status.None (0) when there is none.</summary>
        public int ReadStatus() { return NativePrinter.quorvel_printer_status(handle); }

        /// <summary>Status.DrawerLow, DrawerHigh, or None (Le_Status_Gaveta).</summary>
        public int ReadDrawer() { return NativePrinter.quorvel_printer_drawer_status(handle); }

        /// <summary>DLE EOT 1 to 4 (quorvel_read_status); throws when a reply did not come.</summary>
        public FullStatus ReadFullStatus()
        {
            FullStatus status;
            Check(NativePrinter.quorvel_printer_read_status(handle, out status), "quorvel_printer_read_status");
            return status;
        }

        /// <summary>Milliseconds Confirm and PrintReceipt wait by default: room for a long
        /// receipt's printing time (a held printer is reported within a second).</summary>
        public const int DefaultConfirmMs = 10000;

        /// <summary>Waits until everything sent on this printer has printed (quorvel_printer_confirm).
        /// Returns ConfirmLevel.Printed, or Arrived from a printer that can only say the bytes
        /// reached it (Spooled on a queue). Throws HeldException (tell the operator, then Confirm
        /// again; never resend), OutcomeUnknownException (reprint marked "COPY") or
        /// CannotConfirmException.</summary>
        public ConfirmLevel Confirm(int timeoutMs = DefaultConfirmMs)
        {
            Check(NativePrinter.quorvel_printer_confirm(handle, timeoutMs), "quorvel_printer_confirm");
            return (ConfirmLevel)NativePrinter.quorvel_printer_confirm_level(handle);
        }

        /// <summary>Starts a whole receipt (quorvel_printer_begin): this thread's calls collect
        /// into one buffer, other threads' calls on this printer wait. End it with EndReceipt or
        /// CancelReceipt on every path; PrintReceipt does both.</summary>
        public void BeginReceipt()
        {
            Check(NativePrinter.quorvel_printer_begin(handle), "quorvel_printer_begin");
            cutLast = false;
        }

        /// <summary>Sends the receipt in one write (quorvel_printer_end) and, with a time-out above
        /// 0, confirms it as Confirm does; ConfirmLevel.None without.</summary>
        public ConfirmLevel EndReceipt(int confirmTimeoutMs = 0)
        {
            Check(NativePrinter.quorvel_printer_end(handle, confirmTimeoutMs), "quorvel_printer_end");
            return confirmTimeoutMs > 0 ? (ConfirmLevel)NativePrinter.quorvel_printer_confirm_level(handle) : ConfirmLevel.None;
        }

        /// <summary>Drops the receipt begun by this thread; nothing of it is sent.</summary>
        public void CancelReceipt() { Check(NativePrinter.quorvel_printer_cancel(handle), "quorvel_printer_cancel"); }

        /// <summary>One receipt, whole and alone on its paper even when threads share this printer:
        /// runs body between BeginReceipt and EndReceipt, adds a cut unless body's last call cut,
        /// and with confirm waits until it printed (exceptions as for Confirm). When body throws,
        /// nothing of the receipt is sent.</summary>
        public ConfirmLevel PrintReceipt(Action<Printer> body, bool confirm = false, int timeoutMs = DefaultConfirmMs)
        {
            if (body == null) throw new ArgumentNullException("body");
            BeginReceipt();
            try
            {
                body(this);
                if (!cutLast) Cut();
            }
            catch
            {
                NativePrinter.quorvel_printer_cancel(handle);
                throw;
            }
            return EndReceipt(confirm ? timeoutMs : 0);
        }

        /// <summary>Closes the link. A call on this printer in another thread is let
        /// finish first (within its time-out); disposing twice does nothing.</summary>
        public void Dispose()
        {
            IntPtr closing = System.Threading.Interlocked.Exchange(ref handle, IntPtr.Zero);
            if (closing != IntPtr.Zero) NativePrinter.quorvel_printer_close(closing);
        }

        static byte[] List(int[] values)
        {
            if (values == null) throw new ArgumentNullException("values");
            return Encoding.ASCII.GetBytes(string.Join(",", Array.ConvertAll(values, v => v.ToString(System.Globalization.CultureInfo.InvariantCulture))) + "\0");
        }

        void Check(int result, string call)
        {
            if (result != 1) throw Failure(call);
            cutLast = false;
        }

        // GS V m, GS V m n, ESC i, ESC m: bytes that end a receipt with a cut.
        static bool EndsWithCut(byte[] b)
        {
            int n = b.Length;
            if (n >= 2 && b[n - 2] == 0x1B && (b[n - 1] == (byte)'i' || b[n - 1] == (byte)'m')) return true;
            if (n >= 3 && b[n - 3] == 0x1D && b[n - 2] == (byte)'V' && (b[n - 1] <= 1 || b[n - 1] == (byte)'0' || b[n - 1] == (byte)'1')) return true;
            return n >= 4 && b[n - 4] == 0x1D && b[n - 3] == (byte)'V' && "AaBb".IndexOf((char)b[n - 2]) >= 0;
        }

        static PrinterException Failure(string call)
        {
            string message;
            int code = Native.LastError(out message);
            switch (code)
            {
                case ErrorCode.Held: return new HeldException(call, code, message);
                case ErrorCode.OutcomeUnknown: return new OutcomeUnknownException(call, code, message);
                case ErrorCode.CannotConfirm: return new CannotConfirmException(call, code, message);
                default: return new PrinterException(call, code, message);
            }
        }
    }
}
