// SPDX-License-Identifier: MIT
// The reference call sequence of tests/bindings/reference_host.c through the C#
// binding: the same calls, the same result lines. Then the Printer class.
using System;
using System.Runtime.InteropServices;
using System.Text;
using Quorvel;

static class BindingHost
{
    static byte[] Z(string ascii) { return Encoding.ASCII.GetBytes(ascii + "\0"); }

    static void Hex(string name, byte[] bytes, int length)
    {
        var line = new StringBuilder(name);
        for (int i = 0; i < length; ++i) line.AppendFormat(" {0:X2}", bytes[i]);
        Console.WriteLine(line);
    }

    static void LastError(string after)
    {
        string message;
        int code = Native.LastError(out message);
        Console.WriteLine("last_error after {0}: {1} {2}", after, code, message);
    }

    static void Line(string name, int result) { Console.WriteLine("{0} {1}", name, result); }

    // A Printer call the library refuses: the line "name 0", then the library's last error.
    static void Refused(string name, Action call, string after)
    {
        try
        {
            call();
            Line(name, 1);
        }
        catch (PrinterException)
        {
            Line(name, 0);
        }
        LastError(after);
    }

    static int Main(string[] args)
    {
        if (args.Length != 1) return 2;
        string ip = args[0];

        Console.WriteLine("Le_VersaoDLL " + Native.Version());
        Line("strlen1", Native.strlen1(Z("abc")));
        var dest = Z("-----");
        // Pinned, so the marshaller passes this very address and concat must return it.
        var pin = GCHandle.Alloc(dest, GCHandleType.Pinned);
        IntPtr returned = Native.concat(dest, Z("ab"), 2, Z("cde"), 3);
        Console.WriteLine("concat {0} {1}", Encoding.ASCII.GetString(dest, 0, 5),
                          returned == pin.AddrOfPinnedObject() ? "dest" : "other");
        pin.Free();
        var list = Z("10,-20,,30x");
        var values = new int[] { 7, 7, 7, 7 };
        int count = Native.separa(list, values);
        Console.WriteLine("separa {0} {1} {2} {3} {4}", count, values[0], values[1], values[2], values[3]);
        Hex("separa text", list, list.Length);

        Line("AbreSocket", Native.AbreSocket(ip, 0));
        Line("AbreSocket again", Native.AbreSocket(ip, 0));
        Line("Le_Status", Native.Le_Status());
        Line("Le_Status_Gaveta", Native.Le_Status_Gaveta());
        Line("ImprimeTexto", Native.ImprimeTexto(Native.Text("Caf\u00E9"), 1, 0, 5, 1));
        Line("ImprimeTextoLF", Native.ImprimeTextoLF(Z("LF"), 2, 1, 1, 0, 3));
        Line("ImprimeTexto180", Native.ImprimeTexto180(Z("180"), 0, 1, 2, 1));
        Line("ImprimeTextoInvertido", Native.ImprimeTextoInvertido(Z("INV"), 1, 0, 3));
        Line("ImprimeTxFormatado", Native.ImprimeTxFormatado(Z("FMT"), 2, 4, 5));
        Line("ImprimeCodigoBarras", Native.ImprimeCodigoBarras(1, 2, 1, 2, 2, Z("789123456789")));
        Line("ImprimeCodigoBarras_C", Native.ImprimeCodigoBarras_C(0, 8, 0, 3, 1, Z("{BAB12")));
        Line("ImprimeCode128_C", Native.ImprimeCode128_C(
            Z("10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31"), 1, 0, 2));
        Line("ImprimeCode128C", Native.ImprimeCode128C(
            Z("35,26,01,12,34,56,78,00,01,90,65,00,10,00,00,10,42,11,23,45,67,89"), 2, 1));
        Line("ImprimeCode128C short", Native.ImprimeCode128C(Z("1,2,3"), 0, 0));
        Line("ImprimeQRCODE_M1", Native.ImprimeQRCODE_M1(1, 2, 4, 1, Z("QR one")));
        Line("ImprimeQRCODE_M2", Native.ImprimeQRCODE_M2(1, 2, 3, 2, Z("QR two")));
        Line("ImprimePDF417_M2", Native.ImprimePDF417_M2(0, 4, 3, 2, Z("PDF417")));
        Line("ImprimeDataMatrix_M2", Native.ImprimeDataMatrix_M2(2, 0, 1, 5, Z("DM")));
        Line("ImprimeLogoNV", Native.ImprimeLogoNV(1, 1, 0));
        Line("ComandoTx", Native.ComandoTx(Z("27,100,2")));
        Line("ImprimeAutoTeste", Native.ImprimeAutoTeste());
        Line("AcionaGuilhotina", Native.AcionaGuilhotina());
        Line("Abre_Gaveta", Native.Abre_Gaveta());

        var converted = new byte[16];
        Line("quorvel_utf8_to_cp1252",
             Native.quorvel_utf8_to_cp1252(Encoding.UTF8.GetBytes("Caf\u00E9\0"), converted, converted.Length));
        Hex("converted", converted, 4);
        Line("quorvel_utf8_to_cp1252 bad",
             Native.quorvel_utf8_to_cp1252(new byte[] { 0xE2, 0x82, 0 }, converted, 16));
        LastError("bad UTF-8");
        Line("quorvel_check_barcode", Native.quorvel_check_barcode((int)BarcodeType.Ean13, Z("5901234123457")));
        Line("quorvel_check_barcode bad", Native.quorvel_check_barcode((int)BarcodeType.Ean13, Z("123")));
        LastError("bad barcode");
        FullStatus status;
        Line("quorvel_read_status", Native.quorvel_read_status(out status));
        Console.WriteLine("status {0} {1} {2} {3} raw {4} {5} {6} {7}", status.Online, status.CoverOpen,
                          status.PaperNearEnd, status.PaperOut, status.Raw[0], status.Raw[1], status.Raw[2],
                          status.Raw[3]);
        var gray = new byte[8 * 16];
        for (int i = 0; i < gray.Length; ++i) gray[i] = (byte)((i % 16 + i / 16) % 2 != 0 ? 255 : 0);
        Line("quorvel_print_image", Native.quorvel_print_image(gray, 16, 8, 16, 1, 0));
        Line("quorvel_store_logo", Native.quorvel_store_logo(1, gray, 16, 8, 16, 1));
        Line("FechaSocket", Native.FechaSocket());
        Line("FechaSocket again", Native.FechaSocket());
        LastError("FechaSocket again");

        Line("quorvel_open_tcp", Native.quorvel_open_tcp(ip, 9100, 2));
        Line("Le_Status model 2", Native.Le_Status());
        Line("FechaSocket", Native.FechaSocket());
        Line("ImprimeTexto no link", Native.ImprimeTexto(Z("lost"), 0, 0, 0, 0));
        LastError("no link");

        Line("AbrePortaSerial", Native.AbrePortaSerial("/nonexistent/ttyQ0", 0));
        Line("FechaPortaSerial", Native.FechaPortaSerial());
        Line("quorvel_open_serial", Native.quorvel_open_serial("/nonexistent/ttyQ0", 19200, 0));
        LastError("quorvel_open_serial");

        using (var printer = Printer.ConnectTcp(ip))
        {
            Console.WriteLine("class open 1");
            printer.Text("Caf\u00E9 com a\u00E7\u00FAcar", Justification.Center, bold: true);
            Console.WriteLine("class text 1");
            printer.Formatted("TOTAL R$ 11,50", TextMode.DoubleSize, Justification.Right);
            Console.WriteLine("class formatted 1");
            printer.Barcode(BarcodeType.Ean13, "789123456789");
            Console.WriteLine("class barcode 1");
            printer.Code128(new[] { 35, 26, 1, 12, 34, 56, 78, 0, 1, 90, 65, 0, 10, 0, 0, 10, 42, 11, 23, 45, 67, 89 });
            Console.WriteLine("class code128 1");
            printer.QrCode("https://example.com/r/42");
            Console.WriteLine("class qr 1");
            printer.Raw(27, 100, 2);
            Console.WriteLine("class raw 1");
            printer.Cut();
            Console.WriteLine("class cut 1");
            Line("class status", printer.ReadStatus());
        }
        Console.WriteLine("class close 1");

        // Whole receipts and bytes as they are (no confirm here: its status polls are timed)
        var own = new byte[] { 0x1B, 0x40, (byte)'A', 0x00, (byte)'B', 0x0A };
        using (var printer = Printer.ConnectTcp(ip))
        {
            printer.Write(own);
            Console.WriteLine("receipt write 1");
            Console.WriteLine("receipt begin 1");
            Console.WriteLine("receipt text 1");
            Console.WriteLine("receipt write inside 1");
            Console.WriteLine("receipt cut 1");
            var level = printer.PrintReceipt(p =>
            {
                p.Text("Caf\u00E9", Justification.Center, bold: true);
                p.Write(own); // ends with LF, not a cut: PrintReceipt adds one
            });
            Console.WriteLine("receipt end 1");
            Line("receipt level", (int)level);
            printer.BeginReceipt();
            Console.WriteLine("receipt begin again 1");
            printer.Text("dropped");
            Console.WriteLine("receipt dropped text 1");
            printer.CancelReceipt();
            Console.WriteLine("receipt cancel 1");
            Refused("receipt cancel again", () => printer.CancelReceipt(), "cancel again");
            Refused("receipt confirm negative", () => printer.Confirm(-1), "confirm negative");
        }
        Console.WriteLine("receipt close 1");
        Line("classic open", Native.AbreSocket(ip, 0));
        Line("quorvel_write", Native.quorvel_write(own, own.Length));
        Line("quorvel_write nothing", Native.quorvel_write(null, 0));
        Line("quorvel_confirm_level", Native.quorvel_confirm_level());
        Line("classic close", Native.FechaSocket());
        return CheckPrinterClass() ? 0 : 1;
    }

