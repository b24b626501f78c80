// SPDX-License-Identifier: MIT
// Several printers at once through the C# binding: a receipt printer and a bar
// printer over TCP and a kitchen printer on a serial port, open together, each
// driven by its own thread. tests/bindings/run_several.py checks that every
// order landed whole on its own printer and nowhere else.
//   SeveralPrinters.exe RECEIPT_IP KITCHEN_PORT BAR_IP ORDERS
using System;
using System.Collections.Generic;
using System.Threading;
using Quorvel;

static class SeveralPrinters
{
    static int Main(string[] args)
    {
        if (args.Length != 4) return 2;
        int orders = int.Parse(args[3]);
        var failures = new List<string>();
        Printer receipt = Printer.ConnectTcp(args[0]);
        Printer kitchen = Printer.OpenSerial(args[1]);
        Printer bar = Printer.ConnectTcp(args[2]);
        var threads = new List<Thread>();
        foreach (var station in new[] { Tuple.Create(receipt, "RECEIPT"), Tuple.Create(kitchen, "KITCHEN"),
                                        Tuple.Create(bar, "BAR") })
        {
            var printer = station.Item1;
            string name = station.Item2;
            var thread = new Thread(() =>
            {
                try
                {
                    for (int n = 0; n < orders; ++n) printer.Text(name + " order " + n.ToString("D3"));
                    printer.Cut();
                }
                catch (PrinterException e)
                {
                    lock (failures) failures.Add(name + ": " + e.Message);
                }
            });
            thread.Start();
            threads.Add(thread);
        }
        foreach (var thread in threads) thread.Join();
        receipt.Dispose();
        kitchen.Dispose();
        bar.Dispose();

        // A disposed printer refuses its calls and sends nothing anywhere.
        try
        {
            kitchen.Cut();
            failures.Add("a disposed printer took a cut");
        }
        catch (PrinterException e)
        {
            if (e.Code != 26) failures.Add("disposed printer: code " + e.Code + ", " + e.Message);
        }
        foreach (string failure in failures) Console.Error.WriteLine(failure);
        return failures.Count == 0 ? 0 : 1;
    }
}
