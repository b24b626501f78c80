// SPDX-License-Identifier: MIT
// Quorvel for C#: the library's functions ([DllImport], class Native) and a
// small Printer class over them. Copy this one file into a project.
//
// The library is "Quorvel.dll" on Windows and "libquorvel.so" on Linux; the
// import name "quorvel" finds either (Windows ignores the case of DLL names).
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
    public static class Native
    {
        const string Lib = "quorvel";
        const CallingConvention Call = CallingConvention.StdCall;

        /// <summary>NUL-terminated Windows-1252 bytes of a string, for the byte[] text arguments.
        /// Throws ArgumentException for a character that Windows-1252 lacks.</summary>
        public static byte[] Text(string text) { return Windows1252.Encode(text, true); }

        // Decimal lists and utilities. separa, ComandoTx, ImprimeCode128_C and
        // ImprimeCode128C write NUL bytes into their list: pass a fresh byte[] per call.
        [DllImport(Lib, CallingConvention = Call)] public static extern int separa([In, Out] byte[] text, [In, Out] int[] values);
        [DllImport(Lib, CallingConvention = Call)] public static extern IntPtr Le_VersaoDLL();
        [DllImport(Lib, CallingConvention = Call)] public static extern int ComandoTx([In, Out] byte[] text);
        [DllImport(Lib, CallingConvention = Call)] public static extern int strlen1(byte[] text);
        [DllImport(Lib, CallingConvention = Call)] public static extern IntPtr concat([In, Out] byte[] dest, byte[] first, ulong first_len, byte[] second, ulong second_len);

        // Linear barcodes and Code 128
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeCodigoBarras_C(int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeCodigoBarras(int justification, int barcode_type, int height, int width, int hri_position, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeCode128_C([In, Out] byte[] codes, int justification, int height, int width);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeCode128C([In, Out] byte[] codes, int justification, int height);

        // Text
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeTxFormatado(byte[] text, int justification, int spacing, int mode);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeTexto180(byte[] text, int justification, int font, int spacing, int bold);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeTextoInvertido(byte[] text, int justification, int font, int spacing);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeTexto(byte[] text, int justification, int font, int spacing, int bold);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeTextoLF(byte[] text, int justification, int font, int spacing, int bold, int feed_lines);

        // Printer actions
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeAutoTeste();
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeLogoNV(int image_number, int justification, int print_mode);
        [DllImport(Lib, CallingConvention = Call)] public static extern int AcionaGuilhotina();
        [DllImport(Lib, CallingConvention = Call)] public static extern int Abre_Gaveta();

        // Two-dimensional symbols
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeDataMatrix_M2(int justification, int p1_code, int p2_code, int p3_code, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimePDF417_M2(int justification, int columns, int p3_code, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeQRCODE_M2(int justification, int model, int module_size, int ecc_level, byte[] data);
        [DllImport(Lib, CallingConvention = Call)] public static extern int ImprimeQRCODE_M1(int justification, int model, int module_size, int ecc_level, byte[] data);

        // Status
        [DllImport(Lib, CallingConvention = Call)] public static extern int Le_Status();
        [DllImport(Lib, CallingConvention = Call)] public static extern int Le_Status_Gaveta();

        // Links (port names and addresses are ASCII)
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int AbrePortaSerial(string port_name, int model_number);
        [DllImport(Lib, CallingConvention = Call)] public static extern int FechaPortaSerial();
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int AbreSocket(string ip_address, int model_number);
        [DllImport(Lib, CallingConvention = Call)] public static extern int FechaSocket();

        // Companion functions
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int quorvel_last_error(StringBuilder message, int size);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int quorvel_open_tcp(string address, int port, int model);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int quorvel_open_serial(string port, int bits_per_second, int model);
        [DllImport(Lib, CallingConvention = Call)] public static extern int quorvel_print_image(byte[] gray, int width, int height, int stride, int justification, int dither);
        [DllImport(Lib, CallingConvention = Call)] public static extern int quorvel_store_logo(int number, byte[] gray, int width, int height, int stride, int dither);
        [DllImport(Lib, CallingConvention = Call)] public static extern int quorvel_read_status(out FullStatus status);
        [DllImport(Lib, CallingConvention = Call)] public static extern int quorvel_utf8_to_cp1252(byte[] utf8, [Out] byte[] output, int size);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int quorvel_open_queue(string name, int model);
        [DllImport(Lib, CallingConvention = Call, CharSet = CharSet.Ansi)] public static extern int quorvel_open_device(string path, int model);
        [DllImport(Lib, CallingConvention = Call)] public static extern int quorvel_flush();

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

    /// <summary>One open link to one printer; Dispose closes it. Each method throws
    /// PrinterException when its command was not written (or refused).</summary>
    public sealed class Printer : IDisposable
    {
        readonly bool tcp;
        bool open;

        Printer(bool tcp) { this.tcp = tcp; open = true; }

        /// <summary>AbreSocket: a network printer at ip (dotted IPv4), port 9100.</summary>
        public static Printer ConnectTcp(string ip, int model = 0)
        {
            Check(Native.AbreSocket(ip, model), "AbreSocket(" + ip + ")");
            return new Printer(true);
        }

        /// <summary>quorvel_open_tcp: an IPv4 or IPv6 literal and any port.</summary>
        public static Printer ConnectTcp(string address, int port, int model)
        {
            Check(Native.quorvel_open_tcp(address, port, model), "quorvel_open_tcp(" + address + ")");
            return new Printer(true);
        }

        /// <summary>AbrePortaSerial: 115200 bit/s (9600 for model 3).</summary>
        public static Printer OpenSerial(string port, int model = 0)
        {
            if (Native.AbrePortaSerial(port, model) != 1)
            {
                var error = Failure("AbrePortaSerial(" + port + ")");
                Native.FechaPortaSerial(); // a port that refused its settings is still held
                throw error;
            }
            return new Printer(false);
        }

        /// <summary>quorvel_open_serial: any standard speed.</summary>
        public static Printer OpenSerial(string port, int bitsPerSecond, int model)
        {
            if (Native.quorvel_open_serial(port, bitsPerSecond, model) != 1)
            {
                var error = Failure("quorvel_open_serial(" + port + ")");
                Native.FechaPortaSerial();
                throw error;
            }
            return new Printer(false);
        }

        /// <summary>quorvel_open_queue: a printer behind the spooler (lpstat -p, or
        /// Windows' printer list). Commands go as one RAW job at each Cut, Flush and Dispose.</summary>
        public static Printer OpenQueue(string name, int model = 0)
        {
            Check(Native.quorvel_open_queue(name, model), "quorvel_open_queue(" + name + ")");
            return new Printer(false);
        }

        /// <summary>quorvel_open_device: a printer-class device on Linux, e.g. /dev/usb/lp0.</summary>
        public static Printer OpenDevice(string path, int model = 0)
        {
            Check(Native.quorvel_open_device(path, model), "quorvel_open_device(" + path + ")");
            return new Printer(false);
        }

        /// <summary>quorvel_flush: sends a queue's job now; nothing to do on other links.</summary>
        public void Flush() { Check(Native.quorvel_flush(), "quorvel_flush"); }

        public void Text(string text, Justification justification = Justification.Left, Font font = Font.A,
                         Spacing spacing = Spacing.S32, bool bold = false)
        {
            Check(Native.ImprimeTexto(Native.Text(text), (int)justification, (int)font, (int)spacing, bold ? 1 : 0), "ImprimeTexto");
        }

        public void TextAndFeed(string text, int feedLines, Justification justification = Justification.Left,
                                Font font = Font.A, Spacing spacing = Spacing.S32, bool bold = false)
        {
            Check(Native.ImprimeTextoLF(Native.Text(text), (int)justification, (int)font, (int)spacing, bold ? 1 : 0, feedLines), "ImprimeTextoLF");
        }

        public void TextUpsideDown(string text, Justification justification = Justification.Left, Font font = Font.A,
                                   Spacing spacing = Spacing.S32, bool bold = false)
        {
            Check(Native.ImprimeTexto180(Native.Text(text), (int)justification, (int)font, (int)spacing, bold ? 1 : 0), "ImprimeTexto180");
        }

        public void TextReversed(string text, Justification justification = Justification.Left, Font font = Font.A,
                                 Spacing spacing = Spacing.S32)
        {
            Check(Native.ImprimeTextoInvertido(Native.Text(text), (int)justification, (int)font, (int)spacing), "ImprimeTextoInvertido");
        }

        public void Formatted(string text, TextMode mode, Justification justification = Justification.Left,
                              Spacing spacing = Spacing.S32)
        {
            Check(Native.ImprimeTxFormatado(Native.Text(text), (int)justification, (int)spacing, (int)mode), "ImprimeTxFormatado");
        }

        /// <summary>ImprimeCodigoBarras_C (counted form, any symbology of BarcodeType).</summary>
        public void Barcode(BarcodeType type, string data, Justification justification = Justification.Center,
                            BarHeight height = BarHeight.H80, BarWidth width = BarWidth.W2, Hri hri = Hri.Below)
        {
            Check(Native.ImprimeCodigoBarras_C((int)justification, (int)type, (int)height, (int)width, (int)hri, Native.Text(data)), "ImprimeCodigoBarras_C");
        }

        /// <summary>ImprimeCode128C: 22 code-set-C values 0 to 99 as one symbol.</summary>
        public void Code128(int[] values, Justification justification = Justification.Center, BarHeight height = BarHeight.H80)
        {
            Check(Native.ImprimeCode128C(List(values), (int)justification, (int)height), "ImprimeCode128C");
        }

        public void QrCode(string data, QrEcc ecc = QrEcc.M, int moduleSize = 4, Justification justification = Justification.Center)
        {
            Check(Native.ImprimeQRCODE_M1((int)justification, (int)QrModel.Model2, moduleSize, (int)ecc, Native.Text(data)), "ImprimeQRCODE_M1");
        }

        public void Pdf417(string data, int columns = 4, int rowHeight = 3, int ecc = 2, Justification justification = Justification.Center)
        {
            Check(Native.ImprimePDF417_M2((int)justification, columns, rowHeight, ecc, Native.Text(data)), "ImprimePDF417_M2");
        }

        public void DataMatrix(string data, int moduleSize = 5, Justification justification = Justification.Center)
        {
            Check(Native.ImprimeDataMatrix_M2((int)justification, 0, 0, moduleSize, Native.Text(data)), "ImprimeDataMatrix_M2");
        }

        public void Logo(int imageNumber, Justification justification = Justification.Center, LogoMode mode = LogoMode.Normal)
        {
            Check(Native.ImprimeLogoNV(imageNumber, (int)justification, (int)mode), "ImprimeLogoNV");
        }

        /// <summary>ComandoTx: ESC @, these bytes, LF.</summary>
        public void Raw(params byte[] bytes)
        {
            var values = new int[bytes.Length];
            for (int i = 0; i < bytes.Length; ++i) values[i] = bytes[i];
            Check(Native.ComandoTx(List(values)), "ComandoTx");
        }

        /// <summary>quorvel_print_image: 8-bit grey pixels, row by row, 0 black.</summary>
        public void Image(byte[] gray, int width, int height, Dither dither = Dither.FloydSteinberg,
                          Justification justification = Justification.Center)
        {
            Check(Native.quorvel_print_image(gray, width, height, width, (int)justification, (int)dither), "quorvel_print_image");
        }

        public void Cut() { Check(Native.AcionaGuilhotina(), "AcionaGuilhotina"); }
        public void OpenDrawer() { Check(Native.Abre_Gaveta(), "Abre_Gaveta"); }
        public void SelfTest() { Check(Native.ImprimeAutoTeste(), "ImprimeAutoTeste"); }

        /// <summary>Le_Status: a Status code; Status.None (0) when there is none.</summary>
        public int ReadStatus() { return Native.Le_Status(); }

        /// <summary>Le_Status_Gaveta: Status.DrawerLow, DrawerHigh, or None.</summary>
        public int ReadDrawer() { return Native.Le_Status_Gaveta(); }

        /// <summary>quorvel_read_status; throws when a reply did not come.</summary>
        public FullStatus ReadFullStatus()
        {
            FullStatus status;
            Check(Native.quorvel_read_status(out status), "quorvel_read_status");
            return status;
        }

        public void Dispose()
        {
            if (!open) return;
            open = false;
            if (tcp) Native.FechaSocket(); else Native.FechaPortaSerial();
        }

        static byte[] List(int[] values)
        {
            if (values == null) throw new ArgumentNullException("values");
            return Encoding.ASCII.GetBytes(string.Join(",", Array.ConvertAll(values, v => v.ToString(System.Globalization.CultureInfo.InvariantCulture))) + "\0");
        }

        static void Check(int result, string call)
        {
            if (result != 1) throw Failure(call);
        }

        static PrinterException Failure(string call)
        {
            string message;
            int code = Native.LastError(out message);
            return new PrinterException(call, code, message);
        }
    }
}
