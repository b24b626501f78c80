// SPDX-License-Identifier: MIT
// A restaurant: the customer's receipt on the counter printer, the order on the
// kitchen printer and the drinks on the bar printer, all three open at once,
// the kitchen and bar tickets printed from threads of their own.
//   mcs Example.cs Quorvel.cs && mono Example.exe 192.168.0.50 /dev/ttyUSB0 192.168.0.52
// (on Windows: csc Example.cs Quorvel.cs, with Quorvel.dll beside Example.exe;
// a serial printer is then COM1, COM2, ...) Each printer is an IP address or a serial port.
using System;
using System.Collections.Generic;
using System.Threading;
using Quorvel;

static class Example
{
    static Printer Open(string where)
    {
        bool serial = where.StartsWith("/") || where.StartsWith("COM", StringComparison.OrdinalIgnoreCase);
        return serial ? Printer.OpenSerial(where) : Printer.ConnectTcp(where);
    }

    // 48 columns of font A on 80 mm paper
    static string Line(string item, string price) { return string.Format("{0,-38}{1,10}", item, price); }

    static int Main(string[] args)
    {
        if (args.Length != 3)
        {
            Console.Error.WriteLine("usage: Example RECEIPT KITCHEN BAR (an IP address or a serial port each)");
            return 2;
        }
        var failures = new List<string>();
        try
        {
            using (var receipt = Open(args[0]))
            using (var kitchen = Open(args[1]))
            using (var bar = Open(args[2]))
            {
                var tickets = new[]
                {
                    new Thread(() => Ticket(kitchen, "COZINHA  MESA 7", new[] { "2 x P\u00E3o de queijo", "1 x Coxinha" }, failures)),
                    new Thread(() => Ticket(bar, "BAR  MESA 7", new[] { "1 x Caf\u00E9", "1 x Suco de laranja" }, failures)),
                };
                foreach (var ticket in tickets) ticket.Start();

                receipt.Formatted("RESTAURANTE S\u00C3O JO\u00C3O", TextMode.DoubleSize, Justification.Center);
                receipt.Text(Line("2 x P\u00E3o de queijo", "7,00"));
                receipt.Text(Line("1 x Coxinha", "6,50"));
                receipt.Text(Line("1 x Caf\u00E9", "4,50"));
                receipt.Text(Line("1 x Suco de laranja", "8,00"));
                receipt.TextAndFeed(Line("TOTAL R$", "26,00"), 2, bold: true);
                receipt.QrCode("https://example.com/r/42");
                receipt.TextAndFeed("Obrigado!", 4, Justification.Center);
                receipt.Cut();
                foreach (var ticket in tickets) ticket.Join();
                // A 1 from a print call means the bytes left this computer; the
                // status read confirms the counter printer is there and ready.
                int status = receipt.ReadStatus();
                if (status != Status.Ready) failures.Add(string.Format("receipt printer status {0}: check paper and cover", status));
            }
        }
        catch (PrinterException e)
        {
            failures.Add(e.Message);
        }
        foreach (string failure in failures) Console.Error.WriteLine(failure);
        if (failures.Count > 0) return 1;
        Console.WriteLine("printed");
        return 0;
    }

    // One station's ticket: the table in large letters, the items, a cut.
    static void Ticket(Printer printer, string title, string[] items, List<string> failures)
    {
        try
        {
            printer.Formatted(title, TextMode.DoubleSize);
            foreach (string item in items) printer.Text(item, bold: true);
            printer.TextAndFeed("", 4);
            printer.Cut();
        }
        catch (PrinterException e)
        {
            lock (failures) failures.Add(title + ": " + e.Message);
        }
    }
}
