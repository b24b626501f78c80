// SPDX-License-Identifier: MIT
// A restaurant: the customer's receipt on the counter printer, the order on the
// kitchen printer and the drinks on the bar printer, all three open at once,
// the kitchen and bar tickets printed from threads of their own.
//   mcs Example.cs Quorvel.cs && mono Example.exe 192.168.0.50 /dev/ttyUSB0 192.168.0.52
// (on Windows: csc Example.cs Quorvel.cs, with Quorvel.dll beside Example.exe;
// a serial printer is then COM1, COM2, ...) Each printer is an IP address or a serial port.
//
// Each ticket follows the till's pattern: print it whole (PrintReceipt: one
// write, a cut), confirm it; held (paper out, cover open): tell the operator and
// confirm again, never resend; outcome unknown (link dropped, printer silent):
// open the printer again and reprint the ticket marked COPY.
using System;
using System.Collections.Generic;
using System.Threading;
using Quorvel;

static class Example
{
    // Confirms of a held ticket; each returns within about a second while it is held.
    const int HeldConfirms = 300;

    static Printer Open(string where)
    {
        bool serial = where.StartsWith("/") || where.StartsWith("COM", StringComparison.OrdinalIgnoreCase);
        return serial ? Printer.OpenSerial(where) : Printer.ConnectTcp(where);
    }

    // 48 columns of font A on 80 mm paper
    static string Line(string item, string price) { return string.Format("{0,-38}{1,10}", item, price); }

    /// <summary>One printer and what goes on it.</summary>
    sealed class Station
    {
        public string Where, Name;
        public Printer Printer;
        public Action<Printer> Body;
        public bool Printed;
    }

    static int Main(string[] args)
    {
        if (args.Length != 3)
        {
            Console.Error.WriteLine("usage: Example RECEIPT KITCHEN BAR (an IP address or a serial port each)");
            return 2;
        }
        var failures = new List<string>();
        var stations = new[]
        {
            new Station { Where = args[0], Name = "RECEIPT", Body = Receipt },
            new Station { Where = args[1], Name = "COZINHA", Body = p => Ticket(p, "COZINHA  MESA 7", new[] { "2 x P\u00E3o de queijo", "1 x Coxinha" }) },
            new Station { Where = args[2], Name = "BAR", Body = p => Ticket(p, "BAR  MESA 7", new[] { "1 x Caf\u00E9", "1 x Suco de laranja" }) },
        };
        try
        {
            foreach (var station in stations) station.Printer = Open(station.Where);
            var tickets = new[] { new Thread(() => Deliver(stations[1], failures)), new Thread(() => Deliver(stations[2], failures)) };
            foreach (var ticket in tickets) ticket.Start();
            Deliver(stations[0], failures);
            foreach (var ticket in tickets) ticket.Join();
        }
        catch (PrinterException e)
        {
            failures.Add(e.Message);
        }
        finally
        {
            foreach (var station in stations) if (station.Printer != null) station.Printer.Dispose();
        }
        foreach (string failure in failures) Console.Error.WriteLine(failure);
        if (failures.Count > 0 || Array.Exists(stations, s => !s.Printed)) return 1;
        Console.WriteLine("printed");
        return 0;
    }

    static void Receipt(Printer receipt)
    {
        receipt.Formatted("RESTAURANTE S\u00C3O JO\u00C3O", TextMode.DoubleSize, Justification.Center);
        receipt.Text(Line("2 x P\u00E3o de queijo", "7,00"));
        receipt.Text(Line("1 x Coxinha", "6,50"));
        receipt.Text(Line("1 x Caf\u00E9", "4,50"));
        receipt.Text(Line("1 x Suco de laranja", "8,00"));
        receipt.TextAndFeed(Line("TOTAL R$", "26,00"), 2, bold: true);
        receipt.QrCode("https://example.com/r/42");
        receipt.TextAndFeed("Obrigado!", 4, Justification.Center);
    }

    // One station's ticket: the table in large letters, the items.
    static void Ticket(Printer printer, string title, string[] items)
    {
        printer.Formatted(title, TextMode.DoubleSize);
        foreach (string item in items) printer.Text(item, bold: true);
        printer.TextAndFeed("", 4);
    }

    // The till's pattern for one printer (see the top of this file).
    static void Deliver(Station station, List<string> failures)
    {
        try
        {
            for (int copy = 0; copy < 2 && !station.Printed; ++copy)
            {
                bool reprint = copy == 1;
                try
                {
                    try
                    {
                        // One write, a cut added, then confirmed: it printed.
                        station.Printer.PrintReceipt(p =>
                        {
                            if (reprint) p.Formatted("*** COPY ***", TextMode.DoubleSize, Justification.Center);
                            station.Body(p);
                        }, confirm: true);
                        station.Printed = true;
                    }
                    catch (HeldException held)
                    {
                        // Tell the operator; confirm again, never resend.
                        Console.Error.WriteLine(station.Name + " held: " + held.Message);
                        station.Printed = ConfirmWhileHeld(station.Printer);
                        if (!station.Printed)
                        {
                            lock (failures) failures.Add(station.Name + ": still held");
                            return;
                        }
                    }
                }
                catch (OutcomeUnknownException e)
                {
                    // It may have printed: reprint it marked COPY, on a new link.
                    if (reprint) throw;
                    Console.Error.WriteLine(station.Name + ": " + e.Message + "; reprinting marked COPY");
                    station.Printer.Dispose();
                    station.Printer = null;
                    station.Printer = Open(station.Where);
                }
            }
        }
        catch (PrinterException e)
        {
            lock (failures) failures.Add(station.Name + ": " + e.Message);
        }
    }

    // Confirms the held ticket again until it prints (the operator fixes the
    // printer meanwhile); an OutcomeUnknownException goes to the caller.
    static bool ConfirmWhileHeld(Printer printer)
    {
        for (int n = 0; n < HeldConfirms; ++n)
        {
            try
            {
                printer.Confirm();
                return true;
            }
            catch (HeldException) { }
        }
        return false;
    }
}
