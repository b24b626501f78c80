// SPDX-License-Identifier: MIT
{ A restaurant through the quorvel unit: the customer's receipt on the counter
  printer, the order on the kitchen printer and the drinks on the bar printer,
  all three open at once, one TQuorvelPrinter each. Build lines: README.md here.
    ./example 192.168.0.50 /dev/ttyUSB0 192.168.0.52
  Each printer is an IP address or a serial port (/dev/tty..., COM1 on Windows).
  (Delphi: add quorvel.pas to the project; Quorvel.dll beside the .exe) }
program example;

{$IFDEF FPC}
  {$MODE DELPHI}
{$ENDIF}
{$APPTYPE CONSOLE}

uses
  SysUtils, quorvel;

const
  { Windows-1252 bytes: E3 is a with tilde, E9 e with acute accent }
  Bread = '2 x P'#$E3'o de queijo';
  Savoury = '1 x Coxinha';
  Coffee = '1 x Caf'#$E9;
  Juice = '1 x Suco de laranja';

function Open(const Where: string): TQuorvelPrinter;
begin
  if (Copy(Where, 1, 1) = '/') or (UpperCase(Copy(Where, 1, 3)) = 'COM') then
    Result := TQuorvelPrinter.OpenSerial(AnsiString(Where))
  else
    Result := TQuorvelPrinter.OpenTcp(AnsiString(Where));
end;

{ 48 columns of font A on 80 mm paper }
function Line(const Item, Price: RawByteString): RawByteString;
begin
  Result := Item + StringOfChar(' ', 48 - Length(Item) - Length(Price)) + Price;
end;

procedure Ticket(Printer: TQuorvelPrinter; const Station: RawByteString; const Items: array of RawByteString);
var
  I: Integer;
begin
  Printer.FormattedText(Station + '  MESA 7', QUORVEL_MODE_DOUBLE_SIZE);
  for I := Low(Items) to High(Items) do
    Printer.Text(Items[I], QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A, QUORVEL_SPACING_32, QUORVEL_BOLD_ON);
  Printer.TextFeed('', 4);
  Printer.Cut;
end;

var
  Receipt, Kitchen, Bar: TQuorvelPrinter;
  Title: RawByteString;
  Status: Integer;
begin
  if ParamCount <> 3 then
  begin
    Writeln(ErrOutput, 'usage: example RECEIPT KITCHEN BAR (an IP address or a serial port each)');
    Halt(2);
  end;
  Receipt := nil;
  Kitchen := nil;
  Bar := nil;
  try
    try
      Receipt := Open(ParamStr(1));
      Kitchen := Open(ParamStr(2));
      Bar := Open(ParamStr(3));
      Ticket(Kitchen, 'COZINHA', [Bread, Savoury]);
      Ticket(Bar, 'BAR', [Coffee, Juice]);
      { A UTF-8 literal goes through Cp1252, which refuses what Windows-1252 lacks }
      Title := Cp1252('RESTAURANTE SÃO JOÃO');
      Receipt.FormattedText(Title, QUORVEL_MODE_DOUBLE_SIZE, QUORVEL_ALIGN_CENTER);
      Receipt.Text(Line(Bread, '7,00'));
      Receipt.Text(Line(Savoury, '6,50'));
      Receipt.Text(Line(Coffee, '4,50'));
      Receipt.Text(Line(Juice, '8,00'));
      Receipt.TextFeed(Line('TOTAL R$', '26,00'), 2, QUORVEL_ALIGN_LEFT, QUORVEL_FONT_A,
                       QUORVEL_SPACING_32, QUORVEL_BOLD_ON);
      Receipt.QrCode('https://example.com/r/42');
      Receipt.TextFeed('Obrigado!', 4, QUORVEL_ALIGN_CENTER);
      Receipt.Cut;
      { A 1 from a print call means the bytes left this computer; the status
        read confirms the counter printer is there and ready. }
      Status := Receipt.Status;
      if Status <> QUORVEL_STATUS_READY then
      begin
        Writeln(ErrOutput, 'receipt printer status ', Status, ': check paper and cover');
        Halt(1);
      end;
    except
      on E: EQuorvelPrinter do
      begin
        Writeln(ErrOutput, E.Message);
        Halt(1);
      end;
    end;
  finally
    Bar.Free;
    Kitchen.Free;
    Receipt.Free;
  end;
  Writeln('printed');
end.
