// SPDX-License-Identifier: MIT
// A short receipt through the Printer class.
//   mcs Example.cs Quorvel.cs && mono Example.exe 192.168.0.50
// (on Windows: csc Example.cs Quorvel.cs, with Quorvel.dll beside Example.exe)
using System;
using Quorvel;

static class Example
{
    static int Main(string[] args)
    {
        string ip = args.Length > 0 ? args[0] : "127.0.0.1";
        try
        {
            using (var printer = Printer.ConnectTcp(ip))
            {
                printer.Formatted("PADARIA S\u00C3O JO\u00C3O", TextMode.DoubleSize, Justification.Center);
                // 48 columns of font A on 80 mm paper
                printer.Text(string.Format("{0,-38}{1,10}", "2 x P\u00E3o de queijo", "7,00"));
                printer.Text(string.Format("{0,-38}{1,10}", "1 x Caf\u00E9", "4,50"));
                printer.TextAndFeed(string.Format("{0,-38}{1,10}", "TOTAL R$", "11,50"), 2, bold: true);
                printer.QrCode("https://example.com/r/42");
                printer.TextAndFeed("Obrigado!", 4, Justification.Center);
                printer.Cut();
                // A 1 from a print call means the bytes left this computer; the
                // status read confirms the printer is there and ready.
                int status = printer.ReadStatus();
                if (status != Status.Ready)
                {
                    Console.Error.WriteLine("printer status {0}: check paper and cover", status);
                    return 1;
                }
            }
            Console.WriteLine("printed");
            return 0;
        }
        catch (PrinterException e)
        {
            Console.Error.WriteLine(e.Message);
            return 1;
        }
    }
}