    // Sends nothing (the bytes must match the C reference's): refusals become
    // exceptions carrying the library's message, and the Windows-1252 encoding.
    static bool CheckPrinterClass()
    {
        bool ok = true;
        try
        {
            using (Printer.ConnectTcp("printer.example", 0)) { }
            Console.Error.WriteLine("Printer.ConnectTcp accepted a host name");
            ok = false;
        }
        catch (PrinterException e)
        {
            // The library's own outcome: bad address (3), with its message after the call.
            const string prefix = "quorvel_printer_open_tcp(printer.example): ";
            if (e.Code != 3 || !e.Message.StartsWith(prefix) || e.Message.Length <= prefix.Length + 6)
            {
                Console.Error.WriteLine("unexpected message: " + e.Message);
                ok = false;
            }
        }
        try
        {
            Native.Text("\u0416");
            Console.Error.WriteLine("a Cyrillic letter was encoded");
            ok = false;
        }
        catch (ArgumentException) { }
        var euro = Native.Text("\u20AC\u0178\u00FF");
        if (euro.Length != 4 || euro[0] != 0x80 || euro[1] != 0x9F || euro[2] != 0xFF || euro[3] != 0)
        {
            Console.Error.WriteLine("Windows-1252 encoding wrong: " + BitConverter.ToString(euro));
            ok = false;
        }
        return ok;
    }
}
