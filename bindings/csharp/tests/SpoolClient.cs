// SPDX-License-Identifier: MIT
// The C# binding's spool link against a live print service: a handle prints
// two jobs (one per cut, the last handed over on Dispose), the classic link
// one more, and refusals come back with their codes.
// Usage: SpoolClient.exe URL PRINTER; prints one line per check.
using System;
using Quorvel;

static class SpoolClient
{
    static int Main(string[] args)
    {
        string url = args[0], name = args[1];
        using (Printer p = Printer.OpenSpool(url, name))
        {
            p.Text("CS SPOOL ONE\n");
            p.Cut();
            p.Text("CS SPOOL TWO\n");
        }
        Console.WriteLine("handle: ok");
        Console.WriteLine("classic: " + Native.quorvel_open_spool(url, name, 0));
        Native.ImprimeTexto(System.Text.Encoding.ASCII.GetBytes("CS SPOOL CLASSIC\n\0"), 0, 0, 0, 0);
        Console.WriteLine("close: " + Native.FechaPortaSerial());
        try
        {
            Printer.OpenSpool(url, "no-such-printer").Dispose();
            Console.WriteLine("unknown printer: opened");
        }
        catch (PrinterException e)
        {
            Console.WriteLine("unknown printer: " + e.Code + (e.Code == ErrorCode.SpoolRefused ? " refused" : ""));
        }
        string message;
        Console.WriteLine("bad url: " + Native.quorvel_open_spool("ftp://printer", name, 0) + " " +
                          Native.LastError(out message) + (Native.LastError(out message) == ErrorCode.BadSpoolUrl ? " bad-url" : ""));
        return 0;
    }
}
